// SPDX-License-Identifier: MIT
#include "commands.h"
#include "maildir.h"
#include "maildir_handler.h"
#include "passed_listeners.h"

#include <corvid/exception.h>
#include <corvid/internet/address/endpoint.h>
#include <corvid/internet/environment/environment.h>
#include <corvid/internet/environment/startup.h>
#include <corvid/internet/smtp/agent.h>
#include <corvid/internet/transport/tcp/raw.h>
#include <corvid/internet/transport/tcp/tls.h>
#include <corvid/platform/file.h>
#include <corvid/platform/signals.h>
#include <corvid/platform/socket.h>

#include <cerrno>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace corvid_tool {

namespace {

namespace address = corvid::internet::address;
namespace environment = corvid::internet::environment;
namespace smtp = corvid::internet::smtp;
namespace tcp = corvid::internet::transport::tcp;
using std::chrono::seconds;

struct serve_options {
    // ADDRESS:PORT each; none for default_listen.
    std::vector<std::string> listen;
    std::string hostname;
    std::string maildir = "Maildir";
    bool discard = false;
    std::uint64_t max_size = 33554432;
    unsigned max_hops = 8;
    unsigned max_recipients = 1000;
    int timeout = 300;
    unsigned max_sessions = 64;
    std::string tls_cert;
    std::string tls_key;
    bool tls_implicit = false;
    std::string auth_file;
    bool auth_any = false;
    bool require_auth = false;
    bool plaintext_auth = false;
    std::vector<std::string> replies;
    unsigned max_messages = 0;
    unsigned max_per_client = 0;  // 0: a quarter of max_sessions
};

const char* const default_listen = "127.0.0.1:2525";

// How long running sessions may go on once a stop is asked for, and how
// long those cut off then get to wind down.
constexpr seconds stop_grace{10};
constexpr seconds cut_off_grace{2};

// A stream that keeps the last line the server wrote, so that the log can
// say how a session ended (221 Bye, a 552 rejection, ...), also once a TLS
// stream has taken over its connection.
class session_stream : public tcp::raw, private tcp::byte_observer {
public:
    session_stream() { observe(this); }

    const std::string& last_reply() const noexcept { return last; }

private:
    void sent(std::string_view text) override {
        // Replies are whole lines, each ending in CR LF.
        if (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n") text.remove_suffix(2);
        const std::size_t start = text.rfind("\r\n");
        last.assign(start == std::string_view::npos ? text : text.substr(start + 2));
    }
    void received(std::string_view) override {}

    std::string last;
};

// What the sessions share with the thread that started the server. Each
// worker holds it too, so it outlives a session still winding down at exit.
struct server {
    server(const serve_options& options, std::optional<maildir> box, std::optional<tcp::tls_context> tls,
           std::string name, session_policy policy, listener_list listeners)
        : options(options), box(std::move(box)), tls(std::move(tls)), agent(std::move(name)),
          policy(std::move(policy)), listeners(std::move(listeners)) {}

    const serve_options options;
    const std::optional<maildir> box;
    const std::optional<tcp::tls_context> tls;
    const smtp::agent agent;
    const session_policy policy;
    const listener_list listeners;
    // Idle workers wait for connections here, each taking the one it is
    // woken for and serving it itself: no thread hands a connection to
    // another, which would cost two wake-ups per session instead of one.
    corvid::platform::connection_waiter waiter;

    std::mutex lock;
    std::condition_variable session_ended;
    // The sockets of running sessions, so that a stop can cut them off, and
    // the client's address and port of each.
    std::map<std::uint64_t, std::pair<session_stream*, std::string>> sessions;
    // Sessions running per client address, for --max-per-client.
    std::map<std::string, unsigned> per_client;
    std::uint64_t next_id = 0;
    // Set once the sessions left after the grace time are cut off.
    bool cutting_off = false;

