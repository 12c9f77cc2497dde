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

The Secure Boot runs (modes sbsetup and sbuser, given alone) boot OVMF's
Secure Boot build instead, each over a store of its own, with the signed
check application as the removable-media boot file of a FAT image; after the
user-mode run the files that the page saved are read out of the image and
compared with the key variables that the check application dumped.
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
    return run_qemu(cmd, timeout, log_path)


def run_qemu(cmd, timeout, log_path):
    """Runs QEMU until it exits or the bound; returns (serial lines, problem or None)."""
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


# ---- Secure Boot runs -------------------------------------------------------
# Each boots the Secure Boot build of OVMF with SMM over a store of its own:
# sbsetup over an empty one (setup mode), sbuser over the one with the test
# key enrolled as PK and KEK (user mode). There is no shell: the signed check
# application is the removable-media boot file of a FAT image, loads the
# signed drivers itself and powers off. Keys and images are signed here, at
# test time, with the test key that ships beside OVMF.
SECURE_BOOT_MODES = ("sbsetup", "sbuser")
SB_TOOLS = ("openssl", "sbsign", "sign-efi-sig-list", "cert-to-efi-sig-list", "mkfs.vfat", "mcopy", "mmd")
# The images on the FAT image as the check application loads them.
SB_IMAGES = {"BOOTX64.EFI": CHECK_APP, "FORMUTIL.EFI": "formutil_ovmf.efi", "SETUPINFO.EFI": "setupinfo.efi"}
SB_UNSIGNED = ("UNSIGNED.EFI", "formutil_ovmf.efi")
# Owner of the signature lists signed here (any GUID of our own).
SB_TEST_OWNER = "9b0c4f6e-2b1d-4a55-8a3e-5e1d0c7a1f42"
SHA256_GUID = bytes.fromhex("2616c4c14c509240aca941f936934328")
# The key variables in the order of SecureVarPresent, and the files that
# "save all keys" writes for them in the volume's root.
KEY_NAMES = ("dbx", "dbt", "db", "KEK", "PK")
KEYHEX = re.compile(r"^KEYHEX (\w+) (\d+) ([0-9a-f]+)$")
KEYEND = re.compile(r"^KEYEND (\w+) (\d+)$")
KEYNONE = re.compile(r"^KEYNONE (\w+)$")
# A longer file of the same name waits in the root: the saved file must not
# keep its tail.
STALE_SAVE_BYTES = 8192


def run_tool(cmd, **kw):
    done = subprocess.run(cmd, capture_output=True, env=dict(os.environ, MTOOLS_SKIP_CHECK="1"), **kw)
    if done.returncode != 0:
        raise RuntimeError("%s: %s" % (" ".join(cmd), (done.stderr or b"").decode(errors="replace").strip()[-300:]))
    return done.stdout


def make_certificate(keys, name):
    """A new self-signed RSA-2048 certificate; returns (key, pem, der) paths."""
    key, pem, der = (os.path.join(keys, name + ext) for ext in (".key", ".pem", ".cer"))
    run_tool(["openssl", "req", "-new", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "3650",
              "-subj", "/CN=qemucheck %s/" % name, "-keyout", key, "-out", pem])
    run_tool(["openssl", "x509", "-in", pem, "-outform", "DER", "-out", der])
    return key, pem, der


def sha256_list(digest, owner):
    """One EFI_SIGNATURE_LIST of the SHA-256 type holding one hash."""
    import struct
    import uuid
    return SHA256_GUID + struct.pack("<III", 28 + 16 + 32, 0, 16 + 32) + uuid.UUID(owner).bytes_le + digest


