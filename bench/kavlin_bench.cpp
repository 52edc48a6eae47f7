// kavlin-bench: the output throughput of the installer's DEFLATE decoder against zlib's inflate
// (writing 32 KiB chunks, as the installer does) and libdeflate, over a deterministic corpus of
// more than 30 MB built from files every Debian machine of this kind has, plus synthetic data.
// Every decoder's output is compared with the original bytes.
//   kavlin-bench            the full corpus, best of several runs per file
//   kavlin-bench --smoke    a small corpus, one run: checks that the benchmark works
#include <libdeflate.h>
#include <zlib.h>

#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "inflate/inflate.h"

namespace {

typedef std::vector<unsigned char> Bytes;

struct CorpusFile {
    std::string name;
    Bytes data;
};

Bytes read_file(const std::string &path, size_t limit)
{
    Bytes out;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return out;
    unsigned char buffer[65536];
    size_t n;
    while (out.size() < limit && (n = fread(buffer, 1, sizeof buffer, f)) > 0)
        out.insert(out.end(), buffer, buffer + n);
    fclose(f);
    if (out.size() > limit)
        out.resize(limit);
    return out;
}

// Regular files of a folder, sorted by name so that the corpus does not depend on the
// order of the directory.
std::vector<std::string> folder_files(const std::string &folder)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(folder.c_str())) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                names.push_back(folder + "/" + e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

uint32_t next_random(uint64_t &state)
{
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return (uint32_t)(state >> 33);
}

std::vector<CorpusFile> build_corpus(bool smoke)
{
    std::vector<CorpusFile> corpus;
    const size_t scale = smoke ? 16 : 1;

    // A large ELF binary: the first of a fixed list that exists.
    static const char *const binaries[] = {"/usr/bin/cmake", "/usr/bin/ctest", "/usr/bin/cpack",
                                           "/usr/bin/perl", "/bin/bash"};
    for (const char *path : binaries) {
        Bytes b = read_file(path, (12u << 20) / scale);
        if (b.size() > 1000000 / scale) {
            corpus.push_back({std::string("elf:") + path, b});
            break;
        }
    }

    // License texts, all of them.
    CorpusFile licenses{"licenses", {}};
    for (const std::string &p : folder_files("/usr/share/common-licenses")) {
        Bytes b = read_file(p, 1u << 20);
        licenses.data.insert(licenses.data.end(), b.begin(), b.end());
    }
    corpus.push_back(licenses);

    // Manual pages of section 1, as text (they are stored gzip-compressed).
    CorpusFile manuals{"man1-text", {}};
    const size_t manual_limit = (10u << 20) / scale;
    for (const std::string &p : folder_files("/usr/share/man/man1")) {
        if (manuals.data.size() >= manual_limit)
            break;
        gzFile g = gzopen(p.c_str(), "rb");
        if (!g)
            continue;
        unsigned char buffer[65536];
        int n;
        while ((n = gzread(g, buffer, sizeof buffer)) > 0)
            manuals.data.insert(manuals.data.end(), buffer, buffer + n);
        gzclose(g);
    }
    manuals.data.resize(std::min(manuals.data.size(), manual_limit));
    corpus.push_back(manuals);

    // Synthetic: words of a small vocabulary, runs, and seeded random bytes.
    uint64_t state = 20240601;
    static const char *const words[] = {"interface", "traffic", "bytes", "the", "of", "Kavlin", "window",
                                        "install", "folder", "network", "measures", "\n", "and", "a"};
    CorpusFile text{"synthetic-text", {}};
    while (text.data.size() < (6u << 20) / scale) {
        const char *w = words[next_random(state) % (sizeof words / sizeof *words)];
        text.data.insert(text.data.end(), w, w + strlen(w));
        text.data.push_back(' ');
    }
    corpus.push_back(text);

    CorpusFile runs{"synthetic-runs", {}};
    while (runs.data.size() < (4u << 20) / scale) {
        unsigned char b = (unsigned char)next_random(state);
        runs.data.insert(runs.data.end(), 1 + next_random(state) % 300, b);
        for (unsigned i = next_random(state) % 20; i > 0; i--)
            runs.data.push_back((unsigned char)next_random(state));
    }
    corpus.push_back(runs);

    CorpusFile noise{"random", Bytes((4u << 20) / scale)};
    for (unsigned char &b : noise.data)
        b = (unsigned char)(next_random(state) >> 24);
    corpus.push_back(noise);
    return corpus;
}

Bytes deflate_raw(const Bytes &input)
{
    z_stream z;
    memset(&z, 0, sizeof z);
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, input.size()));
    z.next_in = const_cast<unsigned char *>(input.data());
    z.avail_in = (uInt)input.size();
    z.next_out = out.data();
    z.avail_out = (uInt)out.size();
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// In-memory reader and writer for this decoder.
struct Memory {
    const Bytes *in;
    size_t in_pos;
    unsigned char *out;
    size_t out_pos, out_size;
};

