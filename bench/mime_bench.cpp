// SPDX-License-Identifier: MIT
// corvid's message reader and writer beside GMime 3 on one generated corpus
// of mail, in the same process. A round runs every measurement once over the
// whole corpus, in reverse order every other round so that a busy moment of
// a shared machine does not fall on one side only; the table gives the
// median of the rounds. A ratio is corvid's throughput over GMime's, so
// above 1 means corvid is faster. Peak memory is measured apart, in a child
// process per side, on one large message.
//
// mime_bench [--rounds N] [--messages N] [--only RUN] [--no-memory]
// --messages takes the first N messages of the same corpus and --only times
// a single run (corvid_parse, corvid_walk, corvid_write, gmime_lazy,
// gmime_decode, gmime_write), e.g. under a profiler.

#include <corvid/coding/base64.h>
#include <corvid/internet/message2/entity.h>
#include <corvid/text.h>

#include <benchmark/benchmark.h>
#include <gmime/gmime.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

namespace m2 = corvid::internet::message2;
using clock_type = std::chrono::steady_clock;

constexpr std::uint64_t corpus_seed = 20261209;
constexpr std::size_t corpus_messages = 1000;

// ------------------------------------------------------------------ corpus

// Draws by its own arithmetic from one seeded engine: the distributions of
// <random> differ between standard libraries, and the corpus must not.
class dice {
public:
    explicit dice(std::uint64_t seed) : engine(seed) {}

    std::uint64_t below(std::uint64_t n) { return engine() % n; }
    bool chance(unsigned percent) { return below(100) < percent; }
    // Log-uniform in [low, high): many small values and a few large ones,
    // as the sizes of mail bodies and attachments are.
    std::size_t log_uniform(double low, double high) {
        const double unit = static_cast<double>(engine() >> 11) * 0x1.0p-53;
        return static_cast<std::size_t>(low * std::pow(high / low, unit));
    }
    template <typename T, std::size_t N>
    const T& pick(const T (&items)[N]) {
        return items[below(N)];
    }
    // Content from an engine of its own, so that the sizes drawn do not move
    // everything drawn after them.
    std::string bytes(std::size_t size) {
        std::mt19937_64 content(engine());
        std::string out(size, '\0');
        for (std::size_t i = 0; i < size; i += 8) {
            const std::uint64_t word = content();
            for (std::size_t k = 0; k < 8 && i + k < size; ++k) out[i + k] = static_cast<char>(word >> (8 * k));
        }
        return out;
    }
    std::string hex(std::size_t digits) {
        std::string out;
        for (std::size_t i = 0; i < digits; ++i) out += "0123456789ABCDEF"[below(16)];
        return out;
    }

private:
    std::mt19937_64 engine;
};

enum class charset { ascii, utf8, latin1 };

const char* charset_name(charset set) {
    return set == charset::ascii ? "us-ascii" : set == charset::utf8 ? "utf-8" : "iso-8859-1";
}

constexpr const char* plain_words[] = {
    "the",     "meeting", "report",  "quarter", "budget",   "please",   "review",  "attached", "schedule",
    "project", "team",    "update",  "next",    "week",     "thanks",   "numbers", "draft",    "customer",
    "release", "server",  "invoice", "order",   "question", "agenda",   "minutes", "notes",    "travel",
    "contract", "deadline", "office", "figures", "results", "we",       "will",    "have",     "a",
    "to",      "of",      "and",     "in",      "for",      "on",       "with",    "is",       "this",
    "that",    "by",      "from",    "at",      "it",       "be",       "as",      "are",      "not",
    "or",      "can",     "our",     "your",    "changes",  "tomorrow", "shipment", "approval", "morning"};
// Latin-1 letters only (written in UTF-8 here), so that iso-8859-1 text can
// use them too.
constexpr const char* latin_words[] = {"café",    "naïve",  "Grüße",  "über",   "déjà",  "señor",
                                       "Ærø",     "fiancée", "façade", "Müller", "garçon", "Øresund",
                                       "crème",   "brûlée", "Zürich", "año"};
// Beyond Latin-1: only UTF-8 text has these.
constexpr const char* wide_words[] = {"€", "—", "Ελλάδα", "日本語", "Привет", "“quoted”", "…"};

