#!/usr/bin/env python3
"""Form-set string compiler.

Reads the form-set sources (*.json, one per form set) and writes a C++ source
holding each form set's HII package list as a byte array, plus the lookup
table declared in forms/form_packages.h. A package list is the list header
with the form set's GUID, one string package per language (UCS-2 blocks, SKIP
blocks over unused IDs, an END block) and the end package.

Source format:
  {
    "class": "0x1", "subclass": 0,
    "guid": "985EEE91-BCAC-4238-8778-57EFDC93F24E",
    "name": "Main",                      display name, ASCII
    "title": "0x0001",                   string ID of the form set's title
    "languages": ["en-US", "de-DE", "ja-JP"],
    "strings": {"0x0001": {"en-US": "Main", "de-DE": "...", "ja-JP": "..."}, ...}
  }
Every string carries every language of its form set. Any fault stops the
build with the file and the string ID in the message.

An optional "form" adds a form package (IFR) after the string packages:
  "form": {
    "guid": "...",                       form set GUID (not the package list's)
    "stores": {"Setup": {"id": 1, "guid": "...", "size": 1172, "attributes": 7}},
    "prompt_ids": ["0x0641", "0x06ED"],  first and last ID for texts written inline
    "items": [
      {"subtitle": P},
      {"text": P, "value": P},           value optional
      {"numeric": KEY, "prompt": P, "store": "Setup", "offset": N, "width": 1,
       "min": 0, "max": 255, "step": 0},
      {"oneof": KEY, "prompt": P, "store": ..., "offset": N, "width": 1,
       "options": [[VALUE, P], ...]},
      {"checkbox": KEY, "prompt": P, "store": ..., "offset": N},
      {"action": KEY, "prompt": P}
    ]
  }
P is a string ID of the form set or an object of texts in every language,
which gets the next ID of prompt_ids. That range holds no source string and
lies below the highest one, so IDs that drivers create at run time (after
the highest ID) stay where they were without a form. Every question carries the
callback flag, its key as question ID and the prompt as help.
"""

import argparse
import json
import os
import re
import struct
import sys

PACKAGE_FORMS = 0x02
PACKAGE_STRINGS = 0x04
PACKAGE_END = 0xDF
SIBT_END = 0x00
SIBT_STRING_UCS2 = 0x14
SIBT_STRINGS_UCS2 = 0x16
SIBT_SKIP2 = 0x21
SIBT_SKIP1 = 0x22
STRING_PACKAGE_FIXED_HEADER = 46
PACKAGE_MAX_LENGTH = 0xFFFFFF

GUID_RE = re.compile(r"^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$")
LANGUAGE_RE = re.compile(r"^[A-Za-z]{2,8}(-[A-Za-z0-9]{1,8})*$")


class FormError(Exception):
    pass


def reject_duplicate_keys(pairs):
    seen = {}
    for key, value in pairs:
        if key in seen:
            raise FormError("duplicate key %r" % key)
        seen[key] = value
    return seen


def parse_number(text, what, limit):
    if isinstance(text, int) and not isinstance(text, bool):
        value = text
    elif isinstance(text, str):
        try:
            value = int(text, 0)
        except ValueError:
            raise FormError("%s %r is not a number" % (what, text))
    else:
        raise FormError("%s %r is not a number" % (what, text))
    if not 0 <= value <= limit:
        raise FormError("%s %r is out of range" % (what, text))
    return value


def guid_bytes(text):
    if not isinstance(text, str) or not GUID_RE.match(text):
        raise FormError("guid %r is not of the form XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" % (text,))
    parts = text.split("-")
    tail = bytes.fromhex(parts[3] + parts[4])
    return struct.pack("<IHH", int(parts[0], 16), int(parts[1], 16), int(parts[2], 16)) + tail


