// Helpers of the extraction tests: temporary folders, whole-file reads and writes, and runs of
// the archive walks with a report that records what they tell. (The tests' own ZIP writer is
// tests/support/zip_builder.h.)
#ifndef KAVLIN_TESTS_ARCHIVE_SUPPORT_H
#define KAVLIN_TESTS_ARCHIVE_SUPPORT_H

#include "archive/report.h"
#include "tests/support/zip_builder.h"
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

// Content that deflate squeezes well and bytes that it cannot.
std::string text_content(size_t size, unsigned seed);
std::string noise_content(size_t size, unsigned seed);

// The text shown for a failure: the text of `id`, a blank and the detail.
std::string failure_text(int id, const std::string &detail);
std::string failure_text(int id, int detail_id);

// One failure as the walk reported it.
struct ReportedProblem {
    ArchiveFailure kind;
    ArchiveCause cause;
    InflateResult reason;
    std::string detail;
    uint32_t system_error;
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
    bool probe_first = false;   // and probe the files it replaces while checking, as Install does
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
