#!/usr/bin/env python3
"""The form compiler: faulty sources stop it with a message that names the
fault; good sources give package lists whose blocks skip the unused IDs."""

import json
import os
import re
import glob
import struct
import subprocess
import sys
import tempfile
import unittest

FORMC = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "../../../forms/formc.py")
ROOT = os.path.join(os.path.dirname(os.path.abspath(FORMC)), "..")
SETUP_GUID = "EC87D643-EBA4-4BB5-A1E5-3F3E36B20DA9"
SETUP_SIZE = 1172


def guid_text(raw):
    d1, d2, d3 = struct.unpack_from("<IHH", raw)
    return "%08X-%04X-%04X-%s-%s" % (d1, d2, d3, raw[8:10].hex().upper(), raw[10:16].hex().upper())


def packages(data):
    """(type, bytes) of each package of a package list, end package included."""
    pos, out = 20, []
    while pos < len(data):
        word = struct.unpack_from("<I", data, pos)[0]
        length, kind = word & 0xFFFFFF, word >> 24
        if length < 4 or pos + length > len(data):
            raise AssertionError("package at %d does not fit" % pos)
        out.append((kind, data[pos:pos + length]))
        pos += length
    return out


def decode_ifr(package):
    """Walks the opcodes of a form package: the scopes must balance. Gives the
    form set GUID, the stores by id and the questions as dicts."""
    ops = package[4:]
    pos, depth = 0, []
    result = {"formset": None, "stores": {}, "questions": [], "strings": set()}
    while pos < len(ops):
        code, byte = ops[pos], ops[pos + 1]
        length, scope = byte & 0x7F, byte >> 7
        if length < 2 or pos + length > len(ops):
            raise AssertionError("opcode 0x%02X at %d does not fit" % (code, pos))
        body = ops[pos + 2:pos + length]
        if code == 0x29:
            if not depth:
                raise AssertionError("END at %d closes nothing" % pos)
            depth.pop()
        elif scope:
            depth.append(code)
        if code == 0x0E:
            result["formset"] = guid_text(body[:16])
            result["class_guids"] = [guid_text(body[21 + 16 * i:37 + 16 * i]) for i in range(body[20] & 3)]
            result["strings"].update(struct.unpack_from("<HH", body, 16))
        elif code == 0x26:
            store_id = struct.unpack_from("<H", body)[0]
            attributes, size = struct.unpack_from("<IH", body, 18)
            name = body[24:body.index(b"\0", 24)].decode("ascii")
            result["stores"][store_id] = (name, guid_text(body[2:18]), size, attributes)
        elif code in (0x05, 0x06, 0x07, 0x0C):
            prompt, help_, qid, store, offset, flags = struct.unpack_from("<HHHHHB", body)
            width = {0x06: 1, 0x0C: 0}.get(code, 1 << (body[11] & 3) if code in (0x05, 0x07) else 0)
            result["questions"].append({"op": code, "id": qid, "store": store, "offset": offset, "width": width, "flags": flags})
            result["strings"].update((prompt, help_))
        elif code in (0x02, 0x03):
            result["strings"].update(v for v in struct.unpack_from("<HH", body) if v)
            if code == 0x03 and struct.unpack_from("<H", body, 4)[0]:
                result["strings"].add(struct.unpack_from("<H", body, 4)[0])
        elif code == 0x09:
            result["strings"].add(struct.unpack_from("<H", body)[0])
        pos += length
    if depth:
        raise AssertionError("scopes left open: %s" % depth)
    return result


def item_table():
    """(class, key) of every row of the driver's item callback table."""
    with open(os.path.join(ROOT, "setupinfo/core/item_callback_table.cpp"), encoding="utf-8") as f:
        text = f.read()
    rows = set()
    for m in re.finditer(r"\bKeys?\((0x[0-9A-Fa-f]+), (0x[0-9A-Fa-f]+)(?:, (0x[0-9A-Fa-f]+))?, \w+(?:, (\d+))?\)", text):
        cls, first = int(m.group(1), 16), int(m.group(2), 16)
        last = int(m.group(3), 16) if m.group(3) else first
        step = int(m.group(4)) if m.group(4) else 1
        rows.update((cls, k) for k in range(first, last + 1, step))
    return rows


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


