#!/usr/bin/env python3
"""Runs kavlin-zipcheck on archives made here, in both directions: archives the installer
unpacks must pass, archives it would refuse must fail with a line naming the entry and the real
cause. Archives from real writers run in both directions too: streamed ones (a pipe) are
refused for their data descriptors.
usage: kavlin_zipcheck_test.py KAVLIN_ZIPCHECK WORK_DIR"""
import os
import shutil
import subprocess
import sys
import zipfile
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'tests', 'support'))
from streamed_zip import write_streamed  # noqa: E402

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

# Names the installer refuses, each in an otherwise good archive, with the rule it breaks.
for bad, words in [('../evil.txt', 'leaves the destination'), ('sub/.. /x', 'leaves the destination'),
                   ('sub/.../x', 'leaves the destination'), ('C:evil', 'holds one of'),
                   ('com1.txt', 'names a device'), ('CONOUT$', 'names a device'), ('a|b', 'holds one of'),
                   ('line\r\nbreak.txt', 'control character'), ('x' * 258, 'longer than 257')]:
    expect(archive('name.zip', [('ok.txt', b'ok'), (bad, b'x')]), False, ["entry '" + bad[:4], words])
# LPT with the code page's superscript one (a byte zipfile would not write as such).
superscript = archive('superscript.zip', [('LPT#.txt', b'x')])
superscript = patched('superscript.zip', superscript, lambda d: d.__setitem__(d.index(b'LPT#') + 3, 0xB9))
expect(patched('superscript.zip', superscript, lambda d: d.__setitem__(d.rindex(b'LPT#') + 3, 0xB9)),
       False, ['entry', 'names a device'])
# A NUL inside a stored name, and a UTF-8 name (flag bit 11), as Python writes non-ASCII names.
nul = archive('nul.zip', [('setup.iniX.txt', b'x')])
expect(patched('nul.zip', nul, lambda d: [d.__setitem__(i + 9, 0) for i in
                                          [d.index(b'setup.iniX'), d.rindex(b'setup.iniX')]]),
       False, ["entry 'setup.ini'", 'control character'])
expect(archive('utf8.zip', [('smo\u0308r.txt', b'x')]), False, ['UTF-8', 'Windows code page'])
# A path that is too long under the default destination (C:\PROGRAM FILES\KAVLIN\...).
expect(archive('long.zip', [('d' * 100 + '/' + 'f' * 130, b'x')]), False, ['path', 'longer'])
# Damaged data, found only by decoding: a flipped byte inside the deflated text.
offset = open(good, 'rb').read().index(b'ReadMe.txt') + len('ReadMe.txt')
expect(patched('flipped.zip', good, lambda d: d.__setitem__(offset + 500, d[offset + 500] ^ 0x55)),
       False, ["entry 'ReadMe.txt'"])
# Cut short inside an entry, and cut where the central directory should begin.
data = open(good, 'rb').read()
open(os.path.join(work, 'cut.zip'), 'wb').write(data[:len(data) // 2])
expect(os.path.join(work, 'cut.zip'), False, ['no end-of-central-directory record'])
central = data.index(b'PK\x01\x02')
open(os.path.join(work, 'no-directory.zip'), 'wb').write(data[:central])
expect(os.path.join(work, 'no-directory.zip'), False, ['no end-of-central-directory record'])
# A method the installer does not know (bzip2, 12, in both headers) and an encrypted entry.
expect(patched('method.zip', good, lambda d: [d.__setitem__(8, 12), d.__setitem__(central + 10, 12)]),
       False, ['compression method 12'])
expect(patched('encrypted.zip', good, lambda d: [d.__setitem__(6, d[6] | 1), d.__setitem__(central + 8, d[central + 8] | 1)]),
       False, ["entry 'ReadMe.txt'", 'encrypted'])
# The local header and the central directory disagree: the archive is refused, not unpacked.
expect(patched('disagree.zip', good, lambda d: d.__setitem__(8, 0)), False,
       ["entry 'ReadMe.txt'", "compression method is not the central directory's"])
# Wrapped: behind a stub (a self-extractor), or ZIP64.
open(os.path.join(work, 'stub.zip'), 'wb').write(b'MZ' + b'\0' * 510 + data)
expect(os.path.join(work, 'stub.zip'), False, ['stub'])
with zipfile.ZipFile(os.path.join(work, 'zip64.zip'), 'w') as z:
    with z.open('big.txt', 'w', force_zip64=True) as f:
        f.write(text)
expect(os.path.join(work, 'zip64.zip'), False, ['ZIP64'])
# Sizes only in data descriptors, as writers that cannot seek write them: Python's zipfile on a
# pipe, and bsdtar (which also pads its stream to whole blocks).
write_streamed(os.path.join(work, 'pipe.zip'), [('docs/report.docx', open(good, 'rb').read()),
                                                ('readme.txt', text)])
expect(os.path.join(work, 'pipe.zip'), False, ["entry 'docs/report.docx'", 'only in a data descriptor'])
subprocess.run(['bsdtar', '--format', 'zip', '-cf', '../bsdtar.zip', '.'], cwd=tree, check=True)
expect(os.path.join(work, 'bsdtar.zip'), False, ['only in a data descriptor'])
with open(os.path.join(work, 'bsdtar-stream.zip'), 'wb') as out:
    subprocess.run(['bsdtar', '--format', 'zip', '-cf', '-', '.'], cwd=tree, check=True, stdout=out)
expect(os.path.join(work, 'bsdtar-stream.zip'), False, ['bytes after the end-of-central-directory'])

for failure in failures:
    print('FAILED', failure)
print(f'{checked - len(failures)} passed, {len(failures)} failed')
sys.exit(1 if failures else 0)
