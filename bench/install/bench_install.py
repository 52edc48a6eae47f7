#!/usr/bin/env python3
"""The install-time benchmark: KavlinSetup.exe against an NSIS installer of the same payload.

  bench_install.py prepare   makes the payloads, one KavlinSetup.exe and one NSIS installer each
  bench_install.py measure   times them under Wine (run inside tools/with-wine) and prints a table

Payloads (BENCH_PAYLOADS, blank- or comma-separated; default: all of them in this order):
  default      the project's own payload, as the build packed it (KavlinSetup.exe itself)
  mixed-50mb   2,000 files, 50 MiB: the product's two files and 1,998 files in 20 folders,
               half text-like, half random bytes, sizes drawn with a fixed seed
  files-N      N small text files (N >= 3): the product's two files and N - 2 files of 200 to
               3,000 bytes, 100 to a folder

Every generated payload carries the product's Kavlin.exe and ReadMe.txt, so that every
installation ends as the real one does: the installer starts the program and opens the read-me.

Environment: BENCH_RUNS (runs per installer and payload, default 3), BENCH_PAYLOADS,
BENCH_FIRST_INSTALL=1 (remove InterfaceIndex before each run, so that the interface setup
dialog shows and the timer confirms it; by default the value is set once and no dialog shows),
BENCH_OUT (default build/bench-install), KAVLIN_BUILD (default build/win32).
"""
import filecmp
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.path.abspath(os.environ.get('KAVLIN_BUILD', os.path.join(ROOT, 'build', 'win32')))
OUT = os.path.abspath(os.environ.get('BENCH_OUT', os.path.join(ROOT, 'build', 'bench-install')))
DEFAULT_PAYLOADS = 'default mixed-50mb files-500 files-1000 files-2000 files-4000 files-20000'
# Bumped whenever the generated payloads change, so that older ones are made anew.
GENERATOR_VERSION = 2
PRODUCT_FILES = ('Kavlin.exe', 'ReadMe.txt')
KAVLIN_FOLDER = r'C:\bench\kavlin'
NSIS_FOLDER = r'C:\bench\nsis'
LOG_NAME = 'UInstall.uif'



def zipcheck_program():
    """The installer's own payload check, as the build made it (KAVLIN_ZIPCHECK names another)."""
    for path in (os.environ.get('KAVLIN_ZIPCHECK', ''),
                 os.path.join(ROOT, 'build', 'win32', 'host', 'kavlin-zipcheck'),
                 os.path.join(ROOT, 'build', 'native', 'kavlin-zipcheck')):
        if path and os.access(path, os.X_OK):
            return path
    raise SystemExit('kavlin-zipcheck is missing: run make first')

def fail(text):
    print(f'bench-install: {text}', file=sys.stderr)
    sys.exit(1)


def payload_names():
    names = os.environ.get('BENCH_PAYLOADS', DEFAULT_PAYLOADS).replace(',', ' ').split()
    for name in names:
        if name not in ('default', 'mixed-50mb') and not re.fullmatch(r'files-\d+', name):
            fail(f"unknown payload '{name}' (default, mixed-50mb or files-N)")
        if name.startswith('files-') and int(name[6:]) < len(PRODUCT_FILES) + 1:
            fail(f"'{name}': files-N needs N >= {len(PRODUCT_FILES) + 1}")
    return names


def runs():
    value = os.environ.get('BENCH_RUNS', '3')
    if not value.isdigit() or int(value) < 1:
        fail(f"BENCH_RUNS must be a positive number, not '{value}'")
    return int(value)


def cache_value(name):
    """A value of the win32 build's CMake cache."""
    with open(os.path.join(BUILD, 'CMakeCache.txt')) as cache:
        for line in cache:
            key, _, value = line.rstrip('\n').partition('=')
            if key.split(':')[0] == name:
                return value
    fail(f'{name} is not in {BUILD}/CMakeCache.txt (run make win32)')


# ---------------------------------------------------------------------------------------------
# Payloads

