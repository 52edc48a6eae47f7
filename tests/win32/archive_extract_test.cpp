// The extraction under Wine: archives of every writer, odd and damaged archives, names,
// paths, failures of the disk, the log and the probe of an update, and the user's stop.
#include "archive/entry_names.h"
#include "archive/extract.h"
#include "app/state.h"
#include "app/strings.h"
#include "res/resource.h"
#include "tests/win32/archive_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string.h>

static const char *const tree_files[] = {
    "ReadMe.txt", "Kavlin.exe", "empty.txt", "x",
    "sub\\file.txt", "sub\\deeper\\notes.txt", "sub\\deeper\\random.bin",
};

static std::string fixture(const char *name)
{
    return host_path(KAVLIN_ARCHIVE_FIXTURES) + "\\" + name;
}

static std::string with_backslashes(std::string path)
{
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// Names of the entries of an archive, in file order.
static std::vector<std::string> entry_names(const std::string &archive)
{
    std::vector<std::string> names;
    for (uint32_t at : local_header_offsets(archive)) {
        size_t length = (uint8_t)archive[at + 26] | (uint8_t)archive[at + 27] << 8;
        names.push_back(archive.substr(at + 30, length));
    }
    return names;
}

// The log a fresh installation of the archive into `dest` writes: for each file entry the
// folders it needs that are not there yet (top down), then the file.
static std::string expected_log(const std::string &archive, const std::string &dest)
{
    std::string log;
    std::vector<std::string> folders;
    for (const std::string &name : entry_names(archive)) {
        if (name.back() == '/')
            continue;
        std::string path = with_backslashes(name);
        for (size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1)) {
            std::string folder = dest + "\\" + path.substr(0, at);
            if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
                folders.push_back(folder);
                log += "DIR:       " + folder + "\r\n";
            }
        }
        log += "FIL:       " + dest + "\\" + path + "\r\n";
    }
    return log;
}

class ExtractTest : public ::testing::Test {
protected:
    TempFolder temp;
    std::string dest = temp / "Dest";
    std::string log() { return read_file(dest + "\\UInstall.uif"); }
    Extraction extract(const std::string &archive) { return run_extraction_of(temp, archive, dest); }
    // Nothing at all was created for the archive: no destination folder, no stray file.
    void expect_nothing_created()
    {
        EXPECT_FALSE(folder_exists(dest));
        EXPECT_FALSE(file_exists(temp / "evil.txt"));
    }
};

// The same tree packed by every ZIP writer Debian offers passes the check and unpacks byte for
// byte, every file recorded once.
TEST_F(ExtractTest, ArchivesOfEveryWriterExtractEveryFileAndRecordIt)
{
    for (const char *archive : { "tree.zip", "stored.zip", "writers\\infozip.zip", "writers\\7z.zip",
                                 "writers\\python.zip", "writers\\fastjar.zip",
                                 "writers\\advzip.zip" }) {
        SCOPED_TRACE(archive);
        remove_tree(dest);
        std::string bytes = read_file(fixture(archive));
        ASSERT_FALSE(bytes.empty()) << "no archive: is its writer installed (tools/bootstrap.sh)?";
        std::vector<uint32_t> offsets = local_header_offsets(bytes);
        ASSERT_GE(offsets.size(), 7u);

        ExtractionOptions options;
        options.check_first = true;
        Extraction run = run_extraction(fixture(archive), dest, options);
        EXPECT_TRUE(run.succeeded);
        EXPECT_TRUE(run.messages.empty());
        for (const char *name : tree_files)
            EXPECT_EQ(read_file(fixture("tree\\") + name), read_file(dest + "\\" + name)) << name;
        EXPECT_FALSE(folder_exists(dest + "\\docs")) << "directory entries create nothing";
        EXPECT_EQ(expected_log(bytes, dest), log());

        // The last file written stays in the status; the bar stands at the last header.
        std::string last;
        for (const std::string &name : entry_names(bytes))
            if (name.back() != '/')
                last = name;
        EXPECT_EQ(dest + "\\" + with_backslashes(last), run.status);
        EXPECT_EQ((int)(offsets.back() / 1024), run.position);
        EXPECT_GT(run.position, 0);
    }
}

