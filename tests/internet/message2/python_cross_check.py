#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Python's email package reads what our writer wrote.

Usage: python_cross_check.py MESSAGE2_SAMPLES
Runs the samples program (messages built with the library, plus a manifest
of what went into them) and `corvid mime compose` (the program in $CORVID),
parses every message with the standard library and compares decoded header
texts, body texts, attachment bytes and file names with the input.
"""
import email
import email.header
import email.policy
import json
import os
import subprocess
import sys
import tempfile

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, file=sys.stderr)


def decoded(raw):
    """A header's text through email.header.decode_header."""
    out = []
    for chunk, charset in email.header.decode_header(raw):
        out.append(chunk.decode(charset or "ascii") if isinstance(chunk, bytes) else chunk)
    return "".join(out)


def lf(text):
    return text.replace("\r\n", "\n")


def check_crlf(name, data):
    check(data.count(b"\n") == data.count(b"\r\n") and data.count(b"\r") == data.count(b"\r\n"),
          f"{name}: every line ends with CR LF")


def check_message(name, data, spec):
    """spec: headers {name: decoded text, "Name:addresses": [[display, addr]]},
    single (bool), leaves [{content_type, charset?, text?, data?, filename?, headers?}]."""
    check_crlf(name, data)
    legacy = email.message_from_bytes(data)
    modern = email.message_from_bytes(data, policy=email.policy.default)
    for part in legacy.walk():
        check(not part.defects, f"{name}: no structural defects, got {part.defects}")
    for header, expected in spec["headers"].items():
        if header.endswith(":addresses"):
            field = modern[header.split(":")[0]]
            got = [[a.display_name, a.addr_spec] for a in field.addresses] if field is not None else None
        else:
            got = decoded(legacy[header]) if legacy[header] is not None else None
        check(got == expected, f"{name}: header {header}: expected {expected!r}, got {got!r}")

    leaves = [p for p in modern.walk() if not p.is_multipart()]
    check(len(leaves) == len(spec["leaves"]),
          f"{name}: expected {len(spec['leaves'])} leaf parts, got {len(leaves)}")
    for index, (part, want) in enumerate(zip(leaves, spec["leaves"])):
        where = f"{name} part {index}"
        check(part.get_content_type() == want["content_type"],
              f"{where}: type {want['content_type']!r}, got {part.get_content_type()!r}")
        payload = part.get_payload(decode=True)
        if "text" in want:
            charset = part.get_content_charset()
            check(charset == want["charset"], f"{where}: charset {want['charset']!r}, got {charset!r}")
            got = lf(payload.decode(charset))
            expected = lf(want["text"])
            top_level_lines = spec["single"] and part.get("Content-Transfer-Encoding", "").lower() != "base64"
            if top_level_lines and spec.get("line_per_crlf") and not expected.endswith("\n"):
                # compose ends every line with CR LF, and at the end of a
                # message nothing follows that could take the last one away
                # (a boundary line does, in a multipart): a text without a
                # final line end gains one. save keeps the text exactly.
                expected += "\n"
            check(got == expected, f"{where}: text {expected!r}, got {got!r}")
        if "data" in want:
            check(payload == bytes.fromhex(want["data"]), f"{where}: attachment bytes differ")
        if "filename" in want:
            check(part.get_filename() == want["filename"],
                  f"{where}: file name {want['filename']!r}, got {part.get_filename()!r}")
        for header, expected in want.get("headers", {}).items():
            check(str(part[header]) == expected, f"{where}: header {header} {expected!r}, got {part[header]!r}")


def compose(args):
    result = subprocess.run([os.environ["CORVID"], "mime", "compose"] + args,
                            capture_output=True, timeout=60)
    check(result.returncode == 0, f"compose {args}: exit {result.returncode}: {result.stderr!r}")
    return result.stdout


def library_samples(program, folder):
    subprocess.run([program, folder], check=True, timeout=60)
    with open(os.path.join(folder, "manifest.json"), encoding="ascii") as f:
        manifest = json.load(f)
    check(len(manifest) >= 6, "the samples program wrote every sample")
    for spec in manifest:
        with open(os.path.join(folder, spec["file"]), "rb") as f:
            check_message(spec["file"], f.read(), spec)


