#!/usr/bin/env python3
"""How the runner judges a boot's serial output: what must make it fail."""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run_checks  # noqa: E402

DRIVERS = run_checks.DRIVERS


def serial(*body, loads=DRIVERS, mode="boot1"):
    lines = ["UEFI Interactive Shell v2.2", "FS0:\\> fs0:"]
    for name in loads:
        lines.append("FS0:\\> load %s" % name)
        lines.append("Image 'FS0:\\%s' loaded at E233000 - Success" % name)
    lines.append("FS0:\\> qemucheck.efi %s" % mode)
    lines.append("qemucheck %s" % mode)
    lines.extend(body)
    lines.append("FS0:\\> reset -s")
    return "\r\n".join(lines).encode()


class JudgeTest(unittest.TestCase):
    def judge(self, raw, mode="boot1"):
        return run_checks.judge(run_checks.clean_serial(raw), mode, DRIVERS)

    def test_all_checks_passing_is_clean(self):
        passed, failed, problems = self.judge(serial("PASS a", "NOTE x", "PASS b", "2 passed, 0 failed"))
        self.assertEqual((passed, failed, problems), (2, 0, []))

    def test_terminal_control_sequences_do_not_hide_lines(self):
        raw = serial("\x1b[1m\x1b[33mPASS a\x1b[0m", "1 passed, 0 failed")
        self.assertEqual(self.judge(raw)[2], [])

    def test_failed_check_is_a_problem(self):
        _, failed, problems = self.judge(serial("PASS a", "FAIL b: wrong", "1 passed, 1 failed"))
        self.assertEqual(failed, 1)
        self.assertIn("FAIL b: wrong", problems)

    def test_restart_run_counts_the_start_after_the_restart(self):
        first = serial("PASS restart.a", "NOTE signalling ready to boot", mode="restart")
        second = serial("NOTE after the restart", "PASS restart.b", "PASS restart.c", "2 passed, 0 failed",
                        mode="restart")
        first = first[:first.rfind(b"FS0:\\> reset -s")]
        self.assertEqual(self.judge(first + b"\r\n" + second, mode="restart"), (2, 0, []))

    def test_restart_run_without_a_restart_is_a_problem(self):
        raw = serial("PASS restart.a", "FAIL restart.restarted: returned", "1 passed, 1 failed", mode="restart")
        problems = self.judge(raw, mode="restart")[2]
        self.assertIn("the machine did not restart at ready to boot", problems)
        self.assertIn("FAIL restart.restarted: returned", problems)

    def test_a_failure_before_the_restart_still_counts(self):
        first = serial("FAIL restart.request_written: denied", mode="restart")
        second = serial("PASS restart.b", "1 passed, 0 failed", mode="restart")
        problems = self.judge(first + b"\r\n" + second, mode="restart")[2]
        self.assertIn("FAIL restart.request_written: denied", problems)

    def test_missing_summary_is_a_problem(self):
        problems = self.judge(serial("PASS a", "PASS b"))[2]
        self.assertTrue(any("no final" in p for p in problems), problems)

    def test_summary_must_match_the_lines(self):
        problems = self.judge(serial("PASS a", "3 passed, 0 failed"))[2]
        self.assertTrue(any("does not match" in p for p in problems), problems)

    def test_no_check_at_all_is_a_problem(self):
        problems = self.judge(serial("0 passed, 0 failed"))[2]
        self.assertIn("no check passed", problems)

    def test_exception_dump_is_a_problem(self):
        raw = serial("PASS a", "!!!! X64 Exception Type - 0E(#PF - Page-Fault)  CPU Apic ID - 00000000 !!!!")
        problems = self.judge(raw)[2]
        self.assertTrue(any(p.startswith("firmware exception") for p in problems), problems)

    def test_driver_that_did_not_load_is_a_problem(self):
        raw = serial("PASS a", "1 passed, 0 failed", loads=DRIVERS[:1])
        problems = self.judge(raw)[2]
        self.assertEqual(sorted(problems), sorted("%s: no load message from the shell" % d for d in DRIVERS[1:]))

    def test_failed_start_is_a_problem(self):
        raw = serial("PASS a", "1 passed, 0 failed").replace(
            b"setupinfo.efi' loaded at E233000 - Success", b"setupinfo.efi' loaded at E233000 - Unsupported")
        problems = self.judge(raw)[2]
        self.assertTrue(any(p.startswith("setupinfo.efi did not load") for p in problems), problems)

    def test_wrong_mode_is_a_problem(self):
        problems = self.judge(serial("PASS a", "1 passed, 0 failed", mode="boot1"), mode="boot2")[2]
        self.assertTrue(any("mode boot2" in p for p in problems), problems)


