"""Packs the extraction tests' folder tree with every ZIP writer Debian offers, each as its
users run it, into OUT_DIR/WRITER.zip. A writer that is not installed is reported and left
out; the test that unpacks these archives then fails, naming it.
usage: archive_writers.py TREE OUT_DIR"""
import os
import shutil
import subprocess
import sys
import zipfile

tree, out = (os.path.abspath(p) for p in sys.argv[1:3])
shutil.rmtree(out, ignore_errors=True)
os.makedirs(out)


def files_and_folders():
    """Every file and folder of the tree, relative to it, folders first, in a fixed order."""
    found = []
    for root, folders, files in os.walk(tree):
        folders.sort()
        relative = os.path.relpath(root, tree)
        for name in folders:
            found.append(os.path.join(relative, name) + '/' if relative != '.' else name + '/')
        for name in sorted(files):
            found.append(os.path.normpath(os.path.join(relative, name)))
    return found


def python(archive):
    with zipfile.ZipFile(archive, 'w', zipfile.ZIP_DEFLATED) as z:
        for name in files_and_folders():
            z.write(os.path.join(tree, name), name)


writers = {
    'infozip': ['zip', '-q', '-r', '-X', '{out}', '.'],
    '7z': ['7z', 'a', '-tzip', '-bd', '-bso0', '{out}', '.'],
    'fastjar': ['fastjar', '-cMf', '{out}', '.'],
    'python': python,
    # advzip recompresses an archive in place (-a would drop the folders from the names).
    'advzip': ['sh', '-c', 'cp "$1" "$2" && advzip -z -q -4 "$2"', 'sh',
               os.path.join(out, 'infozip.zip'), '{out}'],
}
for name, command in writers.items():
    archive = os.path.join(out, name + '.zip')
    if callable(command):
        command(archive)
        continue
    program = name if name == 'advzip' else command[0]
    if not shutil.which(program):
        print(f'archive_writers.py: {program} is not installed; no {name}.zip', file=sys.stderr)
        continue
    subprocess.run([archive if part == '{out}' else part for part in command], cwd=tree, check=True)