    // Workers waiting for a connection. Until the stop at least one always
    // is: the last one to take a connection starts another. Workers stay
    // for the next session a while, since starting a thread per connection
    // costs more than the whole SMTP exchange of a small message.
    std::size_t idle_workers = 0;
    bool stopping = false;

    // Worker threads are joined, never detached: at exit none may still be
    // running (or ending) beside the exit handlers. A worker that returns
    // moves its thread here for another worker, or the stop, to join.
    std::map<std::uint64_t, std::thread> workers;
    std::vector<std::thread> finished;
    std::uint64_t next_worker = 0;
    std::condition_variable worker_ended;
};

// Joins the workers that have returned; called without the lock held.
void join_finished(server& shared) {
    std::vector<std::thread> done;
    {
        std::lock_guard<std::mutex> hold(shared.lock);
        done.swap(shared.finished);
    }
    for (std::thread& worker : done) worker.join();
}

// Once the session is over, the reply must reach the client before the
// socket goes: closing with its unread commands still queued would reset
// the connection and could drop the reply. So the sending side is closed
// first, and what the client still sends is read and dropped, for a short
// while.
void wind_down(tcp::base& stream) {
    if (stream.socket_handle() == corvid::platform::invalid_socket) return;
    stream.shutdown_send();
    stream.set_deadline(tcp::base::clock::now() + seconds(1));
    std::string ignored;
    try {
        for (std::size_t total = 0; total < (std::size_t{1} << 20); total += ignored.size()) stream.read(ignored);
    } catch (const corvid::exception&) {
        // The client has gone or kept talking: either way the session is over.
    }
}

// The address alone of "address:port", the unit of --max-per-client.
std::string client_part(const std::string& peer) { return peer.substr(0, peer.rfind(':')); }

// Takes over the stream, and ends the session's registration.
void run_session(server& shared, std::unique_ptr<session_stream> stream, std::uint64_t id, const std::string& peer) {
    std::string outcome;
    unsigned delivered = 0;
    unsigned failed = 0;
    try {
        maildir_handler handler(shared.box ? &*shared.box : nullptr, shared.options.max_recipients, peer,
                                shared.policy);
        handler.max_size = static_cast<unsigned>(shared.options.max_size);
        handler.max_hops = shared.options.max_hops;
        handler.offer_login = shared.policy.auth_any || !shared.policy.users.empty();
        handler.plaintext_login = shared.options.plaintext_auth;
        handler.require_login = shared.options.require_auth;
        try {
            if (shared.tls && shared.options.tls_implicit) {
                tcp::tls secured(*stream, *shared.tls);
                shared.agent.serve(secured, handler);
                outcome = stream->last_reply();
                wind_down(secured);
            } else {
                if (shared.tls)
                    shared.agent.serve(*stream, handler, *shared.tls);
                else
                    shared.agent.serve(*stream, handler);
                outcome = stream->last_reply();
                wind_down(*stream);
            }
        } catch (const tcp::base::connection_timed_out&) {
            outcome = "timed out";
        } catch (const tcp::base::connection_closed&) {
            std::lock_guard<std::mutex> hold(shared.lock);
            outcome = shared.cutting_off ? "cut off by the stop" : "closed by the client";
        } catch (const std::exception& e) {
            outcome = e.what();
        }
        delivered = handler.delivered();
        failed = handler.failed();
    } catch (const std::exception& e) {
        outcome = e.what();
    }
    log_line(peer + ": session ended, " + std::to_string(delivered) + " delivered" +
             (failed != 0 ? ", " + std::to_string(failed) + " failed" : std::string()) + ": " + outcome);
    {
        // Closed while registered, so that a stop never shuts a descriptor
        // number that has been handed out again.
        std::lock_guard<std::mutex> hold(shared.lock);
        stream.reset();
        const auto session = shared.sessions.find(id);
        const std::string client = client_part(session->second.second);
        if (--shared.per_client[client] == 0) shared.per_client.erase(client);
        shared.sessions.erase(session);
    }
    shared.session_ended.notify_all();
}

void turn_away(const server& shared, session_stream& stream, const std::string& peer, const std::string& why) {
    shared.agent.refuse(stream, "busy");
    log_line(peer + ": turned away: " + why);
}

// Registers the session of a connection just taken, or turns it away;
// called with the lock held, which it gives up. The session's id, or none.
std::optional<std::uint64_t> admit(server& shared, std::unique_lock<std::mutex>& hold, session_stream& stream,
                                   const std::string& peer) {
    std::string why;
    const std::string client = client_part(peer);
    // One client may not take every place and so turn everyone else away.
    const unsigned share = shared.options.max_per_client != 0 ? shared.options.max_per_client
                                                              : std::max(1u, shared.options.max_sessions / 4);
    if (shared.stopping) {
        why = "stopping";
    } else if (shared.sessions.size() >= shared.options.max_sessions) {
        why = std::to_string(shared.options.max_sessions) + " sessions running";
    } else if (const auto running = shared.per_client.find(client);
               running != shared.per_client.end() && running->second >= share) {
        why = std::to_string(share) + " sessions running from this client";
    } else {
        const std::uint64_t id = shared.next_id++;
        shared.sessions.emplace(id, std::make_pair(&stream, peer));
        ++shared.per_client[client];
        hold.unlock();
        return id;
    }
    hold.unlock();
    turn_away(shared, stream, peer, why);
    return std::nullopt;
}

void work_sessions(const std::shared_ptr<server>& shared, std::uint64_t worker);

// Starts a worker, counted as idle from here on; called with the lock held.
void start_worker(const std::shared_ptr<server>& shared) {
    const std::uint64_t worker = shared->next_worker++;
    ++shared->idle_workers;
    try {
        shared->workers.emplace(worker, std::thread(work_sessions, shared, worker));
    } catch (const std::system_error&) {
        --shared->idle_workers;
        throw;
    }
}

// How long an idle worker waits for a connection before it ends, when
// another one waits too.
constexpr auto worker_idle_time = seconds(10);

// Takes the connection that listener has waiting, if it still has one;
// nullptr otherwise. The listener is watched again either way.
std::unique_ptr<session_stream> take_connection(server& shared, std::size_t listener, std::string& peer) {
    auto stream = std::make_unique<session_stream>();
    bool taken = false;
    address::endpoint endpoint;
    try {
        taken = stream->try_accept(*shared.listeners[listener], endpoint);
    } catch (const corvid::exception& e) {
        // Out of descriptors or a broken listener: the server goes on, after
        // a pause (with the listener unwatched) that keeps a persistent
        // cause from spinning.
        std::unique_lock<std::mutex> hold(shared.lock);
        if (!shared.stopping) {
            hold.unlock();
            log_line(std::string("cannot accept a connection: ") + e.what());
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    std::error_code ec;
    shared.waiter.rearm(listener, ec);
    if (ec) {
        log_line("cannot wait for connections: " + ec.message());
        corvid::platform::request_stop();
    }
    if (!taken) return nullptr;
    // An IPv4 client of a dual-stack listener shows as IPv4, so that it
    // counts as one client on every listener.
    peer = address::numeric_text(endpoint.unmapped());
    return stream;
}

void work_sessions(const std::shared_ptr<server>& shared, std::uint64_t worker) {
    // Unlocked at the top of each round: the wait, the accept and the
    // session run without the lock.
    std::unique_lock<std::mutex> hold(shared->lock, std::defer_lock);
    for (;;) {
        std::error_code ec;
        const std::size_t ready = shared->waiter.wait(static_cast<int>(worker_idle_time.count() * 1000), ec);
        if (ec) {
            log_line("cannot wait for connections: " + ec.message());
            corvid::platform::request_stop();
        }
        hold.lock();
        if (ec || ready == corvid::platform::connection_waiter::stopped || shared->stopping) break;
        if (ready == corvid::platform::connection_waiter::timed_out) {
            if (shared->idle_workers > 1) break;
            hold.unlock();
            continue;
        }
        hold.unlock();
        std::string peer;
        std::unique_ptr<session_stream> stream = take_connection(*shared, ready, peer);
        if (!stream) continue;
        hold.lock();
        const std::optional<std::uint64_t> id = admit(*shared, hold, *stream, peer);
        if (!id) continue;
        hold.lock();
        --shared->idle_workers;
        if (shared->idle_workers == 0 && !shared->stopping) {
            try {
                start_worker(shared);
            } catch (const std::system_error& e) {
                // Connections wait in the backlog until a session ends.
                log_line(std::string("cannot start a worker: ") + e.what());
            }
        }
        hold.unlock();
        run_session(*shared, std::move(stream), *id, peer);
        join_finished(*shared);
        hold.lock();
        ++shared->idle_workers;
        hold.unlock();
    }
    // The thread that started this worker held the lock until it was
    // registered, so it is there.
    --shared->idle_workers;
    auto self = shared->workers.find(worker);
    shared->finished.push_back(std::move(self->second));
    shared->workers.erase(self);
    shared->worker_ended.notify_all();
}

// Sessions still running: waits until they end or until `until`.
std::size_t wait_for_sessions(server& shared, std::chrono::steady_clock::time_point until) {
    std::unique_lock<std::mutex> hold(shared.lock);
    shared.session_ended.wait_until(hold, until, [&] { return shared.sessions.empty(); });
    return shared.sessions.size();
}

// Lines user:password. The file holds secrets: one that others may read
// is refused, as ssh refuses such a key.
std::map<std::string, std::string> read_users(const std::string& path) {
    std::error_code ec;
    const corvid::platform::unique_file file = corvid::platform::open_file(path, corvid::platform::open_mode::read, ec);
    if (ec) throw corvid::exception("cannot open " + path + ": " + ec.message());
    const corvid::platform::file_facts facts = corvid::platform::facts(file, ec);
    if (ec) throw corvid::exception("cannot read " + path + ": " + ec.message());
    if ((facts.mode & 077) != 0)
        throw corvid::exception(path + " may be read by others; make it readable by its owner alone (chmod 600)");
    if (facts.owner != 0 && facts.owner != corvid::platform::effective_user())
        throw corvid::exception(path + " belongs to another user");
    std::string text;
    corvid::platform::read_file(path, text, ec);
    if (ec) throw corvid::exception("cannot read " + path + ": " + ec.message());
    std::map<std::string, std::string> users;
    std::size_t number = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = std::min(text.find('\n', at), text.size());
        std::string line = text.substr(at, end - at);
        at = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const std::size_t colon = line.find(':');
        if (colon == 0 || colon == std::string::npos)
            throw corvid::exception(path + " line " + std::to_string(number) + " is not user:password");
        users[line.substr(0, colon)] = line.substr(colon + 1);
    }
    return users;
}

session_policy make_policy(const serve_options& options) {
    session_policy policy;
    if (!options.auth_file.empty()) policy.users = read_users(options.auth_file);
    policy.auth_any = options.auth_any;
    for (const std::string& text : options.replies) policy.rules.push_back(parse_reply_rule(text));
    if (options.max_messages != 0) {
        auto count = std::make_shared<std::atomic<unsigned>>(0);
        policy.delivered = [count, limit = options.max_messages] {
            if (++*count == limit) {
                log_line("stopping after " + std::to_string(limit) + " messages");
                corvid::platform::request_stop();  // as SIGTERM does
            }
        };
    }
    return policy;
}

// ADDRESS:PORT, split at the last colon; an IPv6 address in brackets.
struct listen_address {
    std::string text;
    std::string host;
    std::uint16_t port = 0;
    bool bracketed = false;
};

listen_address parse_listen(const std::string& text) {
    const std::size_t colon = text.rfind(':');
    const std::size_t digits = colon == std::string::npos ? 0 : text.size() - colon - 1;
    listen_address parsed{text, text.substr(0, colon == std::string::npos ? 0 : colon)};
    parsed.bracketed = parsed.host.size() > 2 && parsed.host.front() == '[' && parsed.host.back() == ']';
    if (parsed.bracketed) parsed.host = parsed.host.substr(1, parsed.host.size() - 2);
    // An IPv6 address without brackets would be cut at its last colon.
    const bool ambiguous = !parsed.bracketed && parsed.host.find_first_of(":[]") != std::string::npos;
    if (parsed.host.empty() || ambiguous || digits == 0 || digits > 5 ||
        text.find_first_not_of("0123456789", colon + 1) != std::string::npos ||
        std::stoul(text.substr(colon + 1)) > 65535)
        throw corvid::exception("--listen wants ADDRESS:PORT or [IPV6-ADDRESS]:PORT, got: " + text);
    parsed.port = static_cast<std::uint16_t>(std::stoul(text.substr(colon + 1)));
    return parsed;
}

// Opens, binds and starts a listener on each address. An IPv6 one takes
// IPv4 clients too (dual stack) unless an IPv4 address is given beside it,
// which would then collide with it on the same port.
listener_list open_listeners(const std::vector<std::string>& texts) {
    std::vector<listen_address> wanted;
    for (const std::string& text : texts) wanted.push_back(parse_listen(text));
    std::vector<address::endpoint> endpoints;
    bool any_ip4 = false;
    for (const listen_address& each : wanted) {
        try {
            endpoints.push_back(address::resolve(each.host, each.port,
                                                 each.bracketed ? address::family::ip6 : address::family::any)
                                    .front());
        } catch (const corvid::exception& e) {
            throw corvid::exception("cannot resolve " + each.host + ": " + e.what());
        }
        any_ip4 = any_ip4 || !endpoints.back().is_ip6();
    }
    listener_list listeners;
    for (std::size_t i = 0; i < endpoints.size(); ++i) {
        try {
            listeners.push_back(std::make_unique<tcp::raw>());
            tcp::raw& listener = *listeners.back();
            listener.open(endpoints[i]);
            // A restart must not wait for the last run's connections to time out.
            listener.set_reuse_address(true);
            if (endpoints[i].is_ip6()) listener.set_v6_only(any_ip4);
            listener.bind(endpoints[i]);
            listener.listen();
        } catch (const corvid::exception& e) {
            throw corvid::exception("cannot listen on " + wanted[i].text + ": " + e.what());
        }
    }
    return listeners;
}

void serve(const serve_options& options) {
    environment::startup network;
    const std::string machine = environment::host_name();
    // Sockets from the service manager stand in for the default address;
    // those given with --listen are listened on as well.
    listener_list listeners = passed_listeners();
    const std::vector<std::string> addresses = !options.listen.empty() ? options.listen
                                               : listeners.empty()     ? std::vector<std::string>{default_listen}
                                                                       : std::vector<std::string>{};
    if (listeners.size() + addresses.size() + 1 > corvid::platform::max_wait_descriptors)
        throw corvid::exception("at most " + std::to_string(corvid::platform::max_wait_descriptors - 1) +
                                " listening sockets may be given");
    for (auto& listener : open_listeners(addresses)) listeners.push_back(std::move(listener));
    std::optional<maildir> box;
    if (!options.discard) box.emplace(options.maildir, machine);
    std::optional<tcp::tls_context> tls;
    if (!options.tls_cert.empty()) tls = tcp::tls_context::server(options.tls_cert, options.tls_key);

    std::error_code stop_ec;
    const corvid::platform::native_socket stop = corvid::platform::watch_stop_signals(stop_ec);
    if (stop_ec) throw corvid::exception("cannot catch signals: " + stop_ec.message());
    auto shared = std::make_shared<server>(options, std::move(box), std::move(tls),
                                           options.hostname.empty() ? machine : options.hostname,
                                           make_policy(options), std::move(listeners));
    for (const auto& listener : shared->listeners) {
        address::endpoint bound;
        listener->local_address(bound);
        if (std::printf("listening on %s\n", address::numeric_text(bound).c_str()) < 0)
            throw corvid::exception(std::string("cannot write standard output: ") + std::strerror(errno));
    }
    if (std::fflush(stdout) != 0)
        throw corvid::exception(std::string("cannot write standard output: ") + std::strerror(errno));
    std::vector<corvid::platform::native_socket> sockets;
    for (const auto& listener : shared->listeners) {
        // Each session's stream takes them over from its listener. A client
        // that stops reading must not hold a session for good either.
        listener->set_receive_timeout(options.timeout * 1000);
        listener->set_send_timeout(options.timeout * 1000);
        sockets.push_back(listener->socket_handle());
    }
    std::error_code ec;
    shared->waiter.open(stop, sockets.data(), sockets.size(), ec);
    if (ec) throw corvid::exception("cannot wait for connections: " + ec.message());
    {
        std::lock_guard<std::mutex> hold(shared->lock);
        start_worker(shared);
    }

    // The workers take the connections; this thread waits for the stop.
    corvid::platform::wait_readable_any(&stop, 1, ec);
    if (ec) throw corvid::exception("cannot wait for a stop: " + ec.message());
    {
        std::lock_guard<std::mutex> hold(shared->lock);
        log_line("stopping, sessions running: " + std::to_string(shared->sessions.size()));
        // Idle workers end now, woken by the stop; busy ones once their
        // session is over.
        shared->stopping = true;
    }
    // New connections are refused by the system from here on. The
    // listeners stay open until no worker can be taking a connection, so
    // that their descriptor numbers are not handed out meanwhile.
    for (const auto& listener : shared->listeners) listener->interrupt();
    auto until = std::chrono::steady_clock::now() + stop_grace;
    std::size_t left = wait_for_sessions(*shared, until);
    if (left != 0) {
        log_line("stopping, sessions cut off: " + std::to_string(left));
        {
            std::lock_guard<std::mutex> hold(shared->lock);
            shared->cutting_off = true;
            for (const auto& [id, session] : shared->sessions) session.first->interrupt();
        }
        left = wait_for_sessions(*shared, std::chrono::steady_clock::now() + cut_off_grace);
    }
    if (left != 0) {
        // Stuck beyond reach (a disk that does not answer): the process
        // ends without them; what they had not renamed into new/ was never
        // acknowledged.
        log_line("stopped, sessions abandoned: " + std::to_string(left));
        std::fflush(stderr);
        std::_Exit(0);
    }
    {
        // Every session is over, so every worker returns at once.
        std::unique_lock<std::mutex> hold(shared->lock);
        shared->worker_ended.wait_for(hold, cut_off_grace, [&] { return shared->workers.empty(); });
        if (!shared->workers.empty()) {
            log_line("stopped, workers abandoned: " + std::to_string(shared->workers.size()));
            std::fflush(stderr);
            std::_Exit(0);
        }
    }
    join_finished(*shared);
    log_line("stopped");
}

// Names and addresses go into replies as they stand: a control character or
// a space would break the line or the greeting.
const CLI::Validator host_name_text(
    [](const std::string& value) -> std::string {
        for (const char c : value) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte <= 0x20 || byte == 0x7f) return "may not hold spaces or control characters";
        }
        return {};
    },
    "", "host name");

}  // namespace

