#!/usr/bin/env bash
# Builds everything and runs the board simulator on the built-in default board.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset host >/dev/null
cmake --build --preset host -j "$(nproc)"
cmake --preset firmware >/dev/null
cmake --build --preset firmware -j "$(nproc)"
if [ -x build/host/tools/boardsim/boardsim ]; then
  exec build/host/tools/boardsim/boardsim --tour "$@"
fi
echo "Built:"
find build/firmware -maxdepth 3 -name '*.efi' -printf '  %p (%s bytes)\n'
find build/host -maxdepth 3 -type f -perm -u+x -name '*_test' -printf '  %p\n' | sort