struct person {
    const char* name;
    const char* mailbox;
};
constexpr person people[] = {
    {"Alice Martin", "alice.martin"},   {"José García", "jose.garcia"},         {"Zoë Baker", "zoe.baker"},
    {"Jürgen Schmidt", "juergen.schmidt"}, {"Søren Nielsen", "soren.nielsen"}, {"François Dubois", "francois.dubois"},
    {"Wei Chen", "wei.chen"},           {"Priya Patel", "priya.patel"},         {"Tom O'Neil", "tom.oneil"},
    {"Ingrid Johansson", "ingrid.johansson"}, {"Marek Nowak", "marek.nowak"}, {"Ana Souza", "ana.souza"}};
constexpr const char* domains[] = {"example.com", "example.org", "example.net", "mail.example.com"};

struct attachment_kind {
    const char* media_type;
    const char* stem;
    const char* extension;
};
constexpr attachment_kind attachment_kinds[] = {
    {"application/pdf", "report", "pdf"},     {"image/jpeg", "photo", "jpg"},
    {"image/png", "scan", "png"},             {"application/zip", "archive", "zip"},
    {"application/octet-stream", "data", "bin"},
    {"application/vnd.openxmlformats-officedocument.wordprocessingml.document", "minutes", "docx"}};

bool is_ascii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// UTF-8 of Latin-1 letters (two-byte sequences led by C2 or C3) as Latin-1.
std::string to_latin1(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80 || i + 1 == utf8.size()) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        }
    }
    return out;
}

void append_escape(std::string& out, unsigned char c) {
    out += '=';
    out += "0123456789ABCDEF"[c >> 4];
    out += "0123456789ABCDEF"[c & 15];
}

// Quoted-printable as a mailer writes it: lines of at most 76 characters
// with soft breaks, CR LF kept as line ends, a blank before one escaped.
std::string quoted_printable(std::string_view text) {
    std::string out;
    std::size_t column = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\r\n";
            ++i;
            column = 0;
            continue;
        }
        const bool line_ends = i + 1 == text.size() || text[i + 1] == '\r';
        const bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !line_ends);
        const std::size_t width = literal ? 1 : 3;
        if (column + width > 75) {
            out += "=\r\n";
            column = 0;
        }
        if (literal)
            out += static_cast<char>(c);
        else
            append_escape(out, c);
        column += width;
    }
    return out;
}

// An encoded word for a header: B for UTF-8, Q for Latin-1.
std::string encoded_word(dice& d, const std::string& utf8) {
    if (d.chance(60)) return "=?utf-8?B?" + corvid::coding::base64_encode(utf8, true) + "?=";
    std::string out = "=?iso-8859-1?Q?";
    for (const char c : to_latin1(utf8)) {
        const auto b = static_cast<unsigned char>(c);
        if (c == ' ')
            out += '_';
        else if (std::isalnum(b) && b < 0x80)
            out += c;
        else
            append_escape(out, b);
    }
    return out + "?=";
}

// Base64 in lines of 76 characters, joined by CR LF.
std::string base64_lines(std::string_view data) {
    std::string out;
    out.reserve(data.size() / 57 * 78 + 80);
    std::string line;
    for (std::size_t at = 0; at < data.size(); at += 57) {
        line.clear();
        corvid::coding::base64_encode(data.substr(at, 57), line, true);
        if (at != 0) out += "\r\n";
        out += line;
    }
    return out;
}

// Builds messages from one seeded engine; each call continues the sequence.
class corpus_writer {
public:
    explicit corpus_writer(std::uint64_t seed) : d(seed) {}

    enum class kind { plain, alternative, mixed, forward };

    struct message {
        std::string text;
        kind shape;
    };

    message next() {
        const std::uint64_t draw = d.below(100);
        const kind shape = draw < 30 ? kind::plain : draw < 55 ? kind::alternative : draw < 90 ? kind::mixed : kind::forward;
        std::string entity;
        if (shape == kind::plain)
            entity = text_part(pick_charset(), d.log_uniform(200, 30000), "plain");
        else if (shape == kind::alternative)
            entity = alternative(pick_charset(), d.log_uniform(200, 20000));
        else if (shape == kind::mixed)
            entity = mixed_with_attachments();
        else
            entity = forward();
        return {trace_headers() + message_headers() + entity + "\r\n", shape};
    }