TEST_F(ExtractTest, DestinationWithTrailingSeparatorGivesTheSamePaths)
{
    std::string archive = ZipWriter().add_stored("sub/a.txt", "a").add_stored("b.txt", "b")
                              .finish().bytes();
    for (const std::string &typed : { dest + "\\", dest + "/" }) {
        SCOPED_TRACE(typed);
        remove_tree(dest);
        char folder[PATH_SIZE];
        strcpy(folder, typed.c_str());
        EXPECT_EQ(dest, normalize_destination(folder));
        Extraction run = run_extraction_of(temp, archive, folder);
        EXPECT_TRUE(run.succeeded);
        EXPECT_EQ(dest + "\\b.txt", run.status);
        EXPECT_EQ("DIR:       " + dest + "\\sub\r\nFIL:       " + dest + "\\sub\\a.txt\r\n"
                      "FIL:       " + dest + "\\b.txt\r\n",
                  log());
    }
}

TEST_F(ExtractTest, ReinstallOverwritesFilesAndKeepsOneLinePerFile)
{
    ASSERT_TRUE(run_extraction(fixture("tree.zip"), dest).succeeded);
    std::string first_log = log() + "// kept by the next installation\r\n";
    write_file(dest + "\\UInstall.uif", first_log);
    write_file(dest + "\\ReadMe.txt", std::string(300000, '#'));   // longer: must be cut
    write_file(dest + "\\sub\\file.txt", "");

    // The same folder typed in other letter case finds the same records.
    std::string upper = dest;
    for (char &c : upper)
        c = (char)toupper((unsigned char)c);
    Extraction run = run_extraction(fixture("tree.zip"), upper);
    EXPECT_TRUE(run.succeeded);
    EXPECT_TRUE(run.messages.empty());
    for (const char *name : tree_files)
        EXPECT_EQ(read_file(fixture("tree\\") + name), read_file(dest + "\\" + name)) << name;
    EXPECT_EQ(first_log, log());
}

TEST_F(ExtractTest, OddButValidArchiveExtractsEveryEntry)
{
    std::string big = noise_content(70000, 1);
    ZipRecord with_extra = stored_record("sub/extra.txt", "after the extra field");
    with_extra.extra = std::string("UT\x05\x00\x03\x01\x02\x03\x04", 9);
    ZipRecord short_signature = stored_record("short.txt", "old signature");
    std::string archive = ZipWriter()
                              .add_directory("sub/")
                              .add(with_extra)
                              .add(deflated_record("sub/described.txt", text_content(100000, 2)))
                              .add_descriptor()
                              .add_stored("big.bin", big)
                              .add_descriptor()
                              .add_descriptor()
                              .add_stored("empty", "")
                              .add(deflated_record("y", "1"))
                              .add_directory("docs/")
                              .add_directory("docs/inner/")
                              .bytes();
    // The first byte of the signature missing: 0x50000000 is taken as a local header too.
    std::string odd = ZipWriter().add(short_signature).bytes();
    odd[0] = 0;
    odd[1] = 0;
    odd[2] = 0;
    odd[3] = 0x50;
    archive += odd;
    archive += ZipWriter().finish().bytes();

    Extraction run = extract(archive);
    EXPECT_TRUE(run.succeeded);
    EXPECT_TRUE(run.messages.empty());
    EXPECT_EQ("after the extra field", read_file(dest + "\\sub\\extra.txt"));
    EXPECT_EQ(text_content(100000, 2), read_file(dest + "\\sub\\described.txt"));
    EXPECT_EQ(big, read_file(dest + "\\big.bin"));
    EXPECT_EQ("", read_file(dest + "\\empty"));
    EXPECT_EQ("1", read_file(dest + "\\y"));
    EXPECT_EQ("old signature", read_file(dest + "\\short.txt"));
    EXPECT_FALSE(folder_exists(dest + "\\docs"));
}

