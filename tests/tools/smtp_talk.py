#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""A scripted SMTP client for the server tests, byte-exact where smtplib
would tidy up.

Usage: smtp_talk.py PORT STEP...

Connects to 127.0.0.1:PORT and runs the steps in order, printing every
reply line the server sends, one a line, as it arrives:
  reply        read one whole reply (the greeting, say)
  cmd:TEXT     send TEXT and CR LF, then read one whole reply
  send:TEXT    send TEXT and CR LF without waiting (message text)
  raw:TEXT     send TEXT with Python escapes (\\r, \\n) undone, no CR LF added
  mark:PATH    create the file PATH
  await:PATH   wait until the file PATH exists
  close        close the connection at once
  drain        read until the server closes, printing what comes
Every wait gives up after 20 seconds with exit status 1.
"""
import os
import socket
import sys
import time

WAIT = 20


def main():
    port, steps = int(sys.argv[1]), sys.argv[2:]
    conn = socket.create_connection(("127.0.0.1", port), timeout=WAIT)
    pending = b""

    def read_line():
        nonlocal pending
        while b"\r\n" not in pending:
            chunk = conn.recv(65536)
            if not chunk:
                raise EOFError("connection closed")
            pending += chunk
        line, pending = pending.split(b"\r\n", 1)
        text = line.decode("utf-8", "backslashreplace")
        print(text, flush=True)
        return text

    def read_reply():
        while True:
            line = read_line()
            if len(line) < 4 or line[3] != "-":
                return

    for step in steps:
        verb, _, arg = step.partition(":")
        if verb == "reply":
            read_reply()
        elif verb == "cmd":
            conn.sendall(arg.encode() + b"\r\n")
            read_reply()
        elif verb == "send":
            conn.sendall(arg.encode() + b"\r\n")
        elif verb == "raw":
            conn.sendall(arg.encode().decode("unicode_escape").encode("latin-1"))
        elif verb == "mark":
            open(arg, "w").close()
        elif verb == "await":
            deadline = time.monotonic() + WAIT
            while not os.path.exists(arg):
                if time.monotonic() > deadline:
                    raise TimeoutError("no " + arg)
                time.sleep(0.05)
        elif verb == "close":
            conn.close()
            return
        elif verb == "drain":
            try:
                while True:
                    read_line()
            except EOFError:
                pass
            if pending:
                print(pending.decode("utf-8", "backslashreplace"), flush=True)
            return
        else:
            raise ValueError("unknown step " + step)
    conn.close()


if __name__ == "__main__":
    try:
        main()
    except (OSError, EOFError, ValueError) as e:
        print("smtp_talk: %s" % e, file=sys.stderr)
        sys.exit(1)
