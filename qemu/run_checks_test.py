#!/usr/bin/env python3
"""How the runner judges a boot's serial output: what must make it fail."""

import os
import sys
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
    def test_drivers_load_in_order_before_the_checks_then_power_off(self):
        script = run_checks.startup_script("boot2", DRIVERS).split("\r\n")
        self.assertEqual(script[:5], ["fs0:", "load formutil_ovmf.efi", "load setupinfo.efi",
                                      "load updatefetch.efi", "qemucheck.efi boot2"])
        self.assertEqual(script[5], "reset -s")


if __name__ == "__main__":
    unittest.main()