def text_corpus(rng, size):
    """Text-like bytes: lines of pseudo-words, as in a manual or a configuration file."""
    letters = 'etaoinshrdlucmfwypvbgkjqxz'
    weights = [12, 9, 8, 8, 7, 7, 6, 6, 6, 4, 4, 3, 3, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1]
    words = [''.join(rng.choices(letters, weights, k=rng.randint(2, 10))) for _ in range(3000)]
    lines, length = [], 0
    while length < size:
        line = ' '.join(rng.choices(words, k=rng.randint(4, 14))).capitalize() + '.\r\n'
        lines.append(line)
        length += len(line)
    return ''.join(lines).encode('ascii')[:size]


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def fill_mixed(tree, rng, total_bytes, count, folders):
    """`count` files in `folders` folders, `total_bytes` in all: even ones text, odd ones random."""
    sizes = [rng.randint(1, 1000) for _ in range(count)]
    scale = total_bytes / sum(sizes)
    sizes = [max(1, int(s * scale)) for s in sizes]
    sizes[-1] += total_bytes - sum(sizes)
    corpus = text_corpus(rng, 4 << 20)
    for i, size in enumerate(sizes):
        folder = f'folder{i % folders:02}'
        if i % 2 == 0:
            source = corpus if size < len(corpus) else corpus * (size // len(corpus) + 1)
            start = rng.randrange(len(source) - size + 1)
            data = source[start:start + size]
            name = f'text{i:05}.txt'
        else:
            data = rng.randbytes(size)
            name = f'data{i:05}.bin'
        write(os.path.join(tree, folder, name), data)


def fill_small(tree, rng, count):
    corpus = text_corpus(rng, 1 << 20)
    for i in range(count):
        size = rng.randint(200, 3000)
        start = rng.randrange(len(corpus) - size)
        write(os.path.join(tree, f'folder{i // 100:03}', f'file{i:05}.txt'), corpus[start:start + size])


def tree_stats(tree, skip=()):
    files, size = 0, 0
    for folder, _, names in os.walk(tree):
        for name in names:
            if folder == tree and name in skip:
                continue
            files += 1
            size += os.path.getsize(os.path.join(folder, name))
    return files, size


def pack(tree, archive):
    if os.path.exists(archive):
        os.remove(archive)
    # Folders and files in sorted order (each folder's entry before its files), so that the
    # archive does not depend on the order in which this machine's file system lists them.
    # -X: no extra fields; zip writes the sizes into the local headers when it writes to a file.
    names = []
    for folder, folders, files in os.walk(tree):
        folders.sort()
        relative = os.path.relpath(folder, tree)
        if relative != '.':
            names.append(relative + '/')
        names += [os.path.normpath(os.path.join(relative, name)) for name in sorted(files)]
    subprocess.run(['zip', '-q', '-X', '-@', archive], cwd=tree, check=True,
                   input='\n'.join(names) + '\n', text=True)
    subprocess.run([zipcheck_program(), archive], check=True)


def make_payload(name, product_zip):
    """Makes OUT/NAME/tree and OUT/NAME/payload.zip, unless they are there from an earlier run
    with the same generator and product."""
    folder = os.path.join(OUT, name)
    tree = os.path.join(folder, 'tree')
    archive = os.path.join(folder, 'payload.zip')
    stamp_path = os.path.join(folder, 'payload.stamp')
    product = os.stat(product_zip)
    stamp = f'{GENERATOR_VERSION} {name} {product.st_size} {product.st_mtime_ns}\n'
    if os.path.exists(stamp_path) and read(stamp_path) == stamp.encode() and os.path.exists(archive):
        return tree, archive
    print(f'  making the payload {name}', flush=True)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(tree)
    with zipfile.ZipFile(product_zip) as z:
        z.extractall(tree)
    rng = random.Random(f'kavlin-bench-{name}')
    if name == 'default':
        shutil.copy(product_zip, archive)
    else:
        for product_file in PRODUCT_FILES:
            if not os.path.exists(os.path.join(tree, product_file)):
                fail(f'the default payload {product_zip} has no {product_file}')
        have_files, have_bytes = tree_stats(tree)
        if name == 'mixed-50mb':
            fill_mixed(tree, rng, 50 * 1024 * 1024 - have_bytes, 2000 - have_files, 20)
        else:
            fill_small(tree, rng, int(name[6:]) - have_files)
        pack(tree, archive)
    write(stamp_path, stamp.encode())
    return tree, archive


# ---------------------------------------------------------------------------------------------
# Installers

def kavlin_installer(name, archive):
    """OUT/NAME/KavlinSetup.exe (the prefix has the stand-in winmm.dll where one is needed:
    tools/wine-env.sh)."""
    folder = os.path.join(OUT, name)
    target = os.path.join(folder, 'KavlinSetup.exe')
    if name == 'default':
        built = os.path.join(BUILD, 'KavlinSetup.exe')
    else:
        # The installer's own code relinked around this archive (bench/install/CMakeLists.txt).
        bench_dir = os.path.join(BUILD, 'bench', 'install')
        shutil.copyfile(archive, os.path.join(bench_dir, 'payload.zip'))   # a new time stamp
        subprocess.run(['cmake', '--build', BUILD, '--target', 'KavlinSetupBench'],
                       check=True, stdout=subprocess.DEVNULL)
        built = os.path.join(bench_dir, 'KavlinSetupBench.exe')
    if read(archive) not in read(built):
        fail(f'{built} does not carry {archive}')
    shutil.copyfile(built, target)
    return target


def nsis_installer(name, tree):
    folder = os.path.join(OUT, name)
    script = os.path.join(folder, 'setup.nsi')
    target = os.path.join(folder, 'NsisSetup.exe')
    with open(script, 'w') as f:
        f.write(f'''; The peer installer of the benchmark: the same folder, zlib, silent with /S /D=...
Name "Kavlin benchmark {name}"
OutFile "{target}"
InstallDir "{NSIS_FOLDER}"
RequestExecutionLevel user
SetCompressor zlib
Section
  SetOutPath "$INSTDIR"
  File /r "{tree}/*"
SectionEnd
''')
    result = subprocess.run(['makensis', '-V2', script], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0:
        fail(f'makensis failed on {script}:\n{result.stdout}')
    return target


def prepare():
    if not shutil.which('makensis'):
        fail('makensis is missing (Debian package nsis)')
    product_zip = cache_value('KAVLIN_PAYLOAD_ZIP')
    for needed in (product_zip, os.path.join(BUILD, 'KavlinSetup.exe'),
                   os.path.join(BUILD, 'bench', 'install', 'install-timer.exe'),
                   os.path.join(BUILD, 'tools', 'agent', 'inetmib1.dll')):
        if not os.path.exists(needed):
            fail(f'{needed} is missing (run make win32)')
    names = payload_names()
    print(f'Preparing {len(names)} payloads in {OUT}', flush=True)
    # The default payload's installers also warm the prefix up before the timed runs.
    for name in names + ([] if 'default' in names else ['default']):
        tree, archive = make_payload(name, product_zip)
        kavlin_installer(name, archive)
        nsis_installer(name, tree)


# ---------------------------------------------------------------------------------------------
# Measuring

def windows_path(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def unix_path(windows):
    return os.path.join(os.environ['WINEPREFIX'], 'drive_c', *windows[3:].split('\\'))


def wine(*arguments, output=None):
    """Runs a Wine program; its output goes to a file (Wine's background programs inherit a
    pipe and hold it open), which is returned as text."""
    path = output or os.path.join(OUT, 'wine-output.txt')
    with open(path, 'w') as f:
        status = subprocess.run(['wine', *arguments], stdin=subprocess.DEVNULL, stdout=f,
                                stderr=subprocess.STDOUT).returncode
    return status, read(path).decode(errors='replace')


def fields(text):
    """The NAME=VALUE fields of the timer's line (a failure's text runs to the end of the line)."""
    line = text.strip().splitlines()[-1] if text.strip() else ''
    result = {}
    failed = line.find(' failed=') if not line.startswith('failed=') else 0
    if failed >= 0:
        result['failed'] = line[failed:].split('=', 1)[1]
        line = line[:failed]
    for item in line.split():
        key, _, value = item.partition('=')
        result[key] = value
    return result


def timer():
    return os.path.join(BUILD, 'bench', 'install', 'install-timer.exe')


def compare(tree, installed, skip=()):
    """None when `installed` holds the files of `tree` with the same contents (besides the
    top-level names in `skip`); else what differs."""
    if not os.path.isdir(installed):
        return 'nothing installed'
    want, got = tree_stats(tree), tree_stats(installed, skip)
    if want != got:
        return f'{got[0]} files, {got[1]} bytes installed; {want[0]} files, {want[1]} bytes expected'
    for folder, _, names in os.walk(tree):
        for name in names:
            source = os.path.join(folder, name)
            target = os.path.join(installed, os.path.relpath(source, tree))
            if not os.path.exists(target) or not filecmp.cmp(source, target, shallow=False):
                return f'{os.path.relpath(source, tree)} differs'
    return None


def clean(folder):
    shutil.rmtree(unix_path(folder), ignore_errors=True)
    os.makedirs(os.path.dirname(unix_path(folder)), exist_ok=True)
    os.sync()


def run_kavlin(setup, first_install):
    clean(KAVLIN_FOLDER)
    if first_install:
        wine('reg', 'delete', r'HKLM\Software\Orvo\Kavlin', '/v', 'InterfaceIndex', '/f')
    status, text = wine(timer(), 'kavlin', windows_path(setup), KAVLIN_FOLDER, '30000')
    result = fields(text)
    if status != 0 and 'failed' not in result:
        result['failed'] = f'install-timer ended with {status}: {text.strip()[-200:]}'
    return result


def run_nsis(setup):
    clean(NSIS_FOLDER)
    status, text = wine(timer(), 'run', windows_path(setup), '/S', f'/D={NSIS_FOLDER}')
    result = fields(text)
    if status != 0 or result.get('exit') != '0':
        result['failed'] = f'NSIS installer: {text.strip()[-200:]}'
    return result


def seconds(values):
    if not values:
        return '-'
    return f'{min(values) / 1000:.2f} / {statistics.median(values) / 1000:.2f}'


def load():
    return ' '.join(f'{x:.2f}' for x in os.getloadavg())


def measure():
    if 'WINEPREFIX' not in os.environ:
        fail('measure runs inside tools/with-wine')
    names, count = payload_names(), runs()
    first_install = os.environ.get('BENCH_FIRST_INSTALL') == '1'
    prefix = os.environ['WINEPREFIX']
    began = time.time()
    load_before = load()

    # The project's SNMP agent, as tools/agent/install-agent puts it (the caller set inetmib1=n).
    system = os.path.join(prefix, 'drive_c', 'windows', 'syswow64')
    if not os.path.isdir(system):
        system = os.path.join(prefix, 'drive_c', 'windows', 'system32')
    shutil.copyfile(os.path.join(BUILD, 'tools', 'agent', 'inetmib1.dll'), os.path.join(system, 'inetmib1.dll'))
    if not first_install:
        wine('reg', 'add', r'HKLM\Software\Orvo\Kavlin', '/v', 'InterfaceIndex', '/t', 'REG_DWORD', '/d', '1', '/f')
    wine('cmd.exe', '/c', 'exit')   # starts Wine's background programs
    # The first window in a new prefix takes seconds (Wine sets up its desktop and fonts): one
    # installation with each installer, not timed, before the timed ones.
    warm_up = os.path.join(OUT, 'default')
    run_kavlin(os.path.join(warm_up, 'KavlinSetup.exe'), first_install)
    run_nsis(os.path.join(warm_up, 'NsisSetup.exe'))

    empty = []
    for _ in range(5):
        status, text = wine(timer(), 'run', windows_path(timer()), 'noop')
        if status == 0 and 'end' in fields(text):
            empty.append(float(fields(text)['end']))

    print(f'Install time, {count} run(s) per installer and payload, in {prefix}', flush=True)
    print(f'Starting an empty Wine process (install-timer noop): min / median '
          f'{seconds(empty)} s (not subtracted below)', flush=True)
    rows, raw, problems = [], ['payload,installer,run,dialog_ms,pressed_ms,extracted_ms,setup_ms,end_ms,failed'], []
    for name in names:
        folder = os.path.join(OUT, name)
        tree = os.path.join(folder, 'tree')
        kavlin, nsis = os.path.join(folder, 'KavlinSetup.exe'), os.path.join(folder, 'NsisSetup.exe')
        files, size = tree_stats(tree)
        installs, processes, nsis_processes = [], [], []
        for run in range(1, count + 1):
            # Alternating, so that a change in the machine's load falls on both installers.
            k = run_kavlin(kavlin, first_install)
            bad = k.get('failed') or compare(tree, unix_path(KAVLIN_FOLDER), skip=(LOG_NAME,))
            if bad:
                problems.append(f'{name} KavlinSetup.exe run {run}: {bad}')
            else:
                installs.append(float(k['extracted']) - float(k['pressed']))
                processes.append(float(k['end']))
                if k.get('closed') != 'kavlin+notepad':
                    problems.append(f'{name} KavlinSetup.exe run {run}: of the installed program\'s box and '
                                    f'Notepad, only "{k.get("closed")}" came up and was closed')
            raw.append(f'{name},kavlin,{run},{k.get("dialog", "")},{k.get("pressed", "")},'
                       f'{k.get("extracted", "")},{k.get("setup", "")},{k.get("end", "")},"{bad or ""}"')
            kavlin_text = 'failed' if bad else f'install {installs[-1] / 1000:.2f} s, process {processes[-1] / 1000:.2f} s'

            n = run_nsis(nsis)
            bad = n.get('failed') or compare(tree, unix_path(NSIS_FOLDER))
            if bad:
                problems.append(f'{name} NsisSetup.exe run {run}: {bad}')
            else:
                nsis_processes.append(float(n['end']))
            raw.append(f'{name},nsis,{run},,,,,{n.get("end", "")},"{bad or ""}"')
            nsis_text = 'failed' if bad else f'process {nsis_processes[-1] / 1000:.2f} s'
            print(f'  {name} run {run}: KavlinSetup {kavlin_text}; NSIS {nsis_text}', flush=True)
        ratio = lambda a, b: f'{statistics.median(a) / statistics.median(b):.1f}' if a and b else '-'
        per_file = lambda v: f'{statistics.median(v) / files:.2f}' if v else '-'
        rows.append([name, f'{files:,}', f'{size:,}', f'{os.path.getsize(kavlin):,}',
                     f'{os.path.getsize(nsis):,}', seconds(installs), seconds(processes),
                     seconds(nsis_processes), ratio(installs, nsis_processes),
                     ratio(processes, nsis_processes), per_file(installs)])
        clean(KAVLIN_FOLDER)
        clean(NSIS_FOLDER)

    header = ['payload', 'files', 'bytes', 'KavlinSetup.exe', 'NSIS setup', 'Kavlin install s',
              'Kavlin process s', 'NSIS process s', 'install / NSIS', 'process / NSIS',
              'Kavlin ms/file']
    table = ['| ' + ' | '.join(header) + ' |',
             '|' + '|'.join('---' if i == 0 else '---:' for i in range(len(header))) + '|']
    table += ['| ' + ' | '.join(row) + ' |' for row in rows]
    minutes = (time.time() - began) / 60
    notes = [
        '',
        'Times: min / median seconds over the runs. Kavlin install: from the press of Install to the',
        'close of the main dialog (end of the extraction). Kavlin process, NSIS process: from the start',
        'of the process to its end (Kavlin: main dialog, Install, extraction, launch of Kavlin.exe and',
        'of the read-me). Ratios: medians against the NSIS process. Sizes in bytes.',
        f'Empty Wine process: {seconds(empty)} s. Load average before: {load_before}; after: {load()}; '
        f'{os.cpu_count()} CPUs. {minutes:.1f} minutes.',
    ]
    print()
    print('\n'.join(table + notes))
    with open(os.path.join(OUT, 'results.md'), 'w') as f:
        f.write('\n'.join(table + notes) + '\n')
    with open(os.path.join(OUT, 'runs.csv'), 'w') as f:
        f.write('\n'.join(raw) + '\n')
    if problems:
        print('\nProblems:', *problems, sep='\n  ')
        return 1
    return 0


if __name__ == '__main__':
    if len(sys.argv) != 2 or sys.argv[1] not in ('prepare', 'measure'):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    if sys.argv[1] == 'prepare':
        prepare()
    else:
        sys.exit(measure())
