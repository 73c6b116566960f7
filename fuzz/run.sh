#!/usr/bin/env bash
# Builds the fuzz drivers of the readers of outside data with clang (libFuzzer, address and
# undefined-behaviour sanitizers, the core library instrumented) into build-fuzz/, and runs
# them all side by side for a limited time. Each prints one line: its executions, its corpus
# and its result; a fault stops that driver, keeps the input that caused it in build-fuzz/ and
# fails the run.
#   fuzz/run.sh [seconds]      (default 30)
# The drivers: settings file, pitch dump, WAV file (RIFF chunk walk and sample reads), the
# batch's whole-file read, the converter's settings file patcher. Each starts from its seeds in
# fuzz/corpus/NAME (NAME_fuzz is the driver) and keeps what it finds in build-fuzz/corpus-NAME.
# Needs the Debian packages clang and libclang-rt-14-dev (libFuzzer's runtime).
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"

seconds="${1:-30}"
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] || die "fuzz: the time per driver is a positive number of seconds"
root="$SORVEL_ROOT"
out="$root/build-fuzz"
cxx="${CXX_FUZZ:-clang++}"
command -v "$cxx" >/dev/null || die "fuzz: $cxx is missing (bash scripts/setup.sh)"

mkdir -p "$out"
say "configure (fuzz) in $out"
cache="$out/CMakeCache.txt"
if [[ -f "$cache" ]] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$cache"; then
  rm -rf "$cache" "$out/CMakeFiles"
fi
cmake -S "$root" -B "$out" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DSORVEL_SANITIZE=address,undefined" -DSORVEL_FUZZ=ON -DSORVEL_BUILD_BENCH=OFF >"$out/configure.log" 2>&1 || {
  cat "$out/configure.log" >&2
  die "fuzz: configuring failed"
}
mapfile -t targets < <(cd "$root/fuzz" && ls ./*_fuzz.cpp | sed -e 's|^\./||' -e 's|\.cpp$||')
say "build (fuzz) with $SORVEL_JOBS jobs: ${targets[*]}"
ninja -C "$out" -j "$SORVEL_JOBS" "${targets[@]}" >"$out/build.log" 2>&1 || {
  tail -n 60 "$out/build.log" >&2
  die "fuzz: the build failed"
}

# Every driver's files go below a temporary folder of this run, removed at the end.
tmp="$(mktemp -d "$out/tmp-XXXXXX")"
trap 'rm -rf "$tmp"' EXIT

say "fuzz run: ${#targets[@]} drivers side by side, $seconds s each"
pids=()
for t in "${targets[@]}"; do
  name="${t%_fuzz}"
  mkdir -p "$out/corpus-$name" "$tmp/$name"
  [[ -d "$root/fuzz/corpus/$name" ]] || die "fuzz: the seeds of $t are missing (fuzz/corpus/$name)"
  # New inputs go to the working corpus in the build folder; the seeds stay as they are.
  TMPDIR="$tmp/$name" ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1" \
    "$out/$t" -max_total_time="$seconds" -max_len=16384 -timeout=10 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix="$out/$name-" \
    "$out/corpus-$name" "$root/fuzz/corpus/$name" >"$out/$name.log" 2>&1 &
  pids+=($!)
done

bad=0
for i in "${!targets[@]}"; do
  t="${targets[$i]}"
  name="${t%_fuzz}"
  log="$out/$name.log"
  rc=0
  wait "${pids[$i]}" || rc=$?
  runs="$(sed -n -E 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$log" | tail -n 1 || true)"
  corpus="$( (grep -o -E 'corp: [0-9]+' "$log" || true) | tail -n 1 | sed 's/corp: //')"
  if [[ $rc -eq 0 ]]; then
    echo "fuzz $t: ${runs:-?} executions in $seconds s, ${corpus:-?} inputs in its corpus, no fault"
  else
    bad=$((bad + 1))
    echo "fuzz $t: FAULT after ${runs:-?} executions (exit $rc); the input is kept as $out/$name-*; its log:"
    grep -v -E '^#[0-9]+' "$log" | tail -n 40 | sed 's/^/  /'
  fi
done
[[ $bad -eq 0 ]] || die "fuzz: $bad of ${#targets[@]} drivers found a fault"
