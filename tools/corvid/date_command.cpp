// SPDX-License-Identifier: MIT
#include "commands.h"
#include "io.h"

#include <corvid/exception.h>
#include <corvid/rfc822_date.h>

#include <ctime>
#include <memory>
#include <string>

namespace corvid_tool {

void add_date_command(CLI::App& app) {
    auto seconds = std::make_shared<long long>(0);
    auto* cmd = app.add_subcommand("date", "Print a time (seconds since 1970, default now) as an RFC 822 date");
    auto* option = cmd->add_option("SECONDS", *seconds, "Seconds since 1970-01-01 00:00:00 UTC");
    cmd->callback([seconds, option] {
        long long when = option->count() > 0 ? *seconds : static_cast<long long>(std::time(nullptr));
        std::string date;
        try {
            date = corvid::rfc822_date(when);
        } catch (const corvid::exception& e) {
            throw corvid::exception("cannot show " + std::to_string(when) + " as a date: " + e.message());
        }
        write_output(date + "\n");
    });
}

}  // namespace corvid_tool
