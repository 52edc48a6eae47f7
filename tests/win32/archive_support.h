// Helpers of the extraction tests: temporary folders, whole-file reads and writes, a small
// ZIP writer for archives that Info-ZIP zip does not make, and runs of the archive walks with
// a report that records what they tell.
#ifndef KAVLIN_TESTS_ARCHIVE_SUPPORT_H
#define KAVLIN_TESTS_ARCHIVE_SUPPORT_H

#include "archive/report.h"
#include "tests/win32/folders.h"

#include <windows.h>
#include <stdint.h>
#include <string>
#include <vector>

// A fresh folder under the temporary folder, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

bool file_exists(const std::string &path);
bool folder_exists(const std::string &path);
std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &data);

// The Windows path of a folder of the build machine (through Wine's drive Z:).
std::string host_path(const char *unix_path);

// Bitwise CRC-32, kept apart from the code under test.
uint32_t reference_crc32(const std::string &data);

// Content that deflate squeezes well and bytes that it cannot.
std::string text_content(size_t size, unsigned seed);
std::string noise_content(size_t size, unsigned seed);

// Records of a ZIP archive, appended in order.
struct ZipRecord {
    std::string name;
    std::string data;           // the entry's data as stored in the archive
    uint16_t method = 0;
    uint16_t flags = 0;
    uint32_t crc = 0;
    uint32_t compressed_size = 0;
    uint32_t uncompressed_size = 0;
    std::string extra;
};

// Entries whose header fields agree with their content: stored, and deflated as a raw DEFLATE
// stream of stored blocks (valid method-8 data that needs no compressor).
ZipRecord stored_record(const std::string &name, const std::string &content);
ZipRecord deflated_record(const std::string &name, const std::string &content);

class ZipWriter {
public:
    ZipWriter &add(const ZipRecord &record);
    ZipWriter &add_stored(const std::string &name, const std::string &content);
    ZipWriter &add_directory(const std::string &name);
    // A data descriptor record (with its signature) for the last entry added.
    ZipWriter &add_descriptor();
    ZipWriter &add_raw(const std::string &bytes);
    // An end-of-central-directory record: the first record that is not a local header.
    ZipWriter &finish();
    const std::string &bytes() const { return bytes_; }
    // Offset of the local header of each entry added.
    const std::vector<uint32_t> &offsets() const { return offsets_; }

private:
    std::string bytes_;
    std::vector<uint32_t> offsets_;
    ZipRecord last_;
};

// Offsets of the local headers of an archive, walked from its start as the installer does.
std::vector<uint32_t> local_header_offsets(const std::string &archive);

// The text shown for a failure: the text of `id`, a blank and the detail.
std::string failure_text(int id, const std::string &detail);
std::string failure_text(int id, int detail_id);

// One failure as the walk reported it.
struct ReportedProblem {
    ArchiveFailure kind;
    InflateResult reason;
    std::string detail;
};

// The outcome of one extraction, as its reports told it.
struct Extraction {
    ArchiveFailure result;
    bool succeeded;             // result == ARCHIVE_OK
    std::vector<ReportedProblem> problems;
    std::vector<std::string> messages;  // the message the installer shows for each problem
    std::string status;         // the last path reported
    int position;               // the last progress reported, in KiB (-1 before any)
    int dispatched;             // WM_APP messages the between-files hook dispatched
};

// What the thread's queue holds when the walk starts: `app_messages` WM_APP messages to a test
// window, and when `abort_first` is set, before them one that asks the walk to stop.
struct ExtractionOptions {
    int app_messages = 0;
    bool abort_first = false;
    bool check_first = false;   // check the whole archive first, as Install does
};

// Runs the extraction over the archive file into `destination` with a recording report.
Extraction run_extraction(const std::string &archive_path, const std::string &destination,
                          const ExtractionOptions &options = ExtractionOptions());

// The same over archive bytes written to "archive.zip" in `folder`.
Extraction run_extraction_of(const TempFolder &folder, const std::string &archive,
                             const std::string &destination);

// Runs check_archive alone over the archive file, for `destination`.
Extraction run_check(const std::string &archive_path, const std::string &destination);

#endif