    // One message of about 78 MB, nearly all of it base64 attachments.
    std::string large() {
        std::vector<std::string> parts{alternative(charset::utf8, 8000)};
        for (const std::size_t megabytes : {1, 3, 6, 9, 12, 12, 14}) parts.push_back(attachment(megabytes * 1'000'000));
        return trace_headers() + message_headers() + multipart("mixed", parts) + "\r\n";
    }

private:
    dice d;
    unsigned counter = 0;

    charset pick_charset() {
        const std::uint64_t draw = d.below(100);
        return draw < 55 ? charset::ascii : draw < 85 ? charset::utf8 : charset::latin1;
    }

    std::string address() {
        const person& who = d.pick(people);
        const std::string mailbox = std::string(who.mailbox) + "@" + d.pick(domains);
        if (d.chance(20)) return mailbox;
        const std::string name = is_ascii(who.name) ? "\"" + std::string(who.name) + "\"" : encoded_word(d, who.name);
        return name + " <" + mailbox + ">";
    }

    std::string date() {
        const std::time_t when = 1735689600 + static_cast<std::time_t>(d.below(365 * 86400));
        std::tm parts{};
        gmtime_r(&when, &parts);
        char text[64];
        std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S", &parts);
        constexpr const char* zones[] = {"+0000", "+0100", "-0500", "+0530", "-0800", "+0900"};
        return std::string(text) + " " + d.pick(zones);
    }

    std::string words(std::size_t count, charset set) {
        std::string out;
        for (std::size_t i = 0; i < count; ++i) {
            if (i != 0) out += ' ';
            const std::uint64_t draw = d.below(100);
            if (set != charset::ascii && draw < 6)
                out += d.pick(latin_words);
            else if (set == charset::utf8 && draw < 9)
                out += d.pick(wide_words);
            else
                out += d.pick(plain_words);
        }
        return out;
    }

    // Received lines as relays add them, folded, newest first.
    std::string trace_headers() {
        std::string out;
        for (std::uint64_t hops = 2 + d.below(3); hops-- > 0;) {
            out += "Received: from mail" + std::to_string(d.below(90)) + ".example.net (mail.example.net [192.0.2." +
                   std::to_string(1 + d.below(250)) + "])\r\n\tby mx" + std::to_string(d.below(9)) +
                   ".example.org with ESMTPS id " + d.hex(12) + "\r\n\tfor <" + people[d.below(12)].mailbox +
                   "@example.org>; " + date() + "\r\n";
        }
        return out;
    }

    std::string message_headers() {
        std::string out = "From: " + address() + "\r\nTo: " + address();
        for (std::uint64_t more = d.below(3); more-- > 0;) out += ",\r\n " + address();
        out += "\r\n";
        if (d.chance(25)) out += "Cc: " + address() + "\r\n";
        const std::string subject = words(3 + d.below(8), d.chance(30) ? charset::utf8 : charset::ascii);
        out += "Subject: " + (is_ascii(subject) ? subject : encoded_word(d, subject)) + "\r\n";
        out += "Date: " + date() + "\r\n";
        out += "Message-ID: <" + d.hex(16) + "." + std::to_string(counter++) + "@example.com>\r\n";
        if (d.chance(30)) out += "In-Reply-To: <" + d.hex(16) + "@example.org>\r\nReferences: <" + d.hex(16) + "@example.org>\r\n";
        if (d.chance(40)) out += "X-Mailer: Example Mail 4." + std::to_string(d.below(10)) + "\r\n";
        return out + "MIME-Version: 1.0\r\n";
    }

    // Paragraphs of words, each a single line until wrapped.
    std::vector<std::string> paragraphs(charset set, std::size_t size) {
        std::vector<std::string> out;
        for (std::size_t total = 0; total < size;) {
            out.push_back(words(10 + d.below(80), set));
            total += out.back().size();
        }
        return out;
    }

    // Lines of at most 72 columns, broken between words.
    static std::string wrap(const std::string& paragraph) {
        std::string out;
        std::size_t start = 0;
        while (paragraph.size() - start > 72) {
            std::size_t cut = paragraph.rfind(' ', start + 72);
            if (cut == std::string::npos || cut <= start) cut = paragraph.find(' ', start + 72);
            if (cut == std::string::npos) break;
            out.append(paragraph, start, cut - start).append("\r\n");
            start = cut + 1;
        }
        return out.append(paragraph, start);
    }

