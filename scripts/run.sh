#!/usr/bin/env bash
# Installs what is missing, builds, and starts sorvel (build/sorvel).
#   bash scripts/run.sh
# sorvel needs a graphical session; without one it says so and how to start it on a virtual
# display (xvfb-run).
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$SORVEL_ROOT"

bash scripts/setup.sh
bash scripts/build.sh normal

program="$SORVEL_ROOT/build/sorvel"
[[ -x "$program" ]] || die "the build did not make $program"

echo "starting $program"
exec "$program"
