// The portable side of the extraction, natively under the sanitizers: entry name rules, the
// decoding of an entry with its size accounting, and the whole-archive check.
#include "archive/check.h"
#include "archive/entry_names.h"
#include "tests/support/zip_builder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>

namespace {

// An archive in memory, read through ZipSource.
struct MemorySource {
    std::string data;
    size_t pos = 0;
    ZipSource source() { return { read, seek, this, data.size() }; }
    static unsigned long read(void *context, unsigned char *buffer, unsigned long count)
    {
        MemorySource *m = static_cast<MemorySource *>(context);
        size_t n = std::min<size_t>(count, m->data.size() - m->pos);
        memcpy(buffer, m->data.data() + m->pos, n);
        m->pos += n;
        return (unsigned long)n;
    }
    static bool seek(void *context, uint32_t offset)
    {
        MemorySource *m = static_cast<MemorySource *>(context);
        m->pos = std::min<size_t>(offset, m->data.size());
        return true;
    }
};

// Counts what reaches the sink.
struct CountingSink {
    uint64_t bytes = 0;
    ZipSink sink() { return { write, this }; }
    static bool write(void *context, const unsigned char *, unsigned long count)
    {
        static_cast<CountingSink *>(context)->bytes += count;
        return true;
    }
};

std::string raw_deflate(const std::string &data, int flush = Z_FINISH)
{
    z_stream z = {};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()) + 64, '\0');
    z.next_in = (Bytef *)data.data();
    z.avail_in = (uInt)data.size();
    z.next_out = (Bytef *)&out[0];
    z.avail_out = (uInt)out.size();
    deflate(&z, flush);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

ArchiveFailure read_entry(MemorySource &archive, CountingSink &sink, InflateResult *reason)
{
    ZipCursor cursor;
    ZipEntry entry;
    ZipSource source = archive.source();
    zip_cursor_start(&cursor, &source);
    EXPECT_EQ(ZIP_STEP_ENTRY, zip_next_entry(&cursor, &entry));
    ZipSink output = sink.sink();
    return zip_read_data(&source, &entry, &output, reason);
}

} // namespace

TEST(EntryNames, RefuseWhatIsNoOrdinaryFileUnderTheDestinationWithItsCause)
{
    const struct {
        std::string name;
        ArchiveCause cause;
        unsigned flags;
    } refused[] = {
        { "", CAUSE_NAME_EMPTY, 0 },
        { "/a", CAUSE_NAME_OUTSIDE, 0 }, { "\\a", CAUSE_NAME_OUTSIDE, 0 },
        { "../a", CAUSE_NAME_OUTSIDE, 0 }, { "a/../b", CAUSE_NAME_OUTSIDE, 0 },
        { "a/.. /b", CAUSE_NAME_OUTSIDE, 0 }, { "a/.../b", CAUSE_NAME_OUTSIDE, 0 },
        { "C:a", CAUSE_NAME_CHARACTER, 0 }, { "a:stream", CAUSE_NAME_CHARACTER, 0 },
        { "del\x7F", CAUSE_NAME_CHARACTER, 0 }, { "a<b", CAUSE_NAME_CHARACTER, 0 },
        { "a>b", CAUSE_NAME_CHARACTER, 0 }, { "a\"b", CAUSE_NAME_CHARACTER, 0 },
        { "a|b", CAUSE_NAME_CHARACTER, 0 }, { "a?b", CAUSE_NAME_CHARACTER, 0 },
        { "a*b", CAUSE_NAME_CHARACTER, 0 },
        { "nul", CAUSE_NAME_DEVICE, 0 }, { "sub/CON.txt", CAUSE_NAME_DEVICE, 0 },
        { "com1", CAUSE_NAME_DEVICE, 0 }, { "COM0", CAUSE_NAME_DEVICE, 0 },
        { "lpt0.log", CAUSE_NAME_DEVICE, 0 }, { "CONIN$", CAUSE_NAME_DEVICE, 0 },
        { "conout$.txt", CAUSE_NAME_DEVICE, 0 }, { "LPT\xB9", CAUSE_NAME_DEVICE, 0 },
        { "COM\xB2.x", CAUSE_NAME_DEVICE, 0 }, { "COM\xB3", CAUSE_NAME_DEVICE, 0 },
        { "a\rb", CAUSE_NAME_CONTROL, 0 }, { "a\nb", CAUSE_NAME_CONTROL, 0 },
        { "tab\there", CAUSE_NAME_CONTROL, 0 },
        // A NUL within the stored length would cut the name short ("setup.ini").
        { std::string("setup.ini\0.txt", 14), CAUSE_NAME_CONTROL, 0 },
        // UTF-8 names would land garbled through the ANSI calls.
        { "sm\xC3\xA9r.txt", CAUSE_NAME_UTF8, ZIP_FLAG_UTF8_NAME },
    };
    for (const auto &r : refused)
        EXPECT_EQ(r.cause, entry_name_cause(r.name.data(), r.name.size(), r.flags)) << r.name;
    const char *accepted[] = {
        "a", "..a", "a..", "sub/./console.txt", "com10", "LPT", "conin", "con$", "\xE1\x9A.txt",
        "dir/", "a b/c d.txt",
    };
    for (const char *name : accepted)
        EXPECT_EQ(CAUSE_NONE, entry_name_cause(name, strlen(name), 0)) << name;
    // Plain ASCII flagged as UTF-8 is the same in every code page.
    EXPECT_EQ(CAUSE_NONE, entry_name_cause("plain.txt", 9, ZIP_FLAG_UTF8_NAME));
}