    // A text leaf: headers and its body in the charset and a transfer
    // encoding that can carry it.
    std::string text_leaf(charset set, const std::string& utf8, const char* subtype) {
        const std::string bytes = set == charset::latin1 ? to_latin1(utf8) : utf8;
        const bool quoted = set == charset::ascii ? d.chance(10) : d.chance(80);
        const char* encoding = quoted ? "quoted-printable" : set == charset::ascii ? "7bit" : "8bit";
        std::string out = std::string("Content-Type: text/") + subtype + "; charset=" +
                          (d.chance(50) ? "\"" + std::string(charset_name(set)) + "\"" : charset_name(set)) +
                          "\r\nContent-Transfer-Encoding: " + encoding + "\r\n";
        if (d.chance(15)) out += "Content-Disposition: inline\r\n";
        return out + "\r\n" + (quoted ? quoted_printable(bytes) : bytes);
    }

    std::string plain_text(const std::vector<std::string>& paragraphs) {
        std::string out;
        for (const std::string& paragraph : paragraphs) out += (out.empty() ? "" : "\r\n\r\n") + wrap(paragraph);
        return out;
    }

    std::string html_text(const std::vector<std::string>& paragraphs, charset set) {
        std::string out = std::string("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=") +
                          charset_name(set) + "\"></head>\r\n<body>\r\n";
        for (const std::string& paragraph : paragraphs) out += "<p>" + wrap(paragraph) + "</p>\r\n";
        return out + "</body></html>";
    }

    std::string text_part(charset set, std::size_t size, const char* subtype) {
        return text_leaf(set, plain_text(paragraphs(set, size)), subtype);
    }

    std::string alternative(charset set, std::size_t size) {
        const std::vector<std::string> text = paragraphs(set, size);
        return multipart("alternative", {text_leaf(set, plain_text(text), "plain"), text_leaf(set, html_text(text, set), "html")});
    }

    std::string attachment(std::size_t size) {
        const attachment_kind& kind = d.pick(attachment_kinds);
        std::string name = std::string(kind.stem) + "-" + std::to_string(d.below(1000)) + "." + kind.extension;
        if (d.chance(10)) name = encoded_word(d, "Grüße " + name);
        return std::string("Content-Type: ") + kind.media_type + "; name=\"" + name +
               "\"\r\nContent-Disposition: attachment; filename=\"" + name +
               "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + base64_lines(d.bytes(size));
    }

    // Mostly a few KB, now and then a few MB.
    std::size_t attachment_size() {
        return d.chance(94) ? d.log_uniform(2'000, 100'000) : d.log_uniform(300'000, 2'285'000);
    }

    std::string body_part() {
        return d.chance(40) ? text_part(pick_charset(), d.log_uniform(200, 20000), "plain")
                            : alternative(pick_charset(), d.log_uniform(200, 20000));
    }

    std::string mixed_with_attachments() {
        std::vector<std::string> parts{body_part()};
        for (std::uint64_t count = 1 + d.below(3); count-- > 0;) parts.push_back(attachment(attachment_size()));
        return multipart("mixed", parts);
    }

    // A note and the forwarded message, now and then with an attachment.
    std::string forward() {
        std::string enclosed = message_headers();
        if (d.chance(40))
            enclosed += multipart("mixed", {body_part(), attachment(d.log_uniform(2'000, 100'000))});
        else
            enclosed += body_part();
        std::vector<std::string> parts{text_part(charset::ascii, 300, "plain"),
                                       "Content-Type: message/rfc822\r\n" +
                                           std::string(d.chance(50) ? "Content-Disposition: inline\r\n" : "") +
                                           "\r\n" + enclosed};
        if (d.chance(30)) parts.push_back(attachment(attachment_size()));
        return multipart("mixed", parts);
    }

    std::string multipart(const char* subtype, const std::vector<std::string>& parts) {
        const std::string boundary = d.chance(50) ? "----=_Part_" + std::to_string(counter++) + "_" + d.hex(12)
                                                  : "=_" + d.hex(24);
        std::string out = std::string("Content-Type: multipart/") + subtype + "; boundary=\"" + boundary + "\"\r\n\r\n";
        if (d.chance(50)) out += "This is a multi-part message in MIME format.\r\n";
        for (const std::string& part : parts) out += "--" + boundary + "\r\n" + part + "\r\n";
        return out + "--" + boundary + "--";
    }
};

// --------------------------------------------------------------- GMime side

// GMime's memory stream copies a buffer it is given but reads a byte array in
// place: this one points at the caller's text and is not the stream's to
// free, so GMime parses the same bytes that corvid does, without a copy
// first. The parser keeps the stream (persist), so the parts of a lazy parse
// are windows on the text until they are decoded.
class gmime_message {
public:
    explicit gmime_message(std::string_view text) : array(g_byte_array_new()) {
        array->data = reinterpret_cast<guint8*>(const_cast<char*>(text.data()));
        array->len = static_cast<guint>(text.size());
        stream = g_mime_stream_mem_new_with_byte_array(array);
        g_mime_stream_mem_set_owner(GMIME_STREAM_MEM(stream), FALSE);
        GMimeParser* parser = g_mime_parser_new_with_stream(stream);
        g_mime_parser_set_persist_stream(parser, TRUE);
        message = g_mime_parser_construct_message(parser, nullptr);
        g_object_unref(parser);
        if (message == nullptr) {
            release();
            throw std::runtime_error("GMime read no message");
        }
    }
    gmime_message(gmime_message&& other) noexcept
        : array(std::exchange(other.array, nullptr)),
          stream(std::exchange(other.stream, nullptr)),
          message(std::exchange(other.message, nullptr)) {}
    gmime_message(const gmime_message&) = delete;
    gmime_message& operator=(const gmime_message&) = delete;
    gmime_message& operator=(gmime_message&&) = delete;
    ~gmime_message() { release(); }

