#!/usr/bin/env python3
"""Shows the nine form sets in OVMF's own setup browser.

OVMF boots with QEMU's standard VGA and no window, the monitor on a UNIX
socket and the serial console on a pipe. The shell's startup script loads the
drivers (the form utility stand-in in its tracing build, which logs each
browser action on the serial console) and runs showsetup.efi, which opens form
sets with the browser's SendForm. Keys go in through the monitor's `sendkey`,
pictures come out through `screendump` and are written as PNG.

  --walk             the scripted walk that the test runs (see WALK below)
  --screenshots DIR  one PNG of each of the nine pages
  --interactive      a window (GTK, or VNC with --vnc) with the browser on
                     the main page; ESC goes on to the next form set
"""

import argparse
import json
import os
import re
import shutil
import socket
import struct
import subprocess
import sys
import threading
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run_checks  # noqa: E402  the ESP layout and the attached drives are shared

SHOW_APP = "showsetup.efi"
FORMUTIL = "formutil_trace.efi"
# run_checks' load order, with the tracing build of the form utility service.
DRIVERS = tuple(FORMUTIL if d == "formutil_ovmf.efi" else d for d in run_checks.DRIVERS)
FORMS_DIR = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "forms")

ACTION = re.compile(r"ACTION class=0x([0-9a-f]+) action=(\d+) question=0x([0-9a-f]+) type=(\d+) value=(\d+) "
                    r"status=([A-Za-z_ ()0-9]+)")
OPENED = re.compile(r"SHOWSETUP open (\d+) class=0x([0-9a-f]+)")
CLOSED = re.compile(r"SHOWSETUP closed (\d+) class=0x([0-9a-f]+)")
SETUPHEX = re.compile(r"SETUPHEX ([0-9a-f]{4}) ([0-9a-f]+)")
SETUPSIZE = re.compile(r"SETUPSIZE (\d+)")

CHANGING, CHANGED, RETRIEVE, FORM_OPEN, FORM_CLOSE, SUBMITTED = range(6)
TYPE_ACTION = 0x0A
ACTION_NAMES = {CHANGING: "changing", CHANGED: "changed", RETRIEVE: "retrieve", FORM_OPEN: "form-open",
                FORM_CLOSE: "form-close", SUBMITTED: "submitted"}

# The walk: on the hardware monitor page the third point of the first fan
# curve (key 0x490, Setup 0x430) goes from 40 to 70 over later points of 50
# and 60, which our callback must lift to 70; on the processor page the ring
# ratio (key 0x426, Setup 0x98) is entered as 200 and must come back as 120.
# The starting record is qemu/show_setup_walk.h's.
HARDWARE_MONITOR_CLASS, PROCESSOR_CLASS = 0x10, 0x2
FAN_POINT_KEY, FAN_CURVE_KEYS, FAN_CURVE_OFFSET = 0x490, (0x48E, 0x48F, 0x490, 0x491, 0x492), 0x42E
WALK_FAN_CURVE, RAISED_POINT = (20, 30, 40, 50, 60), 70
RING_RATIO_KEY, RING_RATIO_OFFSET, RING_RATIO_ENTERED, RING_RATIO_LIMIT = 0x426, 0x98, 200, 120

# ---- Pictures ---------------------------------------------------------------