def compose_samples(folder):
    def write(name, data):
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    text = "Grüße aus Köln – ein Bericht.\nZweite Zeile mit Ümläuten.\n" + "lange Zeile é " * 20 + "\n"
    utf8_file = write("body.txt", text.encode("utf-8"))
    ascii_file = write("plain.txt", b"just ascii\nsecond line")
    binary = bytes(range(256)) * 3 + b"\r\n\n\r"
    binary_file = write("blob.bin", binary)
    named_file = write("Übersicht des Jahres.txt", "Inhalt\n".encode("utf-8"))

    subject = "Grüße – Bericht"
    to = [["Jörg Müller", "joerg@example.com"], ["Smith, John", "john@example.com"]]
    to_args = ["--to", "Jörg Müller <joerg@example.com>", "--to", '"Smith, John" <john@example.com>']

    for encoding in ["base64", "quoted-printable"]:
        data = compose(["--subject", subject] + to_args + ["--text", utf8_file, "--encoding", encoding])
        check_message(f"compose utf-8 {encoding}", data, {
            "single": True, "line_per_crlf": True,
            "headers": {"Subject": subject, "To:addresses": to},
            "leaves": [{"content_type": "text/plain", "charset": "utf-8", "text": text}]})

    latin1 = "café crème, à bientôt\n" + "été " * 30 + "\n"
    latin1_file = write("latin1.txt", latin1.encode("utf-8"))
    for encoding in ["quoted-printable", "base64"]:
        data = compose(["--text", latin1_file, "--charset", "iso-8859-1", "--encoding", encoding])
        check(latin1.encode("iso-8859-1").replace(b"\n", b"") in
              email.message_from_bytes(data).get_payload(decode=True).replace(b"\r\n", b"").replace(b"\n", b""),
              f"compose iso-8859-1 {encoding}: the body holds Latin-1 bytes")
        check_message(f"compose iso-8859-1 {encoding}", data, {
            "single": True, "line_per_crlf": True, "headers": {},
            "leaves": [{"content_type": "text/plain", "charset": "iso-8859-1", "text": latin1}]})

    for args in [["--encoding", "7bit"], []]:
        data = compose(["--subject", "plain"] + ["--text", ascii_file] + args)
        check(b"Content-Transfer-Encoding: 7bit\r\n" in data, f"compose ascii {args}: 7bit")
        check_message(f"compose ascii {args}", data, {
            "single": True, "line_per_crlf": True, "headers": {"Subject": "plain"},
            "leaves": [{"content_type": "text/plain", "charset": "utf-8", "text": "just ascii\nsecond line"}]})

    data = compose(["--subject", subject, "--text", utf8_file, "--attach", binary_file, "--attach", named_file,
                    "--header", "From: Installer <installer@example.com>", "--header", "MIME-Version: 1.0"])
    check_message("compose attachments", data, {
        "single": False, "headers": {"Subject": subject},
        "leaves": [{"content_type": "text/plain", "charset": "utf-8", "text": text},
                   {"content_type": "application/octet-stream", "data": binary.hex(), "filename": "blob.bin"},
                   {"content_type": "text/plain", "data": "Inhalt\n".encode().hex(),
                    "filename": "Übersicht des Jahres.txt"}]})
    message = email.message_from_bytes(data)
    check(message.get_content_type() == "multipart/mixed", "compose attachments: multipart/mixed")
    check(list(message.keys()) == ["Content-Type", "Subject", "Date", "Message-ID", "From", "MIME-Version"],
          f"compose attachments: header order, got {list(message.keys())}")
    for part in message.walk():
        if part.get_filename():
            check(part.get_content_disposition() == "attachment", "compose attachments: disposition")

    # Text and HTML as alternatives, an image the HTML shows, a PDF attached:
    # a complete message that a server takes as it stands.
    html = "<p>Grüße <img src=\"cid:logo.png\"></p>\n"
    html_file = write("page.html", html.encode("utf-8"))
    image = bytes(range(256))
    image_file = write("logo.png", image)
    pdf_file = write("report.pdf", b"%PDF-1.4\n")
    data = compose(["--from", "Installer <installer@example.com>", "--to", "a@example.com", "--subject", subject,
                    "--text", utf8_file, "--html", html_file, "--inline", image_file, "--attach", pdf_file])
    check_message("compose html", data, {
        "single": False,
        "headers": {"Subject": subject, "From:addresses": [["Installer", "installer@example.com"]]},
        "leaves": [{"content_type": "text/plain", "charset": "utf-8", "text": text},
                   {"content_type": "text/html", "charset": "utf-8", "text": html},
                   {"content_type": "image/png", "data": image.hex(), "filename": "logo.png",
                    "headers": {"Content-ID": "<logo.png>"}},
                   {"content_type": "application/pdf", "data": b"%PDF-1.4\n".hex(), "filename": "report.pdf"}]})
    message = email.message_from_bytes(data, policy=email.policy.default)
    shape = [part.get_content_type() for part in message.walk()]
    check(shape == ["multipart/mixed", "multipart/alternative", "text/plain", "multipart/related", "text/html",
                    "image/png", "application/pdf"], f"compose html: shape {shape}")
    check(message["MIME-Version"] == "1.0", "compose html: MIME-Version")
    check(message["Date"].datetime is not None, f"compose html: Date {message['Date']!r}")
    check(message["Message-ID"].endswith("@example.com>"), f"compose html: Message-ID {message['Message-ID']!r}")
    check(not any(part.defects for part in message.walk()), "compose html: no defects")


def main():
    with tempfile.TemporaryDirectory() as folder:
        library_samples(sys.argv[1], folder)
        compose_samples(folder)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
