#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Messages nobody on this project wrote, read by corvid and by Python.

Every message of the shared corpora (the test data of two other mail
libraries) goes through `corvid mime tree --names`, and Python's email
package (policy.default) reads the same bytes. The two trees must agree in
shape, media types, charsets, file names and the decoded bytes of every
leaf, except where corvid reads the message differently on purpose: those
choices are listed in DELIBERATE below, each with its reason.

    python3 python_corpus_check.py
with CORVID naming the corvid program. The corpora are read in place from
CORVID_CORPORA, else from shared/corpora beside the repository; where they
are absent the test says so and is skipped (exit code 77).
"""

import email
import hashlib
import os
import re
import subprocess
import sys
from email import policy

from python_reader_check import read_tree

CORVID = os.environ["CORVID"]
CORPORA = ("cpython-email", "mimekit-messages")
SKIPPED = 77

# Messages where corvid's reading differs from Python's on purpose. Each
# entry names the message and the kind of difference; the kinds say why.
# Differences that every message would show are taken out where the trees
# are built instead: text in CR LF lines, other message/ types as leaves and
# the line end before a delimiter.
KINDS = {
    # RFC 5322 section 2.2 names fields with printable ASCII, and so neither
    # reading is the standard's: corvid ends the header only at a line with
    # no colon or a blank or control character in its name, so that a byte
    # order mark before the first field keeps the whole header a header;
    # Python reads the whole message as body.
    "eight_bit_name": "a field name with bytes beyond ASCII is still a field",
}
DELIBERATE = {
    "mimekit-messages/feedback-report.txt": "eight_bit_name",
}

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, file=sys.stderr)
    return condition


def corpora_folder():
    given = os.environ.get("CORVID_CORPORA")
    if given:
        return given
    repository = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))
    return os.path.join(os.path.dirname(repository), "shared", "corpora")


def crlf(data):
    """corvid's canonical form of text: every line end is CR LF."""
    return re.sub(rb"\r\n|\n\r|\r|\n", b"\r\n", data)


def expected_tree(message):
    """Python's tree in pre-order: depth, type, charset, name, md5."""
    blocks = []

    def visit(part, depth):
        block = {"depth": depth, "type": part.get_content_type(), "charset": part.get_param("charset"),
                 "name": part.get_filename(), "md5": None}
        if isinstance(block["charset"], tuple):
            block["charset"] = block["charset"][2]
        blocks.append(block)
        # Only message/rfc822 encloses a message. A delivery status (RFC
        # 3464) is groups of fields, an external body (RFC 2046 section
        # 5.2.3) a header for a body elsewhere: corvid keeps such bodies as
        # they stand, where Python makes messages of them.
        if part.get_content_maintype() == "message" and part.get_content_type() != "message/rfc822":
            return
        if part.is_multipart():
            for child in part.get_payload():
                visit(child, depth + 1)
            return
        data = part.get_payload(decode=True) or b""
        encoding = str(part.get("Content-Transfer-Encoding", "")).strip().lower()
        if depth > 0 and part.get_content_maintype() == "multipart" and data.endswith(b"\n"):
            # A multipart without delimiter lines keeps its text; the line
            # end before the enclosing delimiter belongs to that delimiter
            # (RFC 2046 section 5.1.1), as for every other part.
            data = data[:-2] if data.endswith(b"\r\n") else data[:-1]
        block["md5"] = hashlib.md5(data if encoding == "base64" else crlf(data)).hexdigest()

    visit(message, 0)
    return blocks


def compare(where, got, want):
    """The differences between corvid's blocks and Python's, as text."""
    problems = []
    shape = [(b["depth"], b["type"]) for b in got]
    expected = [(b["depth"], b["type"]) for b in want]
    if shape != expected:
        return ["%s: tree %r, Python %r" % (where, shape, expected)]
    for index, (g, w) in enumerate(zip(got, want)):
        part = "%s entity %d (%s)" % (where, index, w["type"])
        # Without a charset parameter each reader has its own default.
        if w["charset"] is not None and g["charset"] != str(w["charset"]).lower():
            problems.append("%s: charset %r, Python %r" % (part, g["charset"], w["charset"]))
        if (g["name"] or None) != (w["name"] or None):
            problems.append("%s: file name %r, Python %r" % (part, g["name"], w["name"]))
        if w["md5"] is not None and g["md5"] != w["md5"]:
            problems.append("%s: decoded bytes differ" % part)
    return problems


def main():
    folder = corpora_folder()
    present = [c for c in CORPORA if os.path.isdir(os.path.join(folder, c))]
    if not present:
        print("SKIPPED: no message corpora in %s (set CORVID_CORPORA)" % folder)
        return SKIPPED
    seen = set()
    count = 0
    for corpus in present:
        directory = os.path.join(folder, corpus)
        for name in sorted(os.listdir(directory)):
            if name == "SOURCE.txt":
                continue
            where = "%s/%s" % (corpus, name)
            path = os.path.join(directory, name)
            count += 1
            with open(path, "rb") as source:
                raw = source.read()
            result = subprocess.run([CORVID, "mime", "tree", "--names", path], capture_output=True, timeout=60)
            if not check(result.returncode == 0, "%s: corvid mime tree failed: %s" %
                         (where, result.stderr.decode(errors="replace").strip())):
                continue
            got = read_tree(result.stdout.decode("utf-8", errors="replace"))
            want = expected_tree(email.message_from_bytes(raw, policy=policy.default))
            problems = compare(where, got, want)
            kind = DELIBERATE.get(where)
            if kind is not None:
                seen.add(where)
                check(problems, "%s: listed as differing (%s) but agrees with Python" % (where, KINDS[kind]))
                continue
            for problem in problems:
                check(False, problem)
    for where in sorted(set(DELIBERATE) - seen):
        if where.split("/")[0] in present:
            check(False, "%s: listed but not in the corpus" % where)
    print("%d messages, %d listed as deliberate differences, %d failures" % (count, len(seen), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
