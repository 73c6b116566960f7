#!/usr/bin/env bash
# The test against a real sound server. Starts a private PulseAudio (its own runtime folder and
# socket, nothing of the desktop's) with two null sinks: the default recording device is the
# monitor of the first sink, which paplay feeds with the voice recording; the default playback
# device is the second sink, whose monitor parecord records. A LIVE run of the program's dialog
# (tests/soundserver, through the default devices, which talk to the server directly) converts
# the voice with the pitch trackbar at +12; the recording must be the voice with its fundamental
# moved by 2^(12/24).
# Then clicks go through a Thru run and their delay from the recording device to the playback
# device is measured. A click on the analyser must sound its note through the MIDI synthesizer
# on the playback device, at the note's pitch. Last, file runs and LIVE runs are halted for half a
# second or a second in their middle (SIGSTOP, SIGCONT), together with a plain player of the voice
# on a sink of its own: the halt may cost the run no more silence and lateness than it cost that
# player, and a LIVE run's lag behind its input (both looped into one stereo sink) must come back
# to what it was before the halt; in both methods and latency settings, with the synthesizer off
# or asleep, and with the window's thread alone held up.
#   bash scripts/soundserver-test.sh [BUILD_DIR]
# Skips (exit 0) with one line "soundserver-test: SKIPPED: REASON" when the sound server cannot
# start, or after the halted runs when SORVEL_SOUNDSERVER_ONLY left the other phases out;
# scripts/test.sh counts that as skipped, and fails on it under CI=true.
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$SORVEL_ROOT"

build="${1:-$SORVEL_ROOT/build}"
test_bin="$build/tests/test_soundserver"
voice="$build/testdata/voice.wav"
[[ -x "$test_bin" ]] || die "$test_bin is missing; build first (bash scripts/build.sh normal)"
[[ -f "$voice" ]] || die "$voice is missing; make it with: bash scripts/make-voice.sh $voice"
for tool in pulseaudio pactl paplay parecord sox; do
  command -v "$tool" >/dev/null 2>&1 || die "$tool is missing; run: bash scripts/setup.sh"
done