def check_text(text, where):
    if not isinstance(text, str):
        raise FormError("%s: text must be a string" % where)
    for ch in text:
        code = ord(ch)
        if code == 0:
            raise FormError("%s: NUL inside the text" % where)
        if code > 0xFFFF or 0xD800 <= code <= 0xDFFF:
            raise FormError("%s: character U+%04X is not UCS-2" % (where, code))


def load_form_set(path):
    try:
        with open(path, encoding="utf-8") as f:
            source = json.load(f, object_pairs_hook=reject_duplicate_keys)
    except (OSError, ValueError) as e:
        raise FormError(str(e))
    if not isinstance(source, dict):
        raise FormError("the source is not an object")
    required = ("class", "subclass", "guid", "name", "title", "languages", "strings")
    for key in required:
        if key not in source:
            raise FormError("missing %r" % key)
    unknown = set(source) - set(required) - {"form"}
    if unknown:
        raise FormError("unknown keys %s" % sorted(unknown))

    form = {
        "class": parse_number(source["class"], "class", 0xFFFF),
        "subclass": parse_number(source["subclass"], "subclass", 0xFFFF),
        "guid_text": source["guid"],
        "guid": guid_bytes(source["guid"]),
    }
    name = source["name"]
    if not isinstance(name, str) or not name or not all(0x20 <= ord(c) < 0x7F for c in name) or '"' in name or "\\" in name:
        raise FormError("name must be printable ASCII without quotes or backslashes")
    form["name"] = name

    languages = source["languages"]
    if not isinstance(languages, list) or not languages:
        raise FormError("languages must be a non-empty list")
    for language in languages:
        if not isinstance(language, str) or not LANGUAGE_RE.match(language):
            raise FormError("language %r is not an RFC 4646 code" % (language,))
    if len(set(l.lower() for l in languages)) != len(languages):
        raise FormError("a language is listed twice")
    form["languages"] = languages

    strings = source["strings"]
    if not isinstance(strings, dict) or not strings:
        raise FormError("strings must be a non-empty object")
    table = {}
    for key, texts in strings.items():
        string_id = parse_number(key, "string ID", 0xFFFF)
        where = "string %s" % key
        if string_id == 0:
            raise FormError("%s: string IDs start at 1" % where)
        if string_id in table:
            raise FormError("%s: string ID 0x%04X is defined twice" % (where, string_id))
        if not isinstance(texts, dict):
            raise FormError("%s: must map languages to texts" % where)
        missing = [l for l in languages if l not in texts]
        if missing:
            raise FormError("%s: missing language %s" % (where, ", ".join(missing)))
        extra = [l for l in texts if l not in languages]
        if extra:
            raise FormError("%s: language %s is not in the form set's languages" % (where, ", ".join(extra)))
        for language in languages:
            check_text(texts[language], "%s (%s)" % (where, language))
        table[string_id] = texts
    form["strings"] = table

    title = parse_number(source["title"], "title", 0xFFFF)
    if title not in table:
        raise FormError("title string 0x%04X is not defined" % title)
    form["title"] = title
    form["ifr"] = None
    if "form" in source:
        form["ifr"] = compile_form(source["form"], form)
    return form


# ---- forms (IFR) ------------------------------------------------------------