class StartupScriptTest(unittest.TestCase):
    def test_drivers_load_in_order_between_the_two_check_runs_then_power_off(self):
        script = run_checks.startup_script("boot2", DRIVERS).split("\r\n")
        self.assertEqual(script[:9], ["fs0:", "qemucheck.efi before", "load formutil_ovmf.efi",
                                      "load nvme_standin.efi", "load graphics_ovmf.efi", "load setupinfo.efi",
                                      "load updatefetch.efi",
                                      "qemucheck.efi boot2", "reset -s"])


# A stand-in for qemu-system-x86_64: it reads startup.nsh from the FAT
# directory it is given and answers on "serial" as the behaviour says.
FAKE_QEMU = r"""
import os, sys, time
behaviour = os.environ["FAKE_QEMU"]
esp = [a for a in sys.argv if a.startswith("format=raw,file=fat:rw:")][0].split(":", 2)[2]
mode = open(os.path.join(esp, "startup.nsh"), newline="").read().split("\r\n")[-3].split()[-1]
out = ["UEFI Interactive Shell v2.2", "Press ESC in 5 seconds to skip startup.nsh or any other key to continue."]
if behaviour == "hang":
    print("\r\n".join(out), flush=True)
    time.sleep(60)
# The restart run starts the shell again after the reset it asks for, unless
# QEMU was told to stop at a reset or the behaviour says no restart comes.
starts = 2 if mode == "restart" and "-no-reboot" not in sys.argv and behaviour != "no-restart" else 1
for start in range(starts):
    if start:
        out += ["UEFI Interactive Shell v2.2", "Press ESC in 5 seconds to skip startup.nsh or any other key to continue."]
    for name in ("formutil_ovmf.efi", "nvme_standin.efi", "graphics_ovmf.efi", "setupinfo.efi",
                 "updatefetch.efi"):
        out.append("Image 'FS0:\\%s' loaded at E233000 - Success" % name)
    out += ["qemucheck %s" % mode, "PASS a"]
if behaviour == "crash":
    out.append("!!!! X64 Exception Type - 0E(#PF - Page-Fault)  CPU Apic ID - 00000000 !!!!")
    print("\r\n".join(out), flush=True)
    time.sleep(60)
if behaviour != "no-summary":
    out.append("1 passed, 0 failed")
print("\r\n".join(out), flush=True)
"""


class WholeRunTest(unittest.TestCase):
    """The runner's verdict over both boots, with the stand-in in place of QEMU."""

    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.qemu = os.path.join(self.dir, "qemu")
        with open(self.qemu, "w") as f:
            f.write("#!%s\n%s" % (sys.executable, FAKE_QEMU))
        os.chmod(self.qemu, 0o755)
        self.images = []
        for name in DRIVERS + (run_checks.CHECK_APP,):
            self.images.append(os.path.join(self.dir, name))
            open(self.images[-1], "wb").close()

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def run_with(self, behaviour):
        started = time.monotonic()
        done = subprocess.run(
            [sys.executable, run_checks.__file__, "--qemu", self.qemu, "--ovmf-code", self.qemu,
             "--ovmf-vars", self.qemu, "--work", os.path.join(self.dir, "work"), "--boot-timeout", "2"]
            + self.images, env=dict(os.environ, FAKE_QEMU=behaviour), capture_output=True, text=True, timeout=30)
        return done.returncode, done.stdout, time.monotonic() - started

    def test_clean_boots_and_a_restart_pass(self):
        rc, out, _ = self.run_with("pass")
        self.assertEqual(rc, 0, out)
        self.assertTrue(out.rstrip().endswith("3 passed, 0 failed"), out)

    def test_a_restart_run_that_never_restarts_fails(self):
        rc, out, _ = self.run_with("no-restart")
        self.assertEqual(rc, 1, out)
        self.assertIn("problem: the machine did not restart at ready to boot", out)

    def test_a_hung_boot_fails_within_its_bound(self):
        rc, out, took = self.run_with("hang")
        self.assertEqual(rc, 1, out)
        self.assertIn("problem: timed out after 2 s", out)
        self.assertLess(took, 10)

    def test_a_crash_fails(self):
        rc, out, took = self.run_with("crash")
        self.assertEqual(rc, 1, out)
        self.assertIn("problem: firmware exception", out)
        self.assertLess(took, 10)

    def test_a_run_without_the_count_line_fails(self):
        rc, out, _ = self.run_with("no-summary")
        self.assertEqual(rc, 1, out)
        self.assertIn("problem: no final 'N passed, N failed' line", out)


