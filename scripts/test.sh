#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test:
#   1. the normal build and all its tests, and the sound-server test,
#   2. the address + undefined-behaviour sanitizer build and all its tests,
#   3. the thread sanitizer build and the tests of every suite that runs threads: the engine
#      threads, the runs, the devices, the chorus runs, the effects, the batch, the program's
#      own files and start-up, the platform's threads and windows, the analyser's display timer
#      and the window runs,
#   4. the fuzz run of every reader of outside data,
#   5. a brief run of every benchmark program, each under a time limit.
# Every stage prints what passed and what was skipped (with the reasons); skipped is never
# counted as passed. With CI=true a sound-server test that could not run, or a phase of it whose
# own test skipped, fails the run.
# Stops at the first failure and exits non-zero. Also fails: a build with compiler warnings (those
# of the whole build, not only of what this run rebuilt), a test program without tests, and a
# test program that ended in the middle of its tests, even with exit status 0 (tests/run-test.sh).
#   bash scripts/test.sh
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$SORVEL_ROOT"

started=$SECONDS
stage="setup"
passed=0
skipped=0
failed=0
results=()
skip_notes=()

# Last words of every run, good or bad.
finish() {
  local rc=$?
  local elapsed=$((SECONDS - started))
  echo
  if [[ ${#results[@]} -gt 0 ]]; then
    echo "test.sh: stages"
    printf '  %s\n' "${results[@]}"
  fi
  if [[ ${#skip_notes[@]} -gt 0 ]]; then
    echo "test.sh: skipped (not counted as passed)"
    printf '  %s\n' "${skip_notes[@]}"
  fi
  if [[ $rc -eq 0 ]]; then
    echo "test.sh: all stages passed in $((elapsed / 60))m$((elapsed % 60))s"
  else
    echo "test.sh: FAILED in stage '$stage' after $((elapsed / 60))m$((elapsed % 60))s"
  fi
  echo "sorvel: $passed passed, $skipped skipped, $failed failed"
}
trap finish EXIT

elapsed_since() {
  echo "$((SECONDS - $1))s"
}

# Fails when the whole build in a build folder has compiler warnings: those of every compile and
# link step, rebuilt by this run or kept from an earlier one (see build_warnings in common.sh).
check_warnings() {
  local dir="$1" warnings count
  warnings="$(build_warnings "$dir")"
  count="$(grep -c . <<<"$warnings" || true)"
  if [[ "$count" -ne 0 ]]; then
    echo "$warnings" >&2
    echo "test.sh: the build in $dir has $count warnings; the build must be free of them" >&2
    return 1
  fi
}

# Fails when a test program of a build folder has no test: a folder of tests/ whose program
# discovers none would add nothing to ctest's list and pass unseen.
check_test_programs() {
  local dir="$1" program count empty=0
  while IFS= read -r program; do
    program="$dir/$program"
    count="$("$program" --gtest_list_tests | grep -c -E '^  [^ ]' || true)"
    if [[ "$count" -eq 0 ]]; then
      echo "test.sh: the test program $program has no tests" >&2
      empty=$((empty + 1))
    fi
  done < <(ninja -C "$dir" -t targets all | sed -n -E 's/^(tests\/test_[A-Za-z0-9_]+): CXX_EXECUTABLE_LINKER.*/\1/p')
  [[ $empty -eq 0 ]]
}

# Copies the voice recordings into a build folder's testdata/, where the tests look for them.
install_test_data() {
  local dir="$1"
  if [[ "$dir" != "$SORVEL_ROOT/build" ]]; then
    mkdir -p "$dir/testdata"
    cp -f build/testdata/voice.wav build/testdata/voice-stereo.wav "$dir/testdata/"
  fi
}

# The skipped tests of a ctest run's JUnit report, one "NAME: REASON" a line. The reason is the
# line after GoogleTest's "Skipped" in the test's output.
skipped_with_reasons() {
  awk '
    function unxml(s) {
      gsub(/&lt;/, "<", s); gsub(/&gt;/, ">", s); gsub(/&quot;/, "\"", s); gsub(/&apos;/, "\047", s)
      gsub(/&amp;/, "\\&", s); return s
    }
    /<testcase / {
      name = $0; sub(/.*<testcase name="/, "", name); sub(/".*/, "", name)
      skip = ($0 ~ /status="(skipped|notrun)"/); reason = ""; after = 0
    }
    skip && after && reason == "" { reason = $0; after = 0 }
    skip && /: Skipped$/ { after = 1 }
    skip && /<\/testcase>/ {
      if (reason == "") reason = "no reason given"
      gsub(/^[ \t]+|[ \t]+$/, "", reason)
      print unxml(name) ": " unxml(reason); skip = 0
    }
  ' "$1"
}

# Runs ctest in a build folder, adds its counts to the totals, lists the skipped tests with
# their reasons and names the run.
run_ctest() {
  local name="$1" dir="$2"
  shift 2
  # ctest takes a relative report path as relative to the build folder.
  local log="$dir/ctest.log" junit rc=0 t=$SECONDS
  junit="$(cd "$dir" && pwd)/ctest-junit.xml"
  rm -f "$junit"
  ctest --test-dir "$dir" --output-on-failure -j "$SORVEL_JOBS" --no-tests=error \
    --timeout 300 --output-junit "$junit" "$@" 2>&1 | tee "$log" || rc=$?
  local line total bad skips=0 good
  line="$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)"
  if [[ -n "$line" ]]; then
    bad="$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")"
    total="$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")"
    skips="$(grep -c -E '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$log" || true)"
    good=$((total - bad - skips))
    passed=$((passed + good))
    skipped=$((skipped + skips))
    failed=$((failed + bad))
    results+=("$name tests: $good passed, $skips skipped, $bad failed (of $total) in $(elapsed_since "$t")")
    echo "$name tests: $good passed, $skips skipped, $bad failed (of $total) in $(elapsed_since "$t")"
    if [[ $skips -gt 0 ]]; then
      local entry
      echo "$name tests skipped:"
      while IFS= read -r entry; do
        echo "  $entry"
        skip_notes+=("$name: $entry")
      done < <(if [[ -f "$junit" ]]; then skipped_with_reasons "$junit"; fi)
    fi
  elif [[ $rc -ne 0 ]]; then
    failed=$((failed + 1))
  fi
  return "$rc"
}

# Runs one benchmark program briefly under a time limit and prints one line of its output: the
# last one, or the last one matching the pattern in $pick when that is set. A program that fails
# or overruns its limit fails the stage (its output is shown).
smoke() {
  local name="$1" limit="$2"
  shift 2
  local log="build/bench/smoke-${name// /-}.log" rc=0 t=$SECONDS
  timeout --kill-after=10 "$limit" "$@" >"$log" 2>&1 || rc=$?
  if [[ $rc -ne 0 ]]; then
    cat "$log" >&2
    if [[ $rc -eq 124 || $rc -eq 137 ]]; then
      echo "benchmark $name: did not finish within ${limit}s" >&2
    else
      echo "benchmark $name: failed (exit $rc)" >&2
    fi
    return 1
  fi
  local last
  last="$( (grep -E "${pick:-.}" "$log" || true) | grep -v -E '^[[:space:]]*$' | tail -n 1)"
  echo "benchmark $name ($(elapsed_since "$t")): $last"
  bench_ran=$((bench_ran + 1))
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
check_test_programs build
results+=("build $(elapsed_since $t)")

stage="normal tests"
say "$stage"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
# The sound-server suite needs the server that the next stage starts; it runs there.
run_ctest normal build -LE '^soundserver$'

stage="sound-server test"
say "$stage"
server_log="build/soundserver-test.log"
t=$SECONDS
# Each phase's test run writes its GoogleTest report into this folder (one file a phase).
server_reports="build/soundserver-reports"
rm -rf "$server_reports"
mkdir -p "$server_reports"
GTEST_OUTPUT="xml:$SORVEL_ROOT/$server_reports/" bash scripts/soundserver-test.sh 2>&1 | tee "$server_log"
server_skip=""
if grep -q '^soundserver-test: SKIPPED' "$server_log"; then
  server_skip="$(sed -n -E 's/^soundserver-test: SKIPPED: //p' "$server_log" | head -n 1)"
  server_skip="${server_skip:-no reason given}"
else
  # A phase runs every test of the suite; the tests of the other phases skip with "SORVEL_SOUNDSERVER=
  # <their phase> is not set". Any other skip is one of the phase's own tests, and a phase without
  # a test of its own that passed did not run either.
  server_skip="$(awk '
    function unxml(s) {
      gsub(/&#x0A;/, " ", s); gsub(/&lt;/, "<", s); gsub(/&gt;/, ">", s); gsub(/&quot;/, "\"", s)
      gsub(/&apos;/, "\047", s); gsub(/&amp;/, "\\&", s); return s
    }
    FNR == 1 { if (file != "" && own == 0) print file ": no test of its own ran"; file = FILENAME; own = 0; phases++ }
    /<testcase / {
      name = $0; sub(/.*<testcase name="/, "", name); sub(/".*/, "", name)
      if ($0 ~ /result="completed"/ && $0 !~ /status="notrun"/) own++
    }
    /<skipped message="/ {
      message = $0; sub(/.*<skipped message="/, "", message); sub(/".*/, "", message)
      if (message !~ /SORVEL_SOUNDSERVER=[a-z]+ is not set/) { print "SoundServer." name ": " unxml(message); own++ }
    }
    END {
      if (file != "" && own == 0) print file ": no test of its own ran"
      if (phases == 0) print "no phase wrote a test report"
    }
  ' "$server_reports"/*.xml 2>/dev/null | head -n 1 || true)"
  [[ -n "$(ls "$server_reports"/*.xml 2>/dev/null)" ]] || server_skip="no phase wrote a test report"
fi
if [[ -n "$server_skip" ]]; then
  skipped=$((skipped + 1))
  results+=("sound-server test: skipped after $(elapsed_since "$t")")
  skip_notes+=("sound-server test: $server_skip")
  echo "sound-server test: skipped: $server_skip"
  if [[ "${CI:-}" == "true" ]]; then
    echo "test.sh: the sound-server test was skipped, which CI does not accept" >&2
    exit 1
  fi
else
  passed=$((passed + 1))
  results+=("sound-server test: passed in $(elapsed_since "$t")")
fi

stage="address+undefined build"
t=$SECONDS
bash scripts/build.sh asan
check_warnings build-asan
check_test_programs build-asan
install_test_data "$SORVEL_ROOT/build-asan"
results+=("asan build $(elapsed_since $t)")

stage="address+undefined tests"
say "$stage"
# The sound-server suite runs against the server only, in the stage above.
ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:print_stacktrace=1" \
  UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
  run_ctest asan+ubsan build-asan -LE '^soundserver$'

stage="thread sanitizer build"
t=$SECONDS
bash scripts/build.sh tsan
check_warnings build-tsan
check_test_programs build-tsan
install_test_data "$SORVEL_ROOT/build-tsan"
results+=("tsan build $(elapsed_since $t)")

# Every suite that starts threads (or drives code that does): the engine threads, the runs, the
# devices, the chorus runs, the effects, the batch, the program's own files and start-up, the
# platform's threads and windows, the analyser's display timer and the window runs (the batch's
# conversion at every oversampling factor, a sound measurement of minutes there, is left out).
tsan_labels='^(engine|runs|pv|wave|chorus|effects|batch|app|platform|analyser-timer|ui-runs)$'
stage="thread sanitizer tests of the threaded suites"
say "$stage ($tsan_labels)"
# The program started as a separate process by the tests inherits the suppressions file.
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$SORVEL_ROOT/tests/thread-sanitizer.supp" \
  run_ctest tsan build-tsan -L "$tsan_labels"

stage="fuzz run"
say "$stage (30 s per driver)"
t=$SECONDS
bash fuzz/run.sh 30 | tee build/fuzz.log
while IFS= read -r line; do results+=("$line"); done < <(grep -E '^fuzz [a-z_]+_fuzz: ' build/fuzz.log)
results+=("fuzz run $(elapsed_since $t)")

stage="benchmark smoke run"
say "$stage (each program briefly, under a time limit)"
t=$SECONDS
bench_ran=0
voice=build/testdata/voice.wav
stereo=build/testdata/voice-stereo.wav
smoke_out="$(mktemp -d build/bench/smoke-XXXXXX)"
smoke "engine_bench psola" 120 build/bench/engine_bench psola "$voice" "$smoke_out/psola.wav"
smoke "engine_bench pv mono" 120 build/bench/engine_bench pv "$voice" "$smoke_out/pv.wav"
smoke "engine_bench pv stereo" 120 build/bench/engine_bench pv "$stereo" "$smoke_out/pv-stereo.wav"
mkdir -p "$smoke_out/batch"
smoke "engine_bench batch" 120 build/bench/engine_bench batch --oversampling 1 "$voice" "$stereo" "$smoke_out/batch"
# A pitch dump of the voice recording for the chorus: a mark every 10 ms (oversampled 4 times),
# the chorus voice four semitones up, every tenth period without one.
awk -v wav="$SORVEL_ROOT/$voice" 'BEGIN {
  printf "sorvel\t2.87\r\nInput\t%s\r\nOverSampling\t4\r\nA4\t440\r\nMinKey\tG_2\t7\r\nMaxKey\tF_5\t40\r\n", wav
  printf "CorrThresh\t0.5\r\nPitchShiftEnable\t1\r\nMixingLevel_Original\t1.0\r\nMixingLevel_Chorus\t1.0\r\n"
  printf "Samples\tTime     \tMaxAmp\tHz\tNote\tChorus(B_3)\r\n"
  for (i = 0; i < 1700; i++)
    printf "%7d\t%2d:%06.3f\t%6d\t%3d\t%s\t%8.3f\r\n", i * 1764, int(i / 6000), (i % 6000) / 100, 5000, 100, "G_2", (i % 10 == 9) ? 127 : 4
}' >"$smoke_out/chorus-dump.txt"
smoke chorus_bench 120 build/bench/chorus_bench "$smoke_out/chorus-dump.txt" "$smoke_out/chorus.wav"
pick='^start-up' smoke startup_bench 120 build/bench/startup_bench 3
for program in build/bench/*_gbench; do
  [[ -x "$program" ]] || continue
  smoke "$(basename "$program")" 180 "$program" --benchmark_min_time=0.01
done
pick='^psola-mono ' smoke "compare.sh" 300 bash bench/compare.sh --runs 1
pick=' cuts, ' smoke "live-drift.sh" 180 bash bench/live-drift.sh --seconds 10
rm -rf "$smoke_out"
results+=("benchmark smoke run: $bench_ran programs in $(elapsed_since $t)")
stage="done"
