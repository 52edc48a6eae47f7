// The path helpers and folder creation.
#include "archive/install_log.h"
#include "archive/paths.h"
#include "app/state.h"
#include "tests/win32/archive_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string.h>

static std::string parent_of(const char *path)
{
    char parent[PATH_SIZE];
    EXPECT_TRUE(parent_path(path, parent, sizeof parent));
    return parent;
}

TEST(ParentPath, CutsBeforeTheLastSeparatorOrAfterTheFirstCharacter)
{
    EXPECT_EQ("C:\\A", parent_of("C:\\A\\B"));
    EXPECT_EQ("C:", parent_of("C:\\A"));           // no backslash after the drive
    EXPECT_EQ("C:", parent_of("C:"));
    EXPECT_EQ("sub", parent_of("sub/"));
    EXPECT_EQ("a/b", parent_of("a/b/c.txt"));
    EXPECT_EQ("C:", parent_of("C:ab"));             // ':' is kept
    EXPECT_EQ("C:x", parent_of("C:x"));             // three characters with ':': a drive root
    EXPECT_EQ("a", parent_of("abc"));               // no separator: the first character
    EXPECT_EQ("", parent_of("\\abc"));              // the only separator is the first character
    EXPECT_EQ("AB:\\", parent_of("AB:\\x"));        // separator at 3 after ':' at 2 is kept
    EXPECT_EQ("", parent_of(""));
}

TEST(ParentPath, DriveRootComesBackWholeAndTooSmallABufferFails)
{
    EXPECT_EQ("C:\\", parent_of("C:\\"));
    EXPECT_EQ("AB:", parent_of("AB:"));
    char small[4] = "xyz";
    EXPECT_FALSE(parent_path("C:\\Long\\x", small, sizeof small));
    EXPECT_STREQ("", small);
}

TEST(NamePart, TakesTheTextAfterTheLastSeparator)
{
    EXPECT_STREQ("", name_part("sub/"));
    EXPECT_STREQ("ReadMe.txt", name_part("ReadMe.txt"));
    EXPECT_STREQ("x", name_part("x"));
    EXPECT_STREQ("c.txt", name_part("a\\b/c.txt"));
    EXPECT_STREQ("x", name_part("C:x"));
    EXPECT_STREQ("", name_part(""));
    const char *path = "a/b";
    EXPECT_EQ(path + 2, name_part(path));   // a pointer into the path, not a copy
}

TEST(StringHelpers, TrailingBackslash)
{
    char dest[] = "C:\\Dest\\";
    EXPECT_STREQ("C:\\Dest", strip_trailing_backslash(dest));
    char twice[] = "C:\\Dest\\\\";
    EXPECT_STREQ("C:\\Dest\\", strip_trailing_backslash(twice));   // one only
    char empty[] = "";
    EXPECT_STREQ("", strip_trailing_backslash(empty));
    char slash[] = "C:/Dest/";
    EXPECT_STREQ("C:/Dest/", strip_trailing_backslash(slash));     // '/' is not stripped
}

class FolderTest : public ::testing::Test {
protected:
    // create_path_folders on `path`: the folders it handed over as made, top down.
    std::vector<std::string> create_folders(const std::string &path, FoldersMade expected)
    {
        std::vector<std::string> made;
        EXPECT_EQ(expected, create_path_folders(path.c_str(), take, &made)) << path;
        return made;
    }
    static bool take(void *context, const char *folder)
    {
        static_cast<std::vector<std::string> *>(context)->push_back(folder);
        return true;
    }
    TempFolder temp;
};

TEST_F(FolderTest, AttributesExistForFilesAndFoldersOnly)
{
    write_file(temp / "file", "x");
    EXPECT_TRUE(attributes_exist((temp / "file").c_str()));
    EXPECT_TRUE(attributes_exist(temp.path().c_str()));
    EXPECT_FALSE(attributes_exist((temp / "missing").c_str()));
}

TEST_F(FolderTest, MakeDirsCreatesMissingAncestorsAndLogsNothing)
{
    std::string path = temp.path() + "/a/b/c\\";
    char buffer[PATH_SIZE];
    strcpy(buffer, path.c_str());
    make_dirs(buffer);
    EXPECT_TRUE(folder_exists(temp / "a\\b\\c"));
    EXPECT_EQ(temp / "a\\b\\c", std::string(buffer));  // backslashes, trailing one removed
    EXPECT_FALSE(file_exists(temp / "a\\UInstall.uif"));

    // An existing folder is left alone, a drive designation is never created.
    make_dirs(buffer);
    char drive[] = "C:";
    make_dirs(drive);
    EXPECT_STREQ("C:", drive);
}

TEST_F(FolderTest, MakeDirsOnAMissingDriveReturns)
{
    DWORD drives = GetLogicalDrives();
    char letter = 0;
    for (char c = 'Q'; c <= 'Y' && !letter; c++)
        if (!(drives & (1u << (c - 'A'))))
            letter = c;
    ASSERT_NE(0, letter);
    char path[PATH_SIZE];
    snprintf(path, sizeof path, "%c:\\Kavlin\\Sub", letter);
    make_dirs(path);
    snprintf(path, sizeof path, "%c:\\", letter);
    make_dirs(path);
    EXPECT_FALSE(folder_exists(std::string(1, letter) + ":\\Kavlin"));
}

TEST_F(FolderTest, CreatePathFoldersMakesTheMissingFoldersTopDown)
{
    std::string file = temp / "Dest\\sub\\deeper\\file.txt";
    EXPECT_EQ((std::vector<std::string>{ temp / "Dest", temp / "Dest\\sub", temp / "Dest\\sub\\deeper" }),
              create_folders(file, FOLDERS_MADE));
    EXPECT_TRUE(folder_exists(temp / "Dest\\sub\\deeper"));
    EXPECT_FALSE(file_exists(file));

    // All present: nothing made.
    EXPECT_TRUE(create_folders(file, FOLDERS_EXISTED).empty());
    EXPECT_TRUE(create_folders(temp / "Dest\\other.txt", FOLDERS_EXISTED).empty());
}

TEST_F(FolderTest, CreatePathFoldersStopsWhenAFolderIsRefused)
{
    std::vector<std::string> made;
    auto refuse_second = [](void *context, const char *folder) {
        auto *seen = static_cast<std::vector<std::string> *>(context);
        seen->push_back(folder);
        return seen->size() < 2;
    };
    EXPECT_EQ(FOLDERS_STOPPED, create_path_folders((temp / "A\\B\\C\\f.txt").c_str(), refuse_second,
                                                   &made));
    EXPECT_EQ((std::vector<std::string>{ temp / "A", temp / "A\\B" }), made);
    EXPECT_FALSE(folder_exists(temp / "A\\B\\C"));
}
