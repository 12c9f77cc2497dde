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


if __name__ == "__main__":
    unittest.main()
