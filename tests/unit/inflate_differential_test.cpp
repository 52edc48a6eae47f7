// Differential tests: streams made by other encoders (zlib at every level and strategy, and
// Info-ZIP zip) decode to exactly the bytes they were made from, with whole-window writes.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/unit/inflate_test_support.h"

namespace {

void expect_decodes_to(const Bytes &stream, const Bytes &input, const std::string &what)
{
    DecodeOutcome d = decode(stream);
    ASSERT_EQ(d.result, INFLATE_OK) << what;
    ASSERT_TRUE(d.output == input) << what << ": output differs";
    for (size_t i = 0; i + 1 < d.write_sizes.size(); i++)
        ASSERT_EQ(d.write_sizes[i], 32768u) << what;
}

struct Input {
    const char *name;
    Bytes (*make)(size_t, uint32_t);
};

const Input inputs[] = {
    {"text", text_input}, {"binary", binary_input}, {"runs", runs_input}, {"random", random_input}};
const size_t sizes[] = {0, 1, 258, 32767, 32768, 32769, 65535, 65536, 65537, 150000};

TEST(Differential, ZlibEveryLevelAndStrategy)
{
    const struct {
        int strategy;
        const char *name;
    } strategies[] = {{Z_DEFAULT_STRATEGY, "default"}, {Z_FILTERED, "filtered"}, {Z_HUFFMAN_ONLY, "huffman"},
                      {Z_RLE, "rle"}, {Z_FIXED, "fixed"}};
    for (const Input &in : inputs) {
        for (size_t size : sizes) {
            Bytes input = in.make(size, (uint32_t)size);
            for (int level = 0; level <= 9; level++) {
                for (const auto &s : strategies) {
                    std::string what = std::string(in.name) + " " + std::to_string(size) + " level " +
                                       std::to_string(level) + " " + s.name;
                    expect_decodes_to(zlib_deflate(input, level, s.strategy), input, what);
                }
            }
        }
    }
}

TEST(Differential, ZlibSmallWindowsAndMemoryLevels)
{
    // Smaller windows and hash memory give other block splits and match choices.
    Bytes input = text_input(120000, 41);
    Bytes binary = binary_input(120000, 42);
    for (int window_bits = 9; window_bits <= 15; window_bits += 3) {
        for (int mem_level : {1, 9}) {
            for (const Bytes *data : {&input, &binary}) {
                z_stream z = {};
                ASSERT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -window_bits, mem_level, Z_DEFAULT_STRATEGY), Z_OK);
                Bytes out(deflateBound(&z, data->size()));
                z.next_in = const_cast<unsigned char *>(data->data());
                z.avail_in = (uInt)data->size();
                z.next_out = out.data();
                z.avail_out = (uInt)out.size();
                ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
                out.resize(z.total_out);
                deflateEnd(&z);
                expect_decodes_to(out, *data, "window bits " + std::to_string(window_bits) + " memory " +
                                                  std::to_string(mem_level));
            }
        }
    }
}

#ifdef KAVLIN_ZIP_PROGRAM

Bytes read_file(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// The method and raw data of the first entry of a ZIP archive (local header, ZIP application
// note 4.3.7), read with explicit little-endian offsets.
bool first_entry(const Bytes &zip, unsigned *method, Bytes *data)
{
    auto u16 = [&zip](size_t at) { return (unsigned)zip[at] | (unsigned)zip[at + 1] << 8; };
    auto u32 = [&](size_t at) { return u16(at) | (uint32_t)u16(at + 2) << 16; };
    if (zip.size() < 30 || u32(0) != 0x04034b50)
        return false;
    *method = u16(8);
    uint32_t compressed = u32(18);
    size_t start = 30 + u16(26) + u16(28);
    if ((u16(6) & 8) != 0 || start + compressed > zip.size())
        return false; // sizes after the data: not what zip writes to a file
    data->assign(zip.begin() + (long)start, zip.begin() + (long)(start + compressed));
    return true;
}

TEST(Differential, InfoZipStreams)
{
    const std::string dir = testing::TempDir() + "kavlin_inflate_zip_" + std::to_string(getpid());
    ASSERT_EQ(system(("mkdir -p '" + dir + "'").c_str()), 0);
    struct Case {
        const char *name;
        Bytes data;
    } cases[] = {
        {"short.txt", from_string("Kavlin measures the traffic of one interface.\n\n\n")},
        {"text.txt", text_input(300000, 51)},
        {"binary.bin", binary_input(100000, 52)},
        {"runs.bin", runs_input(70000, 53)},
        {"mixed.bin", [] {
             Bytes b = text_input(40000, 54), r = random_input(40000, 55), t = text_input(40000, 56);
             b.insert(b.end(), r.begin(), r.end());
             b.insert(b.end(), t.begin(), t.end());
             return b;
         }()},
    };
    int decoded = 0;
    for (const Case &c : cases) {
        std::string file = dir + "/" + c.name;
        std::ofstream(file, std::ios::binary).write((const char *)c.data.data(), (std::streamsize)c.data.size());
        for (const char *level : {"-1", "-6", "-9"}) {
            std::string archive = dir + "/a.zip";
            std::remove(archive.c_str());
            std::string command = std::string("cd '") + dir + "' && '" + KAVLIN_ZIP_PROGRAM + "' -q -X " + level +
                                  " a.zip " + c.name;
            ASSERT_EQ(system(command.c_str()), 0) << command;
            unsigned method;
            Bytes stream;
            ASSERT_TRUE(first_entry(read_file(archive), &method, &stream)) << c.name;
            if (method != 8)
                continue; // zip stored it
            expect_decodes_to(stream, c.data, std::string("zip ") + level + " " + c.name);
            decoded++;
        }
    }
    EXPECT_GE(decoded, 12);
    system(("rm -rf '" + dir + "'").c_str());
}

#endif

} // namespace
