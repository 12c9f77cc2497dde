#!/usr/bin/env bash
# Builds every preset and runs every test: host suites, the same suites under
# ASan+UBSan, the firmware images with their PE checks, the fuzzers for a
# bounded time, and the drivers booted in OVMF.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh || exit 1

jobs=$(nproc)
total_pass=0
total_fail=0
failed_presets=()

run_preset() {
  local preset=$1
  echo "=== ${preset}: configure and build"
  if ! cmake --preset "$preset" >/dev/null || ! cmake --build --preset "$preset" -j "$jobs"; then
    echo "=== ${preset}: BUILD FAILED"
    failed_presets+=("$preset(build)")
    total_fail=$((total_fail + 1))
    return
  fi
  echo "=== ${preset}: test"
  local log
  log=$(mktemp)
  ctest --preset "$preset" -j "$jobs" 2>&1 | tee "$log"
  local line pass fail
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  if [ -n "$line" ]; then
    fail=$(echo "$line" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
    local all
    all=$(echo "$line" | sed -E 's/.* failed out of ([0-9]+).*/\1/')
    pass=$((all - fail))
    total_pass=$((total_pass + pass))
    total_fail=$((total_fail + fail))
    [ "$fail" -gt 0 ] && failed_presets+=("$preset")
  elif ! grep -q 'No tests were found' "$log"; then
    failed_presets+=("$preset(ctest)")
    total_fail=$((total_fail + 1))
  fi
  rm -f "$log"
}

# The firmware preset's tests include the PE checks and the OVMF boots (label qemu).
presets=(host host-asan firmware fuzz)
for p in "${presets[@]}"; do
  run_preset "$p"
done

echo
[ ${#failed_presets[@]} -gt 0 ] && echo "failing: ${failed_presets[*]}"
echo "${total_pass} passed, ${total_fail} failed"
[ "$total_fail" -eq 0 ]
