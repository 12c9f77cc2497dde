#!/usr/bin/env python3
"""The form compiler: faulty sources stop it with a message that names the
fault; good sources give package lists whose blocks skip the unused IDs."""

import json
import os
import struct
import subprocess
import sys
import tempfile
import unittest

FORMC = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "../../../forms/formc.py")


def source(**changes):
    form = {
        "class": "0x8",
        "subclass": 0,
        "guid": "2C0C4EDF-4A8F-450E-BE2D-B600CD8677BD",
        "name": "Tools",
        "title": "0x0001",
        "languages": ["en-US", "de-DE"],
        "strings": {
            "0x0001": {"en-US": "Tools", "de-DE": "Werkzeuge"},
            "0x0005": {"en-US": "Five", "de-DE": "F\u00fcnf"},
            "0x0006": {"en-US": "Six", "de-DE": "Sechs"},
            "0x0300": {"en-US": "Far", "de-DE": "Weit"},
        },
    }
    form.update(changes)
    return json.dumps(form, ensure_ascii=False)


class FormcTest(unittest.TestCase):
    def run_formc(self, *texts):
        with tempfile.TemporaryDirectory() as work:
            paths = []
            for n, text in enumerate(texts):
                path = os.path.join(work, "form%d.json" % n)
                with open(path, "w", encoding="utf-8") as f:
                    f.write(text)
                paths.append(path)
            out = os.path.join(work, "out.cpp")
            bins = os.path.join(work, "bin")
            result = subprocess.run([sys.executable, FORMC, "--output", out, "--bin-dir", bins] + paths,
                                    capture_output=True, text=True)
            packages = {}
            if result.returncode == 0:
                for name in os.listdir(bins):
                    with open(os.path.join(bins, name), "rb") as f:
                        packages[name] = f.read()
            return result, packages

    def assert_refused(self, text, message):
        result, _ = self.run_formc(text)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn(message, result.stderr)

    def test_faulty_sources_are_refused(self):
        self.assert_refused(source().replace('"0x0006"', '"0x0005"'), "duplicate key")
        self.assert_refused(source(strings={"0x0001": {"en-US": "a", "de-DE": "b"},
                                            "0x01": {"en-US": "a", "de-DE": "b"}}), "defined twice")
        self.assert_refused(source(strings={"0x0001": {"en-US": "Tools"}}), "missing language de-DE")
        self.assert_refused(source(strings={"0x0001": {"en-US": "a", "de-DE": "b", "fr-FR": "c"}}),
                            "not in the form set's languages")
        self.assert_refused(source(strings={"0x0001": {"en-US": "a\U0001F600", "de-DE": "b"}}), "not UCS-2")
        self.assert_refused(source(strings={"0x0001": {"en-US": "a\u0000b", "de-DE": "b"}}), "NUL")
        self.assert_refused(source(strings={"0x0000": {"en-US": "a", "de-DE": "b"}}), "start at 1")
        self.assert_refused(source(strings={"0x10000": {"en-US": "a", "de-DE": "b"}}), "out of range")
        self.assert_refused(source(title="0x0002"), "title string 0x0002")
        self.assert_refused(source(guid="2C0C4EDF-4A8F-450E-BE2D"), "guid")
        self.assert_refused(source(languages=["en-US", "EN-us"]), "listed twice")
        self.assert_refused(source(languages=["en_US"]), "RFC 4646")
        self.assert_refused("{", "form0.json")

    def test_two_form_sets_may_not_share_a_class_or_guid(self):
        other = source(guid="00000000-0000-0000-0000-000000000001")
        result, _ = self.run_formc(source(), other)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("class 0x8 is also used", result.stderr)
        result, _ = self.run_formc(source(), source(**{"class": "0x10"}))
        self.assertIn("guid", result.stderr)

    def test_package_list_layout(self):
        result, packages = self.run_formc(source())
        self.assertEqual(result.returncode, 0, result.stderr)
        data = packages["class_8.hpk"]
        self.assertEqual(data[:4], struct.pack("<I", 0x2C0C4EDF))
        self.assertEqual(struct.unpack_from("<I", data, 16)[0], len(data))
        self.assertEqual(data[-4:], struct.pack("<I", 4 | (0xDF << 24)))

        # First string package: en-US.
        word = struct.unpack_from("<I", data, 20)[0]
        length, kind = word & 0xFFFFFF, word >> 24
        self.assertEqual(kind, 0x04)
        hdr_size, info = struct.unpack_from("<II", data, 24)
        self.assertEqual(hdr_size, 46 + len("en-US") + 1)
        self.assertEqual(info, hdr_size)
        self.assertEqual(data[20 + 46:20 + hdr_size], b"en-US\0")
        blocks = data[20 + info:20 + length]
        expected = (b"\x14" + "Tools".encode("utf-16-le") + b"\0\0"
                    + b"\x22\x03"  # SKIP1 over 2-4
                    + b"\x16\x02\x00" + "Five".encode("utf-16-le") + b"\0\0" + "Six".encode("utf-16-le") + b"\0\0"
                    + b"\x21\xF9\x02"  # SKIP2 over 7-0x2FF
                    + b"\x14" + "Far".encode("utf-16-le") + b"\0\0" + b"\x00")
        self.assertEqual(blocks, expected)
        # Walk the skip blocks to the last string: its ID must come out as 0x300.
        pos, next_id = 0, 1
        ids = {}
        while blocks[pos] != 0x00:
            t = blocks[pos]
            if t == 0x14:
                end = blocks.index(b"\0\0", pos + 1)
                while (end - pos - 1) % 2:
                    end = blocks.index(b"\0\0", end + 1)
                ids[next_id] = blocks[pos + 1:end].decode("utf-16-le")
                next_id += 1
                pos = end + 2
            elif t == 0x16:
                count = struct.unpack_from("<H", blocks, pos + 1)[0]
                pos += 3
                for _ in range(count):
                    end = pos
                    while blocks[end:end + 2] != b"\0\0":
                        end += 2
                    ids[next_id] = blocks[pos:end].decode("utf-16-le")
                    next_id += 1
                    pos = end + 2
            elif t == 0x22:
                next_id += blocks[pos + 1]
                pos += 2
            elif t == 0x21:
                next_id += struct.unpack_from("<H", blocks, pos + 1)[0]
                pos += 3
            else:
                self.fail("unexpected block 0x%02X" % t)
        self.assertEqual(ids, {1: "Tools", 5: "Five", 6: "Six", 0x300: "Far"})
        self.assertEqual(pos, len(blocks) - 1)


if __name__ == "__main__":
    unittest.main()
