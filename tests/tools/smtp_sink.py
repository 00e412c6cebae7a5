#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""A local mail server for the tool tests, built on aiosmtpd.

Usage: smtp_sink.py FOLDER [--login USER:PASSWORD] [--only MECHANISM]
                           [--refuse-rcpt] [--refuse-quit] [--silent]
                           [--tls CERT,KEY] [--lifetime SECONDS]

Listens on 127.0.0.1 at a free port and prints the port on stdout once
ready. Each accepted message N leaves FOLDER/N.from (envelope sender),
FOLDER/N.rcpt (recipients, one a line), FOLDER/N.opts (the MAIL parameters,
one a line) and FOLDER/N.eml (the bytes received between DATA and the end
marker, dot-stuffing undone).
--login makes a login with those credentials mandatory before MAIL;
--only offers that one AUTH mechanism; --refuse-rcpt answers RCPT with 550
for every address whose local part is "nobody" and --refuse-quit every QUIT
with 421; --silent accepts connections and
never says a word; --tls offers STARTTLS with that certificate and key and
requires it before anything else (a login then only inside TLS). The server
stops by itself after --lifetime seconds (default 120).
"""
import argparse
import os
import socket
import sys
import threading
import time


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Store:
    def __init__(self, folder, refuse_rcpt, refuse_quit):
        self.folder = folder
        self.refuse_rcpt = refuse_rcpt
        self.refuse_quit = refuse_quit
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.refuse_rcpt and address.startswith("nobody@"):
            return "550 no such user"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_QUIT(self, server, session, envelope):
        return "421 shutting down" if self.refuse_quit else "221 Bye"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, str(self.count))
        with open(base + ".from", "w") as out:
            out.write(envelope.mail_from or "")
        with open(base + ".rcpt", "w") as out:
            out.write("".join(rcpt + "\n" for rcpt in envelope.rcpt_tos))
        with open(base + ".opts", "w") as out:
            out.write("".join(option + "\n" for option in envelope.mail_options))
        with open(base + ".eml", "wb") as out:
            out.write(envelope.content)
        return "250 Message accepted"


def silent(lifetime):
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen()
    print(listener.getsockname()[1], flush=True)
    held = []

    def take():
        while True:
            held.append(listener.accept()[0])

    threading.Thread(target=take, daemon=True).start()
    time.sleep(lifetime)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--login")
    parser.add_argument("--only")
    parser.add_argument("--refuse-rcpt", action="store_true")
    parser.add_argument("--refuse-quit", action="store_true")
    parser.add_argument("--silent", action="store_true")
    parser.add_argument("--tls")
    parser.add_argument("--lifetime", type=float, default=120)
    args = parser.parse_args()
    if args.silent:
        silent(args.lifetime)
        return

    from aiosmtpd.controller import Controller
    from aiosmtpd.smtp import AuthResult, LoginPassword

    options = {}
    if args.login:
        user, password = args.login.encode().split(b":", 1)

        def authenticator(server, session, envelope, mechanism, data):
            ok = isinstance(data, LoginPassword) and data.login == user and data.password == password
            return AuthResult(success=ok, handled=False)

        options = dict(authenticator=authenticator, auth_required=True, auth_require_tls=bool(args.tls))
        if args.only:
            options["auth_exclude_mechanism"] = [m for m in ("LOGIN", "PLAIN") if m != args.only]
    if args.tls:
        import ssl

        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*args.tls.split(","))
        options.update(tls_context=context, require_starttls=True)
    controller = Controller(Store(args.folder, args.refuse_rcpt, args.refuse_quit), hostname="127.0.0.1", port=free_port(),
                            **options)
    controller.start()
    print(controller.port, flush=True)
    try:
        time.sleep(args.lifetime)
    finally:
        controller.stop()


if __name__ == "__main__":
    sys.exit(main())