TEST_F(ExtractTest, ArchivesWithoutFileEntriesExtractNothingAndFail)
{
    std::vector<std::string> archives = {
        "",                                                     // empty file
        ZipWriter().finish().bytes(),                           // no local header at all
        ZipWriter().add_directory("a/").add_directory("a/b/").finish().bytes(),
        "garbage that is no archive",
    };
    for (const std::string &archive : archives) {
        SCOPED_TRACE(archive.size());
        Extraction run = extract(archive);
        EXPECT_FALSE(run.succeeded);
        EXPECT_TRUE(run.messages.empty());
        expect_nothing_created();
    }
}

// A damaged archive: the message it shows, and the files that must stand afterwards.
struct Damage {
    const char *what;
    std::string archive;
    std::string message;
    std::vector<std::pair<std::string, std::string>> files;     // name and content
};

TEST_F(ExtractTest, DamagedEntriesAreReportedAndEndTheWalk)
{
    std::string good = ZipWriter().add_stored("good.txt", "good").bytes();
    std::string big = noise_content(70000, 3);
    auto path = [&](const char *name) { return dest + "\\" + name; };
    auto archive_error = failure_text(IDS_ARCHIVE_ERROR, IDS_ARCHIVE_READ_ERROR);

    ZipRecord method6 = stored_record("imploded.txt", "data");
    method6.method = 6;
    ZipRecord bad_crc = stored_record("crc.txt", "content");
    bad_crc.crc ^= 1;
    ZipRecord bad_crc_deflated = deflated_record("crc.txt", "content");
    bad_crc_deflated.crc ^= 0x80000000;
    ZipRecord long_size = stored_record("size.txt", "content");
    long_size.uncompressed_size++;
    ZipRecord short_size = deflated_record("size.txt", "content");
    short_size.uncompressed_size--;
    ZipRecord stored_100000_as_1 = stored_record("runaway.bin", noise_content(100000, 5));
    stored_100000_as_1.uncompressed_size = 1;
    ZipRecord deflated_10m_as_10 = deflated_record("runaway.bin", std::string(10 << 20, 'r'));
    deflated_10m_as_10.uncompressed_size = 10;
    ZipRecord bad_block = stored_record("block.txt", "");
    bad_block.method = 8;
    bad_block.data = "\x07";        // final block of the reserved type 3
    bad_block.compressed_size = 1;
    std::string cut_stored = ZipWriter().add_stored("big.bin", big).bytes();
    cut_stored.resize(cut_stored.size() - 1000);
    // Info-ZIP's archive cut 100 bytes into the deflated data of notes.txt.
    std::string tree = read_file(fixture("tree.zip"));
    std::vector<std::string> names = entry_names(tree);
    size_t notes = std::find(names.begin(), names.end(), "sub/deeper/notes.txt") - names.begin();
    ASSERT_LT(notes, names.size());
    size_t at = local_header_offsets(tree)[notes];
    size_t data = at + 30 + ((uint8_t)tree[at + 26] | (uint8_t)tree[at + 27] << 8)
                  + ((uint8_t)tree[at + 28] | (uint8_t)tree[at + 29] << 8);
    std::string cut_deflated = tree.substr(0, data + 100);

    std::vector<Damage> cases = {
        { "empty name", good + ZipWriter().add_stored("", "x").finish().bytes(), archive_error,
          { { "good.txt", "good" } } },
        { "method 6", good + ZipWriter().add(method6).finish().bytes(),
          failure_text(IDS_EXTRACTION_ERROR, IDS_UNKNOWN_METHOD),
          { { "good.txt", "good" }, { "imploded.txt", "" } } },
        { "bad CRC, stored", ZipWriter().add(bad_crc).add_stored("next", "n").finish().bytes(),
          failure_text(IDS_EXTRACTION_ERROR, path("crc.txt")), { { "crc.txt", "content" } } },
        { "bad CRC, deflated", ZipWriter().add(bad_crc_deflated).finish().bytes(),
          failure_text(IDS_EXTRACTION_ERROR, path("crc.txt")), { { "crc.txt", "content" } } },
        // Stored sizes that differ are refused before any byte is written; deflated data is
        // never written past its declared size.
        { "stored sizes differ", ZipWriter().add(long_size).finish().bytes(),
          failure_text(IDS_EXTRACTION_ERROR, path("size.txt")), { { "size.txt", "" } } },
        { "stored 100,000 bytes declared as 1", ZipWriter().add(stored_100000_as_1).finish().bytes(),
          failure_text(IDS_EXTRACTION_ERROR, path("runaway.bin")), { { "runaway.bin", "" } } },
        { "deflated size too small", ZipWriter().add(short_size).finish().bytes(),
          failure_text(IDS_EXTRACTION_ERROR, path("size.txt")), { { "size.txt", "" } } },
        { "deflated 10 MiB declared as 10 bytes", ZipWriter().add(deflated_10m_as_10).finish().bytes(),
          failure_text(IDS_EXTRACTION_ERROR, path("runaway.bin")), { { "runaway.bin", "" } } },
        { "bad deflate block", ZipWriter().add(bad_block).finish().bytes(),
          failure_text(IDS_EXTRACTION_ERROR, path("block.txt")), { { "block.txt", "" } } },
        { "cut inside stored data", cut_stored, failure_text(IDS_EXTRACTION_ERROR, path("big.bin")),
          { { "big.bin", big.substr(0, 70000 - 1000) } } },
        { "cut inside deflated data", cut_deflated,
          failure_text(IDS_EXTRACTION_ERROR, path("sub\\deeper\\notes.txt")), {} },
        { "cut inside a header", good + ZipWriter().add_stored("next.txt", "n").bytes().substr(0, 20),
          archive_error, { { "good.txt", "good" } } },
        { "cut inside a name", good + ZipWriter().add_stored("next.txt", "n").bytes().substr(0, 33),
          archive_error, { { "good.txt", "good" } } },
    };
    for (const Damage &damage : cases) {
        SCOPED_TRACE(damage.what);
        remove_tree(dest);
        Extraction run = extract(damage.archive);
        EXPECT_FALSE(run.succeeded);
        EXPECT_EQ(std::vector<std::string>{ damage.message }, run.messages);
        for (const auto &file : damage.files) {
            EXPECT_EQ(file.second, read_file(path(file.first.c_str()))) << file.first;
            EXPECT_NE(std::string::npos, log().find(path(file.first.c_str()) + "\r\n"))
                << file.first << " stays in the log";
        }
        EXPECT_FALSE(file_exists(path("next"))) << "the walk ended";
    }
}