    GMimeMessage* get() const { return message; }

private:
    GByteArray* array;
    GMimeStream* stream = nullptr;
    GMimeMessage* message = nullptr;

    // The message holds the stream, which holds the array: released in that
    // order, and the array without its bytes, which are the caller's.
    void release() noexcept {
        if (message != nullptr) g_object_unref(message);
        if (stream != nullptr) g_object_unref(stream);
        if (array != nullptr) g_byte_array_free(array, FALSE);
    }
};

// Calls leaf for every part that is neither multipart nor an enclosed
// message, in document order.
template <typename Leaf>
void gmime_leaves(GMimeObject* object, Leaf&& leaf) {
    if (object == nullptr) return;
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        for (int i = 0, count = g_mime_multipart_get_count(multipart); i < count; ++i)
            gmime_leaves(g_mime_multipart_get_part(multipart, i), leaf);
    } else if (GMIME_IS_MESSAGE_PART(object)) {
        if (GMimeMessage* enclosed = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object)))
            gmime_leaves(g_mime_message_get_mime_part(enclosed), leaf);
    } else if (GMIME_IS_PART(object)) {
        leaf(GMIME_PART(object));
    }
}

// Decodes every leaf of message into a memory stream of its own, all kept
// until the caller drops them, as corvid's tree keeps its decoded bodies.
void gmime_decode(const gmime_message& message, std::vector<GMimeStream*>& decoded) {
    gmime_leaves(g_mime_message_get_mime_part(message.get()), [&decoded](GMimePart* part) {
        GMimeStream* out = g_mime_stream_mem_new();
        decoded.push_back(out);
        if (GMimeDataWrapper* content = g_mime_part_get_content(part))
            g_mime_data_wrapper_write_to_stream(content, out);
    });
}

std::string_view bytes_of(GMimeStream* stream) {
    const GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
    return {reinterpret_cast<const char*>(array->data), array->len};
}

void drop(std::vector<GMimeStream*>& streams) {
    for (GMimeStream* stream : streams) g_object_unref(stream);
    streams.clear();
}

// -------------------------------------------------------------- corvid side

template <typename Leaf>
void corvid_leaves(const m2::entity& entity, Leaf&& leaf) {
    if (!entity.children.empty()) {
        for (const m2::entity& child : entity.children) corvid_leaves(child, leaf);
    } else if (!corvid::starts_with(entity.body.content_type, "multipart/")) {
        leaf(entity);
    }
}

// --------------------------------------------------------------- the checks

