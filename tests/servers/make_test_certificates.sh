#!/bin/sh
# Makes the certificates of the encrypted test servers in the given folder,
# all with the openssl command line:
#   ca.pem              the test CA (the program under test trusts it)
#   localhost.pem/.key  for localhost and 127.0.0.1, signed by the CA
#   elsewhere.pem/.key  signed by the CA, but for another name
#   expired.pem/.key    for localhost, signed by the CA, expired in 2020
#   unknown.pem/.key    for localhost, signed by nobody the program knows
# and, signed by the CA, for the name rules (the servers are reached as
# names under example.test, which the test name server gives 127.0.0.1):
#   cn-elsewhere        CN mail.example.test, subjectAltName other.example.test
#   ip-in-cn            CN 127.0.0.1, no subjectAltName
#   partial-wildcard    subjectAltName m*.example.test
#   wildcard            subjectAltName *.example.test
#   upper-case          subjectAltName MAIL.EXAMPLE.TEST
#   cn-only             CN mail.example.test, no subjectAltName
#   san-uri-only        CN mail.example.test, subjectAltName a URI only
#   san-rid-only        CN mail.example.test, subjectAltName a registered ID only
#   san-othername-only  CN mail.example.test, subjectAltName an otherName only
set -eu
dir=$1
cd "$dir"
new_key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null; }

new_key ca.key
openssl req -x509 -new -key ca.key -out ca.pem -days 3 -subj "/CN=Talvenor Test CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"

mkdir -p ca/newcerts
: > ca/index.txt
echo 1000 > ca/serial
cat > ca.cnf <<CNF
[ca]
default_ca = test_ca
[test_ca]
dir = $dir/ca
database = \$dir/index.txt
new_certs_dir = \$dir/newcerts
serial = \$dir/serial
certificate = $dir/ca.pem
private_key = $dir/ca.key
default_md = sha256
policy = any_name
copy_extensions = copy
unique_subject = no
x509_extensions = server
[any_name]
commonName = supplied
[server]
basicConstraints = CA:FALSE
extendedKeyUsage = serverAuth
CNF

sign() {  # name, subjectAltName, start date, end date
  new_key "$1.key"
  openssl req -new -key "$1.key" -out "$1.csr" -subj "/CN=$1" -addext "subjectAltName=$2"
  openssl ca -batch -config ca.cnf -in "$1.csr" -out "$1.pem" -notext -startdate "$3" -enddate "$4" 2>/dev/null
}
now=$(date -u -d '-1 hour' +%Y%m%d%H%M%SZ)
later=$(date -u -d '+2 days' +%Y%m%d%H%M%SZ)
sign localhost "DNS:localhost,IP:127.0.0.1" "$now" "$later"
sign elsewhere "DNS:elsewhere.talvenor.test" "$now" "$later"
sign expired "DNS:localhost,IP:127.0.0.1" 20200101000000Z 20200201000000Z

new_key unknown.key
openssl req -x509 -new -key unknown.key -out unknown.pem -days 3 -subj "/CN=localhost" \
  -addext "subjectAltName=DNS:localhost,IP:127.0.0.1"

named() {  # file name, CN, subjectAltName (empty: none)
  new_key "$1.key"
  if [ -n "$3" ]; then
    openssl req -new -key "$1.key" -out "$1.csr" -subj "/CN=$2" -addext "subjectAltName=$3"
  else
    openssl req -new -key "$1.key" -out "$1.csr" -subj "/CN=$2"
  fi
  openssl ca -batch -config ca.cnf -in "$1.csr" -out "$1.pem" -notext -startdate "$now" -enddate "$later" 2>/dev/null
}
named cn-elsewhere mail.example.test "DNS:other.example.test"
named ip-in-cn 127.0.0.1 ""
named partial-wildcard "m*.example.test" "DNS:m*.example.test"
named wildcard "*.example.test" "DNS:*.example.test"
named upper-case MAIL.EXAMPLE.TEST "DNS:MAIL.EXAMPLE.TEST"
named cn-only mail.example.test ""
# A subjectAltName of any kind ends the common name's say.
named san-uri-only mail.example.test "URI:https://mail.example.test/"
named san-rid-only mail.example.test "RID:1.2.3.4"
named san-othername-only mail.example.test "otherName:1.3.6.1.5.5.7.8.7;IA5STRING:_smtp.mail.example.test"
