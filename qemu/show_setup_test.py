#!/usr/bin/env python3
"""What the browser walk's runner reads and judges: pictures, forms, action order."""

import os
import struct
import sys
import unittest
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import show_setup as ss  # noqa: E402


def png_pixels(png):
    """(width, height, RGB bytes) of an 8-bit RGB PNG without interlace, filter 0 rows only."""
    assert png[:8] == b"\x89PNG\r\n\x1a\n"
    at, idat, header = 8, b"", None
    while at < len(png):
        length, kind = struct.unpack_from(">I4s", png, at)
        data = png[at + 8:at + 8 + length]
        crc = struct.unpack_from(">I", png, at + 8 + length)[0]
        assert crc == zlib.crc32(kind + data) & 0xFFFFFFFF, kind
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", data)
        elif kind == b"IDAT":
            idat += data
        at += 12 + length
    width, height = header[0], header[1]
    assert header[2:] == (8, 2, 0, 0, 0)
    raw = zlib.decompress(idat)
    stride = 1 + width * 3
    assert all(raw[y * stride] == 0 for y in range(height))
    return width, height, b"".join(raw[y * stride + 1:(y + 1) * stride] for y in range(height))


class PictureTest(unittest.TestCase):
    def test_pixels_survive_the_conversion(self):
        pixels = bytes((x * 37 + y * 11 + c) & 0xFF for y in range(5) for x in range(7) for c in range(3))
        for header in (b"P6\n7 5\n255\n", b"P6 # from the monitor\n7\n5 255\n"):
            self.assertEqual(png_pixels(ss.ppm_to_png(header + pixels)), (7, 5, pixels))

    def test_refuses_what_it_cannot_convert(self):
        for ppm in (b"P3\n1 1\n255\n0 0 0", b"P6\n2 2\n65535\n" + bytes(24), b"P6\n2 2\n255\n" + bytes(11)):
            with self.assertRaises(ValueError):
                ss.ppm_to_png(ppm)


def op(code, body=b"", scope=False):
    return bytes([code, (2 + len(body)) | (0x80 if scope else 0)]) + body


def question(code, qid, flags=0, extra=b""):
    # prompt, help, question ID, varstore, offset, flags
    return op(code, struct.pack("<HHHHHB", 1, 2, qid, 1, 0, flags) + extra)


def package_list(ifr):
    forms = struct.pack("<I", (4 + len(ifr)) | (0x02 << 24)) + ifr
    end = struct.pack("<I", 4 | (0xDF << 24))
    return bytes(16) + struct.pack("<I", 20 + len(forms) + len(end)) + forms + end


NUMERIC_U8_0_100 = bytes([0x00, 0, 100, 1])
END = op(ss.IFR_END)


class FormTest(unittest.TestCase):
    def setUp(self):
        ifr = (op(0x0E, bytes(20), scope=True) + op(ss.IFR_FORM, bytes(4), scope=True)
               + op(0x02, bytes(5)) + op(0x03, bytes(6))  # the cursor passes the subtitle, stops on the text
               + question(0x07, 0x48E, 0x04, NUMERIC_U8_0_100)
               + op(ss.IFR_SUPPRESS_IF, scope=True) + op(0x46) + question(0x07, 0x48F, 0x04, NUMERIC_U8_0_100) + END
               + question(0x05, 0x4F0, 0x01)  # read-only
               + question(0x07, 0x490, 0x04, bytes([0x01]) + struct.pack("<HHH", 8, 300, 1))
               + END
               + op(ss.IFR_FORM, bytes(4), scope=True) + question(0x07, 0x700) + END
               + END)
        self.questions = ss.form_questions(package_list(ifr))

    def test_first_form_questions_in_order(self):
        self.assertEqual([(q[1], q[2]) for q in self.questions],
                         [(None, True), (0x48E, True), (0x48F, False), (0x4F0, False), (0x490, True)])
        self.assertEqual(self.questions[4][3], (8, 300))

    def test_downs_count_only_where_the_cursor_stops(self):
        self.assertEqual(ss.downs_to(self.questions, 0x48E), 1)
        self.assertEqual(ss.downs_to(self.questions, 0x490), 2)
        self.assertIsNone(ss.downs_to(self.questions, None))
        for hidden in (0x48F, 0x4F0, 0x700):
            self.assertIsNone(ss.downs_to(self.questions, hidden))

    def test_broken_packages_end_the_walk(self):
        good = package_list(question(0x07, 0x48E))
        self.assertEqual(ss.form_questions(good[:-8]), [])  # length claims more than there is
        self.assertEqual(ss.form_questions(package_list(op(0x07) + bytes([0x07, 0x00]))), [])
        self.assertEqual(ss.form_questions(b""), [])


def seen(*pairs, kind=0):
    return [(0x10, action, qid, value, kind) for action, qid, value in pairs]


class OrderTest(unittest.TestCase):
    CASES = [
        ("open", seen((ss.FORM_OPEN, 1, 0), (ss.FORM_OPEN, 2, 0), (ss.RETRIEVE, 1, 5), (ss.RETRIEVE, 2, 6)), 0),
        ("open", seen((ss.RETRIEVE, 1, 5), (ss.FORM_OPEN, 1, 0)), 1),
        ("open", seen((ss.RETRIEVE, 1, 5)), 2),
        ("open", seen((ss.RETRIEVE, 1, 0), kind=ss.TYPE_ACTION) + seen((ss.FORM_OPEN, 1, 0), (ss.FORM_OPEN, 2, 0)), 0),
        ("open", seen((ss.FORM_OPEN, 1, 0), (ss.CHANGED, 1, 0)), 1),
        ("edit", seen((ss.CHANGING, 0x490, 70), (ss.RETRIEVE, 0x491, 50), (ss.CHANGED, 0x490, 70)), 0),
        ("edit", seen((ss.CHANGED, 0x490, 70), (ss.CHANGING, 0x490, 70)), 1),
        ("edit", seen((ss.CHANGING, 0x491, 70), (ss.CHANGED, 0x491, 70)), 1),
        ("save", seen((ss.SUBMITTED, 0x490, 70)), 0),
        ("save", seen((ss.SUBMITTED, 0x490, 70), (ss.CHANGED, 0x490, 70)), 1),
        ("save", [], 1),
        ("close", seen((ss.FORM_CLOSE, 0x490, 70)), 0),
        ("close", [], 1),
    ]

    def test_cases(self):
        for phase, actions, problems in self.CASES:
            with self.subTest(phase=phase, actions=actions):
                self.assertEqual(len(ss.order_problems(phase, actions, 0x490)), problems)

    def test_runs_name_each_action(self):
        self.assertEqual(ss.action_runs(seen((ss.FORM_OPEN, 1, 0), (ss.FORM_OPEN, 2, 0), (ss.RETRIEVE, 1, 0))),
                         "form-open x2, retrieve")


class ConsoleTest(unittest.TestCase):
    def test_actions_and_record_read_from_console_text(self):
        text = ("x\nACTION class=0x10 action=1 question=0x490 type=0 value=70 status=EFI_SUCCESS\n"
                "SETUPSIZE 40 EFI_SUCCESS\nSETUPHEX 0000 " + "01" * 32 + "\nSETUPHEX 0020 " + "ff" * 8 + "\n")
        self.assertEqual(ss.actions(text), [(0x10, 1, 0x490, 70, 0)])
        self.assertEqual(ss.setup_record(text), b"\x01" * 32 + b"\xff" * 8)
        self.assertIsNone(ss.setup_record("SETUPSIZE 0 EFI_NOT_FOUND"))


if __name__ == "__main__":
    unittest.main()
