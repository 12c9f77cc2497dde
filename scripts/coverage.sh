#!/usr/bin/env bash
# Line and branch coverage of the driver code (lib/, setupinfo/, updatefetch/,
# platform/) under every host suite, with clang's source-based coverage.
#
# Each CTest test runs on its own with its own LLVM_PROFILE_FILE, and its
# profile is exported as lcov against its own binaries. The exports are then
# united per file: a line or branch counts as covered when any suite covered
# it. Merging the raw profiles of different suites into one instead makes
# llvm-cov drop functions whose hashes differ between binaries.
#
#   scripts/coverage.sh            build, run, print the table
#   scripts/coverage.sh --files    also print every driver file's figures
# The lcov exports stay in build/coverage/coverage/ for a closer look.
set -uo pipefail
cd "$(dirname "$0")/.."
show_files=0
case "${1:-}" in
  --files) show_files=1 ;;
  "") ;;
  *) echo "usage: scripts/coverage.sh [--files]" >&2; exit 2 ;;
esac
scripts/install-deps.sh || exit 1

tool() {
  local name=$1
  for candidate in "$name" "$name-14"; do
    command -v "$candidate" >/dev/null && { echo "$candidate"; return; }
  done
  echo "missing $name (llvm)" >&2
  exit 1
}
profdata=$(tool llvm-profdata)
llvmcov=$(tool llvm-cov)

build=build/coverage
cmake --preset coverage >/dev/null && cmake --build --preset coverage -j "$(nproc)" >/dev/null || {
  echo "coverage build failed" >&2
  exit 1
}

out=$build/coverage
rm -rf "$out"
mkdir -p "$out"
root=$(pwd)

# One line per test: name, working directory, environment, command, separated
# by 0x1f (a tab would let read merge an empty field).
ctest --test-dir "$build" --show-only=json-v1 | python3 -c '
import json, sys
for t in json.load(sys.stdin)["tests"]:
    cmd = t.get("command")
    if not cmd:
        continue
    props = {p["name"]: p["value"] for p in t.get("properties", [])}
    env = ";".join(props.get("ENVIRONMENT", []))
    print("\x1f".join([t["name"], props.get("WORKING_DIRECTORY", "."), env] + cmd))
' > "$out/tests.list"

