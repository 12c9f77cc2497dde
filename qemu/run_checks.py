#!/usr/bin/env python3
"""Boots the firmware images in QEMU with OVMF, twice over one variable store,
and judges the check application's report read from the serial console.

Boot 1 starts from a fresh copy of OVMF's variable store; boot 2 reuses the
store that boot 1 left, so non-volatile variables carry over. The restart
run keeps the store too and lets the machine restart once: the clock page's
ready-to-boot handshake must reset it, and the check application's second
start, after the restart, finishes the checks. Each boot loads
the test form utility driver, setupinfo and updatefetch with the shell's
`load`, runs the check application with the boot's mode and powers off; the
check application also runs once before the loads, to record what the
drivers are about to change.
"""

import argparse
import os
import re
import select
import shutil
import subprocess
import sys
import time

ESCAPE = re.compile(r"\x1b\[[0-9;=?]*[A-Za-z]")
SUMMARY = re.compile(r"^(\d+) passed, (\d+) failed$")
COUNTDOWN = b"to skip"
# The mode whose run must see the machine restart, and start twice.
RESTART_MODE = "restart"
# Driver images in load order: the form utility service must be there before
# setupinfo's entry point asks for it, and the NVMe stand-in before the page reads.
# The graphics stand-in must have dressed OVMF's display controller before
# setupinfo's page load walks it.
DRIVERS = ("formutil_ovmf.efi", "nvme_standin.efi", "graphics_ovmf.efi", "setupinfo.efi", "updatefetch.efi")
CHECK_APP = "qemucheck.efi"
# The drives of the hub page's check, as qemu/sata_drives.h expects them.
SATA_DISK_MODEL, SATA_DISK_PORT, SATA_DISK_BYTES = "QCHECK SATA DISK", 1, 6270000 * 512
SATA_CDROM_MODEL, SATA_CDROM_PORT, SATA_CDROM_BYTES = "QCHECK SATA CDROM", 3, 64 * 2048
# The NVMe rows' check: one controller with one namespace, at a PCI address
# of its own so that it takes no slot another check relies on.
NVME_SERIAL, NVME_PCI_ADDRESS, NVME_BYTES = "TESTNVME01", "0x0a", 4 * 1024 * 1024


def clean_serial(raw):
    """Serial bytes as text lines, without terminal control sequences."""
    text = raw.decode("utf-8", errors="replace")
    text = ESCAPE.sub("", text)
    return [line.rstrip("\r") for line in text.replace("\r\n", "\n").split("\n")]


def judge(lines, mode, drivers):
    """Returns (passed, failed, problems) for one boot's serial lines."""
    problems = []
    for name in drivers:
        loaded = [l for l in lines if "loaded at" in l and name.lower() in l.lower()]
        if not loaded:
            problems.append("%s: no load message from the shell" % name)
        elif not loaded[-1].rstrip().endswith("Success"):
            problems.append("%s did not load: %s" % (name, loaded[-1].strip()))
    for l in lines:
        if "!!!!" in l:
            problems.append("firmware exception: %s" % l.strip())
            break
    starts = [i for i, l in enumerate(lines) if l.strip() == "qemucheck %s" % mode]
    if not starts:
        problems.append("the check application did not start in mode %s" % mode)
    fails = [l for l in lines if l.startswith("FAIL ")]
    if mode == RESTART_MODE:
        # The first start ends in the restart, without a count; the second counts.
        if len(starts) < 2:
            problems.append("the machine did not restart at ready to boot")
        elif len(starts) > 2:
            problems.append("the machine restarted %d times" % (len(starts) - 1))
        if starts:
            lines = lines[starts[-1]:]
    passes = [l for l in lines if l.startswith("PASS ")]
    summaries = [SUMMARY.match(l.strip()) for l in lines]
    summaries = [m for m in summaries if m]
    if not summaries:
        problems.append("no final 'N passed, N failed' line")
        return len(passes), len(fails), problems
    passed, failed = int(summaries[-1].group(1)), int(summaries[-1].group(2))
    if passed != len(passes) or failed != len(fails):
        problems.append("summary %d passed, %d failed does not match %d PASS and %d FAIL lines"
                        % (passed, failed, len(passes), len(fails)))
    if passed == 0:
        problems.append("no check passed")
    for l in fails:
        problems.append(l)
    return passed, failed, problems


def startup_script(mode, drivers):
    # The first run records the language variables before any driver of ours.
    lines = ["fs0:", "%s before" % CHECK_APP]
    lines += ["load %s" % d for d in drivers]
    lines.append("%s %s" % (CHECK_APP, mode))
    lines.append("reset -s")
    return "\r\n".join(lines) + "\r\n"