TEST(EntryNames, DestinationPathsFitALogLine)
{
    char path[PATH_SIZE];
    ASSERT_TRUE(entry_destination("C:\\Dest", "sub/a.txt", path, sizeof path));
    EXPECT_STREQ("C:\\Dest\\sub\\a.txt", path);
    std::string longest(ENTRY_PATH_MAX - 8, 'x');
    EXPECT_TRUE(entry_destination("C:\\Dest", longest.c_str(), path, sizeof path));
    // Too long: refused, but the path stays for the message that names it.
    EXPECT_FALSE(entry_destination("C:\\Dest", (longest + "y").c_str(), path, sizeof path));
    EXPECT_EQ("C:\\Dest\\" + longest + "y", std::string(path));
    std::string beyond(PATH_SIZE, 'z');
    EXPECT_FALSE(entry_destination("C:\\Dest", beyond.c_str(), path, sizeof path));
    EXPECT_STREQ("", path);
    char typed[] = "C:/Program Files/Kavlin/";
    EXPECT_STREQ("C:\\Program Files\\Kavlin", normalize_destination(typed));
}

// Output is counted in 64 bits and never passes the declared size: an entry whose data
// decodes to 4 GiB + 4 bytes but declares 4 (the same size modulo 2^32, with the CRC of the
// real output) stops at its first window without writing it.
TEST(EntryData, OutputPastTheDeclaredSizeIsRefusedBeforeItIsWritten)
{
    // 1 MiB of zeros as a sync-flushed block sequence, repeated 4096 times, then four bytes
    // and the final block: 4 GiB + 4 bytes of output from about 4 MB of data.
    std::string chunk = raw_deflate(std::string(1 << 20, '\0'), Z_SYNC_FLUSH);
    std::string stream;
    for (int i = 0; i < 4096; i++)
        stream += chunk;
    stream += raw_deflate("tail");
    uLong crc = crc32(0, Z_NULL, 0);
    std::string zeros(1 << 20, '\0');
    for (int i = 0; i < 4096; i++)
        crc = crc32(crc, (const Bytef *)zeros.data(), (uInt)zeros.size());
    crc = crc32(crc, (const Bytef *)"tail", 4);

    ZipRecord big = deflated_record("big.bin", "", stream);
    big.crc = (uint32_t)crc;
    big.uncompressed_size = 4;
    MemorySource archive;
    archive.data = ZipWriter().add(big).bytes();
    CountingSink sink;
    InflateResult reason;
    EXPECT_EQ(ARCHIVE_OVERRUN, read_entry(archive, sink, &reason));
    EXPECT_EQ(0u, sink.bytes);

    // A stored entry whose sizes differ is refused before anything is read.
    ZipRecord stored = stored_record("s.bin", std::string(100000, 's'));
    stored.uncompressed_size = 1;
    archive.data = ZipWriter().add(stored).bytes();
    archive.pos = 0;
    EXPECT_EQ(ARCHIVE_SIZE_MISMATCH, read_entry(archive, sink, &reason));
    EXPECT_EQ(0u, sink.bytes);
}

