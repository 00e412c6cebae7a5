#include "run.h"

#include <corvid/internet/address/ip4.h>
#include <corvid/internet/environment/startup.h>
#include <corvid/internet/message2/entity.h>
#include <corvid/internet/transport/tcp/raw.h>
#include <corvid/unicode/ansi_codepage.h>
#include <corvid/unicode/convert.h>
#include <gtest/gtest.h>

#include <optional>
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

// Records every box and answers the consent question as told.
struct scripted_ui : post::ui {
    post::answer consent = post::answer::no;
    std::vector<shown> boxes;
    std::optional<post::report_preview> preview;
    std::vector<std::string> sent_to;

    post::answer show(const post::box& box) override {
        boxes.push_back({box.caption, box.text, box.buttons, box.icon});
        if (box.report) preview = *box.report;
        return box.buttons == post::buttons::yes_no ? consent : post::answer::ok;
    }
    void sending(const std::string& host) override { sent_to.push_back(host); }
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
    post::settings config{"127.0.0.1", "support@example.com", 25, post::tls_policy::none, ""};
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
        // A stray Latin-1 byte in a UTF-8 locale is substituted; the report
        // is still offered and the marker still found.
        {"invalid ansi byte", {"1603"}, post::read_status::read, "caf\xE9 dialog SetupError 2755.", 0,
         {error_box("2755"), consent}, "Installation Error (Exit Code: 1603)(Error: 2755)",
         "caf\xEF\xBF\xBD dialog SetupError 2755."},
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
    EXPECT_TRUE(post::decode_log(log.bytes).search.ends_with("?? dialog SetupError ?755."));
}

TEST_F(post_run, unreachable_server_is_reported_and_the_run_ends_with_0) {
    scripted_ui dialogs;
    dialogs.consent = post::answer::yes;
    memory_log log;
    log.bytes = "dialog SetupError 2755.";
    config.port = closed_port();
    EXPECT_EQ(post::run({"1603"}, dialogs, log, config), 0);
    ASSERT_EQ(dialogs.boxes.size(), 3u);
    EXPECT_EQ(dialogs.boxes[2].caption, "Report not submitted");
    EXPECT_EQ(dialogs.boxes[2].text, "internet.transport.connection_failed.connection_refused[connect() failed]");
    EXPECT_EQ(dialogs.sent_to, std::vector<std::string>{"127.0.0.1"});
}

// Plays a well-behaved mail server for one connection and keeps what the
// client said; every wait is bounded by the receive time-out.
class mail_sink {
public:
    mail_sink() {
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
                if (in_data) {
                    if (line == ".") {
                        in_data = false;
                        peer.write_line("250 taken", true);
                    }
                } else if (line == "DATA") {
                    in_data = true;
                    peer.write_line("354 go on", true);
                } else if (line == "QUIT") {
                    peer.write_line("221 bye", true);
                    return;
                } else {
                    peer.write_line("250 ok", true);
                }
            }
        } catch (const std::exception&) {
            said.push_back("(server stopped early)");
        }
    }

    raw listener;
    ip4 address;
    std::vector<std::string> said;
    std::thread worker;
};

TEST_F(post_run, consent_sends_the_report_to_the_mail_server) {
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
    EXPECT_TRUE(said[0].starts_with("EHLO installer")) << said[0];
    EXPECT_EQ(said[1], "MAIL FROM: <>");
    EXPECT_EQ(said[2], "RCPT TO: <support@example.com>");
    EXPECT_EQ(said[3], "DATA");
    const auto end = std::find(said.begin(), said.end(), ".");
    ASSERT_NE(end, said.end());
    const std::vector<std::string> lines(said.begin() + 4, end);
    std::vector<std::string> names;
    for (const std::string& line : lines) {
        if (line.empty()) break;
        names.push_back(line.substr(0, line.find(':')));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Content-Type", "Content-Transfer-Encoding", "To", "Subject"}));
    EXPECT_EQ(lines[3], "Subject: Installation Error (Exit Code: 1603)(Error: 2755)");
    const corvid::internet::message2::entity received(lines);
    EXPECT_EQ(received.body.charset, "utf-8");
    EXPECT_EQ(received.body.data, corvid::unicode::to_narrow(text, corvid::unicode::utf8_codepage));
    EXPECT_EQ(said.back(), "QUIT");
}

TEST(post_read_decimal, follows_the_atoi_rule_and_saturates) {
    EXPECT_EQ(post::read_decimal(" \t+1603 2"), 1603);
    EXPECT_EQ(post::read_decimal("-12ab"), -12);
    EXPECT_EQ(post::read_decimal("- 5"), 0);
    EXPECT_EQ(post::read_decimal("99999999999"), 2147483647);
    EXPECT_EQ(post::read_decimal("-99999999999"), -2147483647 - 1);
}

}  // namespace
