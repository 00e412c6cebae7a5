#include <corvid/internet/smtp/accept_handler.h>

#include <corvid/text.h>

namespace corvid::internet::smtp {

accept_handler::~accept_handler() = default;

void accept_handler::reset() {
    sender.clear();
    recipients.clear();
}

bool accept_handler::accept_command(const std::string&) { return true; }

bool accept_handler::accept_sender(const std::string& address) {
    sender = to_lower(address);
    return true;
}

bool accept_handler::accept_recipient(const std::string& address) { return recipients.insert(address).second; }

bool accept_handler::accept_message(const std::vector<std::string>&) { return true; }

}  // namespace corvid::internet::smtp
