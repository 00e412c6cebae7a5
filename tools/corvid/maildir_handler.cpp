// SPDX-License-Identifier: MIT
#include "maildir_handler.h"

#include "dialogue_watch.h"
#include "io.h"

#include <corvid/internet/smtp/errors.h>

#include <corvid/exception.h>

#include <chrono>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <exception>
#include <fnmatch.h>

namespace corvid_tool {

namespace smtp = corvid::internet::smtp;

void log_line(const std::string& text) {
    // Client text may be in it: control bytes are shown, never passed on.
    std::string line = utc_time_stamp();
    line.append(" corvid smtp serve: ").append(printable(text)).append("\n");
    std::fwrite(line.data(), 1, line.size(), stderr);
}

reply_rule parse_reply_rule(const std::string& text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) throw corvid::exception("--reply wants STAGE[:PATTERN]=REPLY, got: " + text);
    reply_rule rule;
    std::string stage = text.substr(0, equals);
    if (const std::size_t colon = stage.find(':'); colon != std::string::npos) {
        rule.pattern = stage.substr(colon + 1);
        stage.erase(colon);
    }
    if (stage == "mail") rule.at = reply_rule::stage::mail;
    else if (stage == "rcpt") rule.at = reply_rule::stage::rcpt;
    else if (stage == "data" && rule.pattern == "*") rule.at = reply_rule::stage::data;
    else throw corvid::exception("--reply stage must be mail:PATTERN, rcpt:PATTERN or data, got: " + text);
    rule.reply = text.substr(equals + 1);
    rule.drop = rule.reply == "drop";
    const bool refusal = rule.reply.size() >= 3 && (rule.reply[0] == '4' || rule.reply[0] == '5') &&
                         std::isdigit(static_cast<unsigned char>(rule.reply[1])) &&
                         std::isdigit(static_cast<unsigned char>(rule.reply[2])) &&
                         (rule.reply.size() == 3 || rule.reply[3] == ' ');
    if (!rule.drop && (!refusal || rule.reply.find_first_of("\r\n") != std::string::npos))
        throw corvid::exception("--reply wants a 4xx or 5xx reply line or drop, got: " + text);
    if (rule.reply.size() == 3) rule.reply += ' ';
    return rule;
}

maildir_handler::maildir_handler(const maildir* box, unsigned max_recipients, std::string peer,
                                 const session_policy& policy)
    : box(box), max_recipients(max_recipients), peer(std::move(peer)), policy(policy) {}

void maildir_handler::apply_rules(reply_rule::stage stage, const std::string& address) {
    for (const reply_rule& rule : policy.rules) {
        if (rule.at != stage || ::fnmatch(rule.pattern.c_str(), address.c_str(), 0) != 0) continue;
        log_line(peer + ": rule " + (rule.drop ? "drop" : rule.reply) + " for <" + address + ">");
        if (rule.drop) {
            end_session = ending::without_reply;
            throw smtp::refused("421 4.3.0 Dropped");  // never sent
        }
        // 421 says the service closes the connection: it does.
        if (rule.reply.starts_with("421")) end_session = ending::after_reply;
        throw smtp::refused(rule.reply);
    }
}

bool maildir_handler::accept_sender(const std::string& address) {
    apply_rules(reply_rule::stage::mail, address);
    return accept_handler::accept_sender(address);
}

bool maildir_handler::accept_login(const std::string& user, const std::string& password) {
    const auto known = policy.users.find(user);
    const bool taken = policy.auth_any || (known != policy.users.end() && known->second == password);
    log_line(peer + ": login as " + user + (taken ? " taken" : " refused"));
    return taken;
}

std::optional<std::string> maildir_handler::login_secret(const std::string& user) {
    const auto known = policy.users.find(user);
    return known == policy.users.end() ? std::nullopt : std::optional<std::string>(known->second);
}

bool maildir_handler::accept_cram_md5(const std::string& user, const std::string& challenge,
                                      const std::string& digest) {
    const bool taken = policy.auth_any || accept_handler::accept_cram_md5(user, challenge, digest);
    log_line(peer + ": login as " + user + (taken ? " taken" : " refused"));
    return taken;
}

bool maildir_handler::accept_recipient(const std::string& address) {
    apply_rules(reply_rule::stage::rcpt, address);
    if (recipients.size() >= max_recipients && recipients.count(address) == 0)
        throw smtp::refused("452 4.5.3 Too many recipients");
    return accept_handler::accept_recipient(address);
}

std::string maildir_handler::entry() const {
    std::string text = peer + ": message from <" + sender + "> to";
    for (const std::string& recipient : recipients) text += " <" + recipient + ">";
    // The size the client is told: the text as it came, without the trace line.
    return text + ", " + std::to_string(size) + " bytes: ";
}

void maildir_handler::begin_message(const std::string& trace_line) {
    size = 0;
    delivery.reset();
    if (!box) return;
    try {
        delivery = std::make_unique<maildir_delivery>(*box);
        delivery->write(trace_line);
        delivery->write("\r\n");
    } catch (const std::exception& e) {
        log_failure(e.what());
        throw;
    }
}

void maildir_handler::message_text(std::string_view text) {
    size += text.size();
    if (!delivery) return;
    try {
        delivery->write(text);
    } catch (const std::exception& e) {
        log_failure(e.what());
        throw;
    }
}

bool maildir_handler::end_message() {
    if (!policy.rules.empty()) {
        try {
            apply_rules(reply_rule::stage::data, "");
        } catch (...) {
            delivery.reset();
            throw;
        }
    }
    std::string fate = "discarded";
    if (box) {
        if (!delivery) return false;  // already failed and told
        try {
            fate = "delivered as new/" + delivery->finish();
            delivery.reset();
        } catch (const std::exception& e) {
            log_failure(e.what());
            return false;
        }
    }
    ++delivered_count;
    log_line(entry() + fate);
    if (policy.delivered) policy.delivered();
    return true;
}

void maildir_handler::abort_message() { delivery.reset(); }

void maildir_handler::log_failure(const std::string& why) {
    delivery.reset();
    ++failed_count;
    log_line(entry() + "not delivered: " + why);
}

}  // namespace corvid_tool