TEST_F(ExtractTest, NamesThatLeaveTheDestinationAreRefusedBeforeAnythingIsCreated)
{
    const char *names[] = {
        "../evil.txt", "sub/../../evil.txt", "..\\evil.txt", "sub/.. /evil.txt", "sub/.../x",
        "/evil.txt", "\\evil.txt", "C:evil.txt", "C:/evil.txt", "sub/file.txt:stream",
        "nul", "sub/CON.txt", "com1", "LPT9.log",
    };
    for (const char *name : names) {
        SCOPED_TRACE(name);
        Extraction run = extract(ZipWriter().add_stored(name, "evil").finish().bytes());
        EXPECT_FALSE(run.succeeded);
        EXPECT_EQ(std::vector<std::string>{ failure_text(IDS_ARCHIVE_ERROR, IDS_ARCHIVE_READ_ERROR) },
                  run.messages);
        expect_nothing_created();
    }
    // Names that only look alike are ordinary files.
    Extraction run = extract(ZipWriter().add_stored("..a", "1").add_stored("a..", "2")
                                 .add_stored("sub/./console.txt", "3").add_stored("com10", "4")
                                 .finish().bytes());
    EXPECT_TRUE(run.succeeded);
    EXPECT_TRUE(run.messages.empty());
    EXPECT_EQ("1", read_file(dest + "\\..a"));
    EXPECT_EQ("3", read_file(dest + "\\sub\\console.txt"));
    EXPECT_EQ("4", read_file(dest + "\\com10"));
}

