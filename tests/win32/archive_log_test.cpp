// The install log: records written once, whole, in any letter case, and the lines it keeps.
#include "archive/install_log.h"
#include "tests/win32/archive_support.h"

#include <gtest/gtest.h>

#include <string.h>

class InstallLogTest : public ::testing::Test {
protected:
    std::string log_path() { return temp / "UInstall.uif"; }
    std::string log() { return read_file(log_path()); }
    // One record through a log opened for it alone.
    void append(const char *kind, const std::string &path, const std::string &folder = "")
    {
        InstallLog install_log;
        install_log_begin(&install_log, (folder.empty() ? temp.path() : folder).c_str());
        install_log_add(&install_log, kind, path.c_str());
        install_log_end(&install_log);
    }
    // Every line read_log_line gives for the log as it stands.
    std::vector<std::string> lines_read()
    {
        std::vector<std::string> lines;
        HANDLE file = CreateFileA(log_path().c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        LogFile reader;
        char line[LOG_LINE_SIZE];
        open_log_reader(&reader, file);
        while (read_log_line(&reader, line))
            lines.push_back(line);
        CloseHandle(file);
        return lines;
    }
    TempFolder temp;
};

TEST_F(InstallLogTest, NewLogGetsOneExactLinePerRecord)
{
    append("FIL:", "C:\\Dest\\ReadMe.txt");
    EXPECT_EQ("FIL:       C:\\Dest\\ReadMe.txt\r\n", log());
    append("DIR:", "C:\\Dest\\sub");
    append("LONGERKIND:", "x");     // no padding left: kind, one blank, path
    EXPECT_EQ("FIL:       C:\\Dest\\ReadMe.txt\r\nDIR:       C:\\Dest\\sub\r\nLONGERKIND: x\r\n",
              log());
}

TEST_F(InstallLogTest, RecordAlreadyPresentInAnyLetterCaseIsNotWrittenAgain)
{
    append("FIL:", "C:\\Dest\\ReadMe.txt");
    append("FIL:", "c:\\DEST\\readme.TXT");
    append("fil:", "C:\\Dest\\ReadMe.txt");
    EXPECT_EQ("FIL:       C:\\Dest\\ReadMe.txt\r\n", log());
    // The same path under the other kind is another record, and a prefix is not a match.
    append("DIR:", "C:\\Dest\\ReadMe.txt");
    append("FIL:", "C:\\Dest\\ReadMe");
    EXPECT_EQ("FIL:       C:\\Dest\\ReadMe.txt\r\nDIR:       C:\\Dest\\ReadMe.txt\r\n"
              "FIL:       C:\\Dest\\ReadMe\r\n",
              log());
}

TEST_F(InstallLogTest, CommentsAndEmptyLinesArePassedOverAndKept)
{
    std::string before = "// written by hand\r\n\r\n/\r\nFIL:       C:\\Dest\\a.txt\r\n"
                         "\r\n/ another comment\r\nFIL:       C:\\Dest\\b.txt";
    write_file(log_path(), before);
    EXPECT_EQ((std::vector<std::string>{ "FIL:       C:\\Dest\\a.txt\n",
                                         "FIL:       C:\\Dest\\b.txt" }),
              lines_read());

    append("FIL:", "C:\\Dest\\A.TXT");  // found after the comments: nothing written
    EXPECT_EQ(before, log());
    // A new record goes on a line of its own after the last line without line end.
    append("FIL:", "C:\\Dest\\c.txt");
    EXPECT_EQ(before + "\r\nFIL:       C:\\Dest\\c.txt\r\n", log());
    // The unended line did not equal its record (the line end counts); now that it is ended,
    // the record is found.
    append("FIL:", "C:\\Dest\\c.txt");
    append("FIL:", "C:\\Dest\\b.txt");
    EXPECT_EQ(before + "\r\nFIL:       C:\\Dest\\c.txt\r\n", log());
}

TEST_F(InstallLogTest, LongLinesAreReadInPiecesOfAtMost254Characters)
{
    std::string record = "FIL:       C:\\Dest\\x.txt";
    std::string long_line = std::string(254, 'z') + record;
    write_file(log_path(), long_line + "\r\n" + std::string(600, 'y') + "\r\n");
    std::vector<std::string> lines = lines_read();
    ASSERT_EQ(5u, lines.size());
    EXPECT_EQ(std::string(254, 'z'), lines[0]);
    EXPECT_EQ(record + "\n", lines[1]);                 // the rest counts as a line of its own
    EXPECT_EQ(std::string(254, 'y'), lines[2]);
    EXPECT_EQ(std::string(254, 'y'), lines[3]);
    EXPECT_EQ(std::string(92, 'y') + "\n", lines[4]);

    std::string before = log();
    append("FIL:", "C:\\Dest\\x.txt");
    EXPECT_EQ(before, log());
}

TEST_F(InstallLogTest, LineEndsSplitAcrossReadsAndLoneCarriageReturns)
{
    // The CR of one line end is the last byte of the reader's first buffer, its LF the first
    // of the next.
    std::string text;
    while (text.size() + 250 < LOG_BUFFER_SIZE)
        text += "FIL:       C:\\Dest\\padding.txt\r\n";
    size_t fill = LOG_BUFFER_SIZE - 1 - text.size();
    ASSERT_LT(fill, 250u);
    text += std::string(fill, 'p') + "\r\n";
    text += "FIL:       C:\\Dest\\after\rboundary.txt\r\n";
    write_file(log_path(), text);
    std::vector<std::string> lines = lines_read();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(std::string(fill, 'p') + "\n", lines[lines.size() - 2]);
    EXPECT_EQ("FIL:       C:\\Dest\\after\rboundary.txt\n", lines.back());   // a lone CR stays
    append("FIL:", "C:\\Dest\\after\rboundary.txt");
    EXPECT_EQ(text, log());
}

TEST_F(InstallLogTest, LogThatCannotBeOpenedTakesNoRecordAndSaysWhy)
{
    // Held open by another program without sharing. (A read-only log fails the same way on
    // Windows; Wine run by root opens one for writing all the same.)
    write_file(log_path(), "FIL:       C:\\Dest\\a.txt\r\n");
    HANDLE holder = CreateFileA(log_path().c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    InstallLog install_log;
    install_log_begin(&install_log, temp.path().c_str());
    EXPECT_FALSE(install_log_add(&install_log, "FIL:", "C:\\Dest\\b.txt"));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, install_log.error);
    install_log_end(&install_log);
    CloseHandle(holder);
    EXPECT_EQ("FIL:       C:\\Dest\\a.txt\r\n", log());

    // A folder that does not exist gets no log.
    install_log_begin(&install_log, (temp / "missing").c_str());
    EXPECT_FALSE(install_log_open(&install_log));
    EXPECT_NE(0u, install_log.error);
    install_log_end(&install_log);
    EXPECT_FALSE(file_exists(temp / "missing\\UInstall.uif"));
}

TEST_F(InstallLogTest, OverlongRecordsAreNotWritten)
{
    append("FIL:", "C:\\Dest\\scratch.txt");
    // A path whose line would not read back as one line is not written at all.
    append("FIL:", std::string(LOG_PATH_MAX + 1, 'q'));
    append("FIL:", std::string(LOG_PATH_MAX, 'r'));
    EXPECT_EQ("FIL:       C:\\Dest\\scratch.txt\r\nFIL:       " + std::string(LOG_PATH_MAX, 'r')
                  + "\r\n",
              log());
    append("FIL:", std::string(LOG_PATH_MAX, 'R'));
    EXPECT_EQ(2u, lines_read().size());
}

// One log kept open for a whole extraction writes exactly what one record at a time does: the
// lines already there (among comments, empty and overlong lines) and the records written
// earlier in the same run are all found, in any letter case.
TEST_F(InstallLogTest, LogKeptOpenForManyRecordsSkipsEveryDuplicate)
{
    std::string existing = "// installed before\r\n\r\n" + std::string(300, 'L') + "\r\n";
    for (int i = 0; i < 3000; i++)
        existing += "FIL:       C:\\Dest\\old" + std::to_string(i) + ".txt\r\n";
    existing += "DIR:       C:\\Dest\\last";    // no line end
    write_file(log_path(), existing);

    InstallLog install_log;
    install_log_begin(&install_log, temp.path().c_str());
    std::string expected = existing + "\r\n";
    for (int i = 0; i < 6000; i += 2) {
        // Every other record is there already (in other letter case) or was just written.
        install_log_add(&install_log, "FIL:", ("c:\\dest\\OLD" + std::to_string(i) + ".TXT").c_str());
        std::string fresh = "C:\\Dest\\new" + std::to_string(i) + ".txt";
        install_log_add(&install_log, "FIL:", fresh.c_str());
        install_log_add(&install_log, "FIL:", fresh.c_str());
        if (i >= 3000)
            expected += "FIL:       c:\\dest\\OLD" + std::to_string(i) + ".TXT\r\n";
        expected += "FIL:       " + fresh + "\r\n";
    }
    // The last line lacked its line end, so it is not the same line as this record.
    install_log_add(&install_log, "dir:", "c:\\DEST\\LAST");
    expected += "dir:       c:\\DEST\\LAST\r\n";
    install_log_end(&install_log);
    EXPECT_EQ(expected, log());
}
