// SPDX-License-Identifier: MIT
#include "run.h"

#include <corvid/internet/address/ip4.h>
#include <corvid/internet/environment/environment.h>
#include <corvid/internet/environment/startup.h>
#include <corvid/internet/message2/entity.h>
#include <corvid/internet/transport/tcp/raw.h>
#include <corvid/unicode/ansi_codepage.h>
#include <corvid/unicode/convert.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <unistd.h>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using corvid::internet::address::ip4;
using corvid::internet::transport::tcp::raw;

struct shown {
    std::string caption, text;
    post::buttons buttons;
    post::icon icon;
    bool operator==(const shown&) const = default;
};

// The consent question's preview as seen while it was asked.
struct seen_preview {
    std::string recipient, subject, log_utf8;
};

// Records every box, answers the consent question as told, and asks to
// save after a failure when given a path.
struct scripted_ui : post::ui {
    post::answer consent = post::answer::no;
    std::vector<std::string> save_to;  // the paths given, one a time the report may be saved
    std::vector<shown> boxes;
    std::optional<seen_preview> preview;
    std::vector<std::string> sent_to;
    std::vector<std::string> suggested;

    post::answer show(const post::box& box) override {
        boxes.push_back({box.caption, box.text, box.buttons, box.icon});
        if (box.report)
            preview = seen_preview{box.report->recipient, box.report->subject, std::string(box.report->log_utf8)};
        if (box.offers_save && saves < save_to.size()) return post::answer::save;
        return box.buttons == post::buttons::yes_no ? consent : post::answer::ok;
    }
    void sending(const std::string& host) override { sent_to.push_back(host); }
    std::string save_path(const std::string& offered) override {
        suggested.push_back(offered);
        return saves < save_to.size() ? save_to[saves++] : "";
    }
    std::size_t saves = 0;
};

struct memory_log : post::log_source {
    post::read_status status = post::read_status::read;
    std::string bytes;
    int reads = 0;
    post::read_status read(std::string& out) override {
        ++reads;
        out = bytes;
        return status;
    }
};

std::string utf16le(const std::u16string& text) {
    std::string bytes;
    for (char16_t unit : text) {
        bytes += char(unit & 0xFF);
        bytes += char(unit >> 8);
    }
    return bytes;
}

const std::string consent_text =
    "We're very sorry, but the installation failed. Would you like to send an error report to help resolve "
    "this problem?";
const shown consent{"Installation failed", consent_text, post::buttons::yes_no, post::icon::none};
shown error_box(const std::string& text) { return {"error no", text, post::buttons::ok, post::icon::information}; }

// A port on 127.0.0.1 that nothing listens on: bound, then released.
std::uint16_t closed_port() {
    raw probe;
    ip4 any("127.0.0.1", 0);
    probe.open(any);
    probe.bind(any);
    ip4 bound;
    probe.local_address(bound);
    return bound.port();
}

class post_run : public ::testing::Test {
protected:
    void SetUp() override { corvid::unicode::pin_ansi_codepage(corvid::unicode::utf8_codepage); }
    void TearDown() override { corvid::unicode::unpin_ansi_codepage(); }
    corvid::internet::environment::startup network;
    post::settings config{"127.0.0.1",
                          "support@example.com",
                          25,
                          post::tls_policy::none,
                          "",
                          "\"Installation error report\" <installer@example.com>",
                          "",
                          "report.eml",
                          30};
};