def prepare_secure_boot(args, names, work):
    """Signs the images and makes the key files; returns {FAT path: host file}."""
    import hashlib
    keys = os.path.join(work, "keys")
    files = os.path.join(work, "files")
    os.makedirs(keys)
    os.makedirs(files)
    plain_key = os.path.join(keys, "test-key.key")
    run_tool(["openssl", "rsa", "-in", args.test_key, "-passin", "pass:snakeoil", "-out", plain_key])
    content = {}
    for fat_name, image in SB_IMAGES.items():
        signed = os.path.join(files, fat_name)
        run_tool(["sbsign", "--key", plain_key, "--cert", args.test_cert, "--output", signed, names[image]])
        content["EFI/BOOT/" + fat_name] = signed
    content["EFI/BOOT/" + SB_UNSIGNED[0]] = names[SB_UNSIGNED[1]]
    # Certificates to enroll in setup mode, one for the refused append, one
    # for the signed append and one to browse to.
    for name in ("PK", "KEK", "DB", "DB2", "DB3", "DB4", "X"):
        content[name + ".CER" if name != "X" else "KEYS/X.BIN"] = make_certificate(keys, name)[2]
    db_list = os.path.join(files, "DB.ESL")
    run_tool(["cert-to-efi-sig-list", "-g", SB_TEST_OWNER, os.path.join(keys, "DB3.pem"), db_list])
    db_set_list = os.path.join(files, "DBSET.ESL")
    run_tool(["cert-to-efi-sig-list", "-g", SB_TEST_OWNER, os.path.join(keys, "DB4.pem"), db_set_list])
    # A replace of db, signed without the append attribute.
    db_set = os.path.join(files, "DBSET.AUT")
    run_tool(["sign-efi-sig-list", "-g", SB_TEST_OWNER, "-k", plain_key, "-c", args.test_cert, "db", db_set_list,
              db_set])
    content["DBSET.AUT"] = db_set
    content["DBSET.ESL"] = db_set_list
    dbx_list = os.path.join(files, "DBX.ESL")
    with open(dbx_list, "wb") as f:
        f.write(sha256_list(hashlib.sha256(b"qemucheck revoked image").digest(), SB_TEST_OWNER))
    hash_file = os.path.join(files, "Y.BIN")
    with open(hash_file, "wb") as f:
        f.write(hashlib.sha256(b"qemucheck browsed hash").digest())
    content["KEYS/Y.BIN"] = hash_file
    # PK as OVMF takes it even in setup mode: signed with its own key.
    pk_list = os.path.join(files, "PK.ESL")
    pk_auth = os.path.join(files, "PK.AUT")
    run_tool(["cert-to-efi-sig-list", "-g", SB_TEST_OWNER, os.path.join(keys, "PK.pem"), pk_list])
    run_tool(["sign-efi-sig-list", "-g", SB_TEST_OWNER, "-k", os.path.join(keys, "PK.key"), "-c",
              os.path.join(keys, "PK.pem"), "PK", pk_list, pk_auth])
    content["PK.ESL"] = pk_list
    content["PK.AUT"] = pk_auth
    for var, esl in (("db", db_list), ("dbx", dbx_list)):
        auth = os.path.join(files, var.upper() + ".AUT")
        # Appends: the signature covers the append attribute the page writes with.
        run_tool(["sign-efi-sig-list", "-a", "-g", SB_TEST_OWNER, "-k", plain_key, "-c", args.test_cert,
                  var, esl, auth])
        content[var.upper() + ".AUT"] = auth
        content[var.upper() + ".ESL"] = esl
    return content


def make_fat_image(path, content, mode):
    """The boot volume: images, mode file, key files and the browsing tree."""
    run_tool(["mkfs.vfat", "-C", "-n", "QCHECK", path, "16384"])
    for d in ("EFI", "EFI/BOOT"):
        run_tool(["mmd", "-i", path, "::/" + d])
    mode_file = path + ".mode"
    with open(mode_file, "w") as f:
        f.write(mode + "\n")
    put = dict(content)
    put["EFI/BOOT/QMODE.TXT"] = mode_file
    if mode == "sbuser":
        stale = path + ".stale"
        with open(stale, "wb") as f:
            f.write(b"\xa5" * STALE_SAVE_BYTES)
        put["db"] = stale
    for fat, host in sorted(put.items()):
        if not fat.startswith("KEYS/"):
            run_tool(["mcopy", "-i", path, host, "::/" + fat])
    # KEYS in this reading order: directory A, files X.BIN and Y.BIN, directory B.
    run_tool(["mmd", "-i", path, "::/KEYS"])
    run_tool(["mmd", "-i", path, "::/KEYS/A"])
    run_tool(["mcopy", "-i", path, put["KEYS/X.BIN"], "::/KEYS/X.BIN"])
    run_tool(["mcopy", "-i", path, put["KEYS/Y.BIN"], "::/KEYS/Y.BIN"])
    run_tool(["mmd", "-i", path, "::/KEYS/B"])


def key_dumps(lines):
    """The check application's dumps of the key variables: {name: bytes or None}."""
    parts, sizes, dumps = {}, {}, {}
    for l in lines:
        l = l.strip()
        m = KEYHEX.match(l)
        if m:
            parts.setdefault(m.group(1), []).append((int(m.group(2)), bytes.fromhex(m.group(3))))
            continue
        m = KEYEND.match(l)
        if m:
            sizes[m.group(1)] = int(m.group(2))
            continue
        m = KEYNONE.match(l)
        if m:
            dumps[m.group(1)] = None
    for name, size in sizes.items():
        data = bytearray()
        for offset, chunk in sorted(parts.get(name, [])):
            if offset != len(data):
                break
            data += chunk
        dumps[name] = bytes(data) if len(data) == size else b"<incomplete dump>"
    return dumps


def compare_saved_keys(image, lines, out_dir):
    """The files "save all keys" left in the image against OVMF's variables.
    Returns (passed, problems)."""
    dumps = key_dumps(lines)
    passed, problems = 0, []
    os.makedirs(out_dir, exist_ok=True)
    for name in KEY_NAMES:
        if name not in dumps:
            problems.append("no dump of %s on the console" % name)
            continue
        host = os.path.join(out_dir, name)
        done = subprocess.run(["mcopy", "-n", "-i", image, "::/" + name, host], capture_output=True,
                              env=dict(os.environ, MTOOLS_SKIP_CHECK="1"))
        saved = None
        if done.returncode == 0:
            with open(host, "rb") as f:
                saved = f.read()
        if dumps[name] is None:
            # An absent key gets no file.
            if saved is None:
                passed += 1
                print("  PASS host.saved_%s: absent, no file" % name)
            else:
                problems.append("saved %s: a %d-byte file for an absent variable" % (name, len(saved)))
        elif saved == dumps[name]:
            passed += 1
            print("  PASS host.saved_%s: %d bytes equal to the variable" % (name, len(saved)))
        else:
            problems.append("saved %s: %s, the variable has %d bytes" % (
                name, "no file" if saved is None else "%d bytes that differ" % len(saved), len(dumps[name])))
    return passed, problems