class FormcCase(unittest.TestCase):
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


class FormcTest(FormcCase):
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


def form(**changes):
    body = {
        "guid": "0E0C4EDF-4A8F-450E-BE2D-B600CD8677BD",
        "stores": {"Setup": {"id": 1, "guid": SETUP_GUID, "size": 16, "attributes": 7}},
        "prompt_ids": ["0x0100", "0x0110"],
        "items": [
            {"subtitle": "0x0005"},
            {"text": {"en-US": "Label", "de-DE": "Etikett"}, "value": "0x0006"},
            {"numeric": "0x0413", "prompt": "0x0005", "store": "Setup", "offset": 14, "width": 2, "max": 1000},
            {"oneof": "0x0414", "prompt": "0x0005", "store": "Setup", "offset": 3,
             "options": [[0, "0x0006"], [2, {"en-US": "Two", "de-DE": "Zwei"}]]},
            {"checkbox": "0x0415", "prompt": "0x0006", "store": "Setup", "offset": 15},
            {"action": "0x0416", "prompt": "0x0005"},
        ],
    }
    body.update(changes)
    return body


class FormTest(FormcCase):
    def compiled(self, **changes):
        result, packages_ = self.run_formc(source(form=form(**changes)))
        self.assertEqual(result.returncode, 0, result.stderr)
        return packages_["class_8.hpk"]

    def test_form_package_follows_the_strings_and_decodes(self):
        data = self.compiled()
        kinds = [k for k, _ in packages(data)]
        self.assertEqual(kinds, [0x04, 0x04, 0x02, 0xDF])
        ifr = decode_ifr(packages(data)[2][1])
        self.assertEqual(ifr["formset"], "0E0C4EDF-4A8F-450E-BE2D-B600CD8677BD")
        self.assertEqual(ifr["class_guids"], ["93039971-8545-4B04-B45E-32EB8326040E"])
        self.assertEqual(ifr["stores"], {1: ("Setup", SETUP_GUID, 16, 7)})
        self.assertEqual([(q["op"], q["id"], q["store"], q["offset"], q["width"]) for q in ifr["questions"]],
                         [(0x07, 0x413, 1, 14, 2), (0x05, 0x414, 1, 3, 1), (0x06, 0x415, 1, 15, 1), (0x0C, 0x416, 0, 0xFFFF, 0)])
        self.assertTrue(all(q["flags"] & 0x04 for q in ifr["questions"]))
        # Inline texts got the first IDs of prompt_ids, in every language.
        self.assertIn(0x100, ifr["strings"])
        self.assertIn(0x101, ifr["strings"])
        self.assertNotIn(0x102, ifr["strings"])
        en = packages(data)[0][1]
        self.assertIn("Label".encode("utf-16-le"), en)
        self.assertIn("Zwei".encode("utf-16-le"), packages(data)[1][1])

    def test_a_form_set_without_a_form_has_no_form_package(self):
        result, packages_ = self.run_formc(source())
        self.assertEqual([k for k, _ in packages(packages_["class_8.hpk"])], [0x04, 0x04, 0xDF])

    def test_faulty_forms_are_refused(self):
        item = lambda **kv: dict({"numeric": "0x0413", "prompt": "0x0005", "store": "Setup", "offset": 0}, **kv)
        cases = [
            (form(items=[item(offset=15, width=2)]), "lies outside Setup"),
            (form(items=[item(), item()]), "used twice"),
            (form(items=[item(store="Other")]), "not declared"),
            (form(items=[item(width=3)]), "width must be"),
            (form(items=[item(min=5, max=4)]), "min is above max"),
            (form(items=[item(max=256)]), "out of range"),
            (form(items=[{"text": "0x0099"}]), "0x0099 is not defined"),
            (form(items=[{"text": {"en-US": "x"}}]), "exactly the languages"),
            (form(items=[{"subtitle": "0x0005", "text": "0x0005"}]), "exactly one of"),
            (form(items=[{"oneof": "0x0414", "prompt": "0x0005", "store": "Setup", "offset": 0,
                          "options": [[1, "0x0005"], [1, "0x0006"]]}]), "listed twice"),
            (form(guid="2C0C4EDF-4A8F-450E-BE2D-B600CD8677BD"), "must differ"),
            (form(prompt_ids=["0x0005", "0x0010"]), "holds string 0x0005"),
            (form(prompt_ids=["0x0301", "0x0400"]), "highest string ID"),
            (form(prompt_ids=["0x0100", "0x0100"]), "no ID left"),
            (form(prompt_ids="0x0100"), "[first, last]"),
            (form(stores={"Setup": {"id": 0, "guid": SETUP_GUID, "size": 16, "attributes": 7}}), "non-zero and unique"),
            (form(colour=1), "unknown keys"),
        ]
        for body, message in cases:
            with self.subTest(message=message):
                self.assert_refused(source(form=body), message)


