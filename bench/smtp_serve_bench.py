#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Helpers of bench/smtp_serve_bench, run with Debian's own Python 3 so that
its python3-aiosmtpd package is found.

  free-port          prints a TCP port of 127.0.0.1 that is free right now
  aiosmtpd SECONDS   runs an aiosmtpd server that drops every message on a
                     free port of 127.0.0.1, prints "listening on
                     127.0.0.1:PORT" once it answers, and stops on SIGTERM,
                     SIGINT or after SECONDS at the latest
  scale PORT PID IDLE MB  holds IDLE idle sessions with the server PID on
                     PORT and prints its memory for them and how soon a new
                     client is greeted; then sends one message of MB MiB and
                     prints how far the server's peak memory rose
"""
import os
import time
import signal
import socket
import sys
import threading


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class drop_handler:
    # Answers like a sink: the message is taken and thrown away, so the
    # figure measures the protocol engine, not any storage.
    async def handle_DATA(self, server, session, envelope):
        return "250 OK"


def run_aiosmtpd(seconds):
    from aiosmtpd.controller import Controller

    # The controller cannot listen on port 0 (it connects to its own port to
    # check that it is up), so take a free port and retry if another program
    # grabs it first.
    for attempt in range(5):
        port = free_port()
        controller = Controller(drop_handler(), hostname="127.0.0.1", port=port,
                                ready_timeout=10)
        try:
            controller.start()
            break
        except (OSError, RuntimeError, TimeoutError) as e:
            last = e
    else:
        sys.exit(f"aiosmtpd: cannot listen: {last}")

    stop = threading.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: stop.set())
    print(f"listening on 127.0.0.1:{port}", flush=True)
    stop.wait(seconds)
    controller.stop()


def memory(pid, field):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1]) / 1024  # MiB
    return 0.0


def greeted(port, timeout=30):
    client = socket.create_connection(("127.0.0.1", port), timeout=timeout)
    data = b""
    while not data.endswith(b"\r\n"):
        chunk = client.recv(512)
        if not chunk:
            raise RuntimeError("closed before the greeting")
        data += chunk
    if not data.startswith(b"220"):
        raise RuntimeError(f"greeted with {data!r}")
    return client


def reply(client, expect):
    data = b""
    while not data.endswith(b"\r\n") or data.split(b"\r\n")[-2][3:4] == b"-":
        chunk = client.recv(65536)
        if not chunk:
            raise RuntimeError("closed")
        data += chunk
    if not data.startswith(expect):
        raise RuntimeError(f"expected {expect!r}, got {data!r}")


def scale(port, pid, idle, megabytes):
    before = memory(pid, "VmRSS")
    held = []
    start = time.monotonic()
    for _ in range(idle):
        held.append(greeted(port))
    opened = time.monotonic() - start
    time.sleep(1)
    rss = memory(pid, "VmRSS")
    start = time.monotonic()
    extra = greeted(port)
    latency = time.monotonic() - start
    extra.close()
    print(f"{idle} idle sessions held: {rss - before:.0f} MiB more ({(rss - before) * 1024 / idle:.1f} KiB each), "
          f"opened in {opened:.1f} s; a new client greeted in {latency * 1000:.0f} ms "
          f"(target within 1000 ms: {'met' if latency < 1 else 'NOT met'})")
    for client in held:
        client.close()
    time.sleep(2)

    peak_before = memory(pid, "VmHWM")
    client = greeted(port)
    client.sendall(b"EHLO bench.example\r\n")
    reply(client, b"250")
    client.sendall(b"MAIL FROM:<a@example.org>\r\nRCPT TO:<b@example.org>\r\nDATA\r\n")
    reply(client, b"250")
    line = b"x" * 998 + b"\r\n"
    block = b"Subject: large\r\n\r\n" + line * 1024
    sent = 0
    while sent < megabytes << 20:
        client.sendall(block)
        sent += len(block)
    client.sendall(b".\r\n")
    reply(client, b"250")
    client.sendall(b"QUIT\r\n")
    client.close()
    rise = memory(pid, "VmHWM") - peak_before
    print(f"one session taking a {sent >> 20} MiB message: the server's peak memory rose {rise:.2f} MiB "
          f"(target below about 1 MiB: {'met' if rise < 1.5 else 'NOT met'})")


def main():
    if len(sys.argv) == 2 and sys.argv[1] == "free-port":
        print(free_port())
    elif len(sys.argv) == 3 and sys.argv[1] == "aiosmtpd":
        run_aiosmtpd(float(sys.argv[2]))
    elif len(sys.argv) == 6 and sys.argv[1] == "scale":
        scale(int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5]))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
