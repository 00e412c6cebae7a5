#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Python's smtplib against corvid smtp serve started with --require-auth,
the login tim:s3cret, a rule answering 451 for *@temp.test and one answering
550 for senders bad*.

Usage: login_client.py PORT

Exits 0 when every answer is the expected one; otherwise the assertion that
failed says which.
"""
import smtplib
import sys


def main():
    with smtplib.SMTP("127.0.0.1", int(sys.argv[1]), timeout=30) as client:
        client.ehlo("client.example")
        code, _ = client.mail("ann@example.com")
        assert code == 530, f"MAIL before a login got {code}"
        client.rset()
        client.login("tim", "s3cret")
        refused = client.sendmail("ann@example.com", ["bob@example.com", "x@temp.test"], b"Subject: a\r\n\r\nb\r\n")
        assert refused == {"x@temp.test": (451, b"4.3.0 Try later")}, refused
        try:
            client.sendmail("bad@example.com", ["bob@example.com"], b"x\r\n")
            raise AssertionError("a sender the rule refuses was taken")
        except smtplib.SMTPSenderRefused as e:
            assert e.smtp_code == 550, e
        client.sendmail("j\u00f6rg@example.com", ["\u00e5sa@example.com"], b"Subject: utf8\r\n\r\nbody\r\n",
                        mail_options=["SMTPUTF8"])


if __name__ == "__main__":
    main()