IFR_FORM = 0x01
IFR_SUBTITLE = 0x02
IFR_TEXT = 0x03
IFR_ONE_OF = 0x05
IFR_CHECKBOX = 0x06
IFR_NUMERIC = 0x07
IFR_ONE_OF_OPTION = 0x09
IFR_ACTION = 0x0C
IFR_FORM_SET = 0x0E
IFR_VARSTORE_EFI = 0x26
IFR_END = 0x29
IFR_DEFAULTSTORE = 0x5C
FLAG_CALLBACK = 0x04
NUMERIC_DISPLAY_DEC = 0x10
OPTION_DEFAULT = 0x10
WIDTH_CODES = {1: 0, 2: 1, 4: 2, 8: 3}  # EFI_IFR_TYPE_NUM_SIZE_*, also the numeric size flag
# The browser lists a form set on its front page by this class GUID.
PLATFORM_SETUP_CLASS_GUID = "93039971-8545-4B04-B45E-32EB8326040E"
FORM_ID = 1
STANDARD_DEFAULT_ID = 0
FORM_KEYS = ("guid", "stores", "prompt_ids", "items")
ITEM_KINDS = ("subtitle", "text", "numeric", "oneof", "checkbox", "action")
ITEM_KEYS = {
    "subtitle": {"subtitle"},
    "text": {"text", "value"},
    "numeric": {"numeric", "prompt", "store", "offset", "width", "min", "max", "step"},
    "oneof": {"oneof", "prompt", "store", "offset", "width", "options"},
    "checkbox": {"checkbox", "prompt", "store", "offset"},
    "action": {"action", "prompt"},
}


def op(code, body, scope=False):
    length = 2 + len(body)
    if length > 0x7F:
        raise FormError("opcode 0x%02X is longer than 127 bytes" % code)
    return bytes([code, length | (0x80 if scope else 0)]) + body


def end_op():
    return op(IFR_END, b"")


