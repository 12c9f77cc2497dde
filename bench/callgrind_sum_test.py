#!/usr/bin/env python3
"""The owner sums of callgrind_sum.py over small hand-written dumps."""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import callgrind_sum  # noqa: E402

ROOT = "/src/tree/"

# Driver code that calls memcpy and a simulated service; the service calls
# memset. Names are compressed after their first use, as callgrind writes them.
DUMP = """version: 1
creator: callgrind-3.19.0
positions: line
events: Ir
desc: Trigger: Client Request: scenario-a
summary: 1000

fl=(1) /src/tree/setupinfo/core/entry.cpp
fn=(1) SetupInfoEntry
10 100
fi=(2) /src/tree/lib/strings.h
12 7
fe=(1)
cfl=(3) /usr/lib/x86_64-linux-gnu/libc.so.6
cfn=(3) memcpy
calls=1 0
14 40
cfl=(4) /src/tree/sim/machine.cpp
cfn=(4) sim::Machine::Allocate
calls=2 0
+2 600
* 3

fl=(3)
fn=(3)
0 40

fl=(4)
fn=(4)
20 500
cfl=(3)
cfn=(5) memset
calls=1 0
22 100

fl=(3)
fn=(5)
0 100

fl=(5) ../../bench/scenarios.cpp
fn=(6) bench::Answers
5 250
"""


class OwnerSums(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.path = os.path.join(self.dir.name, "callgrind.out.1")
        with open(self.path, "w") as f:
            f.write(DUMP)

    def tearDown(self):
        self.dir.cleanup()

    def test_runtime_calls_go_to_the_caller_and_call_costs_are_not_exclusive(self):
        desc, total, sums, top = callgrind_sum.read_dump(self.path, ROOT)
        self.assertEqual(desc, "scenario-a")
        self.assertEqual(total, 1000)
        # 100 + 7 (inlined header) + 3 (after the call) + memcpy's 40.
        self.assertEqual(sums["own"], 150)
        # The service's 500 and the memset it called.
        self.assertEqual(sums["firmware"], 600)
        self.assertEqual(sums["bench"], 250)
        self.assertEqual(sums["other"], 0)
        self.assertEqual(top[0][:2], (110, "SetupInfoEntry"))

    def test_folders_by_owner(self):
        cases = [
            ("/src/tree/setupinfo/pages/board/main_page.cpp", "own"),
            ("/src/tree/lib/pool_buffer.h", "own"),
            ("../../updatefetch/update_locator.cpp", "own"),
            ("/src/tree/sim/hii/hii_database.cpp", "firmware"),
            ("../../tools/boardsim/machine_boot.cpp", "firmware"),
            ("/src/tree/build/bench/sim/default_board.cpp", "firmware"),
            ("/usr/include/c++/12/bits/stl_vector.h", "other"),
            ("???", "other"),
        ]
        for path, owner in cases:
            with self.subTest(path=path):
                self.assertEqual(callgrind_sum.category(path, ROOT), owner)


if __name__ == "__main__":
    unittest.main()