unsigned long memory_read(void *context, unsigned char *buffer, unsigned long count)
{
    Memory *m = static_cast<Memory *>(context);
    size_t n = std::min((size_t)count, m->in->size() - m->in_pos);
    memcpy(buffer, m->in->data() + m->in_pos, n);
    m->in_pos += n;
    return n;
}

bool memory_write(void *context, const unsigned char *data, unsigned long count)
{
    Memory *m = static_cast<Memory *>(context);
    if (count > m->out_size - m->out_pos)
        return false;
    memcpy(m->out + m->out_pos, data, count);
    m->out_pos += count;
    return true;
}

bool run_kavlin(const Bytes &stream, Bytes &out)
{
    Memory m = {&stream, 0, out.data(), 0, out.size()};
    InflateIo io = {memory_read, &m, memory_write, &m};
    return inflate_stream(&io) == INFLATE_OK && m.out_pos == out.size();
}

bool run_zlib(const Bytes &stream, Bytes &out)
{
    z_stream z;
    memset(&z, 0, sizeof z);
    if (inflateInit2(&z, -15) != Z_OK)
        return false;
    unsigned char chunk[32768];
    size_t out_pos = 0;
    z.next_in = const_cast<unsigned char *>(stream.data());
    z.avail_in = (uInt)stream.size();
    int r;
    do {
        z.next_out = chunk;
        z.avail_out = sizeof chunk;
        r = inflate(&z, Z_NO_FLUSH);
        size_t n = sizeof chunk - z.avail_out;
        if (n > out.size() - out_pos)
            break;
        memcpy(out.data() + out_pos, chunk, n); // the installer's write of the chunk
        out_pos += n;
    } while (r == Z_OK);
    inflateEnd(&z);
    return r == Z_STREAM_END && out_pos == out.size();
}

bool run_libdeflate(libdeflate_decompressor *d, const Bytes &stream, Bytes &out)
{
    size_t actual = 0;
    return libdeflate_deflate_decompress(d, stream.data(), stream.size(), out.data(), out.size(), &actual) ==
               LIBDEFLATE_SUCCESS &&
           actual == out.size();
}

// Best time of `runs` runs; checks the output of each against the original.
template <typename Run> double best_seconds(int runs, const Bytes &original, Bytes &out, Run run, bool *ok)
{
    double best = 1e30;
    for (int i = 0; i < runs; i++) {
        memset(out.data(), 0, out.size());
        auto start = std::chrono::steady_clock::now();
        bool good = run();
        auto end = std::chrono::steady_clock::now();
        if (!good || out != original)
            *ok = false;
        best = std::min(best, std::chrono::duration<double>(end - start).count());
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    bool smoke = argc > 1 && !strcmp(argv[1], "--smoke");
    int runs = smoke ? 1 : 7;
    if (argc > 2 && !smoke)
        runs = atoi(argv[2]);
    std::vector<CorpusFile> corpus = build_corpus(smoke);
    libdeflate_decompressor *ld = libdeflate_alloc_decompressor();

    printf("%-22s %9s %9s %10s %10s %10s %7s\n", "file", "MB", "deflated", "kavlin", "zlib", "libdeflate",
           "ratio");
    printf("%-22s %9s %9s %10s %10s %10s %7s\n", "", "", "MB", "MB/s", "MB/s", "MB/s", "k/zlib");
    double total_bytes = 0, total_compressed = 0, t_kavlin = 0, t_zlib = 0, t_libdeflate = 0;
    bool ok = true;
    for (const CorpusFile &f : corpus) {
        Bytes stream = deflate_raw(f.data);
        Bytes out(f.data.size());
        bool file_ok = true;
        double k = best_seconds(runs, f.data, out, [&] { return run_kavlin(stream, out); }, &file_ok);
        double z = best_seconds(runs, f.data, out, [&] { return run_zlib(stream, out); }, &file_ok);
        double l = best_seconds(runs, f.data, out, [&] { return run_libdeflate(ld, stream, out); }, &file_ok);
        double mb = f.data.size() / 1e6;
        printf("%-22s %9.2f %9.2f %10.1f %10.1f %10.1f %7.2f%s\n", f.name.c_str(), mb, stream.size() / 1e6, mb / k,
               mb / z, mb / l, z / k, file_ok ? "" : "  OUTPUT DIFFERS");
        ok = ok && file_ok;
        total_bytes += f.data.size();
        total_compressed += stream.size();
        t_kavlin += k;
        t_zlib += z;
        t_libdeflate += l;
    }
    double mb = total_bytes / 1e6;
    printf("%-22s %9.2f %9.2f %10.1f %10.1f %10.1f %7.2f\n", "total", mb, total_compressed / 1e6, mb / t_kavlin,
           mb / t_zlib, mb / t_libdeflate, t_zlib / t_kavlin);
    printf("(best of %d runs each; ratio = this decoder's throughput / zlib's; every output verified: %s)\n", runs,
           ok ? "equal" : "DIFFERENT");
    libdeflate_free_decompressor(ld);
    if (!ok)
        return 1;
    if (!smoke && total_bytes < 30e6) {
        fprintf(stderr, "kavlin-bench: the corpus is smaller than 30 MB\n");
        return 1;
    }
    return 0;
}