class FormCompiler:
    def __init__(self, form):
        self.form = form
        self.strings = form["strings"]
        self.languages = form["languages"]
        self.next_prompt = None
        self.last_prompt = None
        self.question_ids = set()

    def string(self, value, where):
        """A string ID for P: an existing ID, or inline texts given a new ID."""
        if isinstance(value, dict):
            if self.next_prompt is None:
                raise FormError("%s: inline texts need prompt_ids" % where)
            missing = [l for l in self.languages if l not in value]
            extra = [l for l in value if l not in self.languages]
            if missing or extra:
                raise FormError("%s: inline texts must give exactly the languages %s" % (where, ", ".join(self.languages)))
            for language in self.languages:
                check_text(value[language], "%s (%s)" % (where, language))
            if self.next_prompt > self.last_prompt:
                raise FormError("%s: prompt_ids has no ID left" % where)
            string_id = self.next_prompt
            self.strings[string_id] = dict(value)
            self.next_prompt += 1
            return string_id
        string_id = parse_number(value, "%s: string ID" % where, 0xFFFF)
        if string_id not in self.strings:
            raise FormError("%s: string 0x%04X is not defined" % (where, string_id))
        return string_id

    def stores(self, stores):
        if not isinstance(stores, dict):
            raise FormError("stores must be an object")
        out, table, ids = b"", {}, set()
        for name, store in stores.items():
            where = "store %s" % name
            if not isinstance(store, dict) or set(store) != {"id", "guid", "size", "attributes"}:
                raise FormError("%s: needs exactly id, guid, size and attributes" % where)
            if not name or not all(0x20 < ord(c) < 0x7F for c in name):
                raise FormError("%s: the name must be printable ASCII" % where)
            store_id = parse_number(store["id"], "%s: id" % where, 0xFFFF)
            if store_id == 0 or store_id in ids:
                raise FormError("%s: id must be non-zero and unique" % where)
            ids.add(store_id)
            size = parse_number(store["size"], "%s: size" % where, 0xFFFF)
            if size == 0:
                raise FormError("%s: size must be non-zero" % where)
            attributes = parse_number(store["attributes"], "%s: attributes" % where, 0xFFFFFFFF)
            body = struct.pack("<H", store_id) + guid_bytes(store["guid"]) + struct.pack("<IH", attributes, size)
            out += op(IFR_VARSTORE_EFI, body + name.encode("ascii") + b"\0")
            table[name] = (store_id, size)
        self.store_table = table
        return out

    def question_header(self, item, kind, where, width):
        """Statement and question header; the varstore fields for stored questions."""
        key = parse_number(item[kind], "%s: key" % where, 0xFFFF)
        if key == 0 or key in self.question_ids:
            raise FormError("%s: key 0x%04X is zero or used twice" % (where, key))
        self.question_ids.add(key)
        prompt = self.string(item.get("prompt"), where + " prompt")
        store_id, offset = 0, 0xFFFF
        if kind != "action":
            name = item.get("store")
            if name not in self.store_table:
                raise FormError("%s: store %r is not declared" % (where, name))
            store_id, size = self.store_table[name]
            offset = parse_number(item.get("offset"), "%s: offset" % where, 0xFFFF)
            if offset + width > size:
                raise FormError("%s: offset 0x%X width %d lies outside %s (%d bytes)" % (where, offset, width, name, size))
        return struct.pack("<HHHHHB", prompt, prompt, key, store_id, offset, FLAG_CALLBACK)

    def item(self, item, n):
        if not isinstance(item, dict):
            raise FormError("item %d is not an object" % n)
        kinds = [k for k in ITEM_KINDS if k in item]
        if len(kinds) != 1:
            raise FormError("item %d must name exactly one of %s" % (n, ", ".join(ITEM_KINDS)))
        kind = kinds[0]
        where = "item %d (%s)" % (n, kind)
        unknown = set(item) - ITEM_KEYS[kind]
        if unknown:
            raise FormError("%s: unknown keys %s" % (where, sorted(unknown)))
        if kind == "subtitle":
            title = self.string(item["subtitle"], where)
            return op(IFR_SUBTITLE, struct.pack("<HHB", title, title, 0))
        if kind == "text":
            prompt = self.string(item["text"], where)
            value = self.string(item["value"], where + " value") if "value" in item else 0
            return op(IFR_TEXT, struct.pack("<HHH", prompt, prompt, value))
        if kind == "action":
            return op(IFR_ACTION, self.question_header(item, kind, where, 0))
        if kind == "checkbox":
            return op(IFR_CHECKBOX, self.question_header(item, kind, where, 1) + b"\0")
        width = item.get("width", 1)
        if width not in WIDTH_CODES:
            raise FormError("%s: width must be 1, 2, 4 or 8" % where)
        code = WIDTH_CODES[width]
        limit = (1 << (8 * width)) - 1
        header = self.question_header(item, kind, where, width)
        fmt = "<" + "BHIQ"[code] * 3
        if kind == "numeric":
            low = parse_number(item.get("min", 0), "%s: min" % where, limit)
            high = parse_number(item.get("max", limit), "%s: max" % where, limit)
            step = parse_number(item.get("step", 0), "%s: step" % where, limit)
            if low > high:
                raise FormError("%s: min is above max" % where)
            body = header + bytes([code | NUMERIC_DISPLAY_DEC]) + struct.pack(fmt, low, high, step)
            return op(IFR_NUMERIC, body, scope=True) + end_op()
        options = item.get("options")
        if not isinstance(options, list) or not options:
            raise FormError("%s: options must be a non-empty list" % where)
        body = header + bytes([code | NUMERIC_DISPLAY_DEC]) + struct.pack(fmt, 0, limit, 0)
        out = op(IFR_ONE_OF, body, scope=True)
        values = set()
        for k, option in enumerate(options):
            if not isinstance(option, list) or len(option) != 2:
                raise FormError("%s: option %d must be [value, text]" % (where, k))
            value = parse_number(option[0], "%s: option %d value" % (where, k), limit)
            if value in values:
                raise FormError("%s: option value %d is listed twice" % (where, value))
            values.add(value)
            text = self.string(option[1], "%s option %d" % (where, k))
            flags = OPTION_DEFAULT if k == 0 else 0
            out += op(IFR_ONE_OF_OPTION, struct.pack("<HBB", text, flags, code) + struct.pack("<" + "BHIQ"[code], value))
        return out + end_op()

    def compile(self, source):
        if not isinstance(source, dict):
            raise FormError("form must be an object")
        for key in ("guid", "stores", "items"):
            if key not in source:
                raise FormError("form: missing %r" % key)
        unknown = set(source) - set(FORM_KEYS)
        if unknown:
            raise FormError("form: unknown keys %s" % sorted(unknown))
        if "prompt_ids" in source:
            ids = source["prompt_ids"]
            if not isinstance(ids, list) or len(ids) != 2:
                raise FormError("prompt_ids must be [first, last]")
            first = parse_number(ids[0], "prompt_ids first", 0xFFFF)
            last = parse_number(ids[1], "prompt_ids last", 0xFFFF)
            if not 0 < first <= last < max(self.strings):
                raise FormError("prompt_ids must lie between 1 and the highest string ID")
            inside = [i for i in self.strings if first <= i <= last]
            if inside:
                raise FormError("prompt_ids holds string 0x%04X of the source" % inside[0])
            self.next_prompt, self.last_prompt = first, last
            self.form["prompt_ids"] = (first, last)
        form_set_guid = guid_bytes(source["guid"])
        if form_set_guid == self.form["guid"]:
            raise FormError("form: the form set GUID must differ from the package list's")
        title = self.form["title"]
        items = source["items"]
        if not isinstance(items, list) or not items:
            raise FormError("form: items must be a non-empty list")
        body = self.stores(source["stores"])
        # A browser loading defaults looks for the standard default store; the
        # first option of each one-of is its default.
        body += op(IFR_DEFAULTSTORE, struct.pack("<HH", title, STANDARD_DEFAULT_ID))
        form_body = b"".join(self.item(item, n) for n, item in enumerate(items))
        form_ops = op(IFR_FORM, struct.pack("<HH", FORM_ID, title), scope=True) + form_body + end_op()
        head = form_set_guid + struct.pack("<HHB", title, title, 1) + guid_bytes(PLATFORM_SETUP_CLASS_GUID)
        ifr = op(IFR_FORM_SET, head, scope=True) + body + form_ops + end_op()
        return package_header(4 + len(ifr), PACKAGE_FORMS) + ifr


