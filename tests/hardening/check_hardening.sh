#!/bin/sh
# Reads the built program back and fails when a hardening of the build is
# missing: a position-independent executable, full RELRO (GNU_RELRO and
# BIND_NOW), the stack protector in use; and, as the program's compile
# flags record them, _FORTIFY_SOURCE=2 and stack clash protection (checked
# calls leave a trace in the program only where a size is not known).
#   check_hardening.sh <program> <build folder>
set -u
program=$1
build=$2
status=0
fail() { echo "missing: $1" >&2; status=1; }

readelf -h "$program" | grep -q 'Type:.*DYN' || fail "position-independent executable"
readelf -d "$program" | grep -q 'FLAGS_1.*PIE' || fail "PIE flag"
readelf -l "$program" | grep -q 'GNU_RELRO' || fail "RELRO"
readelf -d "$program" | grep -Eq 'BIND_NOW|FLAGS.*NOW' || fail "BIND_NOW (full RELRO)"
readelf --dyn-syms -W "$program" | grep -q '__stack_chk_fail' || fail "stack protector"

flags=$(find "$build/src" -name flags.make -exec cat {} +)
echo "$flags" | grep -q -- '-D_FORTIFY_SOURCE=2' || fail "_FORTIFY_SOURCE=2"
echo "$flags" | grep -q -- '-fstack-clash-protection' || fail "stack clash protection"
echo "$flags" | grep -q -- '-fstack-protector-strong' || fail "-fstack-protector-strong"
exit $status