namespace {

// What the walk reported; the texts are copied, since they live only as long as the report.
struct Reports {
    std::vector<ArchiveProblem> problems;
    std::vector<std::string> entries;
    std::vector<std::string> details;
    static void status(void *, const char *, uint32_t) {}
    static void progress(void *, uint32_t) {}
    static bool stop(void *) { return false; }
    static void problem(void *context, const ArchiveProblem *p)
    {
        static_cast<Reports *>(context)->problems.push_back(*p);
        static_cast<Reports *>(context)->entries.push_back(p->entry);
        static_cast<Reports *>(context)->details.push_back(p->detail);
    }
};

ArchiveFailure check(const std::string &data, Reports &reports)
{
    MemorySource archive;
    archive.data = data;
    ZipSource source = archive.source();
    ArchiveReport report = { Reports::status, Reports::progress, Reports::problem,
                             Reports::stop, &reports };
    return check_archive(&source, "C:\\Dest", &report);
}

std::string text(size_t size, unsigned seed)
{
    std::string out;
    while (out.size() < size)
        out += "line " + std::to_string(seed * 7919 + out.size()) + " of a text\r\n";
    out.resize(size);
    return out;
}

ZipRecord deflated(const std::string &name, const std::string &content)
{
    return deflated_record(name, content, raw_deflate(content));
}

// A record with one field changed.
template <class Change> ZipRecord changed(ZipRecord record, Change change)
{
    change(record);
    return record;
}

ZipRecord with_descriptor_flag(ZipRecord record)
{
    record.flags |= ZIP_FLAG_DESCRIPTOR;
    return record;
}

// A streamed entry as a writer that cannot seek writes it: flag bit 3, and zeros where the
// local header would hold the CRC-32 (and the sizes, unless `keep_sizes`).
ZipRecord streamed(ZipRecord record, bool keep_sizes)
{
    record = with_descriptor_flag(record);
    record.crc = 0;
    if (!keep_sizes)
        record.compressed_size = record.uncompressed_size = 0;
    return record;
}

std::string zip64_extra()
{
    std::string extra;
    put16(extra, 0x0001);
    put16(extra, 8);
    put32(extra, 5000);
    put32(extra, 0);
    return extra;
}

// The offset of the central directory's record number `index`.
size_t directory_record(const std::string &archive, size_t directory, int index)
{
    size_t at = directory;
    for (int i = 0; i < index; i++)
        at += 46 + get16(archive, at + 28) + get16(archive, at + 30) + get16(archive, at + 32);
    return at;
}

} // namespace

