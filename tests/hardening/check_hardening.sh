#!/bin/sh
# Reads the built program back and fails when a hardening of the build is
# missing: a position-independent executable, full RELRO (GNU_RELRO and
# BIND_NOW), the stack protector in use; and, as the program's compile
# flags record them, _FORTIFY_SOURCE=2 and stack clash protection (checked
# calls leave a trace in the program only where a size is not known).
# With a compiler given (it has -fcf-protection): the IBT and SHSTK notes
# of control-flow protection in every object compiled for the program and
# its modules, and in those files themselves when the C library's
# start files carry the notes too (the linker keeps a note only when every
# input has it; Debian's glibc start files do not). And in neither file a
# path of the source or build folder: the shipped program must not look for
# anything there (UTF-16 texts of Qt included).
# "none" for the compiler skips the notes.
#   check_hardening.sh <program> <source folder> <build folder> <compiler|none> <module>...
set -u
program=$1
source=$2
build=$3
compiler=$4
[ "$compiler" != none ] || compiler=
shift 4
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
# Both notes of control-flow protection in an ELF file.
cet_notes() { readelf -n "$1" | grep 'x86 feature:' | grep 'IBT' | grep -q 'SHSTK'; }
linked_files_have_notes=no
if [ -n "$compiler" ]; then
  objects=$(find "$build/src" -name '*.o')
  [ -n "$objects" ] || fail "object files of the program under $build/src"
  for object in $objects; do
    cet_notes "$object" || fail "IBT and SHSTK notes (-fcf-protection) in $object"
  done
  start_file=$("$compiler" -print-file-name=Scrt1.o)
  cet_notes "$start_file" && linked_files_have_notes=yes
fi
for file in "$program" "$@"; do
  if [ "$linked_files_have_notes" = yes ]; then
    cet_notes "$file" || fail "IBT and SHSTK notes (-fcf-protection) in $file"
  fi
  # The debugging information names the sources by right; what is loaded is not.
  stripped=$(mktemp)
  objcopy --strip-debug "$file" "$stripped"
  for encoding in s l; do
    found=$(strings -a -e "$encoding" "$stripped" | grep -F -e "$source" -e "$build")
    [ -z "$found" ] || fail "a program without build paths: $file holds $found"
  done
  rm -f "$stripped"
done
exit $status
