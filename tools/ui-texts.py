#!/usr/bin/env python3
"""Writes the installer's texts from res/strings.rc as a C++ header for the tests, so that the
tests compare against the one source of the texts instead of copies of their own.

    ui-texts.py res/strings.rc res/resource.h OUTPUT.h

The header holds every string (UTF-8) by its Czech id and language, and the IDS_ names of
res/resource.h are available through that header's include of it."""
import re
import sys


def main(rc_path, resource_path, output):
    rows = []
    for line in open(rc_path, encoding="utf-8"):
        match = re.match(r'\s*(\d+)\s*,\s*"(.*)"\s*$', line)
        if match:
            number, text = int(match.group(1)), match.group(2)
            if '\\' in text or '"' in text:
                sys.exit(f"{rc_path}: string {number}: escapes are not handled here")
            rows.append((number % 1000, number // 1000, text))
    ids = {int(m.group(2)) for m in re.finditer(r'#define\s+(IDS_\w+)\s+(\d+)', open(resource_path).read())}
    missing = sorted((i, lang) for i in ids for lang in range(3) if (i, lang) not in {(r[0], r[1]) for r in rows})
    if missing:
        sys.exit(f"{rc_path}: no string for (id, language) {missing}")
    with open(output, "w", encoding="utf-8") as out:
        out.write("// Generated from res/strings.rc by tools/ui-texts.py: do not edit.\n")
        out.write("#pragma once\n#include \"res/resource.h\"\n\n")
        out.write("struct UiTextRow { int id; int language; const char *utf8; };\n")
        out.write("static const UiTextRow UI_TEXT_ROWS[] = {\n")
        for number, language, text in rows:
            out.write(f'    {{ {number}, {language}, u8"{text}" }},\n')
        out.write("};\n")


if __name__ == "__main__":
    main(*sys.argv[1:])
