#!/usr/bin/env bash
# A long LIVE run with no stall through a private PulseAudio, to see what the delay keeper does
# over minutes and how its corrections sound. Too long for the test suite; run it by hand.
#
#   bash bench/live-drift.sh [--seconds N] [--build DIR] [--hz F] [--scan PROGRAM] [--keep]
#
# As scripts/soundserver-test.sh does, it starts a private sound server with null sinks: the
# recording device is the monitor of the first sink, which paplay feeds with a steady tone of F
# Hz (default 441); the playback device is the second sink, whose monitor parecord records. The
# program's dialog runs LIVE with Thru for N seconds of input (default 300) through the default
# devices, so the playback is the tone, late by the run's delay. Both sinks render all along
# (the feed keeps the first awake, the run the second), so the server's own clocks run as they
# do for any program on a desktop; the monitor of a null sink runs a little apart from the sink
# the program plays on, as a USB microphone does from a board's speakers.
# At the end it prints the trace lines in which the playback told what it did to keep the
# delay, with their totals, and the cuts that bench's cut_scan (default: this tree's
# build/bench/cut_scan) finds in the recording: where the tone jumped, and how far the energy
# outside the tone stood above its usual level there.
# --build names the tree whose test_soundserver runs the program (another tree's, to compare);
# --keep leaves the work folder (recordings, trace) in place.
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"

seconds=300
build="$SORVEL_ROOT/build"
hz=441
scan="$SORVEL_ROOT/build/bench/cut_scan"
keep=""
while [[ $# -gt 0 ]]; do
  case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    --hz) hz="$2"; shift 2 ;;
    --scan) scan="$2"; shift 2 ;;
    --keep) keep=1; shift ;;
    -h|--help) sed -n '2,23p' "$0"; exit 0 ;;
    *) die "live-drift: unknown option $1" ;;
  esac
done
test_bin="$build/tests/test_soundserver"
[[ -x "$test_bin" ]] || die "$test_bin is missing; build first (bash scripts/build.sh normal)"
[[ -x "$scan" ]] || die "$scan is missing; build first (bash scripts/build.sh normal)"
for tool in pulseaudio pactl paplay parecord sox; do
  command -v "$tool" >/dev/null 2>&1 || die "$tool is missing; run: bash scripts/setup.sh"
done

work="$(mktemp -d "${TMPDIR:-/tmp}/sorvel-drift-XXXXXX")"
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${pids[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  if [[ -n "$keep" ]]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

mkdir -p "$work/run" "$work/home" "$work/out"
chmod 700 "$work/run"
export XDG_RUNTIME_DIR="$work/run"
export PULSE_RUNTIME_PATH="$work/run/pulse"
export PULSE_STATE_PATH="$work/state"
export HOME="$work/home"
export PULSE_SERVER="unix:$work/run/native"
unset SORVEL_VIRTUAL_IN SORVEL_VIRTUAL_OUT SORVEL_VIRTUAL_SPEED
cat >"$HOME/.asoundrc" <<'ALSA'
pcm.!default { type pulse }
ctl.!default { type pulse }
ALSA
cat >"$work/server.pa" <<PA
load-module module-native-protocol-unix socket=$work/run/native auth-anonymous=1
load-module module-null-sink sink_name=sorvel_voice format=s16le rate=44100 channels=1 sink_properties=device.description=sorvel_voice
load-module module-null-sink sink_name=sorvel_heard format=s16le rate=44100 channels=1 sink_properties=device.description=sorvel_heard
set-default-source sorvel_voice.monitor
set-default-sink sorvel_heard
PA

say "sound server"
as_root=()
[[ "$(id -u)" -eq 0 ]] && as_root=(--system=no)
pulseaudio -n -F "$work/server.pa" --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
  --disable-shm=yes --realtime=no --high-priority=yes "${as_root[@]}" \
  --log-target=file:"$work/pulse.log" >/dev/null 2>&1 &
pids+=("$!")
for _ in $(seq 1 100); do
  pactl info >/dev/null 2>&1 && break
  sleep 0.1
done
pactl info >/dev/null 2>&1 || die "the PulseAudio sound server could not start here"

say "LIVE with Thru for $seconds s of a $hz Hz tone ($test_bin)"
sox -n -r 44100 -b 16 -c 1 "$work/tone.wav" synth "$((seconds + 40))" sine "$hz" vol 0.3
parecord --device=sorvel_heard.monitor --format=s16le --rate=44100 --channels=1 --file-format=wav "$work/heard.wav" &
heard_pid=$!
pids+=("$heard_pid")
paplay --device=sorvel_voice "$work/tone.wav" &
tone_pid=$!
pids+=("$tone_pid")
sleep 1
# The program traces into debug.txt when the file is there.
: >"$work/out/debug.txt"
env SORVEL_SOUNDSERVER=thru SORVEL_SOUNDSERVER_DIR="$work/out" SORVEL_SOUNDSERVER_SECONDS="$seconds" \
  "$test_bin" --gtest_brief=1 --gtest_filter='SoundServer.ThruRunPassesClicksThroughTheDefaultDevices'
kill -INT "$heard_pid"
kill "$tone_pid" 2>/dev/null || true
wait "$heard_pid" "$tone_pid" 2>/dev/null || true

say "what the playback did to keep the delay (trace)"
trace="$work/out/debug.txt"
grep -E '^MM_WOM_DONE playback|^MM_WIM_DATA (recording )?dropped' "$trace" || echo "(nothing)"
awk -F': ' '
  /^MM_WOM_DONE playback skipped/ && /came later/ { late += $2 + 0; nlate++ }
  /^MM_WOM_DONE playback skipped/ && /written over/ { over += $2 + 0; nover++ }
  /^MM_WOM_DONE playback held/ { held += $2 + 0; nheld++ }
  /^MM_WOM_DONE playback stepped on/ { on += $2 + 0; non++ }
  /^MM_WOM_DONE playback stepped back/ { back += $2 + 0; nback++ }
  END {
    printf "skipped late: %d times, %d ms; skipped written over: %d times, %d ms; held: %d times, %d ms\n", nlate, late, nover, over, nheld, held
    printf "stepped on: %d lines, %d frames (%.1f ms); stepped back: %d lines, %d frames (%.1f ms)\n", non, on, on / 44.1, nback, back, back / 44.1
  }' "$trace"

say "cuts in the recording of the playback"
"$scan" "$work/heard.wav" --hz "$hz"
