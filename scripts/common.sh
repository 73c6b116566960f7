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

# The compiler warnings of the whole build in a build folder, one a line: those of every compile
# and link step of the current build graph as its last run printed them (scripts/build.sh keeps
# them beside each output file), so a tree with nothing left to rebuild still shows them all. A
# compiled object without kept diagnostics (built before they were kept) prints a note instead.
build_warnings() {
  local dir="$1" output rule
  while read -r output rule; do
    if [[ -f "$dir/$output.diagnostics" ]]; then
      grep -E '(^|: )warning: ' "$dir/$output.diagnostics" || true
    elif [[ "$rule" == CXX_COMPILER* && -e "$dir/$output" ]]; then
      echo "$output: warning: its compiler output was not kept; build again from clean to count its warnings"
    fi
  done < <(ninja -C "$dir" -t targets all 2>/dev/null |
    sed -n -E 's/^(.*): ((CXX_COMPILER|CXX_EXECUTABLE_LINKER)[^ ]*)$/\1 \2/p')
}
