#!/usr/bin/env bash
# Makes a spoken voice recording for tests and benchmarks: a Japanese passage of about
# 17 seconds, spoken by espeak-ng, resampled by sox to 44100 Hz, 16-bit, peak at -3 dBFS.
#   bash scripts/make-voice.sh [--stereo] OUT.wav
# Mono by default. With --stereo the left channel holds the voice and the right channel
# the same voice 6 dB quieter, so a mix-up of the channels shows.
# The same tools give the same file byte for byte (no dither, repeatable mode).
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

usage="usage: bash scripts/make-voice.sh [--stereo] OUT.wav"
stereo=0
out=""
for arg in "$@"; do
  case "$arg" in
    --stereo) stereo=1 ;;
    -h | --help) echo "$usage"; exit 0 ;;
    -*) die "unknown option '$arg'; $usage" ;;
    *) [[ -z "$out" ]] || die "$usage"; out="$arg" ;;
  esac
done
[[ -n "$out" ]] || die "$usage"
for tool in espeak-ng sox; do
  command -v "$tool" >/dev/null 2>&1 || die "$tool is missing; run: bash scripts/setup.sh"
done

text="こんにちは。きょうは とても いい てんき ですね。わたしの こえを マイクに むかって はなすと、すぐに ちがう こえに かわって きこえます。たかい こえ、ひくい こえ、そして ロボットの ような こえも ためして みましょう。"

mkdir -p "$(dirname "$out")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

espeak-ng -v ja -s 140 -w "$work/spoken.wav" "$text"
sox -R -D "$work/spoken.wav" -r 44100 -b 16 -e signed-integer -c 1 "$work/mono.wav" rate -h norm -3
if [[ $stereo -eq 1 ]]; then
  sox -R -D "$work/mono.wav" -b 16 -e signed-integer "$work/result.wav" remix 1 1v0.5
else
  mv "$work/mono.wav" "$work/result.wav"
fi

# Written beside the target and renamed, so a reader never sees half a file.
tmp="$(mktemp "$(dirname "$out")/.voice.XXXXXX")"
cp "$work/result.wav" "$tmp"
chmod 644 "$tmp"
mv -f "$tmp" "$out"
echo "voice: $out ($(soxi -c "$out") channel(s), $(soxi -r "$out") Hz, $(soxi -d "$out"))"