def compile_form(source, form):
    try:
        return FormCompiler(form).compile(source)
    except FormError as e:
        raise FormError("form: %s" % e)


def ucs2(text):
    return text.encode("utf-16-le") + b"\0\0"


def string_blocks(ids, texts_of):
    """Blocks for the sorted string IDs: runs of neighbours share one
    STRINGS block, gaps become SKIP blocks."""
    out = bytearray()
    next_id = 1
    i = 0
    while i < len(ids):
        gap = ids[i] - next_id
        while gap > 0:
            if gap <= 0xFF:
                out += struct.pack("<BB", SIBT_SKIP1, gap)
                gap = 0
            else:
                step = min(gap, 0xFFFF)
                out += struct.pack("<BH", SIBT_SKIP2, step)
                gap -= step
        run = 1
        while i + run < len(ids) and ids[i + run] == ids[i] + run and run < 0xFFFF:
            run += 1
        if run == 1:
            out += bytes([SIBT_STRING_UCS2]) + ucs2(texts_of(ids[i]))
        else:
            out += struct.pack("<BH", SIBT_STRINGS_UCS2, run)
            for k in range(run):
                out += ucs2(texts_of(ids[i + k]))
        next_id = ids[i] + run
        i += run
    out += bytes([SIBT_END])
    return bytes(out)


def package_header(length, kind):
    if length > PACKAGE_MAX_LENGTH:
        raise FormError("a package is longer than 0xFFFFFF bytes")
    return struct.pack("<I", length | (kind << 24))


def string_package(form, language):
    ids = sorted(form["strings"])
    blocks = string_blocks(ids, lambda i: form["strings"][i][language])
    language_field = language.encode("ascii") + b"\0"
    hdr_size = STRING_PACKAGE_FIXED_HEADER + len(language_field)
    length = hdr_size + len(blocks)
    header = package_header(length, PACKAGE_STRINGS)
    header += struct.pack("<II", hdr_size, hdr_size)
    header += b"\0" * 32  # LanguageWindow
    header += struct.pack("<H", 0)  # LanguageName: no name string
    return header + language_field + blocks


