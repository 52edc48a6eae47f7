// kavlin-bench: the output throughput of the installer's DEFLATE decoder against zlib's inflate
// (writing 32 KiB chunks, as the installer does) and libdeflate, over files of the kinds a
// payload is made of, taken at run time from what every Debian machine of this kind has
// (Windows DLLs and executables, an ELF program, text, already compressed files, and a mix of
// them), each as raw DEFLATE streams of zlib's levels 1, 6 and 9. Every decoder's output is
// compared with the original bytes.
//
// The same source builds twice: natively (64-bit, -O2), and as kavlin-bench32, a 32-bit
// program in which the decoder and the copy routines it calls are compiled exactly as the
// installer compiles them, timed against Debian's 32-bit zlib and libdeflate. kavlin-bench
// prints its table, then runs kavlin-bench32 for the second one.
//   kavlin-bench [RUNS]     every file at every level, best of RUNS runs of each decoder (7)
//   kavlin-bench --smoke    a small corpus, one run: checks that the benchmark works
#include <libdeflate.h>
#include <zlib.h>

#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

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

// A gzip file's content (manual pages are stored so).
Bytes read_gzip(const std::string &path)
{
    Bytes out;
    gzFile g = gzopen(path.c_str(), "rb");
    if (!g)
        return out;
    unsigned char buffer[65536];
    int n;
    while ((n = gzread(g, buffer, sizeof buffer)) > 0)
        out.insert(out.end(), buffer, buffer + n);
    gzclose(g);
    return out;
}

