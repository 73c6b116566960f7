#!/usr/bin/env bash
# Runs a test program for ctest (and for its test discovery) and fails the run when the program
# ended before GoogleTest finished: code under test that calls exit() in the middle of a test
# would otherwise end the process with status 0 and count as passed. GoogleTest makes the file
# named in TEST_PREMATURE_EXIT_FILE when it starts and removes it when it finishes normally, so a
# file left behind means the program ended early, whatever its exit status.
#   run-test.sh PROGRAM [ARGUMENTS...]
set -u
folder="$(mktemp -d "${TMPDIR:-/tmp}/sorvel-test-XXXXXX")" || exit 1
export TEST_PREMATURE_EXIT_FILE="$folder/running"
"$@"
rc=$?
if [[ -e "$TEST_PREMATURE_EXIT_FILE" ]]; then
  echo "run-test: $(basename "$1") ended (exit status $rc) before its tests finished; a test or the code under test ended the process" >&2
  [[ $rc -eq 0 ]] && rc=1
fi
rm -rf "$folder"
exit "$rc"
