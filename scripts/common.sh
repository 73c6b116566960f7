# shellcheck shell=bash
# Shared by the scripts in this folder (sourced, not run).

# The repository root: the folder above scripts/.
SORVEL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# Used by the scripts that source this file; SORVEL_JOBS set beforehand limits the parallel jobs.
# shellcheck disable=SC2034
SORVEL_JOBS="${SORVEL_JOBS:-$(nproc 2>/dev/null || echo 2)}"

# Prints a stage heading so long logs can be followed.
say() {
  printf '\n==> %s\n' "$*"
}

die() {
  printf 'error: %s\n' "$*" >&2
  exit 1
}

# Build folder for a build kind: normal, asan or tsan.
build_dir_for() {
  case "$1" in
    normal) echo "$SORVEL_ROOT/build" ;;
    asan) echo "$SORVEL_ROOT/build-asan" ;;
    tsan) echo "$SORVEL_ROOT/build-tsan" ;;
    *) die "unknown build kind '$1' (normal, asan or tsan)" ;;
  esac
}
