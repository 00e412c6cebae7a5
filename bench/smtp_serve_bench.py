#!/usr/bin/python3
"""Helpers of bench/smtp_serve_bench, run with Debian's own Python 3 so that
its python3-aiosmtpd package is found.

  free-port          prints a TCP port of 127.0.0.1 that is free right now
  aiosmtpd SECONDS   runs an aiosmtpd server that drops every message on a
                     free port of 127.0.0.1, prints "listening on
                     127.0.0.1:PORT" once it answers, and stops on SIGTERM,
                     SIGINT or after SECONDS at the latest
"""
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


def main():
    if len(sys.argv) == 2 and sys.argv[1] == "free-port":
        print(free_port())
    elif len(sys.argv) == 3 and sys.argv[1] == "aiosmtpd":
        run_aiosmtpd(float(sys.argv[2]))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
