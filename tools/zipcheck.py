#!/usr/bin/env python3
"""Checks that a ZIP archive is one the installer can unpack: it walks the local headers in
file order, as the installer does, and refuses an archive with an entry whose sizes stand only
in a data descriptor, whose method is neither stored (0) nor deflated (8), that is encrypted,
whose name is empty or longer than 255 characters, or whose name would leave the destination
folder. Exit status 0 when the archive is fine; else 1, with one line per fault."""
import struct
import sys

LOCAL = 0x04034B50
DESCRIPTOR = 0x08074B50


def name_fault(name):
    if not name:
        return 'the name is empty'
    if len(name) > 255:
        return 'the name is longer than 255 characters'
    if name[0] in '/\\':
        return 'the name starts with a separator'
    if ':' in name:
        return "the name holds ':'"
    if '..' in name.replace('\\', '/').split('/'):
        return "the name has a '..' component"
    return None


def faults(data):
    pos, entries = 0, 0
    while pos + 30 <= len(data):
        (signature,) = struct.unpack_from('<I', data, pos)
        if signature == DESCRIPTOR:
            pos += 16
            continue
        if signature not in (LOCAL, 0x50000000):
            break
        _, flags, method, _, _, _, csize, usize, nlen, xlen = struct.unpack_from('<HHHHHIIIHH', data, pos + 4)
        raw = data[pos + 30:pos + 30 + nlen]
        name = raw.decode('cp1252', 'replace')
        label = f"entry '{name}' at offset {pos}"
        if flags & 1:
            yield f'{label}: encrypted entries are not supported'
        if flags & 8 and csize == 0 and usize == 0 and not name.endswith('/'):
            yield f'{label}: its sizes stand only in a data descriptor'
        if method not in (0, 8):
            yield f'{label}: compression method {method} (only 0, stored, and 8, deflated)'
        fault = name_fault(name)
        if fault:
            yield f'{label}: {fault}'
        if pos + 30 + nlen + xlen + csize > len(data):
            yield f'{label}: the data runs past the end of the archive'
        pos += 30 + nlen + xlen + csize
        entries += 1
    if entries == 0:
        yield 'no local header at the start of the archive'


def main():
    path = sys.argv[1]
    with open(path, 'rb') as f:
        found = list(faults(f.read()))
    for fault in found:
        print(f'{path}: {fault}', file=sys.stderr)
    return 1 if found else 0


if __name__ == '__main__':
    sys.exit(main())