def have_tools(*tools):
    return all(shutil.which(t) for t in tools)


def hex_dump(name, data, chunk=64):
    lines = ["KEYHEX %s %d %s" % (name, o, data[o:o + chunk].hex()) for o in range(0, len(data), chunk)]
    return lines + ["KEYEND %s %d" % (name, len(data))]


class KeyDumpTest(unittest.TestCase):
    """The key bytes the check application prints, as the runner puts them together."""

    def test_chunks_reassemble_and_absent_keys_are_marked(self):
        pk = bytes(range(256)) * 3
        lines = hex_dump("PK", pk) + ["KEYNONE dbt"]
        self.assertEqual(run_checks.key_dumps(lines), {"PK": pk, "dbt": None})

    def test_a_lost_or_short_chunk_never_passes_as_the_key(self):
        pk = bytes(range(200))
        lines = hex_dump("PK", pk)
        dumps = run_checks.key_dumps(lines[:1] + lines[2:])
        self.assertNotEqual(dumps["PK"], pk)
        dumps = run_checks.key_dumps(lines[:-1] + ["KEYEND PK %d" % (len(pk) + 1)])
        self.assertNotEqual(dumps["PK"], pk)


@unittest.skipUnless(have_tools("mkfs.vfat", "mcopy"), "needs dosfstools and mtools")
class SavedKeyComparisonTest(unittest.TestCase):
    """Files saved into a real FAT image against the variables' dumps."""

    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.image = os.path.join(self.dir, "fat.img")
        subprocess.run(["mkfs.vfat", "-C", self.image, "1024"], check=True, capture_output=True)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def put(self, name, data):
        host = os.path.join(self.dir, "put-" + name)
        with open(host, "wb") as f:
            f.write(data)
        subprocess.run(["mcopy", "-o", "-i", self.image, host, "::/" + name], check=True, capture_output=True,
                       env=dict(os.environ, MTOOLS_SKIP_CHECK="1"))

    def compare(self, lines):
        return run_checks.compare_saved_keys(self.image, lines, os.path.join(self.dir, "out"))

    def test_equal_files_pass_and_absent_keys_need_no_file(self):
        keys = {"dbx": b"x" * 76, "db": b"d" * 935, "KEK": b"k" * 900, "PK": b"p" * 800}
        lines = ["KEYNONE dbt"]
        for name, data in keys.items():
            self.put(name, data)
            lines += hex_dump(name, data)
        self.assertEqual(self.compare(lines), (5, []))

    def test_a_stale_tail_a_missing_file_and_a_file_for_no_key_fail(self):
        self.put("db", b"d" * 935 + b"\xa5" * 100)
        self.put("dbt", b"t")
        lines = hex_dump("db", b"d" * 935) + hex_dump("PK", b"p" * 10) + ["KEYNONE dbt", "KEYNONE dbx"]
        passed, problems = self.compare(lines)
        self.assertEqual(passed, 1)  # dbx: absent, and no file
        self.assertIn("saved db: 1035 bytes that differ, the variable has 935 bytes", problems)
        self.assertIn("saved PK: no file, the variable has 10 bytes", problems)
        self.assertIn("saved dbt: a 1-byte file for an absent variable", problems)
        self.assertIn("no dump of KEK on the console", problems)


