#!/usr/bin/env python3
"""Tests of the install-time benchmark's own parts that need no Wine: the payloads it makes, the
reading of the timer's output and the comparison of an installed folder with its payload."""
import filecmp
import os
import random
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench_install  # noqa: E402


def files_of(tree):
    result = []
    for folder, _, names in os.walk(tree):
        result += [os.path.relpath(os.path.join(folder, name), tree) for name in names]
    return sorted(result)


class Payloads(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.work)
        bench_install.OUT = os.path.join(self.work, 'out')
        self.product = os.path.join(self.work, 'product.zip')
        with zipfile.ZipFile(self.product, 'w') as z:
            z.writestr('Kavlin.exe', b'MZ' + bytes(1000))
            z.writestr('ReadMe.txt', b'Read me.\r\n')

    def test_small_files_payload_has_exactly_n_files_a_hundred_to_a_folder(self):
        tree, archive = bench_install.make_payload('files-250', self.product)
        names = files_of(tree)
        self.assertEqual(len(names), 250)
        self.assertIn('Kavlin.exe', names)
        self.assertIn('ReadMe.txt', names)
        self.assertEqual(sorted(os.listdir(tree)), ['Kavlin.exe', 'ReadMe.txt', 'folder000', 'folder001', 'folder002'])
        self.assertEqual(len(os.listdir(os.path.join(tree, 'folder000'))), 100)
        self.assertEqual(subprocess.run([bench_install.zipcheck_program(), archive]).returncode, 0)

    def test_archive_lists_each_folder_before_its_files_in_sorted_order_without_descriptors(self):
        _, archive = bench_install.make_payload('files-150', self.product)
        with zipfile.ZipFile(archive) as z:
            entries = z.infolist()
        names = [e.filename for e in entries]
        self.assertEqual(names[:3], ['Kavlin.exe', 'ReadMe.txt', 'folder000/'])
        self.assertLess(names.index('folder001/'), names.index('folder001/file00100.txt'))
        self.assertEqual(names[3:], sorted(names[3:]))
        for entry in entries:
            self.assertIn(entry.compress_type, (zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED))
            self.assertFalse(entry.flag_bits & 8, entry.filename)

    def test_same_name_gives_the_same_files(self):
        first, _ = bench_install.make_payload('files-120', self.product)
        bench_install.OUT = os.path.join(self.work, 'again')
        second, _ = bench_install.make_payload('files-120', self.product)
        self.assertEqual(files_of(first), files_of(second))
        _, mismatch, errors = filecmp.cmpfiles(first, second, files_of(first), shallow=False)
        self.assertEqual((mismatch, errors), ([], []))

    def test_payload_is_kept_until_the_product_changes(self):
        _, archive = bench_install.make_payload('files-20', self.product)
        made = os.stat(archive).st_mtime_ns
        bench_install.make_payload('files-20', self.product)
        self.assertEqual(os.stat(archive).st_mtime_ns, made)
        with zipfile.ZipFile(self.product, 'a') as z:
            z.writestr('Other.txt', b'x')
        tree, _ = bench_install.make_payload('files-20', self.product)
        self.assertIn('Other.txt', os.listdir(tree))
        self.assertEqual(len(files_of(tree)), 20)

    def test_default_payload_is_the_product_archive_itself(self):
        tree, archive = bench_install.make_payload('default', self.product)
        self.assertEqual(bench_install.read(archive), bench_install.read(self.product))
        self.assertEqual(files_of(tree), ['Kavlin.exe', 'ReadMe.txt'])

    def test_mixed_files_fill_the_folders_to_the_exact_size_half_text_half_random(self):
        tree = os.path.join(self.work, 'mixed')
        bench_install.fill_mixed(tree, random.Random(5), 400_000, 40, 4)
        names = files_of(tree)
        self.assertEqual(len(names), 40)
        self.assertEqual(sorted(os.listdir(tree)), ['folder00', 'folder01', 'folder02', 'folder03'])
        self.assertEqual(bench_install.tree_stats(tree), (40, 400_000))
        texts = [n for n in names if n.endswith('.txt')]
        self.assertEqual(len(texts), 20)
        for name in texts:
            data = bench_install.read(os.path.join(tree, name))
            self.assertTrue(all(32 <= b < 127 or b in (10, 13) for b in data), name)

    def test_payload_names_are_checked(self):
        for value, good in (('default files-3, mixed-50mb', True), ('files-2', False), ('big', False)):
            os.environ['BENCH_PAYLOADS'] = value
            try:
                if good:
                    self.assertEqual(bench_install.payload_names(), ['default', 'files-3', 'mixed-50mb'])
                else:
                    with self.assertRaises(SystemExit):
                        bench_install.payload_names()
            finally:
                del os.environ['BENCH_PAYLOADS']


class TimerOutput(unittest.TestCase):
    def test_fields_of_a_run(self):
        self.assertEqual(bench_install.fields('end=12.5 exit=0\n'), {'end': '12.5', 'exit': '0'})

    def test_failure_text_keeps_its_blanks(self):
        got = bench_install.fields('noise\ndialog=1.0 pressed=2.0 extracted=9.0 setup=0.0 end=9.5 closed= '
                                   'failed=Cannot write C:\\bench\\a b.txt\n')
        self.assertEqual(got['failed'], 'Cannot write C:\\bench\\a b.txt')
        self.assertEqual(got['extracted'], '9.0')
        self.assertEqual(got['closed'], '')

    def test_failure_alone(self):
        self.assertEqual(bench_install.fields('failed=no main dialog'), {'failed': 'no main dialog'})


class Comparison(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.work)
        self.tree, self.installed = os.path.join(self.work, 'tree'), os.path.join(self.work, 'installed')
        for root in (self.tree, self.installed):
            bench_install.write(os.path.join(root, 'a', 'one.txt'), b'one')
            bench_install.write(os.path.join(root, 'two.bin'), b'\0\1\2')

    def test_equal_folders_match_and_the_log_is_skipped(self):
        bench_install.write(os.path.join(self.installed, 'UInstall.uif'), b'log')
        self.assertIsNone(bench_install.compare(self.tree, self.installed, skip=('UInstall.uif',)))
        self.assertIsNotNone(bench_install.compare(self.tree, self.installed))

    def test_a_changed_byte_is_found(self):
        bench_install.write(os.path.join(self.installed, 'a', 'one.txt'), b'onE')
        self.assertIn('one.txt differs', bench_install.compare(self.tree, self.installed))

    def test_a_missing_file_or_folder_is_found(self):
        os.remove(os.path.join(self.installed, 'two.bin'))
        self.assertIn('1 files, 3 bytes installed', bench_install.compare(self.tree, self.installed))
        self.assertEqual(bench_install.compare(self.tree, os.path.join(self.work, 'none')), 'nothing installed')


if __name__ == '__main__':
    unittest.main()