def secure_boot_boot(args, image, vars_file, mode, timeout, log_path):
    cmd = [args.qemu, "-machine", "q35,smm=on", "-global", "driver=cfi.pflash01,property=secure,value=on",
           "-cpu", "Haswell", "-m", "256", "-nographic", "-no-reboot", "-net", "none",
           "-drive", "if=pflash,format=raw,unit=0,readonly=on,file=%s" % args.secboot_code,
           "-drive", "if=pflash,format=raw,unit=1,file=%s" % vars_file,
           "-drive", "if=none,id=keys,format=raw,file=%s" % image,
           "-device", "ide-hd,drive=keys,bus=ide.0",
           "-serial", "mon:stdio"]
    return run_qemu(cmd, timeout, log_path)


def run_secure_boot(args, names, modes):
    missing = [t for t in SB_TOOLS if shutil.which(t) is None]
    missing += [p for p in (args.secboot_code, args.setup_vars, args.user_vars, args.test_key, args.test_cert)
                if not os.path.isfile(p)]
    missing += [n for n in set(SB_IMAGES.values()) | {SB_UNSIGNED[1]} if n not in names]
    if missing:
        print("missing: %s" % ", ".join(missing))
        print("0 passed, 1 failed")
        return 1
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    try:
        content = prepare_secure_boot(args, names, args.work)
    except RuntimeError as e:
        print("preparing the keys and images failed: %s" % e)
        print("0 passed, 1 failed")
        return 1
    total_pass = total_fail = 0
    for mode in modes:
        started = time.monotonic()
        image = os.path.join(args.work, "%s.img" % mode)
        vars_file = os.path.join(args.work, "%s.vars.fd" % mode)
        shutil.copyfile(args.user_vars if mode == "sbuser" else args.setup_vars, vars_file)
        make_fat_image(image, content, mode)
        log_path = os.path.join(args.work, "%s.serial.log" % mode)
        lines, problem = secure_boot_boot(args, image, vars_file, mode, args.boot_timeout, log_path)
        passed, failed, problems = judge(lines, mode, ())
        if problem:
            problems.insert(0, problem)
        print("==== %s (%.0f s), serial log %s" % (mode, time.monotonic() - started, log_path))
        for l in lines:
            if l.startswith(("PASS ", "FAIL ", "NOTE ")) or SUMMARY.match(l.strip()) or "!!!!" in l:
                print("  " + l)
        if mode == "sbuser" and not problem:
            host_passed, host_problems = compare_saved_keys(image, lines, os.path.join(args.work, "saved"))
            passed += host_passed
            problems += host_problems
        for prob in problems:
            print("  problem: " + prob)
        if problems:
            print("---- full serial output of %s:" % mode)
            print("\n".join(l for l in lines if not l.startswith("KEYHEX ")))
        total_pass += passed
        total_fail += len(problems)
    print("%d passed, %d failed" % (total_pass, total_fail))
    return 0 if total_fail == 0 else 1


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--qemu", default="qemu-system-x86_64")
    p.add_argument("--ovmf-code", default="/usr/share/OVMF/OVMF_CODE_4M.fd")
    p.add_argument("--ovmf-vars", default="/usr/share/OVMF/OVMF_VARS_4M.fd")
    p.add_argument("--work", required=True, help="scratch folder, emptied first")
    p.add_argument("--boot-timeout", type=int, default=60)
    p.add_argument("--modes", default="boot1,boot2,restart",
                   help="check modes of the successive boots over one variable store")
    p.add_argument("--secboot-code", default="/usr/share/OVMF/OVMF_CODE_4M.secboot.fd")
    p.add_argument("--setup-vars", default="/usr/share/OVMF/OVMF_VARS_4M.fd",
                   help="empty store of the Secure Boot runs (setup mode)")
    p.add_argument("--user-vars", default="/usr/share/OVMF/OVMF_VARS_4M.snakeoil.fd",
                   help="store with the test key enrolled (user mode)")
    p.add_argument("--test-key", default="/usr/share/ovmf/PkKek-1-snakeoil.key")
    p.add_argument("--test-cert", default="/usr/share/ovmf/PkKek-1-snakeoil.pem")
    p.add_argument("images", nargs="+", help="the .efi images to put on the FAT drive")
    args = p.parse_args()

    names = {os.path.basename(i): i for i in args.images}
    modes = args.modes.split(",")
    if all(m in SECURE_BOOT_MODES for m in modes):
        return run_secure_boot(args, names, modes)
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
