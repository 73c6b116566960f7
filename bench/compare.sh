#!/usr/bin/env bash
# Times the TD-PSOLA engine and the phase vocoder against soundstretch on the same recording.
#
#   bash bench/compare.sh [--runs N] [--semitones S] [--build DIR] [MONO.wav [STEREO.wav]]
#
# Every program converts the same file with the pitch raised by S semitones (default 6; the
# engines' Pitch trackbar takes half semitones, so it gets 2S). Whole processes are timed by
# wall clock, file reading and writing included for every program alike. One round runs each
# job once; the order of the jobs rotates from round to round, so that a slow spell of a busy
# machine does not fall on one program only. The summary gives each job's median time and its
# ratio to the median of soundstretch on the same file (below 1.00 means faster), then the
# TD-PSOLA engine's own median realtime factor over the full key range 0..61.
#
# Without files it uses the voice recordings of the tests (build/testdata/voice.wav and
# voice-stereo.wav, made by scripts/make-voice.sh) joined four times over (about 68 s).
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"

runs=11
semitones=6
build="$SORVEL_ROOT/build"
files=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --semitones) semitones="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    -h|--help) sed -n '2,16p' "$0"; exit 0 ;;
    -*) die "compare: unknown option $1" ;;
    *) files+=("$1"); shift ;;
  esac
done
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || die "compare: --runs takes a positive count"
[[ "$semitones" =~ ^-?[0-9]+$ ]] && (( semitones >= -24 && semitones <= 24 )) || die "compare: --semitones takes -24..24"

bench="$build/bench/engine_bench"
[[ -x "$bench" ]] || die "compare: $bench is missing (bash scripts/build.sh normal)"
command -v soundstretch >/dev/null || die "compare: soundstretch is missing (bash scripts/setup.sh)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The default inputs: the test recordings four times over.
join4() {
  local src="$1" dst="$2"
  [[ -f "$src" ]] || die "compare: $src is missing (bash scripts/make-voice.sh $( [[ $src == *stereo* ]] && echo '--stereo ')$src)"
  sox "$src" "$src" "$src" "$src" "$dst"
}
mono="${files[0]:-}"
stereo="${files[1]:-}"
if [[ -z "$mono" ]]; then
  join4 "$build/testdata/voice.wav" "$work/mono.wav"
  mono="$work/mono.wav"
fi
if [[ -z "$stereo" && ${#files[@]} -eq 0 ]]; then
  join4 "$build/testdata/voice-stereo.wav" "$work/stereo.wav"
  stereo="$work/stereo.wav"
fi

pitch=$(( 2 * semitones ))
# name | command (word-split on blanks; paths must not hold blanks)
jobs=(
  "psola-mono|$bench psola --pitch $pitch $mono $work/psola.wav"
  "pv-mono|$bench pv --pitch $pitch $mono $work/pv.wav"
  "soundstretch-mono|soundstretch $mono $work/st.wav -pitch=$semitones"
  "psola-keys0-61|$bench psola --pitch $pitch --min-key 0 --max-key 61 $mono $work/psola-all.wav"
)
if [[ -n "$stereo" ]]; then
  jobs+=(
    "pv-stereo|$bench pv --pitch $pitch $stereo $work/pv-st.wav"
    "soundstretch-stereo|soundstretch $stereo $work/st-st.wav -pitch=$semitones"
  )
fi

declare -A times factors
run_job() {
  local name="${1%%|*}" cmd="${1#*|}" start end out
  start=$EPOCHREALTIME
  # shellcheck disable=SC2086
  out="$($cmd 2>&1)" || die "compare: $name failed: $out"
  end=$EPOCHREALTIME
  times[$name]+="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }') "
  if [[ "$out" =~ realtime-factor\ ([0-9.]+) ]]; then factors[$name]+="${BASH_REMATCH[1]} "; fi
}

median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

n=${#jobs[@]}
for (( r = 0; r < runs; r++ )); do
  for (( k = 0; k < n; k++ )); do run_job "${jobs[$(( (k + r) % n ))]}"; done
done

echo "compare: $runs rounds, jobs alternated, pitch +$semitones semitones, wall time of whole processes"
echo "  mono:   $mono ($(soxi -D "$mono" 2>/dev/null || echo '?') s)"
[[ -n "$stereo" ]] && echo "  stereo: $stereo ($(soxi -D "$stereo" 2>/dev/null || echo '?') s)"
printf '%-22s %10s %16s\n' job "median s" "vs soundstretch"
for job in "${jobs[@]}"; do
  name="${job%%|*}"
  med="$(median <<<"${times[$name]}")"
  case "$name" in
    *stereo*) ref="soundstretch-stereo" ;;
    *) ref="soundstretch-mono" ;;
  esac
  refmed="$(median <<<"${times[$ref]}")"
  printf '%-22s %10.3f %15.2fx\n' "$name" "$med" "$(awk -v a="$med" -v b="$refmed" 'BEGIN { print a / b }')"
done
for name in psola-mono psola-keys0-61 pv-mono pv-stereo; do
  [[ -n "${factors[$name]:-}" ]] && printf '%-22s realtime factor (engine CPU time, median) %s\n' "$name" "$(median <<<"${factors[$name]}")"
done
