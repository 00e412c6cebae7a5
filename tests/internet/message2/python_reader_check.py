# SPDX-License-Identifier: MIT
"""An independent writer feeds our reader.

Python's email package writes a corpus of messages; `corvid mime tree` reads
each one, and the tree it prints must match what Python put in: the shape in
pre-order, media types, charsets, boundaries, headers, and the decoded bytes
of every part (compared by MD5). uuencoded blocks made by binascii and, when
installed, by the uuencode program must come out of `corvid mime extract`
byte for byte.

    python3 python_reader_check.py
with CORVID naming the corvid program.
"""

import binascii
import email
import hashlib
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
from email import policy
from email.message import EmailMessage

CORVID = os.environ["CORVID"]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, file=sys.stderr)


def crlf(data):
    return data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def corpus():
    """(name, message) pairs; every message uses CR LF line ends on output."""
    rng = random.Random(6)
    messages = []

    m = EmailMessage(policy=policy.SMTP)
    m["Subject"] = "plain"
    m["From"] = "a@example.org"
    m.set_content("line one\nline two\n\nafter an empty line\n")
    messages.append(("plain_7bit", m))

    m = EmailMessage(policy=policy.SMTP)
    m["Subject"] = "Grüße aus Köln, ein ziemlich langer Betreff mit Umlauten äöü"
    m.set_content("Grüße " * 40 + "\n= not an escape\n", cte="quoted-printable")
    messages.append(("quoted_printable_utf8", m))

    m = EmailMessage(policy=policy.SMTP)
    m["Subject"] = "base64 text"
    m.set_content("ünïcödé\n" * 30, cte="base64")
    messages.append(("base64_utf8", m))

    m = EmailMessage(policy=policy.SMTP)
    m.set_content("caf\xe9 cr\xe8me\n", charset="iso-8859-15", cte="8bit")
    messages.append(("latin9_8bit", m))

    inner = EmailMessage(policy=policy.SMTP)
    inner["Subject"] = "enclosed"
    inner.set_content("the forwarded text\n")
    inner.add_attachment(b"inner bytes\x00\xff", maintype="application", subtype="octet-stream", filename="in.bin")

    m = EmailMessage(policy=policy.SMTP)
    m["Subject"] = "=?utf-8?b?w6lsw6h2ZQ==?= nested"
    m["To"] = ", ".join("Person Number %d <person%d@example.org>" % (i, i) for i in range(12))
    m.set_content("plain alternative\n")
    m.add_alternative("<p>html alternative</p>\n", subtype="html")
    m.make_mixed()
    m.preamble = "This is a preamble.\n"
    m.epilogue = "and an epilogue\n"
    m.add_attachment(bytes(rng.randrange(256) for _ in range(1001)), maintype="application",
                     subtype="octet-stream", filename="random.bin")
    m.add_attachment(bytes(range(256)) * 3 + b"\x01\x02", maintype="image", subtype="png", filename="all.png")
    m.attach(EmailMessage(policy=policy.SMTP))
    m.get_payload()[-1].set_content(inner)
    messages.append(("mixed_alternative_enclosed", m))
    return messages


def expected_tree(message):
    """The blocks `corvid mime tree` should print, in pre-order."""
    blocks = []

    def visit(part, depth):
        charset = part.get_param("charset")
        boundary = part.get_boundary() or ""
        if part.is_multipart():
            children = part.get_payload()
            data = crlf((part.preamble or "").encode("latin-1")) if part.get_content_maintype() == "multipart" else b""
        else:
            children = []
            payload = part.get_payload(decode=True)
            encoding = (part.get("Content-Transfer-Encoding") or "").lower()
            data = payload if encoding == "base64" and part.get_content_maintype() != "text" else crlf(payload)
        blocks.append({
            "depth": depth,
            "type": part.get_content_type(),
            "charset": (charset or "iso-8859-1").lower(),
            "boundary": boundary,
            "md5": hashlib.md5(data).hexdigest(),
            "size": len(data),
        })
        for child in children:
            visit(child, depth + 1)

    visit(message, 0)
    return blocks


BLOCK = re.compile(r"^(\d+) (\S*) charset=(\S*) boundary=(.*) data=(\d+) md5=([0-9a-f]{32})(?: name=(.*))?$")


