// kavlin-zipcheck: checks, at build time, that an archive is one the installer can unpack,
// with the installer's own code: the same name and path rules (for the default destination),
// the same walk, and every entry decoded with the installer's decoder and checked against its
// size and CRC-32, exactly as the installer checks its payload before writing anything.
//
//   kavlin-zipcheck ARCHIVE.zip
//
// Exit status 0 when the installer would unpack it; 1 with one line naming the entry and the
// reason when it would refuse it; 2 when the file cannot be read.
#include "archive/check.h"

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

uint64_t file_size(FILE *file)
{
    if (fseek(file, 0, SEEK_END) != 0)
        return 0;
    long size = ftell(file);
    return size < 0 ? 0 : (uint64_t)size;
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

// Why an archive or entry is not one the installer unpacks, in the vendor's terms.
const char *cause_text(ArchiveCause cause)
{
    switch (cause) {
    case CAUSE_NO_END_RECORD:
        return "no end-of-central-directory record: the archive is cut short or no ZIP archive";
    case CAUSE_TRAILING_BYTES:
        return "bytes after the end-of-central-directory record and its comment (padding?)";
    case CAUSE_ZIP64:
        return "ZIP64 (a ZIP64 record or extra field 0x0001, or sizes or offsets of 0xFFFFFFFF): "
               "the installer reads plain ZIP only";
    case CAUSE_SPANNED: return "a spanned or split archive (spanning marker or disk numbers)";
    case CAUSE_PREFIX:
        return "a stub or other bytes before the first local header (a self-extractor?)";
    case CAUSE_DIRECTORY_DAMAGED: return "the central directory is damaged";
    case CAUSE_DIRECTORY_COUNT:
        return "the central directory holds another number of records than its end record says";
    case CAUSE_DIRECTORY_DUPLICATE:
        return "two central-directory records point at the same local header";
    case CAUSE_WALK_END:
        return "the local headers do not end where the central directory starts (cut short, or "
               "bytes that belong to no entry)";
    case CAUSE_NOT_LISTED: return "the central directory does not list this local header";
    case CAUSE_NOT_FOUND:
        return "the central directory lists it, but no local header stands at its offset";
    case CAUSE_DIFFERENT_NAME: return "the local header's name is not the central directory's";
    case CAUSE_DIFFERENT_FLAGS: return "the local header's flags are not the central directory's";
    case CAUSE_DIFFERENT_METHOD:
        return "the local header's compression method is not the central directory's";
    case CAUSE_DIFFERENT_CRC: return "the local header's CRC-32 is not the central directory's";
    case CAUSE_DIFFERENT_COMPRESSED_SIZE:
        return "the local header's compressed size is not the central directory's";
    case CAUSE_DIFFERENT_UNCOMPRESSED_SIZE:
        return "the local header's uncompressed size is not the central directory's";
    case CAUSE_DESCRIPTOR_ONLY:
        return "its sizes or CRC-32 are only in a data descriptor (written by a writer that "
               "could not seek): the installer reads them from the local header";
    case CAUSE_DESCRIPTOR_UNSIGNED:
        return "its data descriptor has no signature: the installer steps over signed ones only";
    case CAUSE_DESCRIPTOR_DIFFERS:
        return "its data descriptor disagrees with its local header";
    case CAUSE_NAME_UNREADABLE:
        return "the name is longer than 257 bytes or cut short by the archive's end";
    case CAUSE_NAME_EMPTY: return "the name is empty";
    case CAUSE_NAME_CONTROL: return "the name holds a control character (NUL included)";
    case CAUSE_NAME_CHARACTER: return "the name holds one of : < > \" | ? * or DEL";
    case CAUSE_NAME_OUTSIDE:
        return "the name leaves the destination folder (a leading separator or a '..' component)";
    case CAUSE_NAME_DEVICE: return "the name names a device (CON, NUL, COM1, LPT1 and the like)";
    case CAUSE_NAME_UTF8:
        return "the name is UTF-8 (flag bit 11) and must be stored in the Windows code page";
    case CAUSE_ENCRYPTED: return "the entry is encrypted: the installer holds no password";
    case CAUSE_TOO_FAR: return "the archive reaches past 2 GiB";
    default: return "the installer would refuse it";
    }
}

// One line for the problem (without the archive and entry), in `line`.
void describe(const ArchiveProblem *problem, char *line, size_t size)
{
    const char *text;
    switch (problem->kind) {
    case ARCHIVE_BAD_ENTRY: text = cause_text(problem->cause); break;
    case ARCHIVE_PATH_TOO_LONG:
        text = "its path under the default destination is longer than the installer takes";
        break;
    case ARCHIVE_UNKNOWN_METHOD:
        snprintf(line, size, "compression method %u, neither 0 (stored) nor 8 (deflated)",
                 problem->method);
        return;
    case ARCHIVE_BAD_DATA: text = inflate_reason(problem->reason); break;
    case ARCHIVE_TRUNCATED: text = "the stored data runs past the end of the archive"; break;
    case ARCHIVE_SIZE_MISMATCH: text = "the data is not of its declared size"; break;
    case ARCHIVE_OVERRUN: text = "the data decodes to more than its declared size"; break;
    case ARCHIVE_CRC_MISMATCH: text = "the CRC-32 of the data is not the header's"; break;
    case ARCHIVE_NO_MEMORY: text = "out of memory"; break;
    default: text = "the installer would refuse it"; break;
    }
    snprintf(line, size, "%s", text);
}

struct Check {
    const char *path;
    bool failed;
};

void progress(void *, uint32_t) {}
void status(void *, const char *, uint32_t) {}
bool stop_requested(void *) { return false; }

void problem(void *context, const ArchiveProblem *problem)
{
    Check *check = (Check *)context;
    char line[200];
    describe(problem, line, sizeof line);
    if (problem->entry[0])
        fprintf(stderr, "%s: entry '%s': %s\n", check->path, problem->entry, line);
    else
        fprintf(stderr, "%s: %s\n", check->path, line);
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
    const ZipSource source = { read_file, seek_file, &file, file_size(file.file) };
    const ArchiveReport report = { status, progress, problem, stop_requested, &check };
    ArchiveFailure result = check_archive(&source, DEFAULT_DESTINATION, &report);
    fclose(file.file);
    if (result == ARCHIVE_NO_FILES)
        fprintf(stderr, "%s: no file entry: the installer would install nothing\n", argv[1]);
    return result == ARCHIVE_OK ? 0 : 1;
}
