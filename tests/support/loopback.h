#ifndef CORVID_TESTS_SUPPORT_LOOPBACK_H
#define CORVID_TESTS_SUPPORT_LOOPBACK_H

// A connected pair of TCP streams on 127.0.0.1 with an ephemeral port, made
// in one thread: the connection completes in the listener's backlog before
// it is accepted. Both ends get a receive time-out so that no test can wait
// for ever. Needs the network subsystem started.

#include <corvid/internet/address/ip4.h>
#include <corvid/internet/transport/tcp/raw.h>

namespace corvid::test {

struct tcp_pair {
    explicit tcp_pair(int timeout_ms = 5000) {
        internet::address::ip4 any("127.0.0.1", 0);
        listener.open(any);
        listener.bind(any);
        listener.listen();
        listener.local_address(address);
        client.open(address);
        client.connect(address);
        server.accept(listener);
        client.set_receive_timeout(timeout_ms);
        server.set_receive_timeout(timeout_ms);
    }

    internet::address::ip4 address;
    internet::transport::tcp::raw listener;
    internet::transport::tcp::raw client;
    internet::transport::tcp::raw server;
};

}  // namespace corvid::test

#endif