run_one() {
  local line=$1 out=$2 profdata=$3 llvmcov=$4 root=$5
  local name dir env
  IFS=$'\x1f' read -r -a fields <<< "$line"
  name=${fields[0]}; dir=${fields[1]}; env=${fields[2]}
  local cmd=("${fields[@]:3}")
  local prof="$root/$out/$name"
  mkdir -p "$prof"
  local envs=()
  [ -n "$env" ] && IFS=';' read -r -a envs <<< "$env"
  if ! (cd "$dir" && env "${envs[@]}" LLVM_PROFILE_FILE="$prof/%p-%m.profraw" "${cmd[@]}" >"$prof/log" 2>&1); then
    echo "FAILED $name (see $out/$name/log)"
  fi
  compgen -G "$prof/*.profraw" >/dev/null || return 0
  "$profdata" merge -sparse -o "$prof/merged.profdata" "$prof"/*.profraw || return 0
  # The test's own binary and every instrumented program it may have started.
  local objects=()
  for binary in "${cmd[@]}" "$root"/build/coverage/tools/*/*; do
    [ -f "$binary" ] && [ -x "$binary" ] && [ "$(head -c 4 "$binary" | tail -c 3)" = ELF ] && objects+=(-object "$binary")
  done
  [ ${#objects[@]} -gt 0 ] || return 0
  "$llvmcov" export -format=lcov -instr-profile="$prof/merged.profdata" "${objects[@]:1}" \
    >"$prof/export.lcov" 2>"$prof/export.err" || echo "export failed for $name"
  rm -f "$prof"/*.profraw
}
export -f run_one
start=$(date +%s)
tr '\n' '\0' < "$out/tests.list" |
  xargs -0 -P "$(nproc)" -I{} bash -c 'run_one "$1" "$2" "$3" "$4" "$5"' _ {} "$out" "$profdata" "$llvmcov" "$root"
echo "ran $(wc -l < "$out/tests.list") tests in $(( $(date +%s) - start ))s"

python3 - "$root" "$out" "$show_files" <<'EOF'
import glob, os, re, sys

root, out, show_files = sys.argv[1], sys.argv[2], sys.argv[3] == "1"
driver_dirs = ("lib/", "setupinfo/", "updatefetch/", "platform/")
# The code that reads what the drivers are handed from outside: the update
# server's reply and name answers, signature lists, the key files' directory,
# device-path text, the formatter, stored profiles, IDENTIFY data, stored
# output device paths.
parsers = (
    "updatefetch/reply_search.cpp", "updatefetch/download_location.cpp",
    "updatefetch/location_split.cpp", "updatefetch/host_resolution.cpp",
    "setupinfo/secureboot/secure_boot_keys.cpp", "setupinfo/secureboot/key_file_selection.cpp",
    "lib/device_path_text.cpp", "lib/text_format.cpp", "lib/text_format.h",
    "setupinfo/pages/platform/user_profiles.cpp", "setupinfo/pages/devices/sata_port_strings.cpp",
    "setupinfo/pages/platform/graphics_output_facts.cpp",
)

lines, branches = {}, {}   # file -> {line: covered}, file -> {(line, block, branch): covered}
for export in glob.glob(os.path.join(out, "*", "export.lcov")):
    current = None
    for raw in open(export):
        raw = raw.rstrip("\n")
        if raw.startswith("SF:"):
            path = os.path.relpath(os.path.realpath(raw[3:]), root)
            current = path if path.startswith(driver_dirs) else None
            if current:
                lines.setdefault(current, {})
                branches.setdefault(current, {})
        elif current is None:
            continue
        elif raw.startswith("DA:"):
            number, count = raw[3:].split(",")[:2]
            key = int(number)
            lines[current][key] = lines[current].get(key, False) or int(count) > 0
        elif raw.startswith("BRDA:"):
            number, block, branch, taken = raw[5:].split(",")
            key = (int(number), block, branch)
            branches[current][key] = branches[current].get(key, False) or (taken not in ("-", "0"))

# A constexpr function that no suite ran is one the compiler evaluates for a
# static_assert or a table; it has mapped lines but never runs. Such
# functions are left out and listed, so a run-time helper left untested by
# mistake still shows.
constexpr_start = re.compile(r"^\s*(?:static\s+|inline\s+)*constexpr\s+[^=;()]*\b(\w+)\s*\(")
compile_time = []
for f in list(lines):
    source = open(os.path.join(root, f), encoding="utf-8", errors="replace").read().split("\n")
    number = 0
    while number < len(source):
        match = constexpr_start.match(source[number])
        number += 1
        if not match:
            continue
        depth, end, opened = 0, None, False
        for at in range(number - 1, len(source)):
            text = source[at]
            if not opened and ";" in text.split("{")[0]:
                break
            for ch in text:
                if ch == "{":
                    depth, opened = depth + 1, True
                elif ch == "}":
                    depth -= 1
            if opened and depth == 0:
                end = at + 1
                break
        if end is None:
            continue
        span = range(number, end + 1)
        mapped = [n for n in span if n in lines[f]]
        if mapped and not any(lines[f][n] for n in mapped):
            for n in mapped:
                del lines[f][n]
            for key in [k for k in branches[f] if k[0] in span]:
                del branches[f][key]
            compile_time.append(f"{f}:{number} {match.group(1)}")
        number = end

def totals(files):
    lc = sum(sum(lines[f].values()) for f in files)
    lt = sum(len(lines[f]) for f in files)
    bc = sum(sum(branches[f].values()) for f in files)
    bt = sum(len(branches[f]) for f in files)
    return lc, lt, bc, bt

def pct(c, t):
    return f"{100.0 * c / t:5.1f}%" if t else "    -"

def row(label, files):
    lc, lt, bc, bt = totals(files)
    print(f"| {label:<26} | {pct(lc, lt):>6} | {lc:>5}/{lt:<5} | {pct(bc, bt):>8} | {bc:>5}/{bt:<5} |")

files = sorted(lines)
groups = [
    ("lib/", lambda f: f.startswith("lib/")),
    ("setupinfo/core", lambda f: f.startswith("setupinfo/core/")),
]
for page in sorted({f.split("/")[2] for f in files if f.startswith("setupinfo/pages/")}):
    groups.append((f"setupinfo/pages/{page}", lambda f, p=page: f.startswith(f"setupinfo/pages/{p}/")))
groups += [
    ("setupinfo/secureboot", lambda f: f.startswith("setupinfo/secureboot/")),
    ("setupinfo/nbsetup", lambda f: f.startswith("setupinfo/nbsetup/")),
    ("setupinfo/ (top level)", lambda f: f.startswith("setupinfo/") and f.count("/") == 1),
    ("setupinfo/ (all)", lambda f: f.startswith("setupinfo/")),
    ("updatefetch/", lambda f: f.startswith("updatefetch/")),
    ("platform/", lambda f: f.startswith("platform/")),
    ("parsers of outside input", lambda f: f in parsers),
]
print("| folder                     |  lines |   covered   | branches |   covered   |")
print("|----------------------------|--------|-------------|----------|-------------|")
for label, test in groups:
    chosen = [f for f in files if test(f)]
    if chosen:
        row(label, chosen)
row("overall", files)
if compile_time:
    print("left out, evaluated only at compile time: " + ", ".join(compile_time))
missing = [p for p in parsers if p not in lines]
if missing:
    print("no coverage data for: " + ", ".join(missing))
if show_files:
    print()
    for f in files:
        row(f, [f])
EOF