TEST_F(post_run, flow_without_sending) {
    struct row {
        const char* name;
        std::vector<std::string> args;
        post::read_status status;
        std::string log;
        int exit_code;
        std::vector<shown> boxes;
        std::string subject;   // empty: no consent question
        std::string body = {};  // checked when set
    };
    const std::string marked = "Start\r\ndialog SetupError 2755.\r\n";
    const std::vector<row> rows = {
        {"success", {"0"}, post::read_status::read, marked, 0, {}, ""},
        {"user cancel", {"1602"}, post::read_status::read, marked, 0, {}, ""},
        {"reboot needed", {"3010"}, post::read_status::read, marked, 0, {}, ""},
        {"letters", {"abc"}, post::read_status::read, marked, 0, {}, ""},
        {"no arguments", {}, post::read_status::read, marked, 0, {}, ""},
        {"missing log", {"1603"}, post::read_status::not_opened, "", 1, {}, ""},
        {"failed read", {"1603"}, post::read_status::failed, marked, 0, {}, ""},
        {"two bytes", {"1603"}, post::read_status::read, "ab", 0, {}, ""},
        {"three bytes", {"1603"}, post::read_status::read, "abc", 0, {consent},
         "Installation Error (Exit Code: 1603)", "abc"},
        {"arguments joined, atoi rule", {" -77x", "9"}, post::read_status::read, marked, 0,
         {error_box("2755"), consent}, "Installation Error (Exit Code: -77)(Error: 2755)"},
        {"marker at the end", {"1603"}, post::read_status::read, "x dialog SetupError", 0, {consent},
         "Installation Error (Exit Code: 1603)"},
        {"dot right after the marker is skipped", {"1603"}, post::read_status::read,
         "dialog SetupError.1234.", 0, {error_box("1234"), consent},
         "Installation Error (Exit Code: 1603)(Error: 1234)"},
        {"lone dot after the marker", {"1603"}, post::read_status::read, "dialog SetupError.", 0, {consent},
         "Installation Error (Exit Code: 1603)"},
        {"first dot searched, error 0", {"1603"}, post::read_status::read, "dialog SetupError .", 0,
         {error_box("ror "), consent}, "Installation Error (Exit Code: 1603)(Error: 0)"},
        {"utf-16 with mark", {"1603"}, post::read_status::read, utf16le(u"\uFEFFdialog SetupError 2755."), 0,
         {error_box("2755"), consent}, "Installation Error (Exit Code: 1603)(Error: 2755)",
         "\xEF\xBB\xBF" "dialog SetupError 2755."},
        {"utf-16 without mark", {"1603"}, post::read_status::read, utf16le(u"dialog SetupError 0042."), 0,
         {error_box("0042"), consent}, "Installation Error (Exit Code: 1603)(Error: 42)"},
        {"first byte 0xFE", {"1603"}, post::read_status::read, std::string("\xFE\xFF" "A\0", 4), 0, {consent},
         "Installation Error (Exit Code: 1603)", "\xEF\xBF\xBE" "A"},
        {"first byte zero, odd count", {"1603"}, post::read_status::read, std::string("\0A\0B\0", 5), 0,
         {consent}, "Installation Error (Exit Code: 1603)", "\xE4\x84\x80\xE4\x88\x80"},
        // A log that is not UTF-8 in a UTF-8 locale is Windows-1252, its
        // unassigned bytes the C1 controls; the marker is still found.
        {"windows-1252 log", {"1603"}, post::read_status::read, "B\xFC" "cherei \x80\x81\x9D dialog SetupError 2755.", 0,
         {error_box("2755"), consent}, "Installation Error (Exit Code: 1603)(Error: 2755)",
         "B\xC3\xBC" "cherei \xE2\x82\xAC\xC2\x81\xC2\x9D dialog SetupError 2755."},
        {"valid utf-8 log", {"1603"}, post::read_status::read, "B\xC3\xBC" "cherei", 0, {consent},
         "Installation Error (Exit Code: 1603)", "B\xC3\xBC" "cherei"},
        // Forty two-byte characters ahead of the marker: a search text cut to
        // one byte per code unit would lose the marker.
        {"utf-16 marker behind multibyte text", {"1603"}, post::read_status::read,
         utf16le(std::u16string(40, u'\u00E9') + u" dialog SetupError 1722."), 0,
         {error_box("1722"), consent}, "Installation Error (Exit Code: 1603)(Error: 1722)"},
        {"utf-16 unpaired surrogate", {"1603"}, post::read_status::read,
         utf16le(u"\xD800 dialog SetupError 1722."), 0, {error_box("1722"), consent},
         "Installation Error (Exit Code: 1603)(Error: 1722)"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        scripted_ui dialogs;
        memory_log log;
        log.status = r.status;
        log.bytes = r.log;
        EXPECT_EQ(post::run(r.args, dialogs, log, config), r.exit_code);
        EXPECT_EQ(dialogs.boxes, r.boxes);
        EXPECT_TRUE(dialogs.sent_to.empty());
        if (r.subject.empty()) {
            EXPECT_FALSE(dialogs.preview);
            if (r.exit_code == 0 && r.status == post::read_status::read && r.log.size() > 2) {
                EXPECT_EQ(log.reads, 0) << "filtered exit codes must not touch the log";
            }
            continue;
        }
        ASSERT_TRUE(dialogs.preview);
        EXPECT_EQ(dialogs.preview->subject, r.subject);
        EXPECT_EQ(dialogs.preview->recipient, "\"Installation Support\" <support@example.com>");
        if (!r.body.empty()) {
            EXPECT_EQ(dialogs.preview->log_utf8, r.body);
        }
    }
}

TEST_F(post_run, characters_the_ansi_page_lacks_become_question_marks) {
    corvid::unicode::pin_ansi_codepage(1252);
    scripted_ui dialogs;
    memory_log log;
    log.bytes = utf16le(u"\uFEFF\u4E2D\u6587 dialog SetupError \u4E2D755.");
    EXPECT_EQ(post::run({"1603"}, dialogs, log, config), 0);
    EXPECT_EQ(dialogs.boxes, (std::vector<shown>{error_box("?755"), consent}));
    // An ANSI log in that page reaches the body as UTF-8.
    EXPECT_EQ(post::decode_log("caf\xE9 \x80").utf8, "caf\xC3\xA9 \xE2\x82\xAC");
}

// A UTF-16 log longer than one conversion piece, with a surrogate pair
// across the first piece's end: the pair stays one character.
TEST_F(post_run, utf16_log_converts_across_pieces) {
    std::u16string text(std::size_t{1} << 20, u'a');
    text[text.size() - 1] = u'\xD83D';
    text += u"\xDE00 dialog SetupError 2755.";
    const post::decoded_log decoded = post::decode_log(utf16le(text));
    EXPECT_EQ(decoded.utf8.substr((std::size_t{1} << 20) - 1, 5), "\xF0\x9F\x98\x80 ");
    EXPECT_EQ(decoded.utf8.size(), (std::size_t{1} << 20) - 1 + 4 + 24);
    EXPECT_EQ(decoded.error_text, "2755");
}

// Plays a mail server for one connection and keeps what the client said.
// reply gives the answer to each command ("" closes the connection); every
// wait is bounded by the receive time-out.
class mail_sink {
public:
    using replies = std::function<std::string(const std::string& command)>;

    explicit mail_sink(replies reply = ordinary) : reply(std::move(reply)) {
        ip4 any("127.0.0.1", 0);
        listener.open(any);
        listener.bind(any);
        listener.listen();
        listener.local_address(address);
        listener.set_receive_timeout(5000);
        worker = std::thread([this] { serve(); });
    }
    ~mail_sink() { worker.join(); }
    std::uint16_t port() const { return address.port(); }
    std::vector<std::string> finish() {
        worker.join();
        worker = std::thread([] {});
        return said;
    }

    static std::string ordinary(const std::string& command) {
        if (command == "DATA") return "354 go on";
        if (command == "QUIT") return "221 bye";
        return command == "." ? "250 taken" : "250 ok";
    }

private:
    void serve() {
        try {
            raw peer;
            peer.accept(listener);
            peer.set_receive_timeout(5000);
            peer.write_line("220 sink", true);
            bool in_data = false;
            for (int i = 0; i < 10000; ++i) {
                std::string line;
                peer.read_line(line);
                said.push_back(line);
                if (in_data && line != ".") continue;
                in_data = false;
                const std::string answer = reply(line);
                if (answer.empty()) return;
                peer.write_line(answer, true);
                in_data = line == "DATA" && answer.starts_with("354");
                if (line == "QUIT") return;
            }
        } catch (const std::exception&) {
            said.push_back("(server stopped early)");
        }
    }

    replies reply;
    raw listener;
    ip4 address;
    std::vector<std::string> said;
    std::thread worker;
};

const std::string marked_log = "dialog SetupError 2755.";
const std::string still_there = " The installer's log, install.txt, is still in its folder.\n\n";

// Each kind of failure gets its plain sentence above the library's text, and
// the run still ends with 0. Once the server took the message, a QUIT that
// fails afterwards does not make the report undelivered.
TEST_F(post_run, each_outcome_is_told_in_plain_words) {
    struct row {
        const char* name;
        std::string host;
        mail_sink::replies replies;  // nullptr: nothing listens
        std::string text;
        std::string caption = "Report not submitted";
    };
    const auto refusing = [](const std::string& command) {
        return command.starts_with("RCPT") ? "550 5.1.1 no such mailbox" : mail_sink::ordinary(command);
    };
    // Silent from MAIL on: the time-out strikes inside the transaction.
    const auto silent = [](const std::string& command) {
        if (!command.starts_with("MAIL")) return mail_sink::ordinary(command);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        return std::string();
    };
    const auto quit_gets = [](std::string reply) {
        return [reply](const std::string& command) { return command == "QUIT" ? reply : mail_sink::ordinary(command); };
    };
    const std::string submitted = "Thank you. The error report has been submitted.";
    const row rows[] = {
        {"closed after QUIT", "127.0.0.1", quit_gets(""), submitted, "Report submitted"},
        {"QUIT refused", "127.0.0.1", quit_gets("500 what?"), submitted, "Report submitted"},
        {"nothing listens", "127.0.0.1", nullptr,
         "The support mail server 127.0.0.1 could not be reached, or it refused the connection." + still_there +
             "internet.transport.connection_failed.connection_refused[connect() failed]"},
        {"unknown host", "nohost.invalid", nullptr,
         "The support mail server nohost.invalid could not be found. Check that this computer is connected to the "
         "Internet." + still_there + "internet.address.host_not_found[GetAddrInfoA() failed]"},
        {"recipient refused", "127.0.0.1", refusing,
         "The support mail server 127.0.0.1 refused the report: 550 5.1.1 no such mailbox." + still_there +
             "smtp.permanent_failure[550 5.1.1 no such mailbox]"},
        {"no answer in time", "127.0.0.1", silent,
         "The support mail server 127.0.0.1 did not answer in time." + still_there +
             "smtp.temporary_failure[recv() failed]"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        std::optional<mail_sink> sink;
        config.mail_host = r.host;
        config.timeout_seconds = 1;
        config.port = r.replies ? (sink.emplace(r.replies), sink->port()) : closed_port();
        scripted_ui dialogs;
        dialogs.consent = post::answer::yes;
        memory_log log;
        log.bytes = marked_log;
        EXPECT_EQ(post::run({"1603"}, dialogs, log, config), 0);
        ASSERT_EQ(dialogs.boxes.size(), 3u);
        EXPECT_EQ(dialogs.boxes[2].caption, r.caption);
        EXPECT_EQ(dialogs.boxes[2].text, r.text);
    }
}

// Lines from DATA to the end of the text, as the server received them.
std::vector<std::string> message_lines(const std::vector<std::string>& said) {
    const auto data = std::find(said.begin(), said.end(), "DATA");
    const auto end = std::find(data, said.end(), ".");
    return data == said.end() ? std::vector<std::string>{} : std::vector<std::string>(data + 1, end);
}

TEST_F(post_run, consent_sends_a_well_formed_report) {
    mail_sink sink;
    config.port = sink.port();
    scripted_ui dialogs;
    dialogs.consent = post::answer::yes;
    memory_log log;
    const std::u16string text = u"\uFEFF\u00C9tape\r\ndialog SetupError 2755.\r\n";
    log.bytes = utf16le(text);
    EXPECT_EQ(post::run({"1603"}, dialogs, log, config), 0);
    ASSERT_EQ(dialogs.boxes.size(), 3u);
    EXPECT_EQ(dialogs.boxes[2], (shown{"Report submitted", "Thank you. The error report has been submitted.",
                                       post::buttons::ok, post::icon::none}));

    const std::vector<std::string> said = sink.finish();
    ASSERT_GE(said.size(), 6u);
    // A name a server can check: the host's own, or this end's address.
    const std::string fqdn = corvid::internet::environment::fully_qualified_name();
    EXPECT_EQ(said[0], "EHLO " + (fqdn.empty() ? "[127.0.0.1]" : fqdn));
    EXPECT_EQ(said[1], "MAIL FROM: <>");
    EXPECT_EQ(said[2], "RCPT TO: <support@example.com>");
    const std::vector<std::string> lines = message_lines(said);
    std::vector<std::string> names;
    for (const std::string& line : lines) {
        if (line.empty()) break;
        names.push_back(line.substr(0, line.find(':')));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Content-Type", "Content-Transfer-Encoding", "To", "Subject",
                                                "MIME-Version", "Date", "Message-ID", "From"}));
    const corvid::internet::message2::entity received(lines);
    std::string value;
    EXPECT_TRUE(received.find_header("Subject", value));
    EXPECT_EQ(value, "Installation Error (Exit Code: 1603)(Error: 2755)");
    EXPECT_TRUE(received.find_header("From", value));
    EXPECT_EQ(value, "\"Installation error report\" <installer@example.com>");
    EXPECT_EQ(received.body.charset, "utf-8");
    EXPECT_EQ(received.body.data, corvid::unicode::to_narrow(text, corvid::unicode::utf8_codepage));
    EXPECT_EQ(said.back(), "QUIT");
}