bool ends_with(const std::string &s, const char *suffix)
{
    size_t n = strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

// Regular files of a folder whose names end in one of `suffixes` (all when none is given),
// sorted by name so that the corpus does not depend on the order of the directory.
std::vector<std::string> folder_files(const std::string &folder, std::initializer_list<const char *> suffixes = {})
{
    std::vector<std::string> names;
    if (DIR *d = opendir(folder.c_str())) {
        while (dirent *e = readdir(d)) {
            std::string name = e->d_name;
            bool wanted = suffixes.size() == 0;
            for (const char *suffix : suffixes)
                wanted = wanted || ends_with(name, suffix);
            if (name[0] != '.' && wanted)
                names.push_back(folder + "/" + name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The first of `folders` that holds files with these suffixes.
std::vector<std::string> first_folder_files(std::initializer_list<const char *> folders,
                                            std::initializer_list<const char *> suffixes)
{
    for (const char *folder : folders) {
        std::vector<std::string> files = folder_files(folder, suffixes);
        if (!files.empty())
            return files;
    }
    return {};
}

void append(Bytes &to, const Bytes &from, size_t limit)
{
    to.insert(to.end(), from.begin(), from.begin() + (long)std::min(from.size(), limit - std::min(limit, to.size())));
}

std::vector<CorpusFile> build_corpus(bool smoke)
{
    const size_t scale = smoke ? 32 : 1;
    const size_t MiB = 1u << 20;
    std::vector<CorpusFile> corpus;

    // Windows DLLs and executables (Wine's, built as PE files): 32-bit ones, as a payload for
    // the 32-bit Windows this installer runs on holds, and 64-bit ones for the mix.
    std::vector<std::string> pe32 = first_folder_files(
        {"/usr/lib/i386-linux-gnu/wine/i386-windows", "/usr/lib/wine/i386-windows"}, {".dll", ".exe"});
    std::vector<std::string> pe64 = first_folder_files(
        {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows", "/usr/lib/wine/x86_64-windows"}, {".dll", ".exe"});
    std::vector<std::string> manuals = folder_files("/usr/share/man/man1", {".gz"});

    CorpusFile dlls{"windows-dll-exe", {}};
    for (const std::string &p : pe32) {
        if (dlls.data.size() >= 10 * MiB / scale)
            break;
        append(dlls.data, read_file(p, MiB / 2), 10 * MiB / scale);
    }
    corpus.push_back(dlls);

    // A large ELF program: the first of a fixed list that exists.
    for (const char *path : {"/usr/bin/cmake", "/usr/bin/ctest", "/usr/bin/cpack", "/usr/bin/perl", "/bin/bash"}) {
        Bytes b = read_file(path, 9 * MiB / scale);
        if (b.size() > MiB / scale) {
            corpus.push_back({std::string("elf-") + (strrchr(path, '/') + 1), b});
            break;
        }
    }

    // Text: manual pages of section 1 (stored gzip-compressed).
    CorpusFile text{"text-man1", {}};
    for (const std::string &p : manuals) {
        if (text.data.size() >= 10 * MiB / scale)
            break;
        append(text.data, read_gzip(p), 10 * MiB / scale);
    }
    corpus.push_back(text);

    // Short text: the license texts, all of them.
    CorpusFile licenses{"text-licenses", {}};
    for (const std::string &p : folder_files("/usr/share/common-licenses"))
        append(licenses.data, read_file(p, MiB), 2 * MiB / scale);
    corpus.push_back(licenses);

    // Files that are compressed already (the manual pages as stored): zlib stores them.
    CorpusFile packed{"compressed-gz", {}};
    for (size_t i = manuals.size() / 2; i < manuals.size() && packed.data.size() < 4 * MiB / scale; i++)
        append(packed.data, read_file(manuals[i], MiB), 4 * MiB / scale);
    corpus.push_back(packed);

    // A mix, file after file as in a payload: a 64-bit DLL, a manual page, a compressed file.
    CorpusFile mix{"mix", {}};
    for (size_t i = 0; mix.data.size() < 8 * MiB / scale && i < std::max(pe64.size(), manuals.size()); i++) {
        if (i < pe64.size())
            append(mix.data, read_file(pe64[i], MiB / 4), 8 * MiB / scale);
        if (i < manuals.size()) {
            append(mix.data, read_gzip(manuals[manuals.size() - 1 - i]), 8 * MiB / scale);
            if (i % 4 == 0)
                append(mix.data, read_file(manuals[i], MiB), 8 * MiB / scale);
        }
    }
    corpus.push_back(mix);

    corpus.erase(std::remove_if(corpus.begin(), corpus.end(), [](const CorpusFile &f) { return f.data.empty(); }),
                 corpus.end());
    return corpus;
}

Bytes deflate_raw(const Bytes &input, int level)
{
    z_stream z;
    memset(&z, 0, sizeof z);
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
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

// Best time of `runs` runs of each decoder, taking turns run by run so that a change in the
// machine's load falls on all three; checks the output of each run against the original.
template <typename RunK, typename RunZ, typename RunL>
void best_seconds(int runs, const Bytes &original, Bytes &out, RunK kavlin, RunZ zlib, RunL libdeflate,
                  double best[3], bool *ok)
{
    best[0] = best[1] = best[2] = 1e30;
    for (int i = 0; i < runs; i++) {
        for (int which = 0; which < 3; which++) {
            memset(out.data(), 0, out.size());
            auto start = std::chrono::steady_clock::now();
            bool good = which == 0 ? kavlin() : which == 1 ? zlib() : libdeflate();
            auto end = std::chrono::steady_clock::now();
            if (!good || out != original)
                *ok = false;
            best[which] = std::min(best[which], std::chrono::duration<double>(end - start).count());
        }
    }
}

struct Totals {
    double bytes = 0, kavlin = 0, zlib = 0, libdeflate = 0;
};

void print_row(const char *name, int level, double bytes, double compressed, double k, double z, double l,
               const char *note)
{
    double mb = bytes / 1e6;
    char level_text[16] = "", size_text[16] = "";
    if (level >= 0) {
        snprintf(level_text, sizeof level_text, "%d", level);
        snprintf(size_text, sizeof size_text, "%.3f", compressed / bytes);
    }
    printf("%-18s %5s %7.2f %6s %8.1f %8.1f %10.1f %7.2f %9.2f%s\n", name, level_text, mb, size_text, mb / k,
           mb / z, mb / l, z / k, l / k, note);
}

} // namespace

int main(int argc, char **argv)
{
    bool smoke = argc > 1 && !strcmp(argv[1], "--smoke");
    int runs = smoke ? 1 : 7;
    if (argc > 1 && !smoke)
        runs = std::max(1, atoi(argv[1]));
    std::vector<CorpusFile> corpus = build_corpus(smoke);
    libdeflate_decompressor *ld = libdeflate_alloc_decompressor();

#ifdef KAVLIN_BENCH_32
    printf("32-bit: the decoder as the installer builds it (%s), zlib %s and libdeflate of the system's i386 "
           "packages\n",
           KAVLIN_BENCH_32, zlibVersion());
#else
    printf("native (64-bit): the decoder built with -O2, zlib %s and libdeflate of the system\n", zlibVersion());
#endif
    printf("%-18s %5s %7s %6s %8s %8s %10s %7s %9s\n", "file", "level", "MB", "size", "kavlin", "zlib",
           "libdeflate", "ratio", "ratio");
    printf("%-18s %5s %7s %6s %8s %8s %10s %7s %9s\n", "", "", "", "ratio", "MB/s", "MB/s", "MB/s", "k/zlib",
           "k/libdefl");
    bool ok = true;
    Totals all;
    for (int level : {1, 6, 9}) {
        Totals at_level;
        double compressed_at_level = 0;
        for (const CorpusFile &f : corpus) {
            Bytes stream = deflate_raw(f.data, level);
            Bytes out(f.data.size());
            bool file_ok = true;
            double best[3];
            best_seconds(
                runs, f.data, out, [&] { return run_kavlin(stream, out); }, [&] { return run_zlib(stream, out); },
                [&] { return run_libdeflate(ld, stream, out); }, best, &file_ok);
            double k = best[0], z = best[1], l = best[2];
            print_row(f.name.c_str(), level, (double)f.data.size(), (double)stream.size(), k, z, l,
                      file_ok ? "" : "  OUTPUT DIFFERS");
            ok = ok && file_ok;
            at_level.bytes += (double)f.data.size();
            compressed_at_level += (double)stream.size();
            at_level.kavlin += k;
            at_level.zlib += z;
            at_level.libdeflate += l;
        }
        print_row("all files", level, at_level.bytes, compressed_at_level, at_level.kavlin, at_level.zlib,
                  at_level.libdeflate, "");
        all.bytes += at_level.bytes;
        all.kavlin += at_level.kavlin;
        all.zlib += at_level.zlib;
        all.libdeflate += at_level.libdeflate;
    }
    print_row("total", -1, all.bytes, 0, all.kavlin, all.zlib, all.libdeflate, "");
    printf("(best of %d runs each; size ratio: deflated / original; k/zlib, k/libdefl: this decoder's throughput "
           "/ theirs; every output verified: %s)\n",
           runs, ok ? "equal" : "DIFFERENT");
    libdeflate_free_decompressor(ld);
    if (!ok)
        return 1;
    if (!smoke && all.bytes < 3 * 30e6) {
        fprintf(stderr, "kavlin-bench: the corpus is smaller than 30 MB\n");
        return 1;
    }

#ifdef KAVLIN_BENCH_32_PROGRAM
    // The 32-bit table, from the same corpus and runs.
    fflush(stdout);
    printf("\n");
    fflush(stdout);
    pid_t child = fork();
    if (child == 0) {
        execv(KAVLIN_BENCH_32_PROGRAM, argv);
        perror("kavlin-bench: " KAVLIN_BENCH_32_PROGRAM);
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return 1;
#endif
    return 0;
}