def boot(args, esp, vars_file, mode, timeout, log_path):
    """Runs one boot; returns (serial lines, problem or None)."""
    with open(os.path.join(esp, "startup.nsh"), "w", newline="") as f:
        f.write(startup_script(mode, DRIVERS))
    # The restart run lets a reset boot the machine again; the others end at one.
    reboot = [] if mode == RESTART_MODE else ["-no-reboot"]
    cmd = [args.qemu, "-machine", "q35", "-cpu", "Haswell", "-m", "256",
           "-nographic"] + reboot + ["-net", "none",
           # The display check: QEMU's standard VGA, driven by OVMF's video driver.
           "-vga", "std",
           "-drive", "if=pflash,format=raw,readonly=on,file=%s" % args.ovmf_code,
           "-drive", "if=pflash,format=raw,file=%s" % vars_file,
           "-drive", "format=raw,file=fat:rw:%s" % esp,
           # The hub page's check: a disk and a CD-ROM on AHCI ports of their
           # own (qemu/sata_drives.h); the FAT drive is port 0, QEMU's DVD-ROM port 2.
           "-drive", "if=none,id=checkdisk,format=raw,file=%s" % os.path.join(args.work, "sata-disk.img"),
           "-device", "ide-hd,drive=checkdisk,bus=ide.%d,model=%s" % (SATA_DISK_PORT, SATA_DISK_MODEL),
           "-drive", "if=none,id=checkcd,format=raw,media=cdrom,file=%s" % os.path.join(args.work, "sata-cd.iso"),
           "-device", "ide-cd,drive=checkcd,bus=ide.%d,model=%s" % (SATA_CDROM_PORT, SATA_CDROM_MODEL),
           "-drive", "if=none,id=checknvme,format=raw,file=%s" % os.path.join(args.work, "nvme.img"),
           "-device", "nvme,drive=checknvme,serial=%s,addr=%s" % (NVME_SERIAL, NVME_PCI_ADDRESS),
           "-serial", "mon:stdio"]
    proc = subprocess.Popen(cmd, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)
    raw = bytearray()
    countdowns_skipped = 0
    problem = None
    deadline = time.monotonic() + timeout
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            if problem is None:
                problem = "timed out after %d s" % timeout
            proc.kill()
            break
        ready, _, _ = select.select([proc.stdout], [], [], min(left, 1.0))
        if ready:
            chunk = os.read(proc.stdout.fileno(), 65536)
            if not chunk:
                break
            raw += chunk
            # An exception dump ends in a dead loop: keep its last lines, then stop.
            if b"!!!!" in raw and problem is None:
                problem = "firmware exception"
                deadline = min(deadline, time.monotonic() + 3)
            # Any key but ESC ends the shell's countdown before startup.nsh,
            # at every start of the shell (a restart brings a second one).
            if raw.count(COUNTDOWN) > countdowns_skipped:
                countdowns_skipped = raw.count(COUNTDOWN)
                try:
                    proc.stdin.write(b"\r")
                    proc.stdin.flush()
                except BrokenPipeError:
                    pass
        elif proc.poll() is not None:
            break
    rc = proc.wait()
    err = proc.stderr.read().decode("utf-8", errors="replace")
    with open(log_path, "wb") as f:
        f.write(raw)
    if problem is None and rc != 0:
        problem = "qemu exited with status %d: %s" % (rc, err.strip()[-500:])
    return clean_serial(bytes(raw)), problem


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--qemu", default="qemu-system-x86_64")
    p.add_argument("--ovmf-code", default="/usr/share/OVMF/OVMF_CODE_4M.fd")
    p.add_argument("--ovmf-vars", default="/usr/share/OVMF/OVMF_VARS_4M.fd")
    p.add_argument("--work", required=True, help="scratch folder, emptied first")
    p.add_argument("--boot-timeout", type=int, default=60)
    p.add_argument("--modes", default="boot1,boot2,restart",
                   help="check modes of the successive boots over one variable store")
    p.add_argument("images", nargs="+", help="the .efi images to put on the FAT drive")
    args = p.parse_args()

    names = {os.path.basename(i): i for i in args.images}
    missing = [n for n in DRIVERS + (CHECK_APP,) if n not in names]
    for path in (args.ovmf_code, args.ovmf_vars):
        if not os.path.isfile(path):
            missing.append(path)
    if shutil.which(args.qemu) is None:
        missing.append(args.qemu)
    if missing:
        print("missing: %s" % ", ".join(missing))
        print("0 passed, 1 failed")
        return 1

    shutil.rmtree(args.work, ignore_errors=True)
    esp = os.path.join(args.work, "esp")
    os.makedirs(esp)
    for name, path in names.items():
        shutil.copyfile(path, os.path.join(esp, name))
    # Sparse: only the size matters, and the disk is never written.
    for name, size in (("sata-disk.img", SATA_DISK_BYTES), ("sata-cd.iso", SATA_CDROM_BYTES),
                       ("nvme.img", NVME_BYTES)):
        with open(os.path.join(args.work, name), "wb") as f:
            f.truncate(size)
    vars_file = os.path.join(args.work, "vars.fd")
    shutil.copyfile(args.ovmf_vars, vars_file)

    total_pass = total_fail = 0
    for mode in args.modes.split(","):
        log_path = os.path.join(args.work, "%s.serial.log" % mode)
        started = time.monotonic()
        timeout = args.boot_timeout * (2 if mode == RESTART_MODE else 1)
        lines, problem = boot(args, esp, vars_file, mode, timeout, log_path)
        passed, failed, problems = judge(lines, mode, DRIVERS)
        if problem:
            problems.insert(0, problem)
        print("==== %s (%.0f s), serial log %s" % (mode, time.monotonic() - started, log_path))
        for l in lines:
            if l.startswith(("PASS ", "FAIL ", "NOTE ")) or SUMMARY.match(l.strip()) \
                    or "loaded at" in l or "!!!!" in l:
                print("  " + l)
        for prob in problems:
            print("  problem: " + prob)
        if problems:
            print("---- full serial output of %s:" % mode)
            print("\n".join(lines))
        total_pass += passed
        total_fail += len(problems) if problems else 0
        if problem:
            break  # a boot that hung or crashed leaves nothing sound for the next one
    print("%d passed, %d failed" % (total_pass, total_fail))
    return 0 if total_fail == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