def ppm_to_png(ppm):
    """A binary PPM (P6, 8 bits a channel) as PNG bytes."""
    fields, at = [], 0
    while len(fields) < 4:
        while at < len(ppm) and ppm[at:at + 1].isspace():
            at += 1
        if ppm[at:at + 1] == b"#":
            at = ppm.index(b"\n", at)
            continue
        start = at
        while at < len(ppm) and not ppm[at:at + 1].isspace():
            at += 1
        fields.append(ppm[start:at])
    if fields[0] != b"P6" or int(fields[3]) != 255:
        raise ValueError("not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    pixels = ppm[at + 1:at + 1 + width * height * 3]
    if len(pixels) != width * height * 3:
        raise ValueError("PPM ends early")
    stride = width * 3
    rows = b"".join(b"\0" + pixels[y * stride:(y + 1) * stride] for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


# ---- Forms ------------------------------------------------------------------

IFR_FORM, IFR_SUPPRESS_IF, IFR_GRAY_OUT_IF, IFR_END = 0x01, 0x0A, 0x19, 0x29
IFR_TEXT, IFR_NUMERIC = 0x03, 0x07
# Questions the browser's cursor stops on; it stops on text items too (but
# not on subtitles), so they count as well.
QUESTIONS = {0x05, 0x06, 0x07, 0x08, 0x0C, 0x0D, 0x0F, 0x1A, 0x1B, 0x1C, 0x23}
QUESTION_READ_ONLY = 0x01


def form_questions(package_list):
    """The first form's questions and text items in display order:
    [(opcode, question ID or None, selectable, (min, max) or None)]."""
    found, at = [], 20
    end = min(len(package_list), struct.unpack_from("<I", package_list, 16)[0]) if len(package_list) >= 20 else 0
    while at + 4 <= end:
        word = struct.unpack_from("<I", package_list, at)[0]
        length, kind = word & 0xFFFFFF, word >> 24
        if length < 4 or at + length > end:
            break
        if kind == 0x02:
            found = _walk_ifr(package_list[at + 4:at + length])
            break
        at += length
    return found


def _walk_ifr(ifr):
    questions, scopes, forms, at = [], [], 0, 0
    while at + 2 <= len(ifr):
        code, length, scope = ifr[at], ifr[at + 1] & 0x7F, ifr[at + 1] & 0x80
        if length < 2 or at + length > len(ifr):
            break
        body = ifr[at:at + length]
        if code == IFR_FORM:
            forms += 1
        if code == IFR_END:
            if scopes:
                scopes.pop()
        elif forms == 1 and code == IFR_TEXT and length >= 6:
            hidden = any(s in (IFR_SUPPRESS_IF, IFR_GRAY_OUT_IF) for s in scopes)
            questions.append((code, None, not hidden, None))
        elif forms == 1 and code in QUESTIONS and length >= 13:
            qid, flags = struct.unpack_from("<H", body, 6)[0], body[12]
            hidden = any(s in (IFR_SUPPRESS_IF, IFR_GRAY_OUT_IF) for s in scopes)
            bounds = None
            if code == IFR_NUMERIC and length >= 14:
                width = 1 << (body[13] & 0x3)
                if length >= 14 + 3 * width:
                    fmt = "<" + {1: "B", 2: "H", 4: "I", 8: "Q"}[width] * 2
                    bounds = struct.unpack_from(fmt, body, 14)
            questions.append((code, qid, not hidden and not flags & QUESTION_READ_ONLY, bounds))
        if scope and code != IFR_END:
            scopes.append(code)
        at += length
    return questions


def downs_to(questions, qid):
    """Down presses from the first selectable item to question qid, or None."""
    selectable = [q[1] for q in questions if q[2]]
    return selectable.index(qid) if qid is not None and qid in selectable else None


def package_of(packages_dir, form_class):
    path = os.path.join(packages_dir, "class_%x.hpk" % form_class)
    if not os.path.isfile(path):
        return None
    with open(path, "rb") as f:
        return f.read()


def page_names():
    """{class: file stem} from the form sources."""
    names = {}
    for name in sorted(os.listdir(FORMS_DIR)):
        if name.endswith(".json"):
            with open(os.path.join(FORMS_DIR, name), encoding="utf-8") as f:
                names[int(json.load(f)["class"], 0)] = name[:-5]
    return names


# ---- The machine ------------------------------------------------------------


class Machine:
    """One QEMU run: serial console collected, monitor commands on request."""

    def __init__(self, args, esp, vars_file, work, window=None):
        self.monitor_path = os.path.join(work, "monitor.sock")
        if os.path.exists(self.monitor_path):
            os.unlink(self.monitor_path)
        display = ["-display", window] if window else ["-display", "none"]
        cmd = [args.qemu, "-machine", "q35", "-cpu", "Haswell", "-m", "256", "-net", "none",
               "-vga", "std"] + display + [
               "-drive", "if=pflash,format=raw,readonly=on,file=%s" % args.ovmf_code,
               "-drive", "if=pflash,format=raw,file=%s" % vars_file,
               "-drive", "format=raw,file=fat:rw:%s" % esp,
               "-drive", "if=none,id=checkdisk,format=raw,file=%s" % os.path.join(work, "sata-disk.img"),
               "-device", "ide-hd,drive=checkdisk,bus=ide.%d,model=%s" % (
                   run_checks.SATA_DISK_PORT, run_checks.SATA_DISK_MODEL),
               "-drive", "if=none,id=checknvme,format=raw,file=%s" % os.path.join(work, "nvme.img"),
               "-device", "nvme,drive=checknvme,serial=%s,addr=%s" % (
                   run_checks.NVME_SERIAL, run_checks.NVME_PCI_ADDRESS),
               "-monitor", "unix:%s,server,nowait" % self.monitor_path,
               "-serial", "stdio"]
        if not window:
            cmd.append("-no-reboot")
        self.proc = subprocess.Popen(cmd, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.raw = bytearray()
        self.lock = threading.Lock()
        self.last_output = time.monotonic()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        self.monitor = None

    def _read(self):
        skipped = 0
        while True:
            chunk = os.read(self.proc.stdout.fileno(), 65536)
            if not chunk:
                return
            with self.lock:
                self.raw += chunk
                self.last_output = time.monotonic()
                countdowns = self.raw.count(run_checks.COUNTDOWN)
            # Any key but ESC ends the shell's countdown before startup.nsh.
            if countdowns > skipped:
                skipped = countdowns
                try:
                    self.proc.stdin.write(b"\r")
                    self.proc.stdin.flush()
                except (BrokenPipeError, ValueError):
                    pass

    def text(self):
        with self.lock:
            return "\n".join(run_checks.clean_serial(bytes(self.raw)))

    def wait_for(self, pattern, timeout, after=0):
        """The first match of pattern in the console text at or after index after."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            m = pattern.search(self.text(), after)
            if m:
                return m
            if self.proc.poll() is not None:
                return pattern.search(self.text(), after)
            time.sleep(0.2)
        return None

    def settle(self, quiet=1.5, timeout=20):
        """Waits until the console has been still for quiet seconds: the browser has drawn."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline and self.proc.poll() is None:
            with self.lock:
                still = time.monotonic() - self.last_output
            if still >= quiet:
                return
            time.sleep(0.1)

    def command(self, line):
        if self.proc.poll() is not None:
            raise RuntimeError("QEMU ended before `%s`" % line)
        if self.monitor is None:
            deadline = time.monotonic() + 20
            while True:
                try:
                    self.monitor = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                    self.monitor.connect(self.monitor_path)
                    break
                except OSError:
                    self.monitor.close()
                    if time.monotonic() > deadline:
                        raise
                    time.sleep(0.2)
            self._prompt()
        self.monitor.sendall(line.encode() + b"\n")
        return self._prompt()

    def _prompt(self):
        data = b""
        self.monitor.settimeout(30)
        while not data.endswith(b"(qemu) "):
            part = self.monitor.recv(4096)
            if not part:
                break
            data += part
        return data.decode(errors="replace")

    def keys(self, *names, gap=0.25):
        for name in names:
            self.command("sendkey %s" % name)
            time.sleep(gap)

    def type_number(self, number):
        self.keys(*str(number))

    def screenshot(self, png_path):
        ppm_path = png_path[:-4] + ".ppm"
        self.command("screendump %s" % ppm_path)
        for _ in range(50):
            if os.path.isfile(ppm_path) and os.path.getsize(ppm_path) > 0:
                break
            time.sleep(0.1)
        with open(ppm_path, "rb") as f:
            png = ppm_to_png(f.read())
        with open(png_path, "wb") as f:
            f.write(png)
        os.unlink(ppm_path)

    def finish(self, timeout, log_path):
        try:
            self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        self.reader.join(timeout=5)
        with open(log_path, "wb") as f:
            f.write(bytes(self.raw))
        return self.text()


def prepare_work(args, images, work):
    """The FAT folder with the images, the attached drives and a fresh variable store."""
    shutil.rmtree(work, ignore_errors=True)
    esp = os.path.join(work, "esp")
    os.makedirs(esp)
    for name, path in images.items():
        shutil.copyfile(path, os.path.join(esp, name))
    for name, size in (("sata-disk.img", run_checks.SATA_DISK_BYTES), ("nvme.img", run_checks.NVME_BYTES)):
        with open(os.path.join(work, name), "wb") as f:
            f.truncate(size)
    vars_file = os.path.join(work, "vars.fd")
    shutil.copyfile(args.ovmf_vars, vars_file)
    return esp, vars_file


def write_startup(esp, lines):
    with open(os.path.join(esp, "startup.nsh"), "w", newline="") as f:
        f.write("\r\n".join(["fs0:"] + lines) + "\r\n")


def load_lines():
    return ["load %s" % d for d in DRIVERS]


# ---- What reached the dispatcher ----------------------------------------------


def actions(text, start=0, end=None):
    """[(class, action, question, value, value type)] logged between two text indexes."""
    return [(int(m.group(1), 16), int(m.group(2)), int(m.group(3), 16), int(m.group(5)), int(m.group(4)))
            for m in ACTION.finditer(text, start, len(text) if end is None else end)]


def action_runs(seen):
    """The actions as runs: "form-open x5, retrieve x5" and so on."""
    runs = []
    for _, action, _, _, _ in seen:
        name = ACTION_NAMES.get(action, str(action))
        if runs and runs[-1][0] == name:
            runs[-1][1] += 1
        else:
            runs.append([name, 1])
    return ", ".join("%s x%d" % (n, c) if c > 1 else n for n, c in runs)


def order_problems(phase, seen, question=None):
    """What in one phase's actions breaks the order UEFI defines for it."""
    problems = []
    kinds = [a for _, a, _, _, _ in seen]
    if phase == "open":
        if FORM_OPEN not in kinds:
            problems.append("open: no form-open action")
        for _, action, qid, _, _ in seen:
            if action in (CHANGING, CHANGED, SUBMITTED):
                problems.append("open: %s for 0x%x before any key" % (ACTION_NAMES[action], qid))
        # Action questions hold no value: OVMF's browser sends them a retrieve
        # while it loads the form set, before any form opens.
        first = {}
        for _, action, qid, _, kind in seen:
            if kind != TYPE_ACTION:
                first.setdefault(qid, action)
        for qid, action in first.items():
            if action != FORM_OPEN:
                problems.append("open: 0x%x got %s before form-open" % (qid, ACTION_NAMES.get(action, action)))
    elif phase == "edit":
        mine = [a for _, a, q, _, _ in seen if q == question and a in (CHANGING, CHANGED)]
        if mine[:2] != [CHANGING, CHANGED]:
            problems.append("edit: 0x%x got %s, not changing then changed" % (
                question, [ACTION_NAMES.get(a, a) for a in mine]))
    elif phase == "save":
        if SUBMITTED not in kinds:
            problems.append("save: no submitted action")
        if any(a in (CHANGING, CHANGED) for a in kinds):
            problems.append("save: changing or changed while saving")
    elif phase == "close":
        if FORM_CLOSE not in kinds:
            problems.append("close: no form-close action")
    return problems


def setup_record(text):
    """The Setup bytes that `showsetup.efi dump` printed, or None."""
    size = SETUPSIZE.search(text)
    if not size or int(size.group(1)) == 0:
        return None
    data = bytearray(int(size.group(1)))
    for m in SETUPHEX.finditer(text):
        row = bytes.fromhex(m.group(2))
        at = int(m.group(1), 16)
        data[at:at + len(row)] = row
    return bytes(data)


# ---- The walk -----------------------------------------------------------------


class Walk:
    def __init__(self, machine, shots, packages_dir):
        self.m, self.shots, self.packages = machine, shots, packages_dir
        self.problems, self.passed, self.notes = [], [], []

    def check(self, name, ok, why):
        if ok:
            self.passed.append(name)
            print("  PASS %s" % name)
        else:
            self.problems.append("%s: %s" % (name, why))
            print("  FAIL %s: %s" % (name, why))

    def edit_page(self, form_class, key, value, label):
        """Opens the page, enters value into question key, saves and leaves.
        Returns {phase: actions} or None when the page never opened."""
        m = self.m
        opened = m.wait_for(re.compile(r"SHOWSETUP open \d+ class=0x%x\b" % form_class), 120)
        if not opened:
            self.check("%s.opened" % label, False, "the page was not opened")
            return None
        m.settle()
        gone = CLOSED.search(m.text(), opened.end())
        if gone:
            line = m.text()[gone.start():].split("\n")[0]
            self.check("%s.shown" % label, False, "the browser did not show the page: %s" % line.strip())
            return None
        mark_open = len(m.text())
        m.screenshot(os.path.join(self.shots, "%s-open.png" % label))
        package = package_of(self.packages, form_class)
        questions = form_questions(package) if package else []
        downs = downs_to(questions, key)
        if downs is None:
            self.check("%s.question" % label, False, "question 0x%x is not a selectable question of the form" % key)
            m.keys("esc")
            return None
        bounds = next((q[3] for q in questions if q[1] == key), None)
        if bounds:
            self.notes.append("%s: question 0x%x takes %d to %d" % (label, key, bounds[0], bounds[1]))
        m.keys(*(["down"] * downs))
        m.keys("ret")
        m.settle(0.8)
        m.type_number(value)
        m.keys("ret")
        changed = m.wait_for(re.compile(r"ACTION class=0x%x action=1 question=0x%x\b" % (form_class, key)), 20,
                             mark_open)
        m.settle()
        mark_edit = len(m.text())
        m.screenshot(os.path.join(self.shots, "%s-edited.png" % label))
        m.keys("f10")
        m.settle(0.8)
        m.screenshot(os.path.join(self.shots, "%s-save.png" % label))
        m.keys("y")
        m.wait_for(re.compile(r"ACTION class=0x%x action=5 " % form_class), 10, mark_edit)
        m.settle(0.8)
        mark_save = len(m.text())
        m.keys("esc")
        closed = m.wait_for(re.compile(r"SHOWSETUP closed \d+ class=0x%x\b" % form_class), 8, mark_save)
        if not closed:
            # Asked to save again: the save did not take; leave without it.
            self.check("%s.left_after_save" % label, False, "leaving the page asked about unsaved changes")
            m.keys("n")
            closed = m.wait_for(re.compile(r"SHOWSETUP closed \d+ class=0x%x\b" % form_class), 8, mark_save)
        text = m.text()
        end = closed.start() if closed else len(text)
        phases = {"open": actions(text, opened.end(), mark_open), "edit": actions(text, mark_open, mark_edit),
                  "save": actions(text, mark_edit, mark_save), "close": actions(text, mark_save, end)}
        self.check("%s.changed_reached_dispatcher" % label, changed is not None,
                   "no changed action for 0x%x after the keys" % key)
        for phase, seen in phases.items():
            self.notes.append("%s %s: %s" % (label, phase, action_runs(seen) or "none"))
            problems = order_problems(phase, seen, key)
            self.check("%s.order_%s" % (label, phase), not problems, "; ".join(problems))
        return phases


def run_walk(args, images):
    work = args.work
    esp, vars_file = prepare_work(args, images, work)
    shots = os.path.join(work, "screens")
    os.makedirs(shots)
    started = time.monotonic()
    write_startup(esp, ["%s prepare" % SHOW_APP] + load_lines() +
                  ["%s %d" % (SHOW_APP, HARDWARE_MONITOR_CLASS), "%s %d" % (SHOW_APP, PROCESSOR_CLASS), "reset -s"])
    machine = Machine(args, esp, vars_file, work)
    walk = Walk(machine, shots, args.packages)
    monitor = processor = None
    try:
        monitor = walk.edit_page(HARDWARE_MONITOR_CLASS, FAN_POINT_KEY, RAISED_POINT, "hardware_monitor")
        processor = walk.edit_page(PROCESSOR_CLASS, RING_RATIO_KEY, RING_RATIO_ENTERED, "processor")
    except (OSError, RuntimeError, ValueError) as e:
        walk.check("walk", False, str(e))
    finally:
        text = machine.finish(60, os.path.join(work, "walk.serial.log"))
    if monitor:
        edit = monitor["edit"] + monitor["save"]
        entered = [v for c, a, q, v, _ in edit if q == FAN_POINT_KEY and a == CHANGED]
        walk.check("hardware_monitor.point_raised", entered[:1] == [RAISED_POINT],
                   "the changed action carried %s, not %d" % (entered, RAISED_POINT))
        # The browser redraws the page from its copy: what it hands back for
        # the later points after the edit is what the user sees.
        shown = {q: v for c, a, q, v, _ in edit if q in FAN_CURVE_KEYS[3:] and a in (RETRIEVE, SUBMITTED)}
        if shown:
            walk.check("hardware_monitor.later_points_corrected",
                       all(v == RAISED_POINT for v in shown.values()),
                       "the browser shows the later points as %s" % {hex(q): v for q, v in shown.items()})
        else:
            walk.notes.append("hardware_monitor: the browser sent no value of the later points after the edit")
    if processor:
        seen = processor["edit"] + processor["save"]
        entered = [v for c, a, q, v, _ in seen if q == RING_RATIO_KEY and a in (CHANGING, CHANGED)]
        walk.check("processor.entered_above_limit", bool(entered) and entered[0] == RING_RATIO_ENTERED,
                   "the browser passed %s for 0x%x" % (entered, RING_RATIO_KEY))
        shown = [v for c, a, q, v, _ in seen if q == RING_RATIO_KEY and a in (RETRIEVE, SUBMITTED)]
        walk.check("processor.clamped_in_browser", shown[-1:] == [RING_RATIO_LIMIT],
                   "the browser holds %s for 0x%x after the edit" % (shown, RING_RATIO_KEY))
    if "!!!!" in text:
        walk.check("no_exception", False, "firmware exception on the console")
    for line in text.split("\n"):
        if "FORMUTIL setbrowserdata" in line or "FORMUTIL getbrowserdata" in line:
            walk.notes.append("routing: " + line.strip())
            break

    # Next boot: what the saves left in the Setup variable.
    write_startup(esp, ["%s dump" % SHOW_APP, "reset -s"])
    reader = Machine(args, esp, vars_file, work)
    reader.wait_for(re.compile(r"SETUPHEX 0480"), 90)
    later = reader.finish(30, os.path.join(work, "dump.serial.log"))
    record = setup_record(later)
    if record is None or len(record) != 1172:
        walk.check("next_boot.setup", False, "no 1172-byte Setup variable in the next boot")
    else:
        curve = tuple(record[FAN_CURVE_OFFSET:FAN_CURVE_OFFSET + 5])
        expected = WALK_FAN_CURVE[:2] + (RAISED_POINT,) * 3
        walk.check("next_boot.fan_curve_saved", curve == expected, "the curve is %s, not %s" % (curve, expected))
        walk.check("next_boot.ring_ratio_clamped", record[RING_RATIO_OFFSET] == RING_RATIO_LIMIT,
                   "ring ratio %d after entering %d" % (record[RING_RATIO_OFFSET], RING_RATIO_ENTERED))
    print("==== browser walk (%.0f s), serial logs and screens in %s" % (time.monotonic() - started, work))
    for note in walk.notes:
        print("  NOTE %s" % note)
    if walk.problems:
        print("---- serial output of the walk, actions and routing only:")
        for line in text.split("\n"):
            if ACTION.search(line) or "SHOWSETUP" in line or "FORMUTIL" in line or "loaded at" in line:
                print("  " + line.strip())
    print("%d passed, %d failed" % (len(walk.passed), len(walk.problems)))
    return 0 if not walk.problems else 1


def run_screenshots(args, images):
    esp, vars_file = prepare_work(args, images, args.work)
    out = os.path.abspath(args.screenshots)
    os.makedirs(out, exist_ok=True)
    names = page_names()
    write_startup(esp, load_lines() + ["%s all" % SHOW_APP, "reset -s"])
    machine = Machine(args, esp, vars_file, args.work)
    written, after = {}, 0
    done = re.compile(r"SHOWSETUP done")
    try:
        while True:
            opened = machine.wait_for(OPENED, 120, after)
            if not opened or done.search(machine.text(), after):
                break
            machine.settle()
            closed = CLOSED.search(machine.text(), opened.end())
            if closed is None:
                # Still shown: the page as the browser drew it. One that closed by
                # itself (a removed form set) comes back as a copy of its package.
                stem = names.get(int(opened.group(2), 16), "class_%s" % opened.group(2))
                written[stem] = os.path.join(out, stem + ".png")
                machine.screenshot(written[stem])
                machine.keys("esc")
                closed = machine.wait_for(CLOSED, 15, opened.end())
            after = closed.end() if closed else len(machine.text())
    finally:
        machine.finish(60, os.path.join(args.work, "screenshots.serial.log"))
    written = sorted(written.values())
    for path in written:
        print(path)
    print("%d of %d pages" % (len(written), len(names)))
    return 0 if len(written) == len(names) else 1


def run_interactive(args, images):
    esp, vars_file = prepare_work(args, images, args.work)
    write_startup(esp, load_lines() + ["%s all" % SHOW_APP])
    window = "vnc=%s" % args.vnc if args.vnc else "gtk"
    machine = Machine(args, esp, vars_file, args.work, window)
    print("QEMU is running (%s); monitor: %s. Close the window or type `reset -s` in the shell to end."
          % (window, machine.monitor_path))
    try:
        machine.finish(None, os.path.join(args.work, "interactive.serial.log"))
    except KeyboardInterrupt:
        machine.proc.kill()
        machine.finish(10, os.path.join(args.work, "interactive.serial.log"))
    return 0


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--qemu", default="qemu-system-x86_64")
    p.add_argument("--ovmf-code", default="/usr/share/OVMF/OVMF_CODE_4M.fd")
    p.add_argument("--ovmf-vars", default="/usr/share/OVMF/OVMF_VARS_4M.fd")
    p.add_argument("--work", required=True, help="scratch folder, emptied first")
    p.add_argument("--packages", help="folder of the compiled package lists (class_<hex>.hpk); "
                   "default: forms/packages beside the images' build folder")
    mode = p.add_mutually_exclusive_group(required=True)
    mode.add_argument("--walk", action="store_true")
    mode.add_argument("--screenshots", metavar="DIR")
    mode.add_argument("--interactive", action="store_true")
    p.add_argument("--vnc", metavar="DISPLAY", help="with --interactive: a VNC display such as :1 instead of GTK")
    p.add_argument("images", nargs="+", help="the .efi images to put on the FAT drive")
    args = p.parse_args()

    images = {os.path.basename(i): i for i in args.images}
    missing = [n for n in DRIVERS + (SHOW_APP,) if n not in images]
    missing += [f for f in (args.ovmf_code, args.ovmf_vars) if not os.path.isfile(f)]
    missing += [args.qemu] if shutil.which(args.qemu) is None else []
    if missing:
        print("missing: %s\n0 passed, 1 failed" % ", ".join(missing))
        return 1
    if args.packages is None:
        build = os.path.dirname(os.path.dirname(os.path.abspath(images[SHOW_APP])))
        args.packages = os.path.join(build, "forms", "packages")
    if args.walk:
        return run_walk(args, images)
    if args.screenshots:
        return run_screenshots(args, images)
    return run_interactive(args, images)


if __name__ == "__main__":
    sys.exit(main())
