#!/usr/bin/env bash
# Counts the scenarios of bench/callgrind_scenarios.cpp in instructions under
# callgrind, collecting only while a driver entry point (the setup driver's
# entry, a question callback) runs, and prints them by owner: the driver's
# own code and the simulated firmware's.
#
#   bench/callgrind.sh [--program PATH] [--callbacks] [--check] [--top N]
#
# --program   the scenario program (default build/bench/bench/callgrind_scenarios)
# --callbacks also every static row of the item callback table, ranked
# --check     fail when a scenario runs more of the driver's own code than its budget
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=$root/build/bench/bench/callgrind_scenarios
args=()
sum_args=()
while [ $# -gt 0 ]; do
  case $1 in
    --program) program=$2; shift ;;
    --callbacks) args+=(--callbacks); sum_args+=(--rank "callback ") ;;
    # The first boot sets every page's strings: 410,499 with all pages in.
    --check) sum_args+=(--budget first-boot=420000 --budget deferred-boot=2000
                        --budget dispatch-hit=3000 --budget dispatch-miss=3000) ;;
    --top) sum_args+=(--top "$2"); shift ;;
    *) echo "usage: $0 [--program PATH] [--callbacks] [--check] [--top N]" >&2; exit 2 ;;
  esac
  shift
done
[ -x "$program" ] || { echo "$0: no scenario program at $program (cmake --build --preset bench --target callgrind_scenarios)" >&2; exit 2; }

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
valgrind --tool=callgrind --collect-atstart=no \
  --toggle-collect='SetupInfoEntry' --toggle-collect='SetupCallback(*' \
  --callgrind-out-file="$out/callgrind.out" "$program" "${args[@]}" >"$out/log" 2>&1 || {
  cat "$out/log" >&2
  exit 1
}
python3 "$root/bench/callgrind_sum.py" --root "$root" "${sum_args[@]}" "$out/callgrind.out*"