// Both sides must read the same leaves with the same decoded bytes, or the
// timings compare different work.
void check_alike(std::string_view text, std::size_t index) {
    std::vector<std::string_view> ours;
    const m2::entity tree(text);
    corvid_leaves(tree, [&ours](const m2::entity& leaf) { ours.push_back(leaf.body.data); });

    const gmime_message message(text);
    std::vector<GMimeStream*> decoded;
    gmime_decode(message, decoded);
    std::string fault;
    if (decoded.size() != ours.size()) {
        fault = std::to_string(ours.size()) + " leaf parts against GMime's " + std::to_string(decoded.size());
    } else {
        for (std::size_t i = 0; i < ours.size() && fault.empty(); ++i)
            if (ours[i] != bytes_of(decoded[i]))
                fault = "leaf " + std::to_string(i) + " decodes to " + std::to_string(ours[i].size()) +
                        " bytes against GMime's " + std::to_string(bytes_of(decoded[i]).size());
    }
    drop(decoded);
    if (!fault.empty()) throw std::runtime_error("message " + std::to_string(index) + ": " + fault);
}

// ------------------------------------------------------------ peak memory

long status_kilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    const std::size_t length = std::strlen(field);
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, length, field) == 0) return std::stol(line.substr(length));
    throw std::runtime_error(std::string("no ") + field + " in /proc/self/status");
}

// Resets VmHWM to the present resident size, so that building the text does
// not count as the peak of what follows.
void reset_peak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.close();
    if (!clear) throw std::runtime_error("cannot reset the peak resident size (/proc/self/clear_refs)");
}

// The peak resident memory that run adds to one large message, over the
// text's size. Measured in a child of its own, so that no side inherits the
// other's heap; -1 when the child failed.
double extra_peak(const std::function<void(const std::string&)>& run, std::size_t& text_size) {
    int channel[2];
    if (pipe(channel) != 0) throw std::runtime_error("pipe failed");
    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        close(channel[0]);
        double result[2] = {-1, 0};
        try {
            // Both sides start alike, GMime's types registered.
            g_mime_init();
            const std::string text = corpus_writer(corpus_seed + 1).large();
            reset_peak();
            const long baseline = status_kilobytes("VmHWM:");
            run(text);
            result[0] = static_cast<double>(status_kilobytes("VmHWM:") - baseline) * 1024.0 /
                        static_cast<double>(text.size());
            result[1] = static_cast<double>(text.size());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "memory measurement failed: %s\n", e.what());
        }
        const bool sent = write(channel[1], result, sizeof result) == static_cast<ssize_t>(sizeof result);
        _exit(sent ? 0 : 1);
    }
    close(channel[1]);
    double result[2] = {-1, 0};
    const bool received = read(channel[0], result, sizeof result) == static_cast<ssize_t>(sizeof result);
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!received) return -1;
    text_size = static_cast<std::size_t>(result[1]);
    return result[0];
}

// ------------------------------------------------------------------ timing

struct run {
    const char* id;
    const char* label;
    std::function<std::size_t()> body;
    std::vector<double> seconds;
    // What the last pass returned: for the writers, the bytes written.
    std::size_t result = 0;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct options {
    unsigned rounds = 5;
    std::size_t messages = corpus_messages;
    std::string only;
    bool memory = true;
};

options read_options(int argc, char** argv) {
    options chosen;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const bool has_value = i + 1 < argc;
        if (argument == "--rounds" && has_value)
            chosen.rounds = static_cast<unsigned>(std::stoul(argv[++i]));
        else if (argument == "--messages" && has_value)
            chosen.messages = std::stoul(argv[++i]);
        else if (argument == "--only" && has_value)
            chosen.only = argv[++i];
        else if (argument == "--no-memory")
            chosen.memory = false;
        else
            throw std::runtime_error("usage: mime_bench [--rounds N] [--messages N] [--only RUN] [--no-memory]");
    }
    if (chosen.rounds == 0 || chosen.messages == 0 || chosen.messages > corpus_messages)
        throw std::runtime_error("--rounds must be positive and --messages from 1 to 1000");
    return chosen;
}

// The timed loops: each visits the whole corpus and returns a count that
// keeps the work from being optimised away.

[[gnu::noinline]] std::size_t corvid_parse(const std::vector<std::string>& corpus) {
    std::size_t parts = 0;
    for (const std::string& text : corpus) {
        const m2::entity message{std::string_view(text)};
        parts += message.children.size();
        benchmark::DoNotOptimize(message.body.data.data());
    }
    return parts;
}

[[gnu::noinline]] std::size_t corvid_walk(const std::vector<std::string>& corpus) {
    std::size_t touched = 0;
    for (const std::string& text : corpus) {
        m2::entity message{std::string_view(text)};
        for (const auto& [depth, entry] : message.enumerate_parts(false)) {
            const std::string& data = entry.part->body.data;
            touched += data.size() + depth;
            if (!data.empty()) touched += static_cast<unsigned char>(data.front()) + static_cast<unsigned char>(data.back());
        }
    }
    return touched;
}

