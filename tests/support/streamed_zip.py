"""Archives as writers that cannot seek write them (a pipe): every entry with flag bit 3, its
CRC-32 and sizes only in a data descriptor after its data. Shared by the tests that need one."""
import zipfile


class _Pipe:
    """A file that can only be written, as a pipe is: zipfile then streams its entries."""

    def __init__(self, path):
        self.file = open(path, 'wb')

    def write(self, data):
        return self.file.write(data)

    def flush(self):
        self.file.flush()


def write_streamed(path, entries, method=zipfile.ZIP_STORED):
    """Writes the (name, data) entries to `path` as Python's zipfile writes them to a pipe."""
    pipe = _Pipe(path)
    with zipfile.ZipFile(pipe, 'w', method) as z:
        for name, data in entries:
            z.writestr(name, data)
    pipe.file.close()
