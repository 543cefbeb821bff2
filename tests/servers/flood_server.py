#!/usr/bin/env python3
"""A mail server that floods its client, for the tests that measure what
the client holds meanwhile. Serves one connection on 127.0.0.1 and a free
port, and reports on stdout, one line each:

  port N        listening (first line)
  stalled N     N bytes sent so far, and the client has taken nothing for
                a second: TCP holds the server back
  sent N        everything was sent (the connection stays open)
  done N        the client has closed (or, after pop-quit's flood, the
                server)

Modes:
  greeting      "220 " and then SIZE bytes without a line break
  reply         a greeting; the first command is answered with "554 ",
                SIZE bytes and CR LF
  after-refusal a greeting; the first command is answered with a short 554
                reply; once a line comes on stdin, SIZE bytes without a
                line break follow
  pop-quit      a POP server that takes USER and PASS, answers QUIT with
                SIZE bytes and then closes the connection itself
"""

import argparse
import socket
import ssl
import sys
import threading
import time

CHUNK = 64 * 1024


def report(text):
    sys.stdout.write(text + "\n")
    sys.stdout.flush()


class Progress:
    """What has been sent, watched from another thread so that a send that
    blocks is reported once per stall."""

    def __init__(self):
        self.sent = 0
        self.sending = True
        self.finished = False
        self.lock = threading.Lock()

    def add(self, n):
        with self.lock:
            self.sent += n

    def watch(self):
        last, reported = -1, False
        while True:
            time.sleep(1.0)
            with self.lock:
                if self.finished or not self.sending:
                    return
                sent = self.sent
            if sent == last and not reported:
                report("stalled %d" % sent)
                reported = True
            elif sent != last:
                reported = False
            last = sent


def read_line(conn):
    line = b""
    while not line.endswith(b"\n"):
        piece = conn.recv(1)
        if not piece:
            raise ConnectionError("closed before a command")
        line += piece
    return line


def flood(conn, progress, size, end=b""):
    threading.Thread(target=progress.watch, daemon=True).start()
    chunk = b"x" * CHUNK
    left = size
    while left > 0:
        piece = chunk[: min(CHUNK, left)]
        conn.sendall(piece)
        progress.add(len(piece))
        left -= len(piece)
    if end:
        conn.sendall(end)
    with progress.lock:
        progress.sending = False
    report("sent %d" % progress.sent)


def serve(conn, args, progress):
    """True when the server closes the connection itself."""
    if args.mode == "pop-quit":
        conn.sendall(b"+OK ready\r\n")
        for _ in ("USER", "PASS"):
            read_line(conn)
            conn.sendall(b"+OK\r\n")
        read_line(conn)
        flood(conn, progress, args.size)
        return True
    if args.mode == "greeting":
        conn.sendall(b"220 ")
        flood(conn, progress, args.size)
        return False
    conn.sendall(b"220 flood ESMTP\r\n")
    read_line(conn)
    if args.mode == "reply":
        conn.sendall(b"554 ")
        flood(conn, progress, args.size, b"\r\n")
        return False
    conn.sendall(b"554 5.7.1 Go away\r\n")
    sys.stdin.readline()
    flood(conn, progress, args.size)
    return False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=["greeting", "reply", "after-refusal", "pop-quit"])
    parser.add_argument("--size", type=int, required=True)
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"), help="encrypted from the first byte")
    args = parser.parse_args()

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    report("port %d" % listener.getsockname()[1])
    conn, _ = listener.accept()
    listener.close()
    if args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.tls[0], args.tls[1])
        conn = context.wrap_socket(conn, server_side=True)

    progress = Progress()
    try:
        if not serve(conn, args, progress):
            # Everything went out; wait for the client to leave.
            while conn.recv(CHUNK):
                pass
    except (OSError, ConnectionError):
        pass
    with progress.lock:
        progress.finished = True
        sent = progress.sent
    report("done %d" % sent)
    try:
        conn.close()
    except OSError:
        pass


if __name__ == "__main__":
    main()