[[gnu::noinline]] std::size_t corvid_write(const std::vector<m2::entity>& parsed) {
    std::size_t written = 0;
    for (const m2::entity& message : parsed) {
        const std::string text = message.write_text();
        written += text.size();
        benchmark::DoNotOptimize(text.data());
    }
    return written;
}

[[gnu::noinline]] std::size_t gmime_lazy(const std::vector<std::string>& corpus) {
    std::size_t parsed = 0;
    for (const std::string& text : corpus) {
        const gmime_message message(text);
        parsed += g_mime_message_get_mime_part(message.get()) != nullptr;
    }
    return parsed;
}

[[gnu::noinline]] std::size_t gmime_parse_decode(const std::vector<std::string>& corpus) {
    std::size_t decoded_bytes = 0;
    std::vector<GMimeStream*> decoded;
    for (const std::string& text : corpus) {
        const gmime_message message(text);
        gmime_decode(message, decoded);
        for (GMimeStream* stream : decoded) decoded_bytes += bytes_of(stream).size();
        drop(decoded);
    }
    return decoded_bytes;
}

// Both writers produce CR LF lines, as corvid always does.
[[gnu::noinline]] std::size_t gmime_write(const std::vector<gmime_message>& parsed, GMimeFormatOptions* format) {
    std::size_t written = 0;
    for (const gmime_message& message : parsed) {
        GMimeStream* out = g_mime_stream_mem_new();
        g_mime_object_write_to_stream(GMIME_OBJECT(message.get()), format, out);
        written += bytes_of(out).size();
        g_object_unref(out);
    }
    return written;
}

double megabytes(std::size_t bytes) { return static_cast<double>(bytes) / 1e6; }

