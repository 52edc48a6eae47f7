// kavlin-zipcheck: checks, at build time, that an archive is one the installer can unpack,
// with the installer's own code: the same name and path rules (for the default destination),
// the same walk, and every entry decoded with the installer's decoder and checked against its
// size and CRC-32, exactly as the installer checks its payload before writing anything.
//
//   kavlin-zipcheck ARCHIVE.zip
//
// Exit status 0 when the installer would unpack it; 1 with one line naming the entry and the
// reason when it would refuse it; 2 when the file cannot be read.
#include "archive/report.h"

#include <stdio.h>
#include <string.h>

namespace {

const char DEFAULT_DESTINATION[] = "C:\\PROGRAM FILES\\KAVLIN";

struct FileSource {
    FILE *file;
};

unsigned long read_file(void *context, unsigned char *buffer, unsigned long count)
{
    return (unsigned long)fread(buffer, 1, count, ((FileSource *)context)->file);
}

bool seek_file(void *context, uint32_t offset)
{
    return fseek(((FileSource *)context)->file, (long)offset, SEEK_SET) == 0;
}

const char *inflate_reason(InflateResult result)
{
    switch (result) {
    case INFLATE_TRUNCATED: return "the compressed data ends before its last block";
    case INFLATE_BAD_BLOCK_TYPE: return "a block of the reserved type 3";
    case INFLATE_BAD_STORED_LENGTH: return "a stored block's length check fails";
    case INFLATE_BAD_COUNTS: return "too many length or distance codes";
    case INFLATE_BAD_CODE_LENGTHS: return "a Huffman code that is over-subscribed or incomplete";
    case INFLATE_BAD_CODE: return "an invalid code in the data";
    case INFLATE_BAD_DISTANCE: return "a distance before the entry's first byte";
    default: return "the decoder failed";
    }
}

const char *failure_reason(const ArchiveProblem *problem)
{
    switch (problem->kind) {
    case ARCHIVE_BAD_ENTRY:
        return problem->entry[0]
                   ? "the name is unreadable, empty, longer than 257 characters, leaves the "
                     "destination folder or names a device, the entry is encrypted, or its size "
                     "runs past 2 GiB"
                   : "the archive does not end in its central directory (cut short, or an entry "
                     "whose sizes stand only in a data descriptor)";
    case ARCHIVE_PATH_TOO_LONG:
        return "its path under the default destination is longer than the installer takes";
    case ARCHIVE_UNKNOWN_METHOD: return "compression method other than 0 (stored) or 8 (deflated)";
    case ARCHIVE_BAD_DATA: return inflate_reason(problem->reason);
    case ARCHIVE_TRUNCATED: return "the stored data runs past the end of the archive";
    case ARCHIVE_SIZE_MISMATCH: return "the data is not of its declared size";
    case ARCHIVE_OVERRUN: return "the data decodes to more than its declared size";
    case ARCHIVE_CRC_MISMATCH: return "the CRC-32 of the data is not the header's";
    case ARCHIVE_NO_MEMORY: return "out of memory";
    default: return "the installer would refuse it";
    }
}

struct Check {
    const char *path;
    bool failed;
};

void progress(void *, uint32_t) {}
void status(void *, const char *, uint32_t) {}
bool between_files(void *) { return false; }

void problem(void *context, const ArchiveProblem *problem)
{
    Check *check = (Check *)context;
    if (problem->entry[0])
        fprintf(stderr, "%s: entry '%s': %s\n", check->path, problem->entry, failure_reason(problem));
    else
        fprintf(stderr, "%s: %s\n", check->path, failure_reason(problem));
    check->failed = true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s ARCHIVE.zip\n", argv[0]);
        return 2;
    }
    FileSource file = { fopen(argv[1], "rb") };
    if (!file.file) {
        perror(argv[1]);
        return 2;
    }
    Check check = { argv[1], false };
    const ZipSource source = { read_file, seek_file, &file };
    const ArchiveReport report = { status, progress, problem, between_files, &check };
    ArchiveFailure result = check_archive(&source, DEFAULT_DESTINATION, &report);
    fclose(file.file);
    if (result == ARCHIVE_NO_FILES)
        fprintf(stderr, "%s: no file entry: the installer would install nothing\n", argv[1]);
    return result == ARCHIVE_OK ? 0 : 1;
}
