#!/usr/bin/python3
"""SMTP server for the sending tests, on aiosmtpd.

Stores every accepted mail in a folder of its own under the spool folder:
"message" holds the mail text as received (dots of the transparency
procedure removed, as a mail server keeps it), "envelope.json" the
envelope, the HELO argument, how many POP logins the POP server's log
held when HELO came, and whether the session was encrypted and logged in.
Refuses the addresses given with --refuse with 550. Runs until SIGTERM.

For sending through a provider it can also:
  --cert/--key          offer STARTTLS with this certificate (or, with
                        --implicit-tls, speak TLS from the first byte)
  --require-starttls    refuse everything but EHLO/STARTTLS before TLS
  --auth USER:PASS      offer SMTP AUTH (PLAIN, LOGIN, CRAM-MD5) for this login
  --auth-plain-text     offer AUTH on a connection that is not encrypted
  --exclude-auth MECH   leave this mechanism out (may be repeated)
  --capture FILE        keep every byte the clients sent on the wire, as it
                        crossed it (encrypted where it was), in FILE
  --no-8bitmime         leave 8BITMIME out of the EHLO reply
  --raw close           no SMTP at all: close each connection once the
                        client has sent something (a handshake that ends)
"""

import argparse
import asyncio
import hmac
import json
import os
import secrets
import signal
import socket
import ssl
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import MISSING, AuthResult


class Handler:
    def __init__(self, spool, refused, pop_log, login=None):
        self.spool = spool
        self.refused = set(refused)
        self.pop_log = pop_log
        self.login = login  # (user, password) when AUTH is offered
        self.implicit_tls = False
        self.no_8bitmime = False
        self.count = 0

    def authenticate(self, server, session, envelope, mechanism, auth_data):
        ok = self.login is not None and (auth_data.login.decode(), auth_data.password.decode()) == self.login
        # handled=False: aiosmtpd answers a failure with 535.
        return AuthResult(success=ok, handled=False)

    async def auth_CRAM__MD5(self, server, args):
        challenge = "<{}@mx.talvenor.test>".format(secrets.token_hex(8))
        response = await server.challenge_auth(challenge)
        if response is MISSING:
            return AuthResult(success=False, handled=True)
        user, _, digest = response.decode(errors="replace").partition(" ")
        expected = hmac.new(self.login[1].encode(), challenge.encode(), "md5").hexdigest()
        ok = self.login is not None and user == self.login[0] and digest == expected
        return AuthResult(success=ok, handled=False)

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

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        session.pop_logins = self.pop_logins()
        if self.no_8bitmime:
            responses = [line for line in responses if "8BITMIME" not in line]
        return responses

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
            "tls": session.ssl is not None or self.implicit_tls,
            "authenticated": bool(session.authenticated),
        }
        # Written last: its presence means the mail is complete.
        with open(os.path.join(folder, "envelope.json.tmp"), "w", encoding="utf-8") as out:
            json.dump(record, out)
        os.rename(os.path.join(folder, "envelope.json.tmp"), os.path.join(folder, "envelope.json"))
        return "250 2.0.0 Ok: queued as {:04d}".format(self.count)


def free_port(host):
    with socket.socket() as probe:
        probe.bind((host, 0))
        return probe.getsockname()[1]


def run_in_thread(coroutine_factory):
    loop = asyncio.new_event_loop()
    threading.Thread(target=loop.run_forever, daemon=True).start()
    asyncio.run_coroutine_threadsafe(coroutine_factory(), loop).result()
    return loop


async def relay(host, port, inner_port, capture):
    """Listens on port and passes each connection on to inner_port,
    appending what the client sends to the capture file."""
    async def pipe(reader, writer, record):
        try:
            while True:
                data = await reader.read(65536)
                if not data:
                    break
                if record:
                    with open(capture, "ab") as out:
                        out.write(data)
                writer.write(data)
                await writer.drain()
        except (ConnectionError, OSError):
            pass
        finally:
            writer.close()

    async def serve(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection(host, inner_port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pipe(client_reader, server_writer, True), pipe(server_reader, client_writer, False))

    await asyncio.start_server(serve, host, port)


async def closing_listener(host, port):
    async def serve(reader, writer):
        await reader.read(1)
        writer.transport.abort()

    await asyncio.start_server(serve, host, port)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=25)
    parser.add_argument("--spool", default="")
    parser.add_argument("--refuse", action="append", default=[])
    parser.add_argument("--pop-log", default="")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--implicit-tls", action="store_true")
    parser.add_argument("--require-starttls", action="store_true")
    parser.add_argument("--auth")
    parser.add_argument("--auth-plain-text", action="store_true")
    parser.add_argument("--exclude-auth", action="append", default=[])
    parser.add_argument("--capture")
    parser.add_argument("--no-8bitmime", action="store_true")
    parser.add_argument("--raw", choices=["close"])
    args = parser.parse_args()

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())

    if args.raw == "close":
        run_in_thread(lambda: closing_listener(args.host, args.port))
        print("closing on {}:{}".format(args.host, args.port), flush=True)
        stop.wait()
        return

    login = tuple(args.auth.split(":", 1)) if args.auth else None
    handler = Handler(args.spool, args.refuse, args.pop_log, login)
    handler.implicit_tls = args.implicit_tls
    handler.no_8bitmime = args.no_8bitmime
    context = None
    if args.cert:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)
    smtp_options = {}
    if context and not args.implicit_tls:
        smtp_options.update(tls_context=context, require_starttls=args.require_starttls)
    if login:
        # With TLS from the first byte aiosmtpd does not know the session is
        # encrypted; it is, so AUTH may be offered.
        plain_text_ok = args.auth_plain_text or args.implicit_tls
        smtp_options.update(authenticator=handler.authenticate, auth_require_tls=not plain_text_ok,
                            auth_exclude_mechanism=args.exclude_auth)
    else:
        smtp_options.update(auth_exclude_mechanism=["CRAM-MD5"])
    port = free_port(args.host) if args.capture else args.port
    controller = Controller(handler, hostname=args.host, port=port, server_hostname="mx.talvenor.test",
                            ssl_context=context if args.implicit_tls else None, **smtp_options)
    controller.start()
    if args.capture:
        run_in_thread(lambda: relay(args.host, args.port, port, args.capture))
    print("listening on {}:{}".format(args.host, args.port), flush=True)
    stop.wait()
    controller.stop()


if __name__ == "__main__":
    main()
