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
"""

import argparse
import json
import os
import re
import struct
import sys

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
    unknown = set(source) - set(required)
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
    return form


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
        out.append('    {&kGuid%d, kData%d, sizeof(kData%d), 0x%X, "%s"},' % (n, n, n, form["class"], form["name"]))
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