// Archives from writers of every kind: the ones whose local headers tell what their central
// directory lists pass; every other one is refused before anything is written, naming its real
// cause and the entry (or none, for the archive as a whole). Problems of the end record and
// the central directory come first, then the entries in file order.
TEST(CheckArchive, HoldsTheLocalHeadersToTheCentralDirectory)
{
    const ZipRecord a = deflated("a.txt", text(50000, 1));
    const ZipRecord b = stored_record("sub/b.bin", text(3000, 2));
    ZipWriter plain;
    plain.add(a).add_directory("sub/").add(b);
    ZipWriter finished = ZipWriter(plain).finish();
    const std::string good = finished.bytes();
    const size_t end = finished.end_offset();
    ZipRecord padded = b;
    padded.extra = std::string("\x0A\x00\x01\x00\x07", 5);   // one block and a stray byte

    std::string counted_more = good;
    set16(counted_more, end + 8, 4);
    set16(counted_more, end + 10, 4);
    ZipWriter named = ZipWriter().add_stored("../x", "x").finish();
    std::string bad_name_and_count = named.bytes();
    set16(bad_name_and_count, named.end_offset() + 8, 2);
    set16(bad_name_and_count, named.end_offset() + 10, 2);
    std::string zip64_size = good;
    set32(zip64_size, end + 12, 0xFFFFFFFF);
    std::string duplicate = good;
    set32(duplicate, directory_record(good, finished.directory_offset(), 2) + 42, 0);
    std::string short_signature = ZipWriter(plain).add_unlisted(stored_record("hidden.txt", "h"))
                                      .finish().bytes();
    set32(short_signature, local_header_offsets(short_signature).back(), 0x50000000);
    std::string points_nowhere = good;
    set32(points_nowhere, directory_record(good, finished.directory_offset(), 2) + 42, 7);

    const struct {
        const char *what;
        std::string archive;
        ArchiveFailure kind;
        ArchiveCause cause;
        std::string entry;
    } cases[] = {
        { "as written", good, ARCHIVE_OK, CAUSE_NONE, "" },
        { "with a comment", ZipWriter(plain).finish(false, "made for Kavlin").bytes(), ARCHIVE_OK,
          CAUSE_NONE, "" },
        { "directory in another order", ZipWriter(plain).finish(true).bytes(), ARCHIVE_OK,
          CAUSE_NONE, "" },
        { "odd-length extra field", ZipWriter().add(a).add(padded).finish().bytes(), ARCHIVE_OK,
          CAUSE_NONE, "" },
        { "bit 3 with real local sizes", ZipWriter().add(with_descriptor_flag(a)).add_descriptor()
              .add(b).finish().bytes(), ARCHIVE_OK, CAUSE_NONE, "" },
        { "ASCII name flagged UTF-8",
          ZipWriter().add(changed(a, [](ZipRecord &r) { r.flags |= ZIP_FLAG_UTF8_NAME; }))
              .finish().bytes(), ARCHIVE_OK, CAUSE_NONE, "" },

        { "cut short", good.substr(0, good.size() - 30), ARCHIVE_BAD_ENTRY, CAUSE_NO_END_RECORD, "" },
        { "padded after its end", good + std::string(512, '\0'), ARCHIVE_BAD_ENTRY,
          CAUSE_TRAILING_BYTES, "" },
        { "ZIP64 end record", zip64_size, ARCHIVE_BAD_ENTRY, CAUSE_ZIP64, "" },
        { "ZIP64 extra field",
          ZipWriter().add(changed(a, [](ZipRecord &r) { r.extra = zip64_extra(); }))
              .finish().bytes(), ARCHIVE_BAD_ENTRY, CAUSE_ZIP64, "" },
        { "spanning marker", "PK\x07\x08" + good, ARCHIVE_BAD_ENTRY, CAUSE_SPANNED, "" },
        { "stub in front", "MZ stub of a self-extractor" + good, ARCHIVE_BAD_ENTRY,
          CAUSE_PREFIX, "" },
        { "more records counted", counted_more, ARCHIVE_BAD_ENTRY, CAUSE_DIRECTORY_COUNT, "" },
        { "directory first, names after", bad_name_and_count, ARCHIVE_BAD_ENTRY,
          CAUSE_DIRECTORY_COUNT, "" },
        { "two records, one header", duplicate, ARCHIVE_BAD_ENTRY, CAUSE_DIRECTORY_DUPLICATE, "" },
        { "end record lists nothing", ZipWriter().add_unlisted(a).finish().bytes(),
          ARCHIVE_BAD_ENTRY, CAUSE_NOT_LISTED, "a.txt" },
        { "unlisted header in front", ZipWriter().add_unlisted(stored_record("extra.txt", "x"))
              .add(a).finish().bytes(), ARCHIVE_BAD_ENTRY, CAUSE_NOT_LISTED, "extra.txt" },
        { "00 00 00 50 record", short_signature, ARCHIVE_BAD_ENTRY, CAUSE_NOT_LISTED,
          "hidden.txt" },
        { "record pointing nowhere", points_nowhere, ARCHIVE_BAD_ENTRY, CAUSE_NOT_LISTED,
          "sub/b.bin" },
        { "listed where no header is",
          ZipWriter().add(a).list_only(stored_record("ghost.txt", "g"), 7).finish().bytes(),
          ARCHIVE_BAD_ENTRY, CAUSE_NOT_FOUND, "ghost.txt" },
        { "bytes after the last entry", ZipWriter().add(a).add_raw("junk").finish().bytes(),
          ARCHIVE_BAD_ENTRY, CAUSE_WALK_END, "" },
        { "listed under another name",
          ZipWriter().add(a, changed(a, [](ZipRecord &r) { r.name = "b.txt"; })).finish().bytes(),
          ARCHIVE_BAD_ENTRY, CAUSE_DIFFERENT_NAME, "a.txt" },
        { "listed with other flags",
          ZipWriter().add(a, changed(a, [](ZipRecord &r) { r.flags = 2; })).finish().bytes(),
          ARCHIVE_BAD_ENTRY, CAUSE_DIFFERENT_FLAGS, "a.txt" },
        { "listed with another method",
          ZipWriter().add(b, changed(b, [](ZipRecord &r) { r.method = 8; })).finish().bytes(),
          ARCHIVE_BAD_ENTRY, CAUSE_DIFFERENT_METHOD, "sub/b.bin" },
        { "listed with another CRC-32",
          ZipWriter().add(a, changed(a, [](ZipRecord &r) { r.crc ^= 1; })).finish().bytes(),
          ARCHIVE_BAD_ENTRY, CAUSE_DIFFERENT_CRC, "a.txt" },
        { "listed with another compressed size",
          ZipWriter().add(a, changed(a, [](ZipRecord &r) { r.compressed_size++; })).finish().bytes(),
          ARCHIVE_BAD_ENTRY, CAUSE_DIFFERENT_COMPRESSED_SIZE, "a.txt" },
        { "listed with another size",
          ZipWriter().add(a, changed(a, [](ZipRecord &r) { r.uncompressed_size--; })).finish().bytes(),
          ARCHIVE_BAD_ENTRY, CAUSE_DIFFERENT_UNCOMPRESSED_SIZE, "a.txt" },
        { "streamed stored entry", ZipWriter().add(streamed(b, false), with_descriptor_flag(b))
              .add_descriptor().add(a).finish().bytes(), ARCHIVE_BAD_ENTRY, CAUSE_DESCRIPTOR_ONLY,
          "sub/b.bin" },
        { "streamed deflated entry", ZipWriter().add(streamed(a, false), with_descriptor_flag(a))
              .add_descriptor().finish().bytes(), ARCHIVE_BAD_ENTRY, CAUSE_DESCRIPTOR_ONLY, "a.txt" },
        { "CRC-32 only in the descriptor", ZipWriter().add(streamed(b, true), with_descriptor_flag(b))
              .add_descriptor().finish().bytes(), ARCHIVE_BAD_ENTRY, CAUSE_DESCRIPTOR_ONLY,
          "sub/b.bin" },
        { "unsigned descriptor", ZipWriter().add(with_descriptor_flag(a)).add_descriptor(false)
              .finish().bytes(), ARCHIVE_BAD_ENTRY, CAUSE_DESCRIPTOR_UNSIGNED, "a.txt" },
        { "descriptor that disagrees", ZipWriter().add(with_descriptor_flag(a)).add_raw("PK\x07\x08")
              .add_raw(std::string(12, '\x01')).finish().bytes(), ARCHIVE_BAD_ENTRY,
          CAUSE_DESCRIPTOR_DIFFERS, "a.txt" },
        { "encrypted",
          ZipWriter().add(changed(a, [](ZipRecord &r) { r.flags |= ZIP_FLAG_ENCRYPTED; }))
              .finish().bytes(), ARCHIVE_BAD_ENTRY, CAUSE_ENCRYPTED, "a.txt" },
        { "NUL in a name", ZipWriter().add(stored_record(std::string("setup.ini\0.txt", 14), "x"))
              .finish().bytes(), ARCHIVE_BAD_ENTRY, CAUSE_NAME_CONTROL, "setup.ini" },
        { "UTF-8 name", ZipWriter().add(changed(stored_record("sm\xC3\xA9r.txt", "x"),
              [](ZipRecord &r) { r.flags |= ZIP_FLAG_UTF8_NAME; })).finish().bytes(),
          ARCHIVE_BAD_ENTRY, CAUSE_NAME_UTF8, "sm\xC3\xA9r.txt" },
        { "unknown method", ZipWriter().add(changed(b, [](ZipRecord &r) { r.method = 12; }))
              .finish().bytes(), ARCHIVE_UNKNOWN_METHOD, CAUSE_NONE, "sub/b.bin" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Reports reports;
        EXPECT_EQ(c.kind, check(c.archive, reports));
        if (c.kind == ARCHIVE_OK) {
            EXPECT_TRUE(reports.problems.empty());
            continue;
        }
        ASSERT_EQ(1u, reports.problems.size());
        EXPECT_EQ(c.cause, reports.problems[0].cause);
        EXPECT_EQ(c.entry, reports.entries[0]);
        if (c.kind == ARCHIVE_UNKNOWN_METHOD)
            EXPECT_EQ(12, reports.problems[0].method);
    }
}

TEST(CheckArchive, FindsDamageInTheDataAndNamesThePath)
{
    ZipRecord a = deflated("a.txt", text(50000, 3));
    a.data[a.data.size() / 2] ^= 0x20;
    Reports bad;
    EXPECT_NE(ARCHIVE_OK, check(ZipWriter().add(a).add_directory("d/").finish().bytes(), bad));
    ASSERT_EQ(1u, bad.problems.size());
    EXPECT_EQ("a.txt", bad.entries[0]);
    EXPECT_EQ("C:\\Dest\\a.txt", bad.details[0]);

    Reports none;
    EXPECT_EQ(ARCHIVE_NO_FILES, check(ZipWriter().add_directory("d/").finish().bytes(), none));
    EXPECT_TRUE(none.problems.empty());
}
