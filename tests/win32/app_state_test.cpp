// The existence test by directory search, and the positioning of the staged archive.
#include "app/state.h"
#include "archive/paths.h"
#include "tests/win32/app_support.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>

namespace {

class PathExists : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = temp_.file("folder");
        CreateDirectoryA(folder_.c_str(), NULL);
        write_file(folder_ + "\\inside.txt", 5, 'a');
        CreateDirectoryA(temp_.file("empty").c_str(), NULL);
        write_file(temp_.file("plain.txt"), 3, 'b');
    }

    // path_exists may change its argument, so each call gets its own copy.
    static bool exists(const std::string &path, std::string *after = nullptr)
    {
        char buffer[PATH_SIZE];
        strncpy(buffer, path.c_str(), sizeof buffer - 1);
        buffer[sizeof buffer - 1] = 0;
        bool result = path_exists(buffer);
        if (after)
            *after = buffer;
        return result;
    }

    static std::string slashed(std::string path)
    {
        for (char &c : path)
            if (c == '\\')
                c = '/';
        return path;
    }

    PrivateTemp temp_;
    std::string folder_;
};

TEST_F(PathExists, FindsFilesAndFoldersByName)
{
    EXPECT_TRUE(exists(folder_));
    EXPECT_TRUE(exists(folder_ + "\\inside.txt"));
    EXPECT_TRUE(exists(temp_.file("plain.txt")));
    EXPECT_TRUE(exists(temp_.file("empty")));
    EXPECT_FALSE(exists(temp_.file("missing")));
    EXPECT_FALSE(exists(folder_ + "\\missing.txt"));
}

TEST_F(PathExists, ATrailingBackslashSearchesTheFoldersContents)
{
    EXPECT_TRUE(exists(folder_ + "\\"));
    EXPECT_FALSE(exists(temp_.file("missing\\")));
    // A file is found by its name, but nothing is found inside it.
    EXPECT_TRUE(exists(temp_.file("plain.txt")));
    EXPECT_FALSE(exists(temp_.file("plain.txt\\")));
}

TEST_F(PathExists, TurnsSlashesIntoBackslashesInTheCallersPath)
{
    std::string after;
    EXPECT_TRUE(exists(slashed(folder_ + "\\inside.txt"), &after));
    EXPECT_EQ(folder_ + "\\inside.txt", after);
    EXPECT_FALSE(exists(slashed(folder_ + "\\nothing.txt"), &after));
    EXPECT_EQ(folder_ + "\\nothing.txt", after);
}

TEST_F(PathExists, ATrailingBackslashPathIsSearchedWithSlashesTurnedButNotChanged)
{
    // The pattern is built in a copy: the caller's path keeps its slashes.
    std::string path = slashed(folder_) + "\\";
    std::string after;
    EXPECT_TRUE(exists(path, &after));
    EXPECT_EQ(path, after);
}

TEST_F(PathExists, AnEmptyPathFindsNothing)
{
    std::string after = "untouched";
    EXPECT_FALSE(exists("", &after));
    EXPECT_EQ("", after);
}

TEST_F(PathExists, AFolderPathWithABackslashMayBe252CharactersLong)
{
    // Two folders whose names differ by one character, each holding a file; a path to one of
    // them is padded to the length wanted with ".\" components, which the search skips.
    const std::string bases[] = {temp_.file("pad"), temp_.file("pad1")};
    for (const std::string &base : bases) {
        CreateDirectoryA(base.c_str(), NULL);
        write_file(base + "\\inside.txt", 1, 'c');
    }
    auto padded = [&](size_t length) {
        for (const std::string &base : bases) {
            std::string path = base + "\\";
            if (path.size() <= length && (length - path.size()) % 2 == 0) {
                while (path.size() < length)
                    path += ".\\";
                return path;
            }
        }
        return std::string();
    };
    // 252 characters and the pattern's three fill the 256-byte buffer to its terminator.
    std::string longest = padded(252);
    ASSERT_EQ(252u, longest.size());
    EXPECT_TRUE(exists(longest));
    EXPECT_TRUE(exists(padded(250)));
    // Longer ones leave no room for the pattern and are not searched.
    EXPECT_FALSE(exists(padded(253)));
    EXPECT_FALSE(exists(padded(254)));
}

class SeekArchive : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = temp_.file("archive.bin");
        std::string data;
        for (int i = 0; i < 1000; i++)
            data += (char)(i % 251);
        HANDLE file = CreateFileA(path_.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
        DWORD written = 0;
        WriteFile(file, data.data(), (DWORD)data.size(), &written, NULL);
        CloseHandle(file);
        installer.archive_file = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, installer.archive_file);
        installer.archive_position = 12345;
    }
    void TearDown() override
    {
        if (installer.archive_file != INVALID_HANDLE_VALUE)
            CloseHandle(installer.archive_file);
        installer.archive_file = INVALID_HANDLE_VALUE;
    }

    static int byte_at_position()
    {
        unsigned char byte = 0;
        DWORD read = 0;
        if (!ReadFile(installer.archive_file, &byte, 1, &read, NULL) || read != 1)
            return -1;
        return byte;
    }

    PrivateTemp temp_;
    std::string path_;
};

TEST_F(SeekArchive, AGoodSeekLeavesTheOffsetAndMovesTheReadPosition)
{
    seek_archive(300);
    EXPECT_EQ(300, installer.archive_position);
    EXPECT_EQ(300 % 251, byte_at_position());
    seek_archive(0);
    EXPECT_EQ(0, installer.archive_position);
    EXPECT_EQ(0, byte_at_position());
    // Reads move the file, not the recorded offset of the last seek.
    byte_at_position();
    EXPECT_EQ(0, installer.archive_position);
}

TEST_F(SeekArchive, ASeekPastTheEndSucceedsAndTheReadFindsNothing)
{
    seek_archive(5000);
    EXPECT_EQ(5000, installer.archive_position);
    EXPECT_EQ(-1, byte_at_position());
}

TEST_F(SeekArchive, AFailedSeekLeavesMinusOne)
{
    CloseHandle(installer.archive_file);
    installer.archive_file = INVALID_HANDLE_VALUE;
    seek_archive(10);
    EXPECT_EQ(-1, installer.archive_position);
}

TEST_F(SeekArchive, AGoodSeekAfterAFailedOneRecordsItsOffset)
{
    HANDLE file = installer.archive_file;
    installer.archive_file = INVALID_HANDLE_VALUE;
    seek_archive(10);
    ASSERT_EQ(-1, installer.archive_position);
    installer.archive_file = file;
    seek_archive(10);
    EXPECT_EQ(10, installer.archive_position);
}

}  // namespace
