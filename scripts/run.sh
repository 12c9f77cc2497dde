#!/usr/bin/env bash
# Builds both drivers (firmware images and the host build the board simulator
# runs) and runs the simulator on the built-in default board with a short
# tour. Arguments are passed on to boardsim instead of the tour
# (`scripts/run.sh --help`). The test suites are built by scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset firmware >/dev/null
cmake --build --preset firmware -j "$(nproc)"
cmake --preset host >/dev/null
cmake --build --preset host --target boardsim -j "$(nproc)"
if [ $# -eq 0 ]; then
  exec build/host/tools/boardsim/boardsim --tour
fi
exec build/host/tools/boardsim/boardsim "$@"