# A stand-in for QEMU in the Secure Boot runs: it reads the mode from the FAT
# image it is given, and in user mode saves two keys into it as the page would.
FAKE_SB_QEMU = r"""
import os, subprocess, sys
behaviour = os.environ["FAKE_QEMU"]
image = [a for a in sys.argv if a.startswith("if=none,id=keys,")][0].split("file=", 1)[1]
env = dict(os.environ, MTOOLS_SKIP_CHECK="1")
mode = subprocess.run(["mtype", "-i", image, "::/EFI/BOOT/QMODE.TXT"], capture_output=True, env=env).stdout.decode().strip()
assert "smm=on" in ",".join(sys.argv) and "secure,value=on" in ",".join(sys.argv)
out = ["BdsDxe: starting Boot0001", "qemucheck %s" % mode, "PASS sb.a"]
if mode == "sbuser":
    pk, db = b"P" * 100, b"D" * 70
    for name, data in (("PK", pk), ("db", db)):
        host = image + "." + name
        open(host, "wb").write(data if behaviour == "pass" or name == "PK" else data + b"old tail")
        subprocess.run(["mcopy", "-o", "-i", image, host, "::/" + name], check=True, env=env)
    for name, data in (("PK", pk), ("db", db)):
        out += ["KEYHEX %s 0 %s" % (name, data.hex()), "KEYEND %s %d" % (name, len(data))]
    out += ["KEYNONE KEK", "KEYNONE dbt", "KEYNONE dbx"]
out.append("1 passed, 0 failed")
print("\r\n".join(out), flush=True)
"""


@unittest.skipUnless(have_tools(*run_checks.SB_TOOLS, "mtype", "sbverify") and os.path.isfile("/usr/share/ovmf/PkKek-1-snakeoil.key"),
                     "needs the Secure Boot tools and OVMF's test key")
class SecureBootRunTest(unittest.TestCase):
    """Both Secure Boot runs end to end, signing and image making included, with a stand-in for QEMU."""

    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.qemu = os.path.join(self.dir, "qemu")
        with open(self.qemu, "w") as f:
            f.write("#!%s\n%s" % (sys.executable, FAKE_SB_QEMU))
        os.chmod(self.qemu, 0o755)
        # sbsign wants a PE image: any of ours will do, the stand-in never runs it.
        pe = os.environ.get("QEMU_CHECK_PE_IMAGE", "")
        if not os.path.isfile(pe):
            self.skipTest("needs a PE image of the firmware build (QEMU_CHECK_PE_IMAGE)")
        self.images = []
        for name in DRIVERS + (run_checks.CHECK_APP,):
            self.images.append(os.path.join(self.dir, name))
            shutil.copyfile(pe, self.images[-1])
        for name in ("code", "setup", "user"):
            open(os.path.join(self.dir, name), "wb").close()

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def run_with(self, behaviour):
        d = self.dir
        done = subprocess.run(
            [sys.executable, run_checks.__file__, "--qemu", self.qemu, "--secboot-code", os.path.join(d, "code"),
             "--setup-vars", os.path.join(d, "setup"), "--user-vars", os.path.join(d, "user"),
             "--work", os.path.join(d, "work"), "--boot-timeout", "20", "--modes", "sbsetup,sbuser"] + self.images,
            env=dict(os.environ, FAKE_QEMU=behaviour), capture_output=True, text=True, timeout=120)
        return done.returncode, done.stdout

    def test_saved_keys_equal_to_the_dumps_pass(self):
        rc, out = self.run_with("pass")
        self.assertEqual(rc, 0, out)
        # One check per boot, and the five saved-key comparisons of user mode.
        self.assertTrue(out.rstrip().endswith("7 passed, 0 failed"), out)
        signed = os.path.join(self.dir, "work", "files", "BOOTX64.EFI")
        listing = subprocess.run(["sbverify", "--list", signed], capture_output=True, text=True).stdout
        self.assertIn("O=SnakeOil", listing)

    def test_a_saved_file_with_an_old_tail_fails(self):
        rc, out = self.run_with("stale")
        self.assertEqual(rc, 1, out)
        self.assertIn("problem: saved db: 78 bytes that differ, the variable has 70 bytes", out)


if __name__ == "__main__":
    unittest.main()
