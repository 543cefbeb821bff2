#!/usr/bin/python3
"""The autoconfiguration servers of the account set-up tests.

HTTPS on <address>:443 with the given certificate, answering by the Host
header (see ANSWERS), and plain HTTP on <address>:80 (only ever asked if a
client followed a redirect to http or fell back to it). Every request is
written to the log as "<scheme> <host> <path>". Runs until killed.
"""

import argparse
import http.server
import ssl
import threading

GOOD = """<?xml version="1.0" encoding="UTF-8"?>
<clientConfig version="1.1">
  <emailProvider id="{domain}">
    <domain>{domain}</domain>
    <displayName>{name}</displayName>
    <incomingServer type="pop3">
      <hostname>pop.%EMAILDOMAIN%</hostname>
      <port>995</port>
      <socketType>SSL</socketType>
      <username>%EMAILADDRESS%</username>
      <authentication>password-cleartext</authentication>
    </incomingServer>
    <outgoingServer type="smtp">
      <hostname>localhost</hostname>
      <port>{port}</port>
      <socketType>{socket}</socketType>
      <username>%EMAILLOCALPART%</username>
      <authentication>password-cleartext</authentication>
    </outgoingServer>
  </emailProvider>
</clientConfig>
"""

OAUTH_ONLY = GOOD.replace("password-cleartext", "OAuth2")


def with_smtp(field, value):
    """The good answer with one field of the SMTP server replaced."""
    start = GOOD.index("<outgoingServer")
    head, tail = GOOD[:start], GOOD[start:]
    i = tail.index("<%s>" % field)
    j = tail.index("</%s>" % field)
    return head + tail[:i] + "<%s>%s" % (field, value) + tail[j:]


AUTOCONFIG = "/mail/config-v1.1.xml"
WELL_KNOWN = "/.well-known/autoconfig/mail/config-v1.1.xml"

# (host, path) -> (status, headers, body); {domain} filled with the domain.
ANSWERS = {
    ("autoconfig.good.test", AUTOCONFIG): (200, {}, GOOD.format(domain="good.test", name="Good", port=587, socket="STARTTLS")),
    ("good.test", WELL_KNOWN): (200, {}, GOOD.format(domain="good.test", name="Good well-known", port=465, socket="SSL")),
    ("wellknown.test", WELL_KNOWN): (200, {}, GOOD.format(domain="wellknown.test", name="Well-known", port=465, socket="SSL")),
    ("autoconfig.oauth.test", AUTOCONFIG): (200, {}, OAUTH_ONLY.format(domain="oauth.test", name="OAuth", port=587, socket="STARTTLS")),
    ("autoconfig.huge.test", AUTOCONFIG): (200, {}, "<clientConfig>" + "<!-- padding -->" * 5000 + "</clientConfig>"),
    ("autoconfig.hugechunks.test", AUTOCONFIG): (200, {"no-length": "1"}, "<clientConfig>" + "<!-- padding -->" * 5000 + "</clientConfig>"),
    ("autoconfig.malformed.test", AUTOCONFIG): (200, {}, "<clientConfig><emailProvider><outgoingServer type=\"smtp\"><hostname>x</port>"),
    ("autoconfig.notxml.test", AUTOCONFIG): (200, {}, "{\"smtp\": \"localhost\"}"),
    ("autoconfig.badport.test", AUTOCONFIG): (200, {}, with_smtp("port", "70000").format(domain="badport.test", name="", port=0, socket="")),
    ("autoconfig.textport.test", AUTOCONFIG): (200, {}, with_smtp("port", "abc").format(domain="textport.test", name="", port=0, socket="")),
    ("autoconfig.badsocket.test", AUTOCONFIG): (200, {}, with_smtp("socketType", "TLS1.3").format(domain="badsocket.test", name="", port=587, socket="")),
    ("autoconfig.emptyhost.test", AUTOCONFIG): (200, {}, with_smtp("hostname", " ").format(domain="emptyhost.test", name="", port=587, socket="STARTTLS")),
    ("autoconfig.badhost.test", AUTOCONFIG): (200, {}, with_smtp("hostname", "smtp example;rm").format(domain="badhost.test", name="", port=587, socket="STARTTLS")),
    ("autoconfig.redirect.test", AUTOCONFIG): (302, {"Location": "http://redirect.test/mail/config-v1.1.xml"}, ""),
    ("autoconfig.redirectok.test", AUTOCONFIG): (301, {"Location": "https://wellknown.test" + WELL_KNOWN}, ""),
    ("autoconfig.error.test", AUTOCONFIG): (500, {}, GOOD),
}


def handler_for(scheme, log):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.0"

        def do_GET(self):
            host = (self.headers.get("Host") or "").split(":")[0].lower()
            with open(log, "a") as f:
                f.write("%s %s %s\n" % (scheme, host, self.path))
            path = self.path.split("?")[0]
            status, headers, body = ANSWERS.get((host, path), (404, {}, "not here"))
            if scheme != "https":
                status, headers, body = 200, {}, GOOD.format(domain="redirect.test", name="Plain", port=25, socket="plain")
            data = body.encode("utf-8")
            self.send_response(status)
            for name, value in headers.items():
                if name != "no-length":
                    self.send_header(name, value)
            if "no-length" not in headers:
                self.send_header("Content-Length", str(len(data)))
            self.send_header("Content-Type", "text/xml")
            self.end_headers()
            self.wfile.write(data)

        def log_message(self, *args):
            pass

    return Handler


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--address", default="127.0.0.1")
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--log", required=True)
    args = parser.parse_args()

    https = http.server.ThreadingHTTPServer((args.address, 443), handler_for("https", args.log))
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    https.socket = context.wrap_socket(https.socket, server_side=True)
    plain = http.server.ThreadingHTTPServer((args.address, 80), handler_for("http", args.log))
    threading.Thread(target=plain.serve_forever, daemon=True).start()
    https.serve_forever()


if __name__ == "__main__":
    main()