TEST_F(ExtractTest, OverlongNamesAndPathsAreRefused)
{
    // Longer than the name buffer.
    std::string too_long(300, 'n');
    Extraction run = extract(ZipWriter().add_stored(too_long, "x").finish().bytes());
    EXPECT_EQ(std::vector<std::string>{ failure_text(IDS_ARCHIVE_ERROR, IDS_ARCHIVE_READ_ERROR) },
              run.messages);
    EXPECT_FALSE(run.succeeded);
    expect_nothing_created();

    // A name that fits the buffer but not the destination path: 211 and the whole path.
    std::string name = "sub/" + std::string(242 - dest.size() - 4, 'p');
    run = extract(ZipWriter().add_stored(name, "x").finish().bytes());
    EXPECT_EQ(std::vector<std::string>{ failure_text(IDS_CANNOT_OPEN_FILE, dest + "\\" + with_backslashes(name)) },
              run.messages);
    EXPECT_FALSE(run.succeeded);
    expect_nothing_created();

    // The longest path whose log line still reads back whole is accepted.
    std::string fits(242 - dest.size() - 1, 'f');
    run = extract(ZipWriter().add_stored(fits, "x").add_stored(fits + "g", "y").finish().bytes());
    EXPECT_EQ(std::vector<std::string>{ failure_text(IDS_CANNOT_OPEN_FILE, dest + "\\" + fits + "g") },
              run.messages);
    EXPECT_EQ("x", read_file(dest + "\\" + fits));
}

TEST_F(ExtractTest, EncryptedEntryIsRefusedBeforeItsFileIsCreated)
{
    ZipRecord secret = stored_record("secret.txt", std::string(12, 'h') + "data");
    secret.flags = 1;
    Extraction run = extract(ZipWriter().add_stored("plain.txt", "p").add(secret).finish().bytes());
    EXPECT_FALSE(run.succeeded);
    EXPECT_EQ(std::vector<std::string>{ failure_text(IDS_ARCHIVE_ERROR, IDS_ARCHIVE_READ_ERROR) },
              run.messages);
    EXPECT_EQ("p", read_file(dest + "\\plain.txt"));
    EXPECT_FALSE(file_exists(dest + "\\secret.txt"));
}

TEST_F(ExtractTest, SizeRunningPastAnyArchiveIsAnArchiveError)
{
    // A directory entry whose data would wrap the offset back onto its own header.
    ZipRecord wrap = stored_record("d/", "");
    wrap.compressed_size = 0xFFFFFFFFu - 30 - 2 + 1;
    Extraction run = extract(ZipWriter().add_stored("a", "a").add(wrap).finish().bytes());
    EXPECT_FALSE(run.succeeded);
    EXPECT_EQ(std::vector<std::string>{ failure_text(IDS_ARCHIVE_ERROR, IDS_ARCHIVE_READ_ERROR) },
              run.messages);
}

