#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Starts a program the way a service manager does for socket activation:
opens sockets on 127.0.0.1 (or ::1) with free ports, moves them to descriptors 3 on,
sets LISTEN_FDS and LISTEN_PID, and execs the program in this process (so
that LISTEN_PID is its id).

  socket_launcher.py [--count N] [--kind listening|bound|udp] [--family 4|6]
                     [--pid ours|other] [--fds TEXT] --ports FILE -- PROGRAM ARG...

--ports FILE receives the ports, one a line; --fds replaces the count in
LISTEN_FDS; --pid other names another process in LISTEN_PID.
"""

import argparse
import fcntl
import os
import socket


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--count", type=int, default=1)
    parser.add_argument("--kind", choices=["listening", "bound", "udp"], default="listening")
    parser.add_argument("--family", choices=["4", "6"], default="4")
    parser.add_argument("--pid", choices=["ours", "other"], default="ours")
    parser.add_argument("--fds")
    parser.add_argument("--ports", required=True)
    parser.add_argument("program", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    program = args.program[1:] if args.program[:1] == ["--"] else args.program

    sockets = []
    for _ in range(args.count):
        kind = socket.SOCK_DGRAM if args.kind == "udp" else socket.SOCK_STREAM
        if args.family == "6":
            s = socket.socket(socket.AF_INET6, kind)
            s.bind(("::1", 0))
        else:
            s = socket.socket(socket.AF_INET, kind)
            s.bind(("127.0.0.1", 0))
        if args.kind == "listening":
            s.listen(16)
        sockets.append(s)
    with open(args.ports, "w") as f:
        for s in sockets:
            f.write("%d\n" % s.getsockname()[1])
    # Out of the way first, so that moving one never closes another.
    high = [fcntl.fcntl(s.fileno(), fcntl.F_DUPFD, 100) for s in sockets]
    for number, fd in enumerate(high):
        os.dup2(fd, 3 + number, inheritable=True)
        os.close(fd)
    env = dict(os.environ)
    env["LISTEN_FDS"] = args.fds if args.fds is not None else str(len(sockets))
    env["LISTEN_PID"] = str(os.getpid()) if args.pid == "ours" else "1"
    os.execvpe(program[0], program, env)


if __name__ == "__main__":
    main()
