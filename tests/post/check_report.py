#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks a report that post sent, with Python's email package.

Usage: check_report.py [--internet] MESSAGE LOG SUBJECT

MESSAGE is the message as a server stored it (trace lines a server puts in
front are allowed), LOG the install.txt it was made from and SUBJECT the
subject it must carry. With --internet it must also carry, once each, the
headers a strict mail server wants of a message that leaves its sender:
From, Date, Message-ID and MIME-Version. Prints what differs and exits 1,
or exits 0.
"""
import datetime
import email
import email.policy
import email.utils
import re
import sys


def expected_text(log):
    # The same rule post uses: UTF-16 little-endian when either of the first
    # two bytes says so (a byte-order mark stays), else the system's text
    # (UTF-8 here), or Windows-1252 when it is not valid UTF-8, with the
    # five bytes that page leaves unassigned as the C1 controls.
    if log[0] in (0xFF, 0xFE, 0x00) or log[1] == 0x00:
        return log[: len(log) // 2 * 2].decode("utf-16-le")
    try:
        return log.decode("utf-8")
    except UnicodeDecodeError:
        return "".join(chr(b) if b in (0x81, 0x8D, 0x8F, 0x90, 0x9D) else bytes([b]).decode("cp1252") for b in log)


def internet_problems(message):
    problems = []
    for name in ("From", "Date", "Message-ID", "MIME-Version"):
        count = len(message.get_all(name, []))
        if count != 1:
            problems.append(f"{name} appears {count} times")
    if problems:
        return problems
    if email.utils.parseaddr(message["From"]) != ("Installation error report", "installer@localhost"):
        problems.append(f"From is {message['From']!r}")
    try:
        # A report is read the moment it arrives: a date far from now is a
        # wrong clock or zone in the writer.
        date = email.utils.parsedate_to_datetime(message["Date"])
        if date.tzinfo is None:  # "-0000": UTC, the sender's zone unknown
            date = date.replace(tzinfo=datetime.timezone.utc)
        if abs(date - datetime.datetime.now(datetime.timezone.utc)) > datetime.timedelta(days=1):
            problems.append(f"Date {message['Date']!r} is not now")
    except (TypeError, ValueError):
        problems.append(f"Date {message['Date']!r} does not parse")
    if not re.fullmatch(r"<[^<>@\s]+@[^<>@\s]+>", message["Message-ID"].strip()):
        problems.append(f"Message-ID is {message['Message-ID']!r}")
    if message["MIME-Version"].strip() != "1.0":
        problems.append(f"MIME-Version is {message['MIME-Version']!r}")
    return problems


def main():
    args = sys.argv[1:]
    internet = args[0] == "--internet"
    if internet:
        args = args[1:]
    message_path, log_path, subject = args[:3]
    raw = open(message_path, "rb").read()
    log = open(log_path, "rb").read()
    message = email.message_from_bytes(raw, policy=email.policy.compat32)
    problems = []

    ours = ["content-type", "content-transfer-encoding", "to", "subject"]
    order = [name.lower() for name in message.keys() if name.lower() in ours]
    if order != ours:
        problems.append(f"headers in the order {order}, not {ours}")
    if message["To"] != '"Installation Support" <support@localhost>':
        problems.append(f"To is {message['To']!r}")
    if message["Subject"] != subject:
        problems.append(f"Subject is {message['Subject']!r}, not {subject!r}")
    if message.get_content_type() != "text/plain" or message.get_content_charset() != "utf-8":
        problems.append(f"Content-Type is {message['Content-Type']!r}")
    if message["Content-Transfer-Encoding"] != "base64":
        problems.append(f"Content-Transfer-Encoding is {message['Content-Transfer-Encoding']!r}")
    if message.defects:
        problems.append(f"defects: {message.defects}")
    body = message.get_payload(decode=True)
    want = expected_text(log).encode("utf-8")
    if body != want:
        problems.append(f"body of {len(body)} bytes is not the log as UTF-8 ({len(want)} bytes)")
    if internet:
        problems += internet_problems(message)
    for problem in problems:
        print(f"{message_path}: {problem}")
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
