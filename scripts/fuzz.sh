#!/usr/bin/env bash
# A longer fuzz run than the test command's: builds the fuzz preset and runs
# every fuzz target for SECONDS (default 600) each, one after another. Each
# target works in build/fuzz/fuzz/NAME.long/, seeded from fuzz/corpus/ and
# kept between runs, so later runs start from what earlier ones found.
# Findings (crash-*, leak-*, timeout-*) are written next to that directory.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
  echo "usage: scripts/fuzz.sh [SECONDS]   (each target runs SECONDS, default 600)" >&2
  exit 2
fi
scripts/install-deps.sh || exit 1
cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j "$(nproc)" || exit 1

targets=$(sed -nE 's/^ *add_fuzz_target\(([a-z0-9_]+) .*/\1/p' fuzz/CMakeLists.txt)
failed=()
for name in $targets; do
  binary=build/fuzz/fuzz/$name
  [ -x "$binary" ] || continue
  work=build/fuzz/fuzz/$name.long
  mkdir -p "$work"
  seeds=fuzz/corpus/${name%_fuzz}
  echo "=== $name: ${seconds}s"
  if ! "$binary" -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=2048 \
       -artifact_prefix="build/fuzz/fuzz/$name." "$work" "$seeds"; then
    failed+=("$name")
  fi
done
echo
if [ ${#failed[@]} -gt 0 ]; then
  echo "findings: ${failed[*]} (see build/fuzz/fuzz/NAME.crash-* and the like)"
  exit 1
fi
echo "no findings in $(echo "$targets" | wc -w) targets"
