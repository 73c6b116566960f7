#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test:
#   1. the normal build and all its tests (plus the sound-server test when present),
#   2. the address + undefined-behaviour sanitizer build and all its tests,
#   3. the thread sanitizer build and the tests of the engine threads, the runs, the devices,
#      the analyser's display timer and the window runs,
#   4. the fuzz run (when present) and a short benchmark run.
# Stops at the first failure and exits non-zero; a build with compiler warnings fails too.
#   bash scripts/test.sh
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$SORVEL_ROOT"

started=$SECONDS
stage="setup"
passed=0
failed=0
results=()

# Last words of every run, good or bad.
finish() {
  local rc=$?
  local elapsed=$((SECONDS - started))
  local done_so_far
  done_so_far="$(printf '%s, ' "${results[@]}")"
  done_so_far="${done_so_far%, }"
  echo
  if [[ $rc -eq 0 ]]; then
    echo "test.sh: all stages passed in $((elapsed / 60))m$((elapsed % 60))s ($done_so_far)"
  else
    echo "test.sh: FAILED in stage '$stage' after $((elapsed / 60))m$((elapsed % 60))s${done_so_far:+ (before it: $done_so_far)}"
  fi
  echo "sorvel: $passed passed, $failed failed"
}
trap finish EXIT

elapsed_since() {
  echo "$((SECONDS - $1))s"
}

# Fails when the last build printed compiler warnings.
check_warnings() {
  local dir="$1"
  local count
  count="$(grep -c -E '(^|: )warning: ' "$dir/build.log" || true)"
  if [[ "$count" -ne 0 ]]; then
    grep -E '(^|: )warning: ' "$dir/build.log" >&2
    echo "test.sh: the build in $dir printed $count warnings; the build must be free of them" >&2
    return 1
  fi
}

# Copies the voice recordings into a build folder's testdata/, where the tests look for them.
install_test_data() {
  local dir="$1"
  if [[ "$dir" != "$SORVEL_ROOT/build" ]]; then
    mkdir -p "$dir/testdata"
    cp -f build/testdata/voice.wav build/testdata/voice-stereo.wav "$dir/testdata/"
  fi
}

# Runs ctest in a build folder, adds its counts to the totals and names the run.
run_ctest() {
  local name="$1" dir="$2"
  shift 2
  local log="$dir/ctest.log" rc=0
  ctest --test-dir "$dir" --output-on-failure -j "$SORVEL_JOBS" --no-tests=error \
    --timeout 300 "$@" 2>&1 | tee "$log" || rc=$?
  local line total bad
  line="$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)"
  if [[ -n "$line" ]]; then
    bad="$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")"
    total="$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")"
    passed=$((passed + total - bad))
    failed=$((failed + bad))
    results+=("$name tests $((total - bad))/$total")
  elif [[ $rc -ne 0 ]]; then
    failed=$((failed + 1))
  fi
  return "$rc"
}

say "packages"
bash scripts/setup.sh

stage="voice data"
say "$stage"
bash scripts/make-voice.sh build/testdata/voice.wav
bash scripts/make-voice.sh --stereo build/testdata/voice-stereo.wav

stage="normal build"
t=$SECONDS
bash scripts/build.sh normal
check_warnings build
results+=("build $(elapsed_since $t)")

stage="normal tests"
say "$stage"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
run_ctest normal build

if [[ -f scripts/soundserver-test.sh ]]; then
  stage="sound-server test"
  say "$stage"
  bash scripts/soundserver-test.sh
  results+=("sound-server test passed")
fi

stage="address+undefined build"
t=$SECONDS
bash scripts/build.sh asan
check_warnings build-asan
install_test_data "$SORVEL_ROOT/build-asan"
results+=("asan build $(elapsed_since $t)")

stage="address+undefined tests"
say "$stage"
ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:print_stacktrace=1" \
  UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
  run_ctest asan+ubsan build-asan

stage="thread sanitizer build"
t=$SECONDS
bash scripts/build.sh tsan
check_warnings build-tsan
install_test_data "$SORVEL_ROOT/build-tsan"
results+=("tsan build $(elapsed_since $t)")

stage="thread sanitizer tests of the engine, the runs, the devices, the chorus runs, the analyser's timer and the window runs"
say "$stage"
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" \
  run_ctest tsan-engine build-tsan -L '^(engine|runs|pv|wave|chorus|analyser-timer|ui-runs)$'

if [[ -f fuzz/run.sh ]]; then
  stage="fuzz run"
  say "$stage (30 s per target)"
  bash fuzz/run.sh 30
  results+=("fuzz run passed")
fi

if [[ -x build/bench/engine_bench ]]; then
  stage="benchmark smoke run"
  say "$stage"
  build/bench/engine_bench psola build/testdata/voice.wav build/bench/smoke-out.wav >build/bench/smoke.log 2>&1 || {
    cat build/bench/smoke.log >&2
    exit 1
  }
  echo "engine_bench psola: $(tail -n 1 build/bench/smoke.log)"
  results+=("benchmark smoke ran")
fi
stage="done"
