#!/usr/bin/env python3
"""Checks that the installer loads on Windows 95 and Windows NT 4.0.

Reads the executable's PE headers and import table and fails when:
  - it is not a PE32 image for i386 with the GUI subsystem, subsystem version 4.0;
  - it imports a C runtime DLL (the installer carries no C runtime of its own);
  - it imports a DLL or function missing from the allow-list (functions present on both
    Windows 95 and Windows NT 4.0, each with the source of its minimum version);
  - it imports a function by ordinal (ordinals differ between Windows releases).
Also prints the executable's size and the size of its payload resource IDR_ZIP, so that
the size of the installer without its payload can be reported.

Usage: check-imports.py EXECUTABLE ALLOW_LIST
"""
import os
import re
import sys

from exe_checks import PE32_MAGIC, PeError, PeImage, report

MACHINE_I386 = 0x14C
SUBSYSTEM_WINDOWS_GUI = 2
RT_RCDATA = 10
PAYLOAD_NAME = "IDR_ZIP"

# DLLs of a C or C++ runtime; any of them would be missing on a bare Windows 95.
RUNTIME_DLL = re.compile(
    r"^(msvcr.*|msvcp.*|crtdll|ucrtbase.*|api-ms-win-crt-.*|vcruntime.*|libgcc.*|"
    r"libstdc\+\+.*|libwinpthread.*|cygwin.*|msys-.*)\.dll$", re.IGNORECASE)

# A version of Windows: "95" on the 9x line, "NT3.1" ... "NT4.0" on the NT line.
NT_VERSION = re.compile(r"^NT(\d+)\.(\d+)$")


def read_allow_list(path):
    """{DLL (upper case): {function: source}}, and a list of problems with the list itself."""
    sources = {}
    allowed = {}
    problems = []
    with open(path, encoding="utf-8") as lines:
        for number, line in enumerate(lines, 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            where = "%s:%d" % (os.path.basename(path), number)
            if line.startswith("source "):
                key, _, text = line[len("source "):].partition("=")
                sources[key.strip()] = text.strip()
                continue
            fields = line.split()
            if len(fields) != 5:
                problems.append("%s: expected DLL FUNCTION 95 NTx.y [SOURCE]" % where)
                continue
            dll, function, windows, nt, source = fields
            match = NT_VERSION.match(nt)
            if windows != "95" or not match or (int(match[1]), int(match[2])) > (4, 0):
                problems.append("%s: %s needs %s / %s, later than Windows 95 / NT 4.0"
                                % (where, function, windows, nt))
            if not (source.startswith("[") and source.endswith("]")) or \
                    source[1:-1] not in sources:
                problems.append("%s: %s names no known source (%s)" % (where, function, source))
            allowed.setdefault(dll.upper(), {})[function] = source
    return allowed, problems


def check(executable, allow_list):
    with open(executable, "rb") as f:
        data = f.read()
    image = PeImage(data)
    failures = []
    if image.machine != MACHINE_I386:
        failures.append("machine 0x%x, not i386" % image.machine)
    if image.magic != PE32_MAGIC:
        failures.append("optional header magic 0x%x, not PE32" % image.magic)
        return failures
    if image.subsystem != SUBSYSTEM_WINDOWS_GUI:
        failures.append("subsystem %d, not the Windows GUI" % image.subsystem)
    if image.subsystem_version != (4, 0):
        failures.append("subsystem version %d.%d, not 4.0" % image.subsystem_version)

    allowed, problems = read_allow_list(allow_list)
    failures.extend(problems)
    count = 0
    for dll, functions in image.imports():
        if RUNTIME_DLL.match(dll):
            failures.append("imports the C runtime DLL %s" % dll)
            continue
        known = allowed.get(dll.upper())
        if known is None:
            failures.append("imports %s, a DLL not on the allow-list" % dll)
            continue
        for function in functions:
            count += 1
            if function not in known:
                failures.append("%s!%s is not on the allow-list" % (dll, function))

    payload = image.resource(RT_RCDATA, PAYLOAD_NAME)
    print("%s: %d bytes; %d imported functions" % (os.path.basename(executable), len(data), count))
    if payload is None:
        failures.append("no %s resource" % PAYLOAD_NAME)
    else:
        size = len(payload)
        print("%s: %d bytes; without it the installer is %d bytes (%.1f KiB)"
              % (PAYLOAD_NAME, size, len(data) - size, (len(data) - size) / 1024))
    return failures


def main(arguments):
    if len(arguments) != 3:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    try:
        failures = check(arguments[1], arguments[2])
    except (OSError, PeError, ValueError, UnicodeDecodeError) as error:
        print("%s: cannot read: %s" % (arguments[1], error), file=sys.stderr)
        return 1
    return report(failures, "not allowed: ",
                  "problem(s): the installer would not load on Windows 95 or NT 4.0",
                  "every import exists on Windows 95 and Windows NT 4.0")


if __name__ == "__main__":
    sys.exit(main(sys.argv))
