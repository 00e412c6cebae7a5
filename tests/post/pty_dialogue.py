#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Runs post on a real pseudo-terminal and answers its question.

Usage: pty_dialogue.py POST DIR ANSWER...

Starts POST 1603 in DIR with a pseudo-terminal as its standard input and
output (and no display), and each time one of post's questions appears
(the consent question's answer prompt, the offer to save the report),
types the next ANSWER and Enter. Prints everything post wrote,
with the terminal's CR LF turned back into LF, and exits with post's exit
status; exits 99 when post does not end within 60 seconds.
"""
import os
import pty
import select
import sys
import time

PROMPTS = (b"Answer y (yes), n (no) or d (show the report): ", b"Save the report to a file? ")


def main():
    post, folder, answers = sys.argv[1], sys.argv[2], list(sys.argv[3:])
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "POST_UI")}
    pid, fd = pty.fork()
    if pid == 0:
        os.chdir(folder)
        os.execve(post, [post, "1603"], env)
    seen, answered = b"", 0
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        ready, _, _ = select.select([fd], [], [], 0.2)
        if ready:
            try:
                chunk = os.read(fd, 65536)
            except OSError:  # the other side closed: post ended
                break
            if not chunk:
                break
            seen += chunk
        # Answer once per prompt that has appeared and not been answered.
        if sum(seen.count(prompt) for prompt in PROMPTS) > answered and answers:
            os.write(fd, answers.pop(0).encode() + b"\n")
            answered += 1
    else:
        os.kill(pid, 9)
        sys.stdout.buffer.write(seen)
        sys.exit(99)
    _, status = os.waitpid(pid, 0)
    sys.stdout.buffer.write(seen.replace(b"\r\n", b"\n"))
    sys.exit(os.waitstatus_to_exitcode(status))


if __name__ == "__main__":
    main()
