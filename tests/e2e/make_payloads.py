#!/usr/bin/env python3
"""Makes the payloads of the end-to-end tests in OUT_DIR, with Info-ZIP's zip:
  tree/, e2e.zip    Kavlin.exe (the tests' program), ReadMe.txt, a text in a folder, binary data
                    in another and an empty file, with the folders' own entries;
  large/, large.zip the same and 300 incompressible files of 64 KiB, long enough to abort;
  corrupt.zip       e2e.zip with one byte flipped inside its last deflated entry's data;
  truncated.zip     e2e.zip cut in the middle of that entry's data;
  many/, many.zip   the tree and 300 small files in ten folders, then zz/last.txt;
  streamed.zip      written as a writer that cannot seek writes it (sizes and CRC-32 only in
                    data descriptors), with a stored entry that is itself a ZIP archive.
usage: make_payloads.py OUT_DIR KAVLIN_EXE README"""
import os
import random
import shutil
import struct
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from streamed_zip import write_streamed  # noqa: E402


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)


def fill_tree(tree, program, readme):
    shutil.rmtree(tree, ignore_errors=True)
    os.makedirs(tree)
    shutil.copy(program, os.path.join(tree, 'Kavlin.exe'))
    shutil.copy(readme, os.path.join(tree, 'ReadMe.txt'))
    lines = ''.join(f'Line {i} of the guide: Kavlin counts octets in and out.\r\n' for i in range(400))
    write(os.path.join(tree, 'docs', 'Guide.txt'), lines.encode('ascii'))
    rng = random.Random(1)
    write(os.path.join(tree, 'data', 'values.bin'), bytes(rng.randrange(8) for _ in range(70000)))
    write(os.path.join(tree, 'data', 'empty.txt'), b'')


def pack(tree, archive):
    if os.path.exists(archive):
        os.remove(archive)
    subprocess.run(['zip', '-q', '-r', '-X', archive, '.'], cwd=tree, check=True)


def last_deflated_entry(data):
    """Name, data offset and data size of the archive's last deflated entry."""
    pos, found = 0, None
    while struct.unpack_from('<I', data, pos)[0] == 0x04034B50:
        method, = struct.unpack_from('<H', data, pos + 8)
        size, = struct.unpack_from('<I', data, pos + 18)
        name_length, extra_length = struct.unpack_from('<HH', data, pos + 26)
        start = pos + 30 + name_length + extra_length
        if method == 8:
            found = (data[pos + 30:pos + 30 + name_length].decode(), start, size)
        pos = start + size
    if not found:
        raise SystemExit('no deflated entry')
    return found


def damage(source, out):
    """corrupt.zip: one byte flipped inside the last deflated entry; truncated.zip: the archive
    cut in the middle of that entry's data; damaged-entry.txt: that entry's name."""
    data = bytearray(open(source, 'rb').read())
    name, start, size = last_deflated_entry(data)
    open(os.path.join(out, 'truncated.zip'), 'wb').write(data[:start + size // 2])
    data[start + size // 2] ^= 0x55
    open(os.path.join(out, 'corrupt.zip'), 'wb').write(data)
    open(os.path.join(out, 'damaged-entry.txt'), 'w').write(name)


def streamed(out):
    """An archive whose stored entry docs/report.docx is a document (a ZIP archive itself),
    written to a pipe: a walk that took the local header's zero sizes would unpack the
    document's parts instead of the entries that follow it."""
    document = os.path.join(out, 'report.docx')
    with zipfile.ZipFile(document, 'w', zipfile.ZIP_DEFLATED) as z:
        z.writestr('[Content_Types].xml', '<Types/>')
        z.writestr('word/document.xml', '<document>' + 'text ' * 200 + '</document>')
    write_streamed(os.path.join(out, 'streamed.zip'),
                   [('docs/report.docx', open(document, 'rb').read()),
                    ('readme.txt', 'Kavlin measures traffic.\r\n'), ('setup.ini', '[setup]\r\n')])


def main():
    out, program, readme = sys.argv[1:4]
    tree = os.path.join(out, 'tree')
    fill_tree(tree, program, readme)
    pack(tree, os.path.join(out, 'e2e.zip'))
    damage(os.path.join(out, 'e2e.zip'), out)
    streamed(out)
    large = os.path.join(out, 'large')
    fill_tree(large, program, readme)
    rng = random.Random(2)
    for i in range(300):
        write(os.path.join(large, 'big', f'part{i:03}.bin'), rng.randbytes(65536))
    pack(large, os.path.join(out, 'large.zip'))
    many = os.path.join(out, 'many')
    fill_tree(many, program, readme)
    for i in range(300):
        write(os.path.join(many, f'd{i // 30:02}', f'f{i:03}.txt'), f'small file {i}\r\n'.encode())
    write(os.path.join(many, 'zz', 'last.txt'), b'the last file\r\n')
    pack(many, os.path.join(out, 'many.zip'))


if __name__ == '__main__':
    main()
