// The extraction's speed on a payload of 2,000 files and 50 MB, the share of it that the
// install log takes, and the cost of checking the whole archive first. Run by hand (it prints figures and asserts none):
//   kavlin_archive_tests --gtest_also_run_disabled_tests --gtest_filter=*Benchmark*
#include "archive/install_log.h"
#include "tests/win32/archive_support.h"

#include <gtest/gtest.h>

#include <stdio.h>

static double seconds_since(LARGE_INTEGER start)
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (double)(now.QuadPart - start.QuadPart) / (double)frequency.QuadPart;
}

TEST(ExtractionBenchmark, DISABLED_TwoThousandFilesOfFiftyMegabytes)
{
    const int files = 2000;
    const size_t size = 50 * 1000 * 1000 / files;
    TempFolder temp;
    ZipWriter writer;
    std::vector<std::string> names;
    for (int i = 0; i < files; i++) {
        char name[64];
        snprintf(name, sizeof name, "folder%02d/file%04d.dat", i / 50, i);   // as zip orders them
        names.push_back(name);
        std::string content = i % 2 ? noise_content(size, i) : text_content(size, i);
        writer.add(i % 2 ? stored_record(name, content) : deflated_record(name, content));
    }
    write_file(temp / "payload.zip", writer.finish().bytes());
    std::string dest = temp / "Dest";

    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    Extraction check = run_check(temp / "payload.zip", dest);
    double check_time = seconds_since(start);
    ASSERT_TRUE(check.succeeded);
    QueryPerformanceCounter(&start);
    Extraction run = run_extraction(temp / "payload.zip", dest);
    double total = seconds_since(start);
    ASSERT_TRUE(run.succeeded);

    // The same log work alone: the same records appended to a fresh log in order.
    std::string log_folder = temp / "LogOnly";
    CreateDirectoryA(log_folder.c_str(), NULL);
    QueryPerformanceCounter(&start);
    InstallLog install_log;
    install_log_begin(&install_log, log_folder.c_str());
    for (int i = 0; i < 40; i++) {
        char folder[64];
        snprintf(folder, sizeof folder, "\\folder%02d", i);
        install_log_add(&install_log, "DIR:", (dest + folder).c_str());
    }
    for (const std::string &name : names) {
        std::string path = dest + "\\" + name;
        for (char &c : path)
            if (c == '/')
                c = '\\';
        install_log_add(&install_log, "FIL:", path.c_str());
    }
    install_log_end(&install_log);
    double log_time = seconds_since(start);

    printf("extraction of %d files, %.1f MB: %.2f s; install log alone: %.2f s (%.0f%%); "
           "whole-archive check before it: %.2f s\n",
           files, files * size / 1e6, total, log_time, 100.0 * log_time / total, check_time);
}