void add_smtp_command(CLI::App& app) {
    auto* smtp_app = app.add_subcommand("smtp", "Run SMTP services");
    smtp_app->require_subcommand(1);

    auto options = std::make_shared<serve_options>();
    auto* cmd = smtp_app->add_subcommand("serve", "Receive mail over SMTP into a Maildir folder");
    cmd->add_option("--listen", options->listen,
                    std::string("ADDRESS:PORT to listen on, repeatable; [::]:PORT for IPv6 and IPv4 both (IPv6 "
                                "only when an IPv4 address is given too), [::1]:PORT for IPv6 loopback; port 0 "
                                "picks a free one (default: ") +
                        default_listen + "; sockets passed by the service manager in LISTEN_FDS replace it)");
    cmd->add_option("--hostname", options->hostname, "Own name in the greeting and replies (default: this host's name)")
        ->check(host_name_text);
    auto* folder = cmd->add_option("--maildir", options->maildir, "Maildir folder, created if missing")
                       ->capture_default_str();
    cmd->add_flag("--discard", options->discard, "Take every message and drop it")->excludes(folder);
    cmd->add_option("--max-size", options->max_size, "Largest message in bytes; 0 for no limit")
        ->capture_default_str()
        ->check(CLI::Range(std::uint64_t{0}, std::uint64_t{4294967295u}));
    cmd->add_option("--max-hops", options->max_hops, "Trace lines of ours that mark a mail loop; 0 for no check")
        ->capture_default_str()
        ->check(CLI::Range(0u, 1000u));
    cmd->add_option("--max-recipients", options->max_recipients, "Recipients per message")
        ->capture_default_str()
        ->check(CLI::Range(1u, 1000000u));
    cmd->add_option("--timeout", options->timeout, "Seconds a client may stay silent")
        ->capture_default_str()
        ->check(CLI::Range(1, 86400));
    cmd->add_option("--max-sessions", options->max_sessions, "Sessions at once; more are turned away")
        ->capture_default_str()
        ->check(CLI::Range(1u, 100000u));
    auto* cert = cmd->add_option("--tls-cert", options->tls_cert,
                                 "PEM file with the server's certificate chain: offers STARTTLS")
                     ->check(CLI::ExistingFile);
    auto* key = cmd->add_option("--tls-key", options->tls_key, "PEM file with the certificate's private key")
                    ->check(CLI::ExistingFile);
    cert->needs(key);
    key->needs(cert);
    cmd->add_flag("--tls-implicit", options->tls_implicit, "TLS from the first byte (port 465) instead of STARTTLS")
        ->needs(cert);
    auto* users = cmd->add_option("--auth-file", options->auth_file,
                                  "Offer AUTH, with the logins of FILE (lines user:password, readable by its owner alone)")
                      ->check(CLI::ExistingFile);
    cmd->add_flag("--auth-any", options->auth_any, "Offer AUTH and take every login (for testing clients)")
        ->excludes(users);
    cmd->add_flag("--require-auth", options->require_auth, "Refuse MAIL before a login (530)");
    cmd->add_flag("--allow-plaintext-auth", options->plaintext_auth,
                  "Offer AUTH PLAIN and LOGIN outside TLS too (they send the password as it is)");
    cmd->add_option("--reply", options->replies,
                    "STAGE[:PATTERN]=REPLY, repeatable: answer MAIL or RCPT for addresses matching the shell "
                    "PATTERN, or data (after the text), with a 4xx or 5xx REPLY, or drop the connection (drop)");
    cmd->add_option("--max-messages", options->max_messages, "Stop after N delivered messages; 0 for never")
        ->capture_default_str();
    cmd->add_option("--max-per-client", options->max_per_client,
                    "Sessions at once from one address; 0 for a quarter of --max-sessions")
        ->capture_default_str()
        ->check(CLI::Range(0u, 100000u));
    cmd->callback([options] {
        try {
            serve(*options);
        } catch (const corvid::exception& e) {
            std::fprintf(stderr, "corvid smtp serve: %s\n", e.message());
            throw CLI::RuntimeError(1);
        }
    });
}

}  // namespace corvid_tool
