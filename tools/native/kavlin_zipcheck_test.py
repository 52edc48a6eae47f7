#!/usr/bin/env python3
"""Runs kavlin-zipcheck on archives made here, in both directions: archives the installer
unpacks must pass, archives it would refuse must fail with a line naming the entry and reason.
usage: kavlin_zipcheck_test.py KAVLIN_ZIPCHECK WORK_DIR"""
import os
import shutil
import subprocess
import sys
import zipfile
import zlib

check, work = sys.argv[1:3]
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
failures = []
checked = 0


def archive(name, entries, method=zipfile.ZIP_DEFLATED):
    """An archive of (name, data) entries, written by Python's zipfile to a seekable file."""
    path = os.path.join(work, name)
    with zipfile.ZipFile(path, 'w', method) as z:
        for entry, data in entries:
            z.writestr(zipfile.ZipInfo(entry), data, compress_type=method)
    return path


def patched(name, source, change):
    data = bytearray(open(source, 'rb').read())
    change(data)
    path = os.path.join(work, name)
    open(path, 'wb').write(data)
    return path


def expect(path, ok, words=()):
    global checked
    checked += 1
    run = subprocess.run([check, path], capture_output=True, text=True, errors='replace')
    if (run.returncode == 0) != ok or any(w not in run.stderr for w in words):
        failures.append(f'{os.path.basename(path)}: exit {run.returncode}, said {run.stderr.strip()!r}')


text = b''.join(b'line %d of a text the installer carries\r\n' % i for i in range(3000))
good = archive('good.zip', [('ReadMe.txt', text), ('sub/', b''), ('sub/data.bin', os.urandom(70000)),
                            ('empty.txt', b'')])
expect(good, True)
expect(archive('stored.zip', [('a.txt', text)], zipfile.ZIP_STORED), True)
# Info-ZIP's zip, as the build packs payload folders.
tree = os.path.join(work, 'tree')
os.makedirs(os.path.join(tree, 'docs'))
open(os.path.join(tree, 'docs', 'Guide.txt'), 'wb').write(text)
subprocess.run(['zip', '-q', '-r', '-X', '../infozip.zip', '.'], cwd=tree, check=True)
expect(os.path.join(work, 'infozip.zip'), True)

# Names the installer refuses, each in an otherwise good archive.
for bad in ['../evil.txt', 'sub/.. /x', 'sub/.../x', 'C:evil', 'com1.txt', 'CONOUT$', 'a|b',
            'line\r\nbreak.txt', 'x' * 258]:
    expect(archive('name.zip', [('ok.txt', b'ok'), (bad, b'x')]), False, ['entry', 'name'])
# LPT with the code page's superscript one (a byte zipfile would not write as such).
superscript = archive('superscript.zip', [('LPT#.txt', b'x')])
expect(patched('superscript.zip', superscript, lambda d: d.__setitem__(d.index(b'LPT#') + 3, 0xB9)),
       False, ['entry'])
# A path that is too long under the default destination (C:\PROGRAM FILES\KAVLIN\...).
expect(archive('long.zip', [('d' * 100 + '/' + 'f' * 130, b'x')]), False, ['path'])
# Damaged data, found only by decoding: a flipped byte inside the deflated text.
offset = open(good, 'rb').read().index(b'ReadMe.txt') + len('ReadMe.txt')
expect(patched('flipped.zip', good, lambda d: d.__setitem__(offset + 500, d[offset + 500] ^ 0x55)),
       False, ["entry 'ReadMe.txt'"])
# Cut short inside an entry, and cut where the central directory should begin.
data = open(good, 'rb').read()
open(os.path.join(work, 'cut.zip'), 'wb').write(data[:len(data) // 2])
expect(os.path.join(work, 'cut.zip'), False)
central = data.index(b'PK\x01\x02')
open(os.path.join(work, 'no-directory.zip'), 'wb').write(data[:central])
expect(os.path.join(work, 'no-directory.zip'), False, ['central directory'])
# A method the installer does not know (bzip2, 12) and an encrypted entry.
expect(patched('method.zip', good, lambda d: d.__setitem__(8, 12)), False, ['method'])
expect(patched('encrypted.zip', good, lambda d: d.__setitem__(6, d[6] | 1)), False, ["entry 'ReadMe.txt'"])
# Sizes only in a data descriptor: the walk would lose its way.
stream = zlib.compressobj(9, zlib.DEFLATED, -15)
body = stream.compress(text) + stream.flush()
header = (b'PK\x03\x04' + bytes([20, 0, 8, 0, 8, 0, 0, 0, 0, 0]) + b'\0' * 12
          + len(b'dd.txt').to_bytes(2, 'little') + b'\0\0' + b'dd.txt')
descriptor = b'PK\x07\x08' + zlib.crc32(text).to_bytes(4, 'little') + len(body).to_bytes(4, 'little') \
    + len(text).to_bytes(4, 'little')
open(os.path.join(work, 'descriptor.zip'), 'wb').write(header + body + descriptor + b'PK\x05\x06' + b'\0' * 18)
expect(os.path.join(work, 'descriptor.zip'), False, ["entry 'dd.txt'"])

for failure in failures:
    print('FAILED', failure)
print(f'{checked - len(failures)} passed, {len(failures)} failed')
sys.exit(1 if failures else 0)
