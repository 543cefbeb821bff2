#!/bin/sh
# Adds to the servers of run_real_servers.sh what the account set-up tests
# ask: the autoconfiguration servers of a few test domains (HTTPS with the
# test CA, autoconfig_server.py), a name server answering their names and
# their SRV records (dnsmasq, on 127.0.0.2), and an SMTP port that never
# speaks. Runs the test program with a resolv.conf of its own pointing at
# that name server (a private mount namespace again):
#
#   unshare --net tests/servers/run_real_servers.sh \
#     tests/servers/run_account_setup_servers.sh <test program> [args...]
#
# TALVENOR_AUTOCONFIG_LOG names the file of the HTTP requests the servers
# saw; TALVENOR_SILENT_PORT the port that never speaks.
set -u

here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3

if [ -z "${TALVENOR_TEST_CA:-}" ]; then
  echo "run it inside run_real_servers.sh" >&2
  exit 2
fi
certs=$(dirname "$TALVENOR_TEST_CA")
work=$(mktemp -d /tmp/talvenor-autoconfig.XXXXXX) || exit 1
pids=""
stop_servers() {
  for pid in $pids; do kill "$pid" 2>/dev/null; done
  for pid in $pids; do wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap stop_servers EXIT
trap 'exit 1' INT TERM

# One certificate, signed by the test CA, for every name the HTTPS server answers.
names="good.test autoconfig.good.test wellknown.test autoconfig.oauth.test autoconfig.huge.test
  autoconfig.hugechunks.test autoconfig.malformed.test autoconfig.notxml.test autoconfig.badport.test
  autoconfig.textport.test autoconfig.badsocket.test autoconfig.emptyhost.test autoconfig.badhost.test
  autoconfig.redirect.test redirect.test autoconfig.redirectok.test autoconfig.error.test"
san=""
for name in $names; do san="$san${san:+,}DNS:$name"; done
(
  cd "$certs" || exit 1
  openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$work/autoconfig.key" 2>/dev/null &&
  openssl req -new -key "$work/autoconfig.key" -out "$work/autoconfig.csr" -subj "/CN=autoconfig" \
    -addext "subjectAltName=$san" &&
  openssl ca -batch -config ca.cnf -in "$work/autoconfig.csr" -out "$work/autoconfig.pem" -notext \
    -startdate "$(date -u -d '-1 hour' +%Y%m%d%H%M%SZ)" -enddate "$(date -u -d '+2 days' +%Y%m%d%H%M%SZ)"
) > "$work/certs.log" 2>&1 || { cat "$work/certs.log" >&2; exit 1; }

"$python" "$here/autoconfig_server.py" --cert "$work/autoconfig.pem" --key "$work/autoconfig.key" \
  --log "$work/requests.log" > "$work/autoconfig.log" 2>&1 &
pids="$pids $!"
# untrusted.test: an HTTPS server whose certificate no one vouches for.
"$python" "$here/autoconfig_server.py" --address 127.0.0.3 --cert "$certs/unknown.pem" --key "$certs/unknown.key" \
  --log "$work/requests.log" > "$work/untrusted.log" 2>&1 &
pids="$pids $!"
# plainonly.test: only plain HTTP answers there (port 80), nothing on 443.
"$python" -c '
import http.server, sys
class H(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        open(sys.argv[1], "a").write("http %s %s\n" % (self.headers.get("Host"), self.path))
        self.send_response(200); self.end_headers(); self.wfile.write(b"<clientConfig/>")
http.server.HTTPServer(("127.0.0.4", 80), H).serve_forever()
' "$work/requests.log" > "$work/plainonly.log" 2>&1 &
pids="$pids $!"
# A port that takes the connection and never says a word.
"$python" -c '
import socket, time
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", 2600)); s.listen(16); held = []
while True:
    c, _ = s.accept(); held.append(c)
' > "$work/silent.log" 2>&1 &
pids="$pids $!"

records=""
for name in $names; do records="$records --host-record=$name,127.0.0.1"; done
# srv.test: SMTP over TLS and POP3S by SRV only; starttls.test: submission
# and pop3 only; declined.test: the services declared absent (target ".").
dnsmasq --keep-in-foreground --no-resolv --no-hosts --bind-interfaces --listen-address=127.0.0.2 \
  --pid-file= --log-facility="$work/dnsmasq.log" --local=/test/ $records \
  --host-record=untrusted.test,127.0.0.3 --host-record=autoconfig.untrusted.test,127.0.0.3 \
  --host-record=plainonly.test,127.0.0.4 --host-record=autoconfig.plainonly.test,127.0.0.4 \
  --srv-host=_submissions._tcp.srv.test,localhost,465,0,0 \
  --srv-host=_submission._tcp.srv.test,localhost,587,0,0 \
  --srv-host=_pop3s._tcp.srv.test,localhost,995,0,0 \
  --srv-host=_submission._tcp.starttls.test,localhost,587,10,0 \
  --srv-host=_submission._tcp.starttls.test,elsewhere.test,2587,20,0 \
  --srv-host=_pop3._tcp.starttls.test,localhost,110,0,0 \
  --srv-host=_submissions._tcp.declined.test \
  --srv-host=_submission._tcp.declined.test &
pids="$pids $!"

wait_for() {  # ss options, address:port
  i=0
  while ! ss -ln"$1" | grep -q "$2 "; do
    i=$((i + 1))
    if [ "$i" -gt 200 ]; then
      echo "nothing listens on $2" >&2
      cat "$work"/*.log >&2
      exit 1
    fi
    sleep 0.05
  done
}
wait_for t 127.0.0.1:443
wait_for t 127.0.0.3:443
wait_for t 127.0.0.4:80
wait_for t 127.0.0.1:2600
wait_for u 127.0.0.2:53
printf 'nameserver 127.0.0.2\noptions attempts:1 timeout:1\n' > "$work/resolv.conf"

export TALVENOR_AUTOCONFIG_LOG="$work/requests.log"
export TALVENOR_SILENT_PORT=2600
unshare --mount sh -c 'mount --bind "$1" /etc/resolv.conf || exit 1; shift; exec "$@"' sh "$work/resolv.conf" "$@"
status=$?
if [ "$status" -ne 0 ]; then
  for log in "$work"/*.log; do
    echo "--- $log" >&2
    cat "$log" >&2
  done
fi
exit "$status"