// An update is probed before anything is written: an existing file that the extraction could
// not replace (read-only, hidden, system, a folder of the file's name, or one another program
// holds without sharing writes) stops it with 211, the path and the system's reason, and the
// older installation stays as it was.
TEST_F(ExtractTest, FilesThatCannotBeReplacedAreFoundBeforeAnythingIsWritten)
{
    std::string archive = ZipWriter().add_stored("a.txt", "new a").add_stored("b.txt", "new b")
                              .finish().bytes();
    write_file(temp / "archive.zip", archive);
    ExtractionOptions options;
    options.check_first = options.probe_first = true;
    for (DWORD attribute : { FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM,
                             FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_NORMAL }) {
        SCOPED_TRACE(attribute);
        remove_tree(dest);
        CreateDirectoryA(dest.c_str(), NULL);
        write_file(dest + "\\a.txt", "old a");
        HANDLE held = INVALID_HANDLE_VALUE;
        if (attribute == FILE_ATTRIBUTE_DIRECTORY)
            ASSERT_TRUE(CreateDirectoryA((dest + "\\b.txt").c_str(), NULL));
        else
            write_file(dest + "\\b.txt", "old b");
        if (attribute == FILE_ATTRIBUTE_NORMAL)
            held = CreateFileA((dest + "\\b.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        else if (attribute != FILE_ATTRIBUTE_DIRECTORY)
            SetFileAttributesA((dest + "\\b.txt").c_str(), attribute);

        Extraction run = run_extraction(temp / "archive.zip", dest, options);
        EXPECT_FALSE(run.succeeded);
        ASSERT_EQ(1u, run.problems.size());
        EXPECT_EQ(ARCHIVE_CREATE_FAILED, run.problems[0].kind);
        EXPECT_EQ(dest + "\\b.txt", run.problems[0].detail);
        EXPECT_NE(0u, run.problems[0].system_error);
        EXPECT_EQ("old a", read_file(dest + "\\a.txt"));
        EXPECT_FALSE(file_exists(dest + "\\UInstall.uif"));

        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        SetFileAttributesA((dest + "\\b.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST_F(ExtractTest, DestinationThatCannotBeOpenedForWritingIsReported)
{
    // A folder stands where the file should go. (A read-only file serves as well on Windows;
    // Wine run by root opens one for writing all the same.)
    std::string archive = ZipWriter().add_stored("a.txt", "new").add_stored("b.txt", "b")
                              .finish().bytes();
    CreateDirectoryA(dest.c_str(), NULL);
    CreateDirectoryA((dest + "\\a.txt").c_str(), NULL);
    Extraction run = extract(archive);
    EXPECT_FALSE(run.succeeded);
    EXPECT_EQ(std::vector<std::string>{ failure_text(IDS_CANNOT_OPEN_FILE, dest + "\\a.txt") },
              run.messages);
    EXPECT_TRUE(folder_exists(dest + "\\a.txt"));
    EXPECT_FALSE(file_exists(dest + "\\b.txt"));
}

// Without a log that takes records nothing is written: a log that another program holds, or a
// folder of the log's name, stops the extraction before its first file with 211 and the log's
// path, and what the run made for it (the destination folder) is removed again.
TEST_F(ExtractTest, ALogThatCannotBeOpenedStopsTheExtractionBeforeItsFirstFile)
{
    std::string archive = ZipWriter().add_stored("sub/a.txt", "a").finish().bytes();
    for (bool folder : { false, true }) {
        SCOPED_TRACE(folder ? "a folder of the log's name" : "a log held open");
        remove_tree(dest);
        CreateDirectoryA(dest.c_str(), NULL);
        HANDLE holder = INVALID_HANDLE_VALUE;
        if (folder) {
            CreateDirectoryA((dest + "\\UInstall.uif").c_str(), NULL);
        } else {
            write_file(dest + "\\UInstall.uif", "");
            holder = CreateFileA((dest + "\\UInstall.uif").c_str(), GENERIC_READ, 0, NULL,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        }
        Extraction run = extract(archive);
        if (holder != INVALID_HANDLE_VALUE)
            CloseHandle(holder);
        EXPECT_FALSE(run.succeeded);
        EXPECT_EQ(std::vector<std::string>{ failure_text(IDS_CANNOT_OPEN_FILE, dest + "\\UInstall.uif") },
                  run.messages);
        ASSERT_EQ(1u, run.problems.size());
        EXPECT_NE(0u, run.problems[0].system_error);
        EXPECT_FALSE(folder_exists(dest + "\\sub"));
    }
    // A destination under a file cannot be made at all: its folder is named, nothing is made.
    std::string below = temp / "Made\\Dest";
    write_file(temp / "Made", "a file, not a folder");
    Extraction run = run_extraction_of(temp, archive, below);
    EXPECT_EQ(std::vector<std::string>{ failure_text(IDS_DIRECTORY_ERROR, below) }, run.messages);
    EXPECT_EQ("a file, not a folder", read_file(temp / "Made"));
}

TEST_F(ExtractTest, FailedWriteIsReported)
{
    // full.bin in that folder leads to a device on which every write fails: a full disk.
    std::string full = fixture("full");
    DeleteFileA((full + "\\UInstall.uif").c_str());
    Extraction run = run_extraction_of(
        temp, ZipWriter().add_stored("full.bin", text_content(5000, 4)).add_stored("next", "n")
                  .finish().bytes(),
        full);
    DeleteFileA((full + "\\UInstall.uif").c_str());
    EXPECT_FALSE(run.succeeded);
    EXPECT_EQ(std::vector<std::string>{ failure_text(IDS_EXTRACTION_ERROR, full + "\\full.bin") },
              run.messages);
    EXPECT_FALSE(file_exists(full + "\\next"));
}

TEST_F(ExtractTest, MissingParentFolderIsReported)
{
    // A file stands where the entry's folder should be made.
    CreateDirectoryA(dest.c_str(), NULL);
    write_file(dest + "\\sub", "a file, not a folder");
    Extraction run = extract(ZipWriter().add_stored("sub/inner/a.txt", "a").finish().bytes());
    EXPECT_FALSE(run.succeeded);
    EXPECT_EQ(std::vector<std::string>{ failure_text(IDS_DIRECTORY_ERROR, dest + "\\sub\\inner") },
              run.messages);
}

TEST_F(ExtractTest, OneMessageIsDispatchedPerFileEntry)
{
    std::string archive = ZipWriter().add_directory("d/").add_stored("d/1", "1")
                              .add_stored("2", "2").add_directory("e/").add_stored("3", "3")
                              .finish().bytes();
    write_file(temp / "archive.zip", archive);
    ExtractionOptions options;
    options.app_messages = 5;
    Extraction run = run_extraction(temp / "archive.zip", dest, options);
    EXPECT_TRUE(run.succeeded);
    EXPECT_EQ(3, run.dispatched);
}

TEST_F(ExtractTest, AbortStopsBeforeTheNextFile)
{
    std::string archive = ZipWriter().add_stored("1", "1").add_stored("2", "2").finish().bytes();
    write_file(temp / "archive.zip", archive);
    ExtractionOptions options;
    options.abort_first = true;     // dispatched while the first file is open
    Extraction run = run_extraction(temp / "archive.zip", dest, options);
    EXPECT_FALSE(run.succeeded);
    EXPECT_TRUE(run.messages.empty());
    EXPECT_EQ("1", read_file(dest + "\\1"));
    EXPECT_FALSE(file_exists(dest + "\\2"));
}

TEST_F(ExtractTest, UnreadableArchiveIsAnArchiveError)
{
    // No such file: the handle is invalid, so the first positioning fails.
    Extraction run = run_extraction(temp / "missing.zip", dest);
    EXPECT_EQ(ARCHIVE_BAD_ENTRY, run.result);
    EXPECT_EQ(std::vector<std::string>{ failure_text(IDS_ARCHIVE_ERROR, IDS_ARCHIVE_READ_ERROR) },
              run.messages);
}

TEST_F(ExtractTest, FailuresNameTheirKindAndTheDecoderReason)
{
    ZipRecord bad_block = stored_record("block.txt", "");
    bad_block.method = 8;
    bad_block.data = "\x07";        // final block of the reserved type 3
    bad_block.compressed_size = 1;
    ZipRecord bad_crc = deflated_record("crc.txt", "content");
    bad_crc.crc ^= 1;
    ZipRecord overrun = deflated_record("over.txt", "content");
    overrun.uncompressed_size = 3;
    ZipRecord sizes = stored_record("sizes.txt", "content");
    sizes.compressed_size = 3;
    struct {
        ZipRecord record;
        ArchiveFailure kind;
        InflateResult reason;
    } cases[] = {
        { bad_block, ARCHIVE_BAD_DATA, INFLATE_BAD_BLOCK_TYPE },
        { bad_crc, ARCHIVE_CRC_MISMATCH, INFLATE_OK },
        { overrun, ARCHIVE_OVERRUN, INFLATE_OK },
        { sizes, ARCHIVE_SIZE_MISMATCH, INFLATE_OK },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.record.name);
        Extraction run = extract(ZipWriter().add(c.record).finish().bytes());
        EXPECT_EQ(c.kind, run.result);
        ASSERT_EQ(1u, run.problems.size());
        EXPECT_EQ(c.kind, run.problems[0].kind);
        EXPECT_EQ(c.reason, run.problems[0].reason);
        EXPECT_EQ(dest + "\\" + c.record.name, run.problems[0].detail);
    }
}

// Checked first, as Install does, a damaged archive shows the message the extraction would
// have shown for it, once, and leaves the destination as it was: no folder, file or log line.
TEST_F(ExtractTest, CheckedFirstADamagedArchiveChangesNothingOnDisk)
{
    ZipWriter good;
    for (int i = 0; i < 5; i++)
        good.add(deflated_record("sub" + std::to_string(i) + "/f.txt", text_content(5000, i)));
    ZipRecord last = deflated_record("last.txt", text_content(70000, 9));
    ZipRecord flipped = last;
    flipped.data[flipped.data.size() / 2] ^= 0x40;     // inside a stored block: the CRC fails
    std::string whole = ZipWriter(good).add(last).finish().bytes();
    std::string cut_between = ZipWriter(good).add(last).bytes();    // no central directory
    struct {
        const char *what;
        std::string archive;
        std::string message;
    } cases[] = {
        { "flipped byte in the last entry", ZipWriter(good).add(flipped).finish().bytes(),
          failure_text(IDS_EXTRACTION_ERROR, dest + "\\last.txt") },
        // No end record: the archive is refused as a whole before any entry is looked at.
        { "cut inside the last entry", whole.substr(0, whole.size() - 30000),
          failure_text(IDS_ARCHIVE_ERROR, IDS_ARCHIVE_READ_ERROR) },
        { "cut between entries", cut_between,
          failure_text(IDS_ARCHIVE_ERROR, IDS_ARCHIVE_READ_ERROR) },
        { "unsafe last name", ZipWriter(good).add_stored("../x", "x").finish().bytes(),
          failure_text(IDS_ARCHIVE_ERROR, IDS_ARCHIVE_READ_ERROR) },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        write_file(temp / "archive.zip", c.archive);
        ExtractionOptions options;
        options.check_first = true;
        Extraction run = run_extraction(temp / "archive.zip", dest, options);
        EXPECT_FALSE(run.succeeded);
        EXPECT_EQ(std::vector<std::string>{ c.message }, run.messages);
        EXPECT_FALSE(folder_exists(dest));
    }
    // The whole archive passes the check and is then unpacked.
    write_file(temp / "archive.zip", whole);
    ExtractionOptions options;
    options.check_first = true;
    Extraction run = run_extraction(temp / "archive.zip", dest, options);
    EXPECT_TRUE(run.succeeded);
    EXPECT_TRUE(run.messages.empty());
    EXPECT_EQ(text_content(70000, 9), read_file(dest + "\\last.txt"));
}
