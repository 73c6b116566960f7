#!/usr/bin/env bash
# Builds the fuzz drivers of the settings reader and the pitch dump reader with clang
# (libFuzzer, address and undefined-behaviour sanitizers) and runs each for a limited time.
#   fuzz/run.sh [seconds]      (default 30)
# Needs the Debian packages clang and libclang-rt-14-dev (libFuzzer's runtime).
set -euo pipefail

seconds="${1:-30}"
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/build-fuzz"
cxx="${CXX_FUZZ:-clang++}"
mkdir -p "$out/corpus-settings"

"$cxx" -std=c++20 -g -O1 -Wall -Wextra -ffp-contract=off \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I"$root" \
    "$root/fuzz/settings_fuzz.cpp" "$root/app/SettingsFile.cpp" "$root/platform/base/paths.cpp" "$root/platform/base/fileopen.cpp" \
    -o "$out/settings_fuzz"

# New inputs go to the working corpus in the build folder; the seeds stay as they are.
"$out/settings_fuzz" -max_total_time="$seconds" -max_len=16384 -timeout=10 -print_final_stats=1 -artifact_prefix="$out/" \
    "$out/corpus-settings" "$root/fuzz/corpus/settings"

# The pitch dump reader, the same way.
mkdir -p "$out/corpus-dump"
"$cxx" -std=c++20 -g -O1 -Wall -Wextra -ffp-contract=off \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I"$root" \
    "$root/fuzz/dump_fuzz.cpp" "$root/audio/PitchDumpLoader.cpp" "$root/platform/base/fileopen.cpp" \
    -o "$out/dump_fuzz"
"$out/dump_fuzz" -max_total_time="$seconds" -max_len=16384 -timeout=10 -print_final_stats=1 -artifact_prefix="$out/" \
    "$out/corpus-dump" "$root/fuzz/corpus/dump"
