// Plays arbitrary bytes as the server's side of an SMTP session: greeting
// and EHLO, AUTH with the mechanisms the bytes offer, then one mail
// transaction. The first byte steers how the rest is cut into receives and
// which password is used; the client's output is discarded. Library errors
// are expected answers to a bad server; anything else (a crash, a sanitizer
// report, a hang, an escaping std exception) is a finding.

#include <corvid/exception.h>
#include <corvid/internet/smtp/agent.h>
#include <corvid/internet/transport/tcp/base.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace smtp = corvid::internet::smtp;

// A stream without a socket: receives hand out the input in pieces, then
// fail as a closed connection would.
class replay_stream : public corvid::internet::transport::tcp::base {
public:
    replay_stream(std::string_view input, unsigned steer) : rest(input), steer(steer) {}

    void fill() override {
        if (rest.empty()) throw connection_closed("recv() failed");
        std::size_t piece = rest.size();
        if (unsigned limit = steer & 0x3f; limit != 0) {
            // A small generator, so that line ends fall on every kind of
            // boundary between receives.
            state = state * 1103515245u + 12345u;
            piece = 1 + (state >> 16) % limit;
            if (piece > rest.size()) piece = rest.size();
        }
        append_input(rest.data(), piece);
        rest.remove_prefix(piece);
    }

    void flush() override { static_cast<void>(take_output()); }

private:
    std::string_view rest;
    unsigned steer;
    unsigned state = 1;
};

template <typename Call>
void quietly(Call&& call) {
    try {
        call();
    } catch (const corvid::exception&) {
    } catch (const std::bad_alloc&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned steer = data[0];
    replay_stream stream(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), steer);

    // A key longer than one block takes the hashed-key path of CRAM-MD5.
    const std::string password = (steer & 0x80) != 0 ? std::string(80, '\xaa') : "tanstaaftanstaaf";
    const std::vector<std::string> lines = {"Subject: fuzz", "", ".", "..x", "text", ""};

    const smtp::agent client("fuzz.example.org");
    smtp::reply_texts texts;
    // Each step runs whatever the one before it ended with, so that a server
    // that fails one exchange still drives the next.
    quietly([&] { client.hello(stream, texts); });
    quietly([&] { static_cast<void>(client.authenticate(stream, "tim", password, texts)); });
    quietly([&] { client.transact(stream, "support@example.org", "", lines); });
    return 0;
}