def read_tree(text):
    """The blocks of `corvid mime tree` (with or without --names)."""
    blocks = []
    for line in text.splitlines():
        if line.startswith("  "):
            name, _, value = line[2:].partition(": ")
            blocks[-1]["headers"].append((name, value))
            continue
        match = BLOCK.match(line)
        if not match:
            raise ValueError("unexpected tree line: %r" % line)
        depth, type_, charset, boundary, size, md5, name = match.groups()
        blocks.append({"depth": int(depth), "type": type_, "charset": charset, "boundary": boundary,
                       "md5": md5, "size": int(size), "name": name, "headers": []})
    return blocks


def normalise(value):
    return " ".join(value.split())


def check_message(folder, name, message):
    path = os.path.join(folder, name + ".eml")
    raw = message.as_bytes()
    with open(path, "wb") as out:
        out.write(raw)
    result = subprocess.run([CORVID, "mime", "tree", path], capture_output=True, timeout=60)
    check(result.returncode == 0, "%s: corvid mime tree failed: %s" % (name, result.stderr.decode(errors="replace")))
    if result.returncode != 0:
        return
    got = read_tree(result.stdout.decode("utf-8", errors="replace"))
    want = expected_tree(email.message_from_bytes(raw, policy=policy.compat32))
    check(len(got) == len(want), "%s: %d entities, expected %d" % (name, len(got), len(want)))
    raw_parts = list(email.message_from_bytes(raw, policy=policy.compat32).walk())
    for index, (g, w, part) in enumerate(zip(got, want, raw_parts)):
        for key in ("depth", "type", "charset", "boundary", "size", "md5"):
            check(g[key] == w[key], "%s entity %d: %s is %r, expected %r" % (name, index, key, g[key], w[key]))
        want_headers = [(k, normalise(v)) for k, v in part.items()]
        got_headers = [(k, normalise(v)) for k, v in g["headers"]]
        if part.get("Content-Type") is None:
            got_headers = [h for h in got_headers if h[0] != "Content-Type"]
        check(got_headers == want_headers, "%s entity %d: headers %r, expected %r" % (name, index, got_headers,
                                                                                      want_headers))


def uuencode_lines(data):
    lines = []
    for start in range(0, len(data), 45):
        lines.append(binascii.b2a_uu(data[start:start + 45], backtick=True).rstrip(b"\n"))
    lines.append(b"`")
    return lines


def check_uuencoded(folder):
    rng = random.Random(26)
    payloads = [bytes(rng.randrange(256) for _ in range(n)) for n in (1, 2, 3, 44, 45, 46, 91, 1000)]
    body = [b"Subject: files", b"", b"Some text before."]
    for index, payload in enumerate(payloads):
        body.append(b"begin 644 file%d.bin" % index)
        body.extend(uuencode_lines(payload))
        body.append(b"end")
    encoder = shutil.which("uuencode")
    if encoder:
        tool_payload = bytes(rng.randrange(256) for _ in range(302))
        source = os.path.join(folder, "source.bin")
        with open(source, "wb") as out:
            out.write(tool_payload)
        block = subprocess.run([encoder, source, "tool.bin"], capture_output=True, check=True, timeout=60).stdout
        body.extend(block.rstrip(b"\n").split(b"\n"))
        payloads.append(tool_payload)
    body.append(b"Some text after.")
    path = os.path.join(folder, "uuencoded.eml")
    with open(path, "wb") as out:
        out.write(b"\r\n".join(body) + b"\r\n")

    target = os.path.join(folder, "parts")
    result = subprocess.run([CORVID, "mime", "extract", path, target], capture_output=True, timeout=60)
    check(result.returncode == 0, "extract failed: %s" % result.stderr.decode(errors="replace"))
    for index, payload in enumerate(payloads):
        name = "tool.bin" if encoder and index == len(payloads) - 1 else "file%d.bin" % index
        try:
            with open(os.path.join(target, name), "rb") as extracted:
                got = extracted.read()
        except OSError as error:
            check(False, "uuencoded %s: %s" % (name, error))
            continue
        check(got == payload, "uuencoded %s: %d bytes, expected %d" % (name, len(got), len(payload)))


def main():
    folder = tempfile.mkdtemp(prefix="corvid_python_reader_")
    try:
        messages = corpus()
        for name, message in messages:
            check_message(folder, name, message)
        check_uuencoded(folder)
    finally:
        shutil.rmtree(folder)
    print("%d messages, %d failures" % (len(messages), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