// After a failure the person may keep the report: what is saved is the
// message that would have been sent, and a failed save is told and offered
// again.
TEST_F(post_run, a_report_that_was_not_sent_can_be_saved) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("post_save_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    config.port = closed_port();
    config.report_path = (folder / "suggested.eml").string();
    const std::string unwritable = (folder / "missing" / "report.eml").string();
    scripted_ui dialogs;
    dialogs.consent = post::answer::yes;
    dialogs.save_to = {unwritable, (folder / "report.eml").string()};
    memory_log log;
    log.bytes = marked_log;
    EXPECT_EQ(post::run({"1603"}, dialogs, log, config), 0);
    ASSERT_EQ(dialogs.boxes.size(), 5u);
    EXPECT_EQ(dialogs.boxes[3].caption, "Report not saved");
    EXPECT_EQ(dialogs.boxes[4].caption, "Report saved");
    EXPECT_EQ(dialogs.suggested, (std::vector<std::string>{config.report_path, unwritable}));

    EXPECT_EQ(corvid::internet::message2::entity::load((folder / "report.eml").string()).body.data, marked_log);
    std::filesystem::remove_all(folder);
}

TEST(post_read_decimal, follows_the_atoi_rule_and_saturates) {
    EXPECT_EQ(post::read_decimal(" \t+1603 2"), 1603);
    EXPECT_EQ(post::read_decimal("-12ab"), -12);
    EXPECT_EQ(post::read_decimal("- 5"), 0);
    EXPECT_EQ(post::read_decimal("99999999999"), 2147483647);
    EXPECT_EQ(post::read_decimal("-99999999999"), -2147483647 - 1);
}

}  // namespace
