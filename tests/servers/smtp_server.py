#!/usr/bin/python3
"""SMTP server for the sending tests, on aiosmtpd.

Stores every accepted mail in a folder of its own under the spool folder:
"message" holds the mail text as received (dots of the transparency
procedure removed, as a mail server keeps it), "envelope.json" the
envelope, the HELO argument and how many POP logins the POP server's log
held when HELO came. Refuses the addresses given with --refuse with 550.
Runs until SIGTERM.
"""

import argparse
import json
import os
import signal
import threading

from aiosmtpd.controller import Controller


class Handler:
    def __init__(self, spool, refused, pop_log):
        self.spool = spool
        self.refused = set(refused)
        self.pop_log = pop_log
        self.count = 0

    def pop_logins(self):
        try:
            with open(self.pop_log, encoding="utf-8", errors="replace") as log:
                return sum(1 for line in log if "Login: user=<" in line)
        except OSError:
            return 0

    async def handle_HELO(self, server, session, envelope, hostname):
        session.host_name = hostname
        session.pop_logins = self.pop_logins()
        return "250 {}".format(server.hostname)

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.refused:
            return "550 5.1.1 <{}>: Recipient address rejected: User unknown".format(address)
        envelope.rcpt_tos.append(address)
        return "250 2.1.5 Ok"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        folder = os.path.join(self.spool, "{:04d}".format(self.count))
        os.makedirs(folder)
        with open(os.path.join(folder, "message"), "wb") as message:
            message.write(envelope.original_content)
        record = {
            "helo": session.host_name,
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "pop_logins_at_helo": getattr(session, "pop_logins", None),
        }
        # Written last: its presence means the mail is complete.
        with open(os.path.join(folder, "envelope.json.tmp"), "w", encoding="utf-8") as out:
            json.dump(record, out)
        os.rename(os.path.join(folder, "envelope.json.tmp"), os.path.join(folder, "envelope.json"))
        return "250 2.0.0 Ok: queued as {:04d}".format(self.count)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=25)
    parser.add_argument("--spool", required=True)
    parser.add_argument("--refuse", action="append", default=[])
    parser.add_argument("--pop-log", default="")
    args = parser.parse_args()

    handler = Handler(args.spool, args.refuse, args.pop_log)
    controller = Controller(handler, hostname=args.host, port=args.port,
                            server_hostname="mx.talvenor.test")
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    controller.start()
    print("listening on {}:{}".format(args.host, controller.port), flush=True)
    stop.wait()
    controller.stop()


if __name__ == "__main__":
    main()
