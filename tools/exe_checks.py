"""What the checks of the built executables share (check-imports.py, check-instructions.py,
check-reproducible.py): a reader of the PE image parts they look at, the PE checksum, and the
report that ends each check.
"""
import collections
import struct

PE32_MAGIC = 0x10B
DIRECTORY_IMPORT = 1
DIRECTORY_RESOURCE = 2

# One entry of the section table; `address` is relative to the image base.
Section = collections.namedtuple("Section", "name address virtual_size raw_size raw_offset flags")


class PeError(Exception):
    pass


class PeImage:
    """The parts of a PE image the checks need, read through little-endian helpers."""

    def __init__(self, data):
        self.data = data
        if self.u16(0) != 0x5A4D:
            raise PeError("no MZ header")
        pe = self.u32(0x3C)
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        self.machine = self.u16(pe + 4)
        section_count = self.u16(pe + 6)
        self.time_stamp = self.u32(pe + 8)
        optional_size = self.u16(pe + 20)
        optional = pe + 24
        self.sections = []
        table = optional + optional_size
        for i in range(section_count):
            entry = table + 40 * i
            if entry + 40 > len(self.data):
                raise PeError("truncated section table")
            name = self.data[entry:entry + 8].rstrip(b"\0").decode("ascii", "replace")
            virtual_size, address, raw_size, raw_offset = struct.unpack_from(
                "<IIII", self.data, entry + 8)
            self.sections.append(Section(name, address, virtual_size, raw_size, raw_offset,
                                         self.u32(entry + 36)))
        self.magic = self.u16(optional)
        if self.magic != PE32_MAGIC:
            return
        self.image_base = self.u32(optional + 28)
        self.subsystem_version = (self.u16(optional + 48), self.u16(optional + 50))
        self.checksum_offset = optional + 64
        self.checksum = self.u32(self.checksum_offset)
        self.subsystem = self.u16(optional + 68)
        directory_count = self.u32(optional + 92)
        self.directories = [(self.u32(optional + 96 + 8 * i), self.u32(optional + 100 + 8 * i))
                            for i in range(min(directory_count, 16))]

    def u16(self, offset):
        if offset + 2 > len(self.data):
            raise PeError("truncated at offset %d" % offset)
        return struct.unpack_from("<H", self.data, offset)[0]

    def u32(self, offset):
        if offset + 4 > len(self.data):
            raise PeError("truncated at offset %d" % offset)
        return struct.unpack_from("<I", self.data, offset)[0]

    def offset(self, rva):
        for section in self.sections:
            if section.address <= rva < section.address + max(section.virtual_size,
                                                                section.raw_size):
                return section.raw_offset + rva - section.address
        raise PeError("address 0x%x lies in no section" % rva)

    def text(self, rva):
        start = self.offset(rva)
        end = self.data.index(b"\0", start)
        return self.data[start:end].decode("ascii")

    def import_descriptors(self):
        """(DLL name RVA, lookup table RVA, time stamp) of each import descriptor, in order."""
        rva, _ = self.directories[DIRECTORY_IMPORT]
        if rva == 0:
            return
        descriptor = self.offset(rva)
        while True:
            lookup, time_stamp, _, name, first_thunk = struct.unpack_from(
                "<IIIII", self.data, descriptor)
            if lookup == 0 and name == 0 and first_thunk == 0:
                return
            yield name, lookup or first_thunk, time_stamp
            descriptor += 20

    def imports(self):
        """(DLL name, [function names; '#n' for an import by ordinal]) in table order."""
        result = []
        for name, lookup, _ in self.import_descriptors():
            thunk = self.offset(lookup)
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
        return result

    def _resource_root(self):
        rva, _ = self.directories[DIRECTORY_RESOURCE]
        return self.offset(rva) if rva else None

    def _resource_entries(self, directory):
        named, numbered = struct.unpack_from("<HH", self.data, directory + 12)
        for i in range(named + numbered):
            yield struct.unpack_from("<II", self.data, directory + 16 + 8 * i)

    def resource_time_stamps(self):
        """The time stamp of each table of the resource directory tree, the root's first."""
        root = self._resource_root()
        if root is None:
            return []
        stamps, pending = [], [root]
        while pending:
            directory = pending.pop(0)
            stamps.append(self.u32(directory + 4))
            pending.extend(root + (target & 0x7FFFFFFF)
                           for _, target in self._resource_entries(directory)
                           if target & 0x80000000)
        return stamps

    def resource(self, type_id, name):
        """The bytes of the first language of resource `name` of `type_id`, or None."""
        root = self._resource_root()
        if root is None:
            return None

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
            for key, target in self._resource_entries(directory):
                if key_matches(key, wanted) and target & 0x80000000:
                    directory = root + (target & 0x7FFFFFFF)
                    break
            else:
                return None
        for _, target in self._resource_entries(directory):
            if not target & 0x80000000:
                rva, size = struct.unpack_from("<II", self.data, root + target)
                start = self.offset(rva)
                return self.data[start:start + size]
        return None


def pe_checksum(data, checksum_offset):
    """The PE image checksum of `data`: its 16-bit little-endian words added with the carries
    folded back in, the checksum field itself left out, plus the file's length."""
    padded = data + b"\0" * (len(data) % 2)
    words = struct.unpack("<%dH" % (len(padded) // 2), padded)
    skipped = (checksum_offset // 2, checksum_offset // 2 + 1)
    total = 0
    for index, word in enumerate(words):
        if index in skipped:
            continue
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(data)


def report(failures, label, summary, success):
    """Prints each failure after `label`, then their count followed by `summary`, or `success`
    when there is none. Returns the exit status of the check: 1 on failures, else 0."""
    for failure in failures:
        print(label + failure)
    if failures:
        print("%d %s" % (len(failures), summary))
        return 1
    print(success)
    return 0
