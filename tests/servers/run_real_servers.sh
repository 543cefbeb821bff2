#!/bin/sh
# Runs a test program against real mail servers: aiosmtpd on 127.0.0.1:25
# and Dovecot's POP3 on 127.0.0.1:110 (STLS) and 995 (TLS), plus a small
# name server for the name lookup errors, and the encrypted SMTP servers of
# a provider (see below), with certificates of a test CA made for the run. Meant to run in a private network namespace, where those
# ports are free:
#
#   unshare --net tests/servers/run_real_servers.sh <test program> [args...]
#
# The test program finds the servers' records through TALVENOR_SMTP_SPOOL,
# TALVENOR_POP_LOG, TALVENOR_POP_USER and TALVENOR_POP_PASS; it runs with
# its own /etc/resolv.conf (a private mount namespace) pointing at the name
# server, and TALVENOR_TEST_DNS=1 says so.
set -u

here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3

if [ "$#" -lt 1 ]; then
  echo "usage: unshare --net $0 <test program> [args...]" >&2
  exit 2
fi

ip link set lo up || exit 1

work=$(mktemp -d /tmp/talvenor-servers.XXXXXX) || exit 1
chmod 755 "$work"
pids=""

stop_servers() {
  for pid in $pids; do kill "$pid" 2>/dev/null; done
  for pid in $pids; do wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap stop_servers EXIT
trap 'exit 1' INT TERM

wait_for_listener() {  # protocol (t/u), port
  i=0
  while ! ss -ln"$1" | grep -q "127.0.0.1:$2 "; do
    i=$((i + 1))
    if [ "$i" -gt 200 ]; then
      echo "nothing listens on port $2" >&2
      cat "$work"/*.log >&2 2>/dev/null
      exit 1
    fi
    sleep 0.05
  done
}

mkdir -p "$work/certs"
"$here/make_test_certificates.sh" "$work/certs" > "$work/certs.log" 2>&1 || { cat "$work/certs.log" >&2; exit 1; }

# POP3: Dovecot with its own configuration, run folders and log files.
mkdir -p "$work/dovecot/run" "$work/dovecot/state" "$work/mail" "$work/spool"
chown dovecot:dovecot "$work/mail"
printf 'taro:{PLAIN}secret::::::\n' > "$work/passwd"
sed "s|@WORK@|$work|g" "$here/dovecot.conf.in" > "$work/dovecot.conf"
dovecot -F -c "$work/dovecot.conf" > "$work/dovecot-start.log" 2>&1 &
pids="$pids $!"

# SMTP: aiosmtpd, refusing one address with 550.
"$python" "$here/smtp_server.py" --spool "$work/spool" --refuse nobody@talvenor.test \
  --pop-log "$work/dovecot-info.log" > "$work/smtp.log" 2>&1 &
pids="$pids $!"

"$python" "$here/dns_server.py" > "$work/dns.log" 2>&1 &
pids="$pids $!"

# A provider's SMTP servers, each keeping what crossed its wire in
# captures/<port>, its mails under secure/<port>:
#   587   STARTTLS required, then AUTH PLAIN LOGIN
#   465   TLS from the first byte, AUTH LOGIN
#   2525  no encryption, AUTH CRAM-MD5 (and PLAIN, LOGIN) in clear
#   2526  no encryption, AUTH PLAIN LOGIN only
#   2527  no encryption, no AUTH, no 8BITMIME
#   4651  TLS, a certificate for another name
#   4652  TLS, an expired certificate
#   4653  TLS, a certificate of an unknown CA
#   4654  closes the connection as soon as the client speaks
#   4655-4663  TLS, certificates for the name rules (see make_test_certificates.sh):
#         cn-elsewhere, ip-in-cn, partial-wildcard, wildcard, upper-case, cn-only,
#         san-uri-only, san-rid-only, san-othername-only
mkdir -p "$work/captures"
smtp_secure() {  # port, options...
  port=$1
  shift
  mkdir -p "$work/secure/$port"
  "$python" "$here/smtp_server.py" --port "$port" --spool "$work/secure/$port"     --capture "$work/captures/$port" "$@" > "$work/smtp-$port.log" 2>&1 &
  pids="$pids $!"
}
certs="$work/certs"
login=taro:secret
smtp_secure 587 --cert "$certs/localhost.pem" --key "$certs/localhost.key" --require-starttls --auth "$login" \
  --exclude-auth CRAM-MD5
smtp_secure 465 --cert "$certs/localhost.pem" --key "$certs/localhost.key" --implicit-tls --auth "$login" \
  --exclude-auth CRAM-MD5 --exclude-auth PLAIN
smtp_secure 2525 --auth "$login" --auth-plain-text
smtp_secure 2526 --auth "$login" --auth-plain-text --exclude-auth CRAM-MD5
smtp_secure 2527 --no-8bitmime
smtp_secure 4651 --cert "$certs/elsewhere.pem" --key "$certs/elsewhere.key" --implicit-tls --auth "$login"
smtp_secure 4652 --cert "$certs/expired.pem" --key "$certs/expired.key" --implicit-tls --auth "$login"
smtp_secure 4653 --cert "$certs/unknown.pem" --key "$certs/unknown.key" --implicit-tls --auth "$login"
port=4655
for name in cn-elsewhere ip-in-cn partial-wildcard wildcard upper-case cn-only san-uri-only san-rid-only \
  san-othername-only; do
  smtp_secure "$port" --cert "$certs/$name.pem" --key "$certs/$name.key" --implicit-tls
  port=$((port + 1))
done
"$python" "$here/smtp_server.py" --port 4654 --raw close > "$work/smtp-4654.log" 2>&1 &
pids="$pids $!"

wait_for_listener t 25
wait_for_listener t 110
wait_for_listener t 995
for port in 587 465 2525 2526 2527 4651 4652 4653 4654 4655 4656 4657 4658 4659 4660 4661 4662 4663; do
  wait_for_listener t "$port"
done
wait_for_listener u 53
printf 'nameserver 127.0.0.1\noptions attempts:1 timeout:1\n' > "$work/resolv.conf"

export TALVENOR_SMTP_SPOOL="$work/spool"
export TALVENOR_POP_LOG="$work/dovecot-info.log"
export TALVENOR_POP_USER=taro
export TALVENOR_POP_PASS=secret
export TALVENOR_TEST_CA="$work/certs/ca.pem"
export TALVENOR_SECURE_SPOOL="$work/secure"
export TALVENOR_CAPTURES="$work/captures"

unshare --mount sh -c 'mount --bind "$1" /etc/resolv.conf || exit 1; shift; TALVENOR_TEST_DNS=1 exec "$@"' \
  sh "$work/resolv.conf" "$@"
status=$?

if [ "$status" -ne 0 ]; then
  for log in "$work"/*.log; do
    echo "--- $log" >&2
    cat "$log" >&2
  done
fi
exit "$status"
