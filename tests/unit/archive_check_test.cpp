// The portable side of the extraction, natively under the sanitizers: entry name rules, the
// decoding of an entry with its size accounting, and the whole-archive check.
#include "archive/entry_names.h"
#include "archive/report.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>

namespace {

// An archive in memory, read through ZipSource.
struct MemorySource {
    std::string data;
    size_t pos = 0;
    ZipSource source() { return { read, seek, this }; }
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

std::string le16(unsigned v) { return { char(v & 0xFF), char(v >> 8 & 0xFF) }; }
std::string le32(uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }

std::string local_header(const std::string &name, unsigned method, uint32_t crc,
                         uint32_t compressed, uint32_t size)
{
    return "PK\x03\x04" + le16(20) + le16(0) + le16(method) + le32(0) + le32(crc)
           + le32(compressed) + le32(size) + le16((unsigned)name.size()) + le16(0) + name;
}

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
    ZipWalk walk;
    ZipEntry entry;
    ZipSource source = archive.source();
    zip_walk_start(&walk, &source);
    EXPECT_EQ(ZIP_STEP_ENTRY, zip_next_entry(&walk, &entry));
    ZipSink output = sink.sink();
    return zip_read_data(&source, &entry, &output, reason);
}

} // namespace

TEST(EntryNames, RefuseWhatIsNoOrdinaryFileUnderTheDestination)
{
    const char *refused[] = {
        "", "/a", "\\a", "../a", "a/../b", "a/.. /b", "a/.../b", "C:a", "a:stream", "nul",
        "sub/CON.txt", "com1", "COM0", "lpt0.log", "CONIN$", "conout$.txt", "LPT\xB9", "COM\xB2.x",
        "COM\xB3", "a\rb", "a\nb", "tab\there", "del\x7F", "a<b", "a>b", "a\"b", "a|b", "a?b",
        "a*b",
    };
    for (const char *name : refused)
        EXPECT_FALSE(entry_name_safe(name)) << name;
    const char *accepted[] = {
        "a", "..a", "a..", "sub/./console.txt", "com10", "LPT", "conin", "con$", "\xE1\x9A.txt",
        "dir/", "a b/c d.txt",
    };
    for (const char *name : accepted)
        EXPECT_TRUE(entry_name_safe(name)) << name;
}

TEST(EntryNames, DestinationPathsFitALogLine)
{
    char path[ENTRY_PATH_SIZE];
    ASSERT_TRUE(entry_destination("C:\\Dest", "sub/a.txt", path, sizeof path));
    EXPECT_STREQ("C:\\Dest\\sub\\a.txt", path);
    std::string longest(ENTRY_PATH_MAX - 8, 'x');
    EXPECT_TRUE(entry_destination("C:\\Dest", longest.c_str(), path, sizeof path));
    EXPECT_FALSE(entry_destination("C:\\Dest", (longest + "y").c_str(), path, sizeof path));
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

    MemorySource archive;
    archive.data = local_header("big.bin", 8, (uint32_t)crc, (uint32_t)stream.size(), 4) + stream;
    CountingSink sink;
    InflateResult reason;
    EXPECT_EQ(ARCHIVE_OVERRUN, read_entry(archive, sink, &reason));
    EXPECT_EQ(0u, sink.bytes);

    // A stored entry whose sizes differ is refused before anything is read.
    archive.data = local_header("s.bin", 0, 0, 100000, 1) + std::string(100000, 's');
    archive.pos = 0;
    EXPECT_EQ(ARCHIVE_SIZE_MISMATCH, read_entry(archive, sink, &reason));
    EXPECT_EQ(0u, sink.bytes);
}

namespace {

struct Reports {
    std::vector<ArchiveProblem> problems;
    std::vector<std::string> entries;
    static void status(void *, const char *, uint32_t) {}
    static void progress(void *, uint32_t) {}
    static bool between(void *) { return false; }
    static void problem(void *context, const ArchiveProblem *p)
    {
        static_cast<Reports *>(context)->problems.push_back(*p);
        static_cast<Reports *>(context)->entries.push_back(p->entry);
    }
};

ArchiveFailure check(const std::string &data, Reports &reports)
{
    MemorySource archive;
    archive.data = data;
    ZipSource source = archive.source();
    ArchiveReport report = { Reports::status, Reports::progress, Reports::problem,
                             Reports::between, &reports };
    return check_archive(&source, "C:\\Dest", &report);
}

const std::string END_RECORD = "PK\x05\x06" + std::string(18, '\0');

} // namespace

TEST(CheckArchive, FindsDamageAnywhereAndAnArchiveThatLostItsEnd)
{
    std::string text(50000, 't');
    std::string deflated = raw_deflate(text);
    uint32_t crc = (uint32_t)crc32(0, (const Bytef *)text.data(), (uInt)text.size());
    std::string good = local_header("a.txt", 8, crc, (uint32_t)deflated.size(), 50000) + deflated
                       + local_header("d/", 0, 0, 0, 0);
    Reports ok;
    EXPECT_EQ(ARCHIVE_OK, check(good + END_RECORD, ok));
    EXPECT_TRUE(ok.problems.empty());

    Reports cut;
    EXPECT_EQ(ARCHIVE_BAD_ENTRY, check(good, cut));      // no central directory after it
    EXPECT_EQ(std::vector<std::string>{ "" }, cut.entries);

    std::string damaged = good + END_RECORD;
    damaged[40 + deflated.size() / 2] ^= 0x20;
    Reports bad;
    EXPECT_NE(ARCHIVE_OK, check(damaged, bad));
    ASSERT_EQ(1u, bad.problems.size());
    EXPECT_EQ("a.txt", bad.entries[0]);
    EXPECT_STREQ("C:\\Dest\\a.txt", bad.problems[0].detail);

    Reports none;
    EXPECT_EQ(ARCHIVE_NO_FILES, check(local_header("d/", 0, 0, 0, 0) + END_RECORD, none));
    EXPECT_TRUE(none.problems.empty());
}
