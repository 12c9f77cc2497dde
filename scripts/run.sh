#!/usr/bin/env bash
# Builds what the board simulator needs and runs it on the built-in default
# board with a short tour. Arguments are passed on to boardsim (with any
# argument the tour is left out: `scripts/run.sh --help`).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset host >/dev/null
cmake --build --preset host --target boardsim -j "$(nproc)"
if [ $# -eq 0 ]; then
  exec build/host/tools/boardsim/boardsim --tour
fi
exec build/host/tools/boardsim/boardsim "$@"
