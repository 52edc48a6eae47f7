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
import struct
import sys

MACHINE_I386 = 0x14C
PE32_MAGIC = 0x10B
SUBSYSTEM_WINDOWS_GUI = 2
DIRECTORY_IMPORT = 1
DIRECTORY_RESOURCE = 2
RT_RCDATA = 10
PAYLOAD_NAME = "IDR_ZIP"

# DLLs of a C or C++ runtime; any of them would be missing on a bare Windows 95.
RUNTIME_DLL = re.compile(
    r"^(msvcr.*|msvcp.*|crtdll|ucrtbase.*|api-ms-win-crt-.*|vcruntime.*|libgcc.*|"
    r"libstdc\+\+.*|libwinpthread.*|cygwin.*|msys-.*)\.dll$", re.IGNORECASE)

# A version of Windows: "95" on the 9x line, "NT3.1" ... "NT4.0" on the NT line.
NT_VERSION = re.compile(r"^NT(\d+)\.(\d+)$")


class PeError(Exception):
    pass


class PeImage:
    """The parts of a PE image the check needs, read through little-endian helpers."""

    def __init__(self, data):
        self.data = data
        if self.u16(0) != 0x5A4D:
            raise PeError("no MZ header")
        pe = self.u32(0x3C)
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        self.machine = self.u16(pe + 4)
        sections = self.u16(pe + 6)
        optional_size = self.u16(pe + 20)
        optional = pe + 24
        self.magic = self.u16(optional)
        if self.magic != PE32_MAGIC:
            return
        self.subsystem_version = (self.u16(optional + 48), self.u16(optional + 50))
        self.subsystem = self.u16(optional + 68)
        directory_count = self.u32(optional + 92)
        self.directories = [(self.u32(optional + 96 + 8 * i), self.u32(optional + 100 + 8 * i))
                            for i in range(min(directory_count, 16))]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            entry = table + 40 * i
            virtual_size, virtual_address, raw_size, raw_offset = struct.unpack_from(
                "<IIII", self.data, entry + 8)
            self.sections.append((virtual_address, max(virtual_size, raw_size), raw_offset))

    def u16(self, offset):
        if offset + 2 > len(self.data):
            raise PeError("truncated at offset %d" % offset)
        return struct.unpack_from("<H", self.data, offset)[0]

    def u32(self, offset):
        if offset + 4 > len(self.data):
            raise PeError("truncated at offset %d" % offset)
        return struct.unpack_from("<I", self.data, offset)[0]

    def offset(self, rva):
        for address, size, raw in self.sections:
            if address <= rva < address + size:
                return raw + rva - address
        raise PeError("address 0x%x lies in no section" % rva)

    def text(self, rva):
        start = self.offset(rva)
        end = self.data.index(b"\0", start)
        return self.data[start:end].decode("ascii")

    def imports(self):
        """(DLL name, [function names; '#n' for an import by ordinal]) in table order."""
        rva, size = self.directories[DIRECTORY_IMPORT]
        result = []
        if rva == 0:
            return result
        descriptor = self.offset(rva)
        while True:
            lookup, _, _, name, first_thunk = struct.unpack_from("<IIIII", self.data, descriptor)
            if lookup == 0 and name == 0 and first_thunk == 0:
                break
            thunk = self.offset(lookup or first_thunk)
            functions = []
            while True:
                value = self.u32(thunk)
                if value == 0:
                    break
                if value & 0x80000000:
                    functions.append("#%d" % (value & 0xFFFF))
                else:
                    functions.append(self.text(value + 2))
                thunk += 4
            result.append((self.text(name), functions))
            descriptor += 20
        return result

    def resource_size(self, type_id, name):
        """Size in bytes of the first language of resource `name` of `type_id`, or None."""
        rva, _ = self.directories[DIRECTORY_RESOURCE]
        if rva == 0:
            return None
        root = self.offset(rva)

        def entries(directory):
            named, numbered = struct.unpack_from("<HH", self.data, directory + 12)
            for i in range(named + numbered):
                key, target = struct.unpack_from("<II", self.data, directory + 16 + 8 * i)
                yield key, target

        def key_matches(key, wanted):
            if isinstance(wanted, int):
                return not key & 0x80000000 and key == wanted
            if not key & 0x80000000:
                return False
            at = root + (key & 0x7FFFFFFF)
            length = self.u16(at)
            return self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le") == wanted

        directory = root
        for wanted in (type_id, name):
            for key, target in entries(directory):
                if key_matches(key, wanted) and target & 0x80000000:
                    directory = root + (target & 0x7FFFFFFF)
                    break
            else:
                return None
        for _, target in entries(directory):
            if not target & 0x80000000:
                return self.u32(root + target + 4)
        return None


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

    payload = image.resource_size(RT_RCDATA, PAYLOAD_NAME)
    print("%s: %d bytes; %d imported functions" % (os.path.basename(executable), len(data), count))
    if payload is None:
        failures.append("no %s resource" % PAYLOAD_NAME)
    else:
        print("%s: %d bytes; without it the installer is %d bytes (%.1f KiB)"
              % (PAYLOAD_NAME, payload, len(data) - payload, (len(data) - payload) / 1024))
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
    for failure in failures:
        print("not allowed: " + failure)
    if failures:
        print("%d problem(s): the installer would not load on Windows 95 or NT 4.0" % len(failures))
        return 1
    print("every import exists on Windows 95 and Windows NT 4.0")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