work="$(mktemp -d "${TMPDIR:-/tmp}/sorvel-soundserver-XXXXXX")"
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${pids[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  if [[ -n "${SORVEL_SOUNDSERVER_KEEP:-}" ]]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

# Everything of the server lives in $work: runtime folder, socket, cookie, ALSA settings.
mkdir -p "$work/run" "$work/home" "$work/out"
chmod 700 "$work/run"
export XDG_RUNTIME_DIR="$work/run"
export PULSE_RUNTIME_PATH="$work/run/pulse"
export PULSE_STATE_PATH="$work/state"
export HOME="$work/home"
export PULSE_SERVER="unix:$work/run/native"
unset SORVEL_VIRTUAL_IN SORVEL_VIRTUAL_OUT SORVEL_VIRTUAL_SPEED
# ALSA programs (PortAudio's device list and format queries, the MIDI synthesizer) reach the
# server through the pulse plugin as their default device.
cat >"$HOME/.asoundrc" <<'ALSA'
pcm.!default { type pulse }
ctl.!default { type pulse }
ALSA
cat >"$work/server.pa" <<PA
load-module module-native-protocol-unix socket=$work/run/native auth-anonymous=1
load-module module-null-sink sink_name=sorvel_voice format=s16le rate=44100 channels=1 sink_properties=device.description=sorvel_voice
load-module module-null-sink sink_name=sorvel_heard format=s16le rate=44100 channels=1 sink_properties=device.description=sorvel_heard
load-module module-null-sink sink_name=sorvel_mix format=s16le rate=44100 channels=1 sink_properties=device.description=sorvel_mix
load-module module-null-sink sink_name=sorvel_plain format=s16le rate=44100 channels=1 sink_properties=device.description=sorvel_plain
load-module module-null-sink sink_name=sorvel_lag format=s16le rate=44100 channels=2 channel_map=front-left,front-right sink_properties=device.description=sorvel_lag
load-module module-remap-sink sink_name=sorvel_lag_in master=sorvel_lag channels=1 channel_map=mono master_channel_map=front-left remix=no
load-module module-remap-sink sink_name=sorvel_lag_out master=sorvel_lag channels=1 channel_map=mono master_channel_map=front-right remix=no
set-default-source sorvel_voice.monitor
set-default-sink sorvel_heard
PA

say "sound server"
as_root=()
[[ "$(id -u)" -eq 0 ]] && as_root=(--system=no)
# Raised priority where the system allows it, as a desktop's sound server runs.
pulseaudio -n -F "$work/server.pa" --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
  --disable-shm=yes --realtime=no --high-priority=yes "${as_root[@]}" \
  --log-target=file:"$work/pulse.log" >/dev/null 2>&1 &
server_pid=$!
pids+=("$server_pid")
started=0
for _ in $(seq 1 100); do
  if pactl info >/dev/null 2>&1; then
    started=1
    break
  fi
  sleep 0.1
done
if [[ $started -ne 1 ]]; then
  last="$(grep -v -E '^[[:space:]]*$' "$work/pulse.log" 2>/dev/null | tail -n 1 || true)"
  echo "soundserver-test: SKIPPED: the PulseAudio sound server could not start here${last:+ ($last)}"
  sed 's/^/  pulseaudio: /' "$work/pulse.log" 2>/dev/null | tail -n 5 || true
  exit 0
fi
echo "PulseAudio runs on $PULSE_SERVER: default source $(pactl get-default-source), default sink $(pactl get-default-sink)"

run_phase() {
  local phase="$1"
  shift
  env SORVEL_SOUNDSERVER="$phase" SORVEL_SOUNDSERVER_DIR="$work/out" SORVEL_SOUNDSERVER_SERVER_PID="$server_pid" "$@" \
    "$test_bin" --gtest_brief=1 --gtest_filter='SoundServer.*'
}

# SORVEL_SOUNDSERVER_ONLY=halt runs only the halted runs below (for measuring them again and again);
# the phases it leaves out are reported as skipped at the end, which CI does not accept.
only="${SORVEL_SOUNDSERVER_ONLY:-}"
[[ -z "$only" || "$only" == "halt" ]] || die "SORVEL_SOUNDSERVER_ONLY=$only: the only value it takes is halt"
if [[ -z "$only" ]]; then
# The program's sound system must list the server's devices; the dialog's tables show them.
say "live run with pitch +12"
seconds=8
parecord --device=sorvel_heard.monitor --format=s16le --rate=44100 --channels=1 --file-format=wav \
  "$work/heard.wav" &
heard_pid=$!
pids+=("$heard_pid")
parecord --device=sorvel_voice.monitor --format=s16le --rate=44100 --channels=1 --file-format=wav \
  "$work/said.wav" &
said_pid=$!
pids+=("$said_pid")
paplay --device=sorvel_voice "$voice" &
voice_pid=$!
pids+=("$voice_pid")
run_phase run SORVEL_SOUNDSERVER_SECONDS="$seconds"
kill -INT "$heard_pid" "$said_pid"
kill "$voice_pid" 2>/dev/null || true
wait "$heard_pid" "$said_pid" "$voice_pid" 2>/dev/null || true

say "the recording is the converted voice"
run_phase check SORVEL_SOUNDSERVER_VOICE="$voice" SORVEL_SOUNDSERVER_RECORDING="$work/heard.wav"

say "click latency (Thru)"
# Both monitors go into one more sink, so that one recording holds the click going in and
# coming out on the same clock.
loop_in="$(pactl load-module module-loopback source=sorvel_voice.monitor sink=sorvel_mix latency_msec=20)"
loop_out="$(pactl load-module module-loopback source=sorvel_heard.monitor sink=sorvel_mix latency_msec=20)"
sox -n -r 44100 -b 16 -c 1 "$work/click.wav" synth 0.004 square 1500 vol 0.9 pad 1.5 2.5
parecord --device=sorvel_mix.monitor --format=s16le --rate=44100 --channels=1 --file-format=wav \
  "$work/click-mix.wav" &
mix_pid=$!
pids+=("$mix_pid")
( sleep 2; paplay --device=sorvel_voice "$work/click.wav" ) &
pids+=($!)
run_phase thru SORVEL_SOUNDSERVER_SECONDS=6
kill -INT "$mix_pid"
wait "$mix_pid" 2>/dev/null || true
run_phase latency SORVEL_SOUNDSERVER_CLICK_MIX="$work/click-mix.wav"
# The loopbacks' low-latency streams would hold both sinks awake from here on: the runs below
# must meet the sinks as a program's own run does, idle.
pactl unload-module "$loop_in"
pactl unload-module "$loop_out"

say "a click on the analyser plays its note through the MIDI synthesizer"
parecord --device=sorvel_heard.monitor --format=s16le --rate=44100 --channels=1 --file-format=wav \
  "$work/note.wav" &
note_pid=$!
pids+=("$note_pid")
run_phase midi
kill -INT "$note_pid"
wait "$note_pid" 2>/dev/null || true
run_phase midicheck SORVEL_SOUNDSERVER_RECORDING="$work/note.wav"

say "libjack's threads held back: the device tables and a LIVE run go on"
run_phase heldjack SORVEL_SOUNDSERVER_VOICE="$voice"
fi

say "runs halted in their middle"
# Each case records the playback sink's monitor itself and halts its own process (SIGSTOP,
# SIGCONT) together with a plain player of the voice on a sink of its own: file runs and LIVE
# runs, TD-PSOLA and the phase vocoder, both latency settings, halts of half a second and of a
# second, with the MIDI synthesizer switched off or open and asleep; and two LIVE runs whose
# window thread alone is held up (the process runs on). The click marks the run's start in the
# recording. Two more LIVE runs are halted twenty times for 0.15 s, a second apart: their delay
# must come back to what it was before the first halt, and every half second of their output
# after the last one must follow the input at that one lag. A case is: run method latency
# synthesizer halt-seconds [process|ui|server [times every]] (server: the sound server is
# halted instead).
sox -n -r 44100 -b 16 -c 1 "$work/marker.wav" synth 0.05 sine 1000 vol 0.5
halt_cases="${SORVEL_SOUNDSERVER_HALT_CASES:-file psola 0 none 0.5;file psola 0 asleep 1;file psola 1 none 1;file psola 1 asleep 0.5;\
live psola 0 none 0.5;live psola 0 asleep 1;live psola 1 none 1;live psola 1 asleep 0.5;\
live pv 0 none 0.5;live pv 0 asleep 1;live pv 1 none 1;live pv 1 asleep 0.5;\
live psola 1 none 1 ui;live pv 1 asleep 2 ui;\
live psola 0 none 0.15 process 20 1;live pv 0 none 0.15 process 20 1}"
IFS=';' read -r -a cases <<<"$halt_cases"
index=0
for case in "${cases[@]}"; do
  index=$((index + 1))
  run_phase halt SORVEL_SOUNDSERVER_CASE="$case" SORVEL_SOUNDSERVER_CASE_INDEX="$index" SORVEL_SOUNDSERVER_VOICE="$voice" \
    SORVEL_SOUNDSERVER_MARKER="$work/marker.wav"
done

if [[ -n "$only" ]]; then
  echo "soundserver-test: SKIPPED: SORVEL_SOUNDSERVER_ONLY=$only left out the live run, its check, the click latency, the MIDI note and the LIVE run with libjack's threads held back"
  exit 0
fi
echo "soundserver-test: passed"
