#include "archive/install_log.h"
#include "archive/paths.h"
#include "app/state.h"
#include "tests/win32/archive_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string.h>

static std::string parent_of(const char *path)
{
    char copy[TEXT_SIZE];
    strcpy(copy, path);
    return parent_path(copy);
}

TEST(ParentPath, DropsTheLastComponentAsTheStepsSay)
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

TEST(ParentPath, DriveRootComesBackAsTheArgumentItself)
{
    char root[] = "C:\\";
    EXPECT_EQ(root, parent_path(root));
    EXPECT_STREQ("C:\\", root);
    char odd[] = "AB:";
    EXPECT_EQ(odd, parent_path(odd));
}

TEST(NamePart, TakesTheTextAfterTheLastSeparator)
{
    EXPECT_STREQ("", name_part("sub/"));
    EXPECT_STREQ("ReadMe.txt", name_part("ReadMe.txt"));
    EXPECT_STREQ("x", name_part("x"));
    EXPECT_STREQ("c.txt", name_part("a\\b/c.txt"));
    EXPECT_STREQ("x", name_part("C:x"));
    EXPECT_STREQ("", name_part(""));
    EXPECT_EQ(installer.scratch_text, name_part("a/b"));
}

TEST(StringHelpers, SubstringAndTrailingBackslash)
{
    EXPECT_STREQ("cde", substring("abcdefg", 2, 3));
    // The text may itself be the previous result.
    substring("0123456789", 0, 10);
    EXPECT_STREQ("3456", substring(installer.scratch_text, 3, 4));

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
    void SetUp() override
    {
        strcpy(installer.destination_folder, (temp / "Dest").c_str());
    }
    void TearDown() override { installer.destination_folder[0] = 0; }
    std::string log() { return read_file(temp / "Dest\\UInstall.uif"); }
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
    char buffer[TEXT_SIZE];
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
    char path[TEXT_SIZE];
    snprintf(path, sizeof path, "%c:\\Kavlin\\Sub", letter);
    make_dirs(path);
    snprintf(path, sizeof path, "%c:\\", letter);
    make_dirs(path);
    EXPECT_FALSE(folder_exists(std::string(1, letter) + ":\\Kavlin"));
}

TEST_F(FolderTest, CreatePathFoldersRecordsEveryFolderButTheDestination)
{
    std::string file = temp / "Dest\\sub\\deeper\\file.txt";
    create_path_folders(file.c_str());
    EXPECT_TRUE(folder_exists(temp / "Dest\\sub\\deeper"));
    EXPECT_FALSE(file_exists(file));
    EXPECT_EQ("DIR:       " + temp / "Dest\\sub" + "\r\n"
              + "DIR:       " + temp / "Dest\\sub\\deeper" + "\r\n", log());

    // All present: nothing created, nothing recorded.
    create_path_folders(file.c_str());
    create_path_folders((temp / "Dest\\other.txt").c_str());
    std::string after = log();
    EXPECT_EQ(2, std::count(after.begin(), after.end(), '\n'));
}

TEST_F(FolderTest, CreatePathFoldersCreatesAMissingDestinationUnrecorded)
{
    // The destination and a folder above it are made; the folder above would go to a log in
    // the destination, which does not exist yet at that moment, so only sub is recorded.
    strcpy(installer.destination_folder, (temp / "Top\\Dest").c_str());
    create_path_folders((temp / "Top\\Dest\\sub\\f.txt").c_str());
    EXPECT_TRUE(folder_exists(temp / "Top\\Dest\\sub"));
    EXPECT_EQ("DIR:       " + temp / "Top\\Dest\\sub" + "\r\n",
              read_file(temp / "Top\\Dest\\UInstall.uif"));
}
