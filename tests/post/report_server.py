#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""An independent SMTP server for post's end-to-end test.

Usage: report_server.py DIR

Listens on 127.0.0.1:25 with aiosmtpd and stores every message it receives
as DIR/N.eml, byte for byte, with its envelope in DIR/N.envelope (sender,
then recipients, one a line). Prints "ready" once it listens; stops on
SIGTERM or after 240 seconds.
"""
import os
import signal
import sys
import time

from aiosmtpd.controller import Controller


class Store:
    def __init__(self, folder):
        self.folder, self.count = folder, 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        stem = os.path.join(self.folder, str(self.count))
        with open(stem + ".envelope", "w") as out:
            out.write("\n".join([envelope.mail_from] + envelope.rcpt_tos) + "\n")
        with open(stem + ".eml.part", "wb") as out:
            out.write(envelope.original_content)
        os.rename(stem + ".eml.part", stem + ".eml")
        return "250 OK"


def main():
    controller = Controller(Store(sys.argv[1]), hostname="127.0.0.1", port=25)
    controller.start()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    print("ready", flush=True)
    try:
        time.sleep(240)
    finally:
        controller.stop()


if __name__ == "__main__":
    main()
