#!/usr/bin/env bash
# Installs the Debian packages that building, testing and benchmarking sorvel use.
# Only missing packages are installed; the package index is refreshed once, and only
# when something is missing. Runs as root, or through sudo otherwise.
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# Every package the build, the tests and the benchmarks need, in one place.
PACKAGES=(
  # compiler and build tools
  g++ cmake ninja-build pkg-config
  # test and benchmark libraries
  libgtest-dev libgmock-dev libbenchmark-dev
  # window system, sound devices, MIDI
  qt6-base-dev portaudio19-dev libasound2-dev
  # Qt's window-system interface, through which the window tests hand over input as a desktop does
  qt6-base-private-dev
  # playback straight to the sound server (PulseAudio, or PipeWire's PulseAudio service)
  libpulse-dev
  # General MIDI software synthesizer and its small sound font for the analyser's note clicks
  libfluidsynth-dev timgm6mb-soundfont
  # Japanese font for the window texts and screenshots
  fonts-ipafont-gothic
  # Qt's own dialogs (file pickers) in Japanese
  qt6-translations-l10n
  # the spoken voice recording used by tests and benchmarks
  espeak-ng sox
  # the help button opens the help page with the desktop's opener (xdg-open)
  xdg-utils
  # mp3 files for the tests of the outside converter (made and read by a stand-in converter with sox)
  libsox-fmt-mp3
  # sound server for the test against real devices (PortAudio reaches it through ALSA's pulse plugin)
  pulseaudio pulseaudio-utils libasound2-plugins
  # virtual display for running the window without a desktop
  xvfb xauth
  # the X test extension, with which the window tests drag files onto the program's window
  libxtst-dev
  # FFTW, for tests and benchmarks of the transforms
  libfftw3-dev
  # the pitch shifter that bench/compare.sh times the engines against
  soundstretch
  # compiler with libFuzzer for the fuzz run
  clang libclang-rt-14-dev
)

missing=()
for pkg in "${PACKAGES[@]}"; do
  status="$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)"
  if [[ "$status" != "installed" ]]; then
    missing+=("$pkg")
  fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
  echo "setup: all ${#PACKAGES[@]} packages are installed"
  exit 0
fi

echo "setup: installing ${missing[*]}"
if [[ "$(id -u)" -eq 0 ]]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  die "these packages are missing and installing them needs root (or sudo): ${missing[*]}"
fi

export DEBIAN_FRONTEND=noninteractive
apt_options=(-y -q -o DPkg::Lock::Timeout=300
  -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold)
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "${apt_options[@]}" update </dev/null
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "${apt_options[@]}" install "${missing[@]}" </dev/null
echo "setup: done"