def package_list(form):
    body = b"".join(string_package(form, l) for l in form["languages"])
    if form.get("ifr"):
        body += form["ifr"]
    body += package_header(4, PACKAGE_END)
    length = 20 + len(body)
    if length > 0xFFFFFFFF:
        raise FormError("package list too long")
    return form["guid"] + struct.pack("<I", length) + body


def c_bytes(data, indent="    "):
    lines = []
    for start in range(0, len(data), 16):
        lines.append(indent + ", ".join("0x%02X" % b for b in data[start:start + 16]) + ",")
    return "\n".join(lines)


def c_guid(raw):
    d1, d2, d3 = struct.unpack("<IHH", raw[:8])
    tail = ", ".join("0x%02X" % b for b in raw[8:])
    return "{0x%08X, 0x%04X, 0x%04X, {%s}}" % (d1, d2, d3, tail)


def generate(forms, sources):
    out = []
    out.append("// Generated by forms/formc.py from %s. Do not edit: change the sources." %
               ", ".join(os.path.basename(s) for s in sources))
    out.append('#include "forms/form_packages.h"')
    out.append("")
    out.append("namespace {")
    for n, form in enumerate(forms):
        data = package_list(form)
        out.append("")
        out.append("// %s: class 0x%X" % (form["name"], form["class"]))
        out.append("constexpr EFI_GUID kGuid%d = %s;" % (n, c_guid(form["guid"])))
        out.append("alignas(8) constexpr UINT8 kData%d[%d] = {" % (n, len(data)))
        out.append(c_bytes(data))
        out.append("};")
    out.append("")
    out.append("}  // namespace")
    out.append("")
    out.append("constinit const FORM_PACKAGE gFormPackages[] = {")
    for n, form in enumerate(forms):
        first, last = form.get("prompt_ids", (0, 0))
        out.append('    {&kGuid%d, kData%d, sizeof(kData%d), 0x%X, "%s", 0x%04X, 0x%04X},' %
                   (n, n, n, form["class"], form["name"], first, last))
    out.append("};")
    out.append("constinit const UINTN gFormPackageCount = %d;" % len(forms))
    out.append("")
    return "\n".join(out)


def compile_sources(paths):
    forms = []
    for path in sorted(paths):
        try:
            forms.append(load_form_set(path))
        except FormError as e:
            raise FormError("%s: %s" % (path, e))
    seen_class, seen_guid = {}, {}
    for form, path in zip(forms, sorted(paths)):
        if form["class"] in seen_class:
            raise FormError("%s: class 0x%X is also used by %s" % (path, form["class"], seen_class[form["class"]]))
        if form["guid"] in seen_guid:
            raise FormError("%s: guid %s is also used by %s" % (path, form["guid_text"], seen_guid[form["guid"]]))
        seen_class[form["class"]] = path
        seen_guid[form["guid"]] = path
    forms.sort(key=lambda f: f["class"])
    for form in forms:
        package_list(form)  # surfaces size faults before anything is written
    return forms


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--output", required=True, help="C++ source to write")
    parser.add_argument("--bin-dir", help="also write each package list as <class>.hpk here")
    parser.add_argument("sources", nargs="+")
    args = parser.parse_args(argv)
    try:
        forms = compile_sources(args.sources)
    except FormError as e:
        print("formc: error: %s" % e, file=sys.stderr)
        return 1
    text = generate(forms, args.sources)
    tmp = args.output + ".tmp"
    with open(tmp, "w", encoding="ascii") as f:
        f.write(text)
    os.replace(tmp, args.output)
    if args.bin_dir:
        os.makedirs(args.bin_dir, exist_ok=True)
        for form in forms:
            with open(os.path.join(args.bin_dir, "class_%x.hpk" % form["class"]), "wb") as f:
                f.write(package_list(form))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
