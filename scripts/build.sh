#!/usr/bin/env bash
# Configures with CMake and builds with Ninja on all cores.
#   bash scripts/build.sh [normal|asan|tsan]
#     normal  build/       program, tests and benchmarks
#     asan    build-asan/  tests under the address and undefined-behaviour sanitizers
#     tsan    build-tsan/  tests under the thread sanitizer
# The compiler output goes to <build folder>/build.log as well. Each compile and link step keeps
# its own output beside its output file (scripts/keep-diagnostics.sh), and the number of
# warnings of the whole build, rebuilt now or earlier, is printed at the end.
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

kind="${1:-normal}"
dir="$(build_dir_for "$kind")"

case "$kind" in
  normal) options=(-DSORVEL_SANITIZE= -DSORVEL_BUILD_BENCH=ON) ;;
  asan) options=("-DSORVEL_SANITIZE=address,undefined" -DSORVEL_BUILD_BENCH=OFF) ;;
  tsan) options=(-DSORVEL_SANITIZE=thread -DSORVEL_BUILD_BENCH=OFF) ;;
esac

# A folder configured earlier for another generator cannot be reused as it is.
cache="$dir/CMakeCache.txt"
if [[ -f "$cache" ]] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$cache"; then
  echo "build: $dir was configured for another generator; configuring it again for Ninja"
  rm -rf "$cache" "$dir/CMakeFiles"
fi

say "configure ($kind) in $dir"
cmake -S "$SORVEL_ROOT" -B "$dir" -G Ninja "${options[@]}" \
  "-DCMAKE_CXX_COMPILER_LAUNCHER=$SORVEL_ROOT/scripts/keep-diagnostics.sh" \
  "-DCMAKE_CXX_LINKER_LAUNCHER=$SORVEL_ROOT/scripts/keep-diagnostics.sh"

say "build ($kind) with $SORVEL_JOBS jobs"
ninja -C "$dir" -j "$SORVEL_JOBS" 2>&1 | tee "$dir/build.log"

warnings="$(build_warnings "$dir" | grep -c . || true)"
echo "build ($kind): done, $warnings compiler warnings in the whole build"
