#!/usr/bin/env bash
# Installs what is missing, builds, and starts sorvel.
#   bash scripts/run.sh [arguments for the program]
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$SORVEL_ROOT"

bash scripts/setup.sh
bash scripts/build.sh normal

program="$(find build -type f -name sorvel -perm -u+x -print -quit)"

if [[ -z "$program" ]]; then
  tests="$(find build/tests -maxdepth 1 -type f -name 'test_*' -perm -u+x -printf '%f\n' 2>/dev/null | sort | xargs)"
  benches="$(find build/bench -maxdepth 1 -type f -perm -u+x -printf '%f\n' 2>/dev/null | sort | xargs)"
  echo
  echo "The program window of sorvel is not built yet (it comes with the next step), so there"
  echo "is nothing to start. This build has the engine, with:"
  echo "  test programs (build/tests/): ${tests:-none yet}"
  echo "  benchmarks (build/bench/):    ${benches:-none yet}"
  echo "Run every test:   bash scripts/test.sh"
  if [[ -x build/bench/engine_bench ]]; then
    echo "Time the engine on a voice file (any WAV; this makes a spoken one):"
    echo "  bash scripts/make-voice.sh build/testdata/voice.wav"
    echo "  build/bench/engine_bench psola build/testdata/voice.wav build/bench/out.wav"
  else
    echo "The engine benchmark (build/bench/engine_bench) is not in this build yet."
  fi
  exit 0
fi

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "sorvel is built ($program) but needs a graphical session, and there is none here"
  echo "(neither DISPLAY nor WAYLAND_DISPLAY is set). Start it from a desktop, or on a"
  echo "virtual display:"
  echo "  xvfb-run -a -s '-screen 0 1280x1024x24' $program"
  exit 1
fi

echo "starting $program"
exec "$program" "$@"
