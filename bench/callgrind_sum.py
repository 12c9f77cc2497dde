#!/usr/bin/env python3
"""Sums callgrind dumps by who ran the instructions.

Each dump (one per scenario, named by its client request) is split into the
driver's own code (setupinfo/, lib/, updatefetch/ and the headers it shares)
and the simulated firmware's (sim/, tools/). Instructions in the C and C++
runtimes (memcpy, ...) belong to whoever called them, so a driver's copy
counts as the driver's own.
"""
import argparse
import glob
import re
import sys

OWN = ("setupinfo", "lib", "updatefetch", "platform", "uefi", "forms")
FIRMWARE = ("sim", "tools")
BENCH = ("bench",)


def category(path, root):
    if path.startswith(root):
        path = path[len(root):]
    # Relative paths come from a build directory below the tree.
    parts = [p for p in path.split("/") if p not in ("", ".", "..")]
    if path.startswith("/") and not path.startswith(root):
        return "other"
    if not parts:
        return "other"
    if parts[0] == "build":
        # Generated sources (the default board's text) sit in a build folder.
        return "firmware" if "sim" in parts else "own"
    if parts[0] in OWN:
        return "own"
    if parts[0] in FIRMWARE:
        return "firmware"
    if parts[0] in BENCH:
        return "bench"
    return "other"


NAMED = re.compile(r"^(fl|fi|fe|fn|cfi|cfl|cfn|ob|cob)=\((\d+)\)(?: (.*))?$")


def read_dump(path, root):
    names = {k: {} for k in ("fl", "fn", "ob")}
    kind_of = {"fl": "fl", "fi": "fl", "fe": "fl", "cfi": "fl", "cfl": "fl", "fn": "fn", "cfn": "fn",
               "ob": "ob", "cob": "ob"}
    desc = ""
    total = 0
    exclusive = {}  # (file, fn) -> Ir
    calls = []  # (caller (file, fn), callee (file, fn), Ir)
    fn_file = None
    fn = None
    callee_file = None
    callee = None
    pending_call = False
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line:
                continue
            if line.startswith("desc: Trigger:"):
                desc = line.split("Client Request:", 1)[1].strip() if "Client Request:" in line else ""
                continue
            if line.startswith(("summary:", "totals:")):
                total = int(line.split()[1])
                continue
            m = NAMED.match(line)
            if m:
                key, ident, name = m.group(1), m.group(2), m.group(3)
                table = names[kind_of[key]]
                if name is not None:
                    table[ident] = name
                name = table.get(ident, "?")
                if key == "fl":
                    fn_file = name
                elif key == "fn":
                    fn = (fn_file, name)
                    callee_file = None
                elif key in ("cfi", "cfl"):
                    callee_file = name
                elif key == "cfn":
                    callee = (callee_file if callee_file is not None else fn_file, name)
                continue
            if line.startswith("calls="):
                pending_call = True
                continue
            if line[0] in "0123456789+-*":
                fields = line.split()
                ir = int(fields[1]) if len(fields) > 1 else 0
                if pending_call:
                    calls.append((fn, callee, ir))
                    pending_call = False
                    callee_file = None
                else:
                    exclusive[fn] = exclusive.get(fn, 0) + ir
    sums = {"own": 0, "firmware": 0, "bench": 0, "other": 0}
    for (file, name), ir in exclusive.items():
        sums[category(file or "", root)] += ir
    # The runtimes' instructions go to their callers.
    for caller, callee, ir in calls:
        if caller is None or callee is None:
            continue
        mine = category(caller[0] or "", root)
        if mine != "other" and category(callee[0] or "", root) == "other":
            sums[mine] += ir
            sums["other"] -= ir
    top = sorted(((ir, name, file) for (file, name), ir in exclusive.items()
                  if category(file or "", root) == "own"), reverse=True)
    return desc, total, sums, top


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True, help="the source tree, as the debug information names it")
    ap.add_argument("--budget", action="append", default=[], help="SCENARIO=N: own instructions at most N")
    ap.add_argument("--top", type=int, default=0, help="the N costliest own functions of each scenario")
    ap.add_argument("--rank", default="", help="list the costliest scenarios whose name starts with this")
    ap.add_argument("dumps", nargs="+")
    args = ap.parse_args()
    root = args.root.rstrip("/") + "/"

    def order(path):
        suffix = path.rsplit(".", 1)[-1]
        return int(suffix) if suffix.isdigit() else 1 << 30

    rows = []
    for path in sorted((p for pattern in args.dumps for p in glob.glob(pattern)), key=order):
        desc, total, sums, top = read_dump(path, root)
        # The dump at exit (what ran after the last scenario) names no scenario.
        if desc:
            rows.append((desc, total, sums, top))
    ranked = [r for r in rows if args.rank and r[0].startswith(args.rank)]
    listed = [r for r in rows if not (args.rank and r[0].startswith(args.rank))]

    print(f"{'scenario':<34} {'own':>10} {'firmware':>10} {'total':>10}")
    for desc, total, sums, top in listed:
        print(f"{desc:<34} {sums['own']:>10,} {sums['firmware']:>10,} {total:>10,}")
        for ir, name, file in top[:args.top]:
            print(f"    {ir:>8,}  {name}")
    if ranked:
        ranked.sort(key=lambda r: r[2]["own"], reverse=True)
        print(f"\ncostliest of {len(ranked)} '{args.rank}*' scenarios, by own instructions:")
        for desc, total, sums, top in ranked[:8]:
            print(f"{desc:<34} {sums['own']:>10,} {sums['firmware']:>10,} {total:>10,}")

    failed = False
    by_name = {r[0]: r for r in rows}
    for budget in args.budget:
        name, limit = budget.split("=")
        if name not in by_name:
            print(f"budget: no dump for {name}", file=sys.stderr)
            failed = True
            continue
        own = by_name[name][2]["own"]
        if own > int(limit):
            print(f"budget: {name} ran {own:,} instructions of the driver's own code; at most {int(limit):,}",
                  file=sys.stderr)
            failed = True
        elif own == 0:
            print(f"budget: {name} counted no instructions of the driver's own code", file=sys.stderr)
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