class ShippedFormsTest(unittest.TestCase):
    """The nine form sets as shipped: their IFR balances, every question lies
    inside its store, and every key of the item callback table is exactly one
    question of its form set, with the callback flag."""

    @classmethod
    def setUpClass(cls):
        sources = sorted(glob.glob(os.path.join(ROOT, "forms", "*.json")))
        with tempfile.TemporaryDirectory() as work:
            result = subprocess.run([sys.executable, FORMC, "--output", os.path.join(work, "out.cpp"),
                                     "--bin-dir", work] + sources, capture_output=True, text=True)
            if result.returncode != 0:
                raise AssertionError(result.stderr)
            cls.sets = {}
            for path in sources:
                with open(path, encoding="utf-8") as f:
                    src = json.load(f)
                with open(os.path.join(work, "class_%x.hpk" % int(src["class"], 16)), "rb") as f:
                    data = f.read()
                forms = [p for k, p in packages(data) if k == 0x02]
                cls.sets[int(src["class"], 16)] = (src, data, forms)

    def test_every_form_set_has_one_balanced_form_over_the_setup_record(self):
        self.assertEqual(len(self.sets), 9)
        for cls_, (src, data, forms) in self.sets.items():
            with self.subTest(form_set=src["name"]):
                self.assertEqual(len(forms), 1)
                ifr = decode_ifr(forms[0])
                self.assertNotEqual(ifr["formset"], src["guid"].upper())
                stores = {v[0]: v for v in ifr["stores"].values()}
                self.assertEqual(stores["Setup"][1:3], (SETUP_GUID, SETUP_SIZE))
                for q in ifr["questions"]:
                    if q["op"] != 0x0C:
                        self.assertLessEqual(q["offset"] + q["width"], ifr["stores"][q["store"]][2], hex(q["id"]))
                ids = [q["id"] for q in ifr["questions"]]
                self.assertEqual(len(ids), len(set(ids)))

    def test_every_item_callback_key_is_one_callback_question(self):
        table = item_table()
        self.assertEqual(len(table), 185)
        seen = set()
        for cls_, (src, data, forms) in self.sets.items():
            for q in decode_ifr(forms[0])["questions"]:
                with self.subTest(form_set=src["name"], key=hex(q["id"])):
                    self.assertIn((cls_, q["id"]), table)
                    self.assertTrue(q["flags"] & 0x04)
                    seen.add((cls_, q["id"]))
        self.assertEqual(table - seen, set())

    def test_shipped_string_ids_keep_their_texts(self):
        # Prompts only add IDs: every ID of the sources is still there with its text.
        for cls_, (src, data, forms) in self.sets.items():
            en = packages(data)[0][1]
            for key, texts in src["strings"].items():
                if texts["en-US"]:
                    self.assertIn(texts["en-US"].encode("utf-16-le") + b"\0\0", en, key)


if __name__ == "__main__":
    unittest.main()
