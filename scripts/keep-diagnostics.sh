#!/usr/bin/env bash
# The compiler and linker launcher of scripts/build.sh: runs one compile or link step and keeps
# what it printed in <output>.diagnostics beside its output file, so the warnings of the whole
# build can be counted after any build, also one that had little or nothing left to rebuild.
#   keep-diagnostics.sh COMPILER ARGUMENTS... -o OUTPUT ...
set -u
output=""
previous=""
for argument in "$@"; do
  [[ "$previous" == "-o" ]] && output="$argument"
  previous="$argument"
done
if [[ -z "$output" ]]; then
  exec "$@"
fi
log="$output.diagnostics"
mkdir -p "$(dirname "$log")"
"$@" 2>"$log.part"
rc=$?
cat "$log.part" >&2
mv -f "$log.part" "$log"
exit "$rc"