int bench(const options& chosen) {
    // The memory children start before this process holds a corpus.
    double corvid_peak = -1, gmime_peak = -1;
    std::size_t large_size = 0;
    if (chosen.memory && chosen.only.empty()) {
        corvid_peak = extra_peak(
            [](const std::string& text) {
                const m2::entity message{std::string_view(text)};
                benchmark::DoNotOptimize(message.children.data());
            },
            large_size);
        gmime_peak = extra_peak(
            [](const std::string& text) {
                const gmime_message message(text);
                std::vector<GMimeStream*> decoded;
                gmime_decode(message, decoded);
                benchmark::DoNotOptimize(decoded.data());
                drop(decoded);
            },
            large_size);
    }

    g_mime_init();
    corpus_writer writer(corpus_seed);
    std::vector<std::string> corpus;
    std::vector<corpus_writer::kind> shapes;
    std::size_t corpus_bytes = 0;
    for (std::size_t i = 0; i < chosen.messages; ++i) {
        corpus_writer::message message = writer.next();
        corpus_bytes += message.text.size();
        shapes.push_back(message.shape);
        corpus.push_back(std::move(message.text));
    }

    // A few messages, the first of each shape among them.
    std::size_t checked = 0;
    std::vector<bool> shape_seen(4);
    for (std::size_t i = 0; i < corpus.size(); ++i) {
        const auto shape = static_cast<std::size_t>(shapes[i]);
        if (i % 100 != 0 && shape_seen[shape]) continue;
        shape_seen[shape] = true;
        check_alike(corpus[i], i);
        ++checked;
    }

    std::size_t leaves = 0;
    std::vector<m2::entity> corvid_parsed;
    std::vector<gmime_message> gmime_parsed;
    const bool all = chosen.only.empty();
    if (all || chosen.only == "corvid_write") {
        corvid_parsed.reserve(corpus.size());
        for (const std::string& text : corpus) {
            corvid_parsed.emplace_back(std::string_view(text));
            corvid_leaves(corvid_parsed.back(), [&leaves](const m2::entity&) { ++leaves; });
        }
    }
    if (all || chosen.only == "gmime_write") {
        gmime_parsed.reserve(corpus.size());
        for (const std::string& text : corpus) gmime_parsed.emplace_back(text);
    }
    GMimeFormatOptions* format = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(format, GMIME_NEWLINE_FORMAT_DOS);

    std::vector<run> runs;
    runs.push_back({"corvid_parse", "corvid parse", [&] { return corvid_parse(corpus); }, {}});
    runs.push_back({"corvid_walk", "corvid parse + walk", [&] { return corvid_walk(corpus); }, {}});
    runs.push_back({"corvid_write", "corvid write", [&] { return corvid_write(corvid_parsed); }, {}});
    runs.push_back({"gmime_lazy", "GMime lazy parse", [&] { return gmime_lazy(corpus); }, {}});
    runs.push_back({"gmime_decode", "GMime parse + decode", [&] { return gmime_parse_decode(corpus); }, {}});
    runs.push_back({"gmime_write", "GMime write", [&] { return gmime_write(gmime_parsed, format); }, {}});
    if (!all) {
        std::erase_if(runs, [&](const run& r) { return r.id != chosen.only; });
        if (runs.empty()) throw std::runtime_error("no run called " + chosen.only);
    }
    // Interleaved: one pass of every run per round, the order reversed on
    // odd rounds. Round 0 is not counted: it warms the caches and the heap,
    // whose first pages cost the first run more than the others.
    for (unsigned round = 0; round <= chosen.rounds; ++round) {
        for (std::size_t k = 0; k < runs.size(); ++k) {
            run& current = runs[round % 2 == 1 ? k : runs.size() - 1 - k];
            const auto start = clock_type::now();
            current.result = current.body();
            const double seconds = std::chrono::duration<double>(clock_type::now() - start).count();
            if (round != 0) current.seconds.push_back(seconds);
            benchmark::DoNotOptimize(current.result);
        }
    }
    g_mime_format_options_free(format);

    std::printf("corpus: %zu messages, %.1f MB, seed %llu", corpus.size(), megabytes(corpus_bytes),
                static_cast<unsigned long long>(corpus_seed));
    if (leaves != 0) std::printf(", %zu leaf parts", leaves);
    std::printf("\nchecked: %zu messages read alike by corvid and GMime (leaf parts and decoded bytes)\n", checked);
    std::printf("%u rounds after one to warm up, every run once per round, order reversed every other round;\n"
                "medians; spread = (slowest - fastest) / median\n\n",
                chosen.rounds);
    std::printf("%-24s %10s %10s %8s\n", "run", "MB/s", "msg/s", "spread");
    // A ratio is the median of the ratios within each round, whose two runs
    // ran close together, rather than a ratio of medians from different
    // moments of a busy machine.
    auto ratio = [&](std::size_t ours, std::size_t theirs) {
        std::vector<double> ratios;
        for (std::size_t round = 0; round < chosen.rounds; ++round)
            ratios.push_back(runs[theirs].seconds[round] / runs[ours].seconds[round]);
        return median(ratios);
    };
    for (const run& r : runs) {
        const double middle = median(r.seconds);
        const auto [fastest, slowest] = std::minmax_element(r.seconds.begin(), r.seconds.end());
        std::printf("%-24s %10.1f %10.1f %7.1f%%\n", r.label, megabytes(corpus_bytes) / middle,
                    static_cast<double>(corpus.size()) / middle, 100 * (*slowest - *fastest) / middle);
    }
    if (all) {
        std::printf("\n%-42s %8s %8s\n", "ratio of throughputs", "value", "target");
        std::printf("%-42s %8.2f %8s\n", "corvid parse / GMime parse + decode", ratio(0, 4), ">= 2");
        std::printf("%-42s %8.2f %8s\n", "corvid parse + walk / GMime parse + decode", ratio(1, 4), "");
        std::printf("%-42s %8.2f %8s\n", "corvid parse / GMime lazy parse", ratio(0, 3), ">= 1.0");
        std::printf("%-42s %8.2f %8s\n", "corvid write / GMime write", ratio(2, 5), ">= 1.5");
        std::printf("(MB/s counts the corpus read or written again; the writers wrote %.1f MB (corvid) and %.1f MB "
                    "(GMime))\n",
                    megabytes(runs[2].result), megabytes(runs[5].result));
    }
    if (chosen.memory && all) {
        std::printf("\npeak memory reading one message of %.1f MB: extra peak resident size / text size\n",
                    megabytes(large_size));
        std::printf("%-42s %8.2f %8s\n", "corvid parse", corvid_peak, "<= 1.0");
        std::printf("%-42s %8.2f\n", "GMime parse + decode", gmime_peak);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return bench(read_options(argc, argv));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mime_bench: %s\n", e.what());
        return 1;
    }
}
