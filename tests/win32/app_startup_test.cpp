// Start-up: the announcement to other processes, staging of the payload archive and its
// removal, in-process; and the whole installer started as a child process.
#include "app/main_dialog.h"
#include "app/startup.h"
#include "app/state.h"
#include "res/resource.h"
#include "tests/win32/app_support.h"
#include "tools/robot/robot.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// start-up opens the main dialog by this procedure. These tests never run the dialog in this
// process (they start the real installer for that), so a dialog that ends at once serves.
INT_PTR CALLBACK main_dialog_proc(HWND window, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG)
        EndDialog(window, IDCANCEL);
    return FALSE;
}

namespace {

// A payload whose bytes depend on their position, so a misplaced block shows.
std::vector<unsigned char> payload(size_t size)
{
    std::vector<unsigned char> bytes(size);
    for (size_t i = 0; i < size; i++)
        bytes[i] = (unsigned char)(i * 7 + (i >> 9));
    return bytes;
}

std::vector<unsigned char> file_contents(const std::string &path)
{
    std::vector<unsigned char> bytes;
    // FILE_SHARE_DELETE: the installer's own handle deletes the staged file when it closes.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    bytes.resize(GetFileSize(file, NULL));
    DWORD read = 0;
    if (!bytes.empty())
        ReadFile(file, bytes.data(), (DWORD)bytes.size(), &read, NULL);
    bytes.resize(read);
    CloseHandle(file);
    return bytes;
}

class Staging : public ::testing::Test {
protected:
    void SetUp() override
    {
        installer.module_instance = GetModuleHandleA(NULL);
        installer.archive_file = INVALID_HANDLE_VALUE;
        installer.archive_position = 12345;
        staged_ = temp_.file("Kavlin.zip");
    }
    void TearDown() override
    {
        if (installer.archive_file != INVALID_HANDLE_VALUE)
            CloseHandle(installer.archive_file);
        installer.archive_file = INVALID_HANDLE_VALUE;
    }

    PrivateTemp temp_;
    std::string staged_;
};

TEST_F(Staging, WritesThePayloadAndReopensItForReadingAtOffsetZero)
{
    std::vector<unsigned char> bytes = payload(748304);
    ASSERT_TRUE(stage_archive(bytes.data(), (DWORD)bytes.size(), false));

    EXPECT_EQ(730u, installer.archive_size);   // whole KiB, rounded down
    EXPECT_EQ(0, installer.archive_position);
    EXPECT_EQ(staged_, staged_archive_path());

    // The handle reads from the start of the file and cannot write.
    unsigned char head[16];
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(installer.archive_file, head, sizeof head, &read, NULL));
    ASSERT_EQ(sizeof head, read);
    EXPECT_EQ(0, memcmp(head, bytes.data(), sizeof head));

    // Others may read the staged file, but not write it, while it is open.
    HANDLE writer = CreateFileA(staged_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    EXPECT_EQ(INVALID_HANDLE_VALUE, writer);
    if (writer != INVALID_HANDLE_VALUE)
        CloseHandle(writer);
    EXPECT_TRUE(file_contents(staged_) == bytes);
}

TEST_F(Staging, SizesInKiBRoundDown)
{
    const struct { DWORD bytes, kib; } cases[] = {{1, 0}, {1023, 0}, {1024, 1}, {2047, 1},
                                                  {65536, 64}, {1048575, 1023}};
    for (const auto &c : cases) {
        std::vector<unsigned char> bytes = payload(c.bytes);
        ASSERT_TRUE(stage_archive(bytes.data(), c.bytes, false)) << c.bytes << " bytes";
        EXPECT_EQ(c.kib, installer.archive_size) << c.bytes << " bytes";
        remove_staged_archive();
    }
}

TEST_F(Staging, ReplacesAnExistingStagedArchive)
{
    write_file(staged_, 2000000, 0xEE);
    std::vector<unsigned char> bytes = payload(5000);
    ASSERT_TRUE(stage_archive(bytes.data(), (DWORD)bytes.size(), false));
    EXPECT_EQ(5000u, file_size(staged_));
    EXPECT_TRUE(file_contents(staged_) == bytes);
}

TEST_F(Staging, RemovingLeavesNoStagedArchive)
{
    std::vector<unsigned char> bytes = payload(3000);
    ASSERT_TRUE(stage_archive(bytes.data(), (DWORD)bytes.size(), false));
    ASSERT_TRUE(file_exists(staged_));
    BoxWatcher watcher(500);   // closing a good handle shows nothing
    remove_staged_archive();
    EXPECT_FALSE(watcher.wait().found);
    EXPECT_FALSE(file_exists(staged_));
    EXPECT_EQ(INVALID_HANDLE_VALUE, installer.archive_file);
}

// Whatever stands in the way of "Kavlin.zip" (a read-only file, a folder, a file another
// program holds open without sharing), the payload is staged under a unique name in the same
// folder, the blocker is left alone, and nothing staged is left behind. When another installer
// runs, its Kavlin.zip is never passed by: 201 names the file and the system's reason.
TEST_F(Staging, AnythingInTheWayOfTheNameIsPassedByUnderAUniqueName)
{
    enum { READ_ONLY, FOLDER, HELD_OPEN };
    for (int blocker : { READ_ONLY, FOLDER, HELD_OPEN }) {
        SCOPED_TRACE(blocker);
        HANDLE holder = INVALID_HANDLE_VALUE;
        if (blocker == FOLDER) {
            ASSERT_TRUE(CreateDirectoryA(staged_.c_str(), NULL));
        } else {
            write_file(staged_, 100, 0x11);
        }
        if (blocker == READ_ONLY)
            SetFileAttributesA(staged_.c_str(), FILE_ATTRIBUTE_READONLY);
        if (blocker == HELD_OPEN) {
            holder = CreateFileA(staged_.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, NULL);
            // As a second installer finds the first one's file.
            std::vector<unsigned char> bytes = payload(3000);
            BoxWatcher refused;
            EXPECT_FALSE(stage_archive(bytes.data(), (DWORD)bytes.size(), true));
            const SeenBox &seen = refused.wait();
            ASSERT_TRUE(seen.found);
            EXPECT_EQ(0u, seen.text.find(ui_ansi(IDS_CANNOT_OPEN) + " " + staged_ + "\r\n"))
                << seen.text;
            EXPECT_GT(seen.text.size(), (ui_ansi(IDS_CANNOT_OPEN) + " " + staged_ + "\r\n").size());
            EXPECT_EQ(INVALID_HANDLE_VALUE, installer.archive_file);
            EXPECT_EQ(1u, count_files(temp_.path()));   // the blocker alone
        }
        std::vector<unsigned char> bytes = payload(3000);

        BoxWatcher watcher(500);
        ASSERT_TRUE(stage_archive(bytes.data(), (DWORD)bytes.size(), false));
        EXPECT_FALSE(watcher.wait().found);
        std::string used = staged_archive_path();
        EXPECT_NE(staged_, used);
        EXPECT_EQ(0u, used.find(temp_.path())) << used;
        EXPECT_TRUE(file_contents(used) == bytes);
        remove_staged_archive();
        EXPECT_FALSE(file_exists(used));

        if (holder != INVALID_HANDLE_VALUE)
            CloseHandle(holder);
        SetFileAttributesA(staged_.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (blocker == FOLDER) {
            EXPECT_TRUE(RemoveDirectoryA(staged_.c_str()));
        } else {
            EXPECT_EQ(100u, file_size(staged_));    // the blocker is untouched
            DeleteFileA(staged_.c_str());
        }
    }
}

TEST_F(Staging, AMissingTemporaryFolderFailsWithMessage201)
{
    SetEnvironmentVariableA("TMP", (temp_.path() + "gone\\").c_str());
    SetEnvironmentVariableA("TEMP", (temp_.path() + "gone\\").c_str());
    std::vector<unsigned char> bytes = payload(100);
    BoxWatcher watcher;
    EXPECT_FALSE(stage_archive(bytes.data(), (DWORD)bytes.size(), false));
    const SeenBox &seen = watcher.wait();
    ASSERT_TRUE(seen.found);
    // The file that could not be made, and on a line of its own the system's reason.
    std::string first = ui_ansi(IDS_CANNOT_OPEN) + " " + temp_.path() + "gone\\Kavlin.zip\r\n";
    EXPECT_EQ(0u, seen.text.find(first)) << seen.text;
    EXPECT_GT(seen.text.size(), first.size());
}

// A hidden top-level window on a thread of its own that counts the registered message
// "Kavlin" and keeps the parameters it came with, as another program would see it.
class Listener {
public:
    Listener()
    {
        message_ = RegisterWindowMessageA("Kavlin");
        ready_ = CreateEventA(NULL, TRUE, FALSE, NULL);
        thread_ = CreateThread(NULL, 0, run, this, 0, NULL);
        WaitForSingleObject(ready_, 10000);
    }
    ~Listener()
    {
        PostMessageA(window_, WM_CLOSE, 0, 0);
        WaitForSingleObject(thread_, 10000);
        CloseHandle(thread_);
        CloseHandle(ready_);
    }
    // Messages of another process arrive while this thread waits; give them time to land.
    int count(DWORD settle_ms = 0)
    {
        Sleep(settle_ms);
        return (int)InterlockedCompareExchange(&count_, 0, 0);
    }
    WPARAM wparam() const { return wparam_; }
    LPARAM lparam() const { return lparam_; }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
    {
        Listener *self = (Listener *)GetWindowLongPtrA(window, GWLP_USERDATA);
        if (self && message == self->message_) {
            self->wparam_ = wparam;
            self->lparam_ = lparam;
            InterlockedIncrement(&self->count_);
            return 0;
        }
        if (message == WM_CLOSE) {
            DestroyWindow(window);
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcA(window, message, wparam, lparam);
    }
    static DWORD WINAPI run(void *parameter)
    {
        Listener *self = (Listener *)parameter;
        WNDCLASSA type = {};
        type.lpfnWndProc = procedure;
        type.hInstance = GetModuleHandleA(NULL);
        type.lpszClassName = "KavlinTestListener";
        RegisterClassA(&type);
        self->window_ = CreateWindowExA(0, type.lpszClassName, "listener", WS_OVERLAPPED, 0, 0,
                                        10, 10, NULL, NULL, type.hInstance, NULL);
        SetWindowLongPtrA(self->window_, GWLP_USERDATA, (LONG_PTR)self);
        SetEvent(self->ready_);
        MSG message;
        while (GetMessageA(&message, NULL, 0, 0) > 0)
            DispatchMessageA(&message);
        return 0;
    }

    UINT message_;
    HANDLE ready_, thread_;
    HWND window_ = NULL;
    volatile LONG count_ = 0;
    volatile WPARAM wparam_ = 0;
    volatile LPARAM lparam_ = 0;
};

TEST(Announce, BroadcastsOnceWith43And43OnlyWhenTheMutexExisted)
{
    HANDLE existing = OpenMutexA(SYNCHRONIZE, FALSE, "Kavlin");
    if (existing) {
        CloseHandle(existing);
        GTEST_SKIP() << "another installer holds the mutex \"Kavlin\"";
    }
    Listener listener;
    announce_start();   // creates the mutex: the first installer announces nothing
    EXPECT_EQ(0, listener.count());
    existing = OpenMutexA(SYNCHRONIZE, FALSE, "Kavlin");
    EXPECT_NE(nullptr, existing) << "the mutex must stay open";
    if (existing)
        CloseHandle(existing);

    announce_start();   // the mutex exists now: sent, so handled when the call returns
    EXPECT_EQ(1, listener.count());
    EXPECT_EQ(43u, listener.wparam());
    EXPECT_EQ(43, listener.lparam());
}

struct DialogSearch {
    std::string title;
    DWORD process;
    HWND found;
};

BOOL CALLBACK find_dialog(HWND window, LPARAM context)
{
    DialogSearch *s = (DialogSearch *)context;
    char title[256] = "";
    DWORD owner = 0;
    GetWindowTextA(window, title, sizeof title);
    GetWindowThreadProcessId(window, &owner);
    if (owner == s->process && IsWindowVisible(window) && s->title == title
        && !robot_is_message_box(window)) {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}

// The installer as a child process, sharing this process's environment (its private
// temporary folder and its locale).
class Installer {
public:
    Installer()
    {
        std::string path = std::string("Z:") + KAVLIN_SETUP_EXE;
        for (char &c : path)
            if (c == '/')
                c = '\\';
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        started_ = CreateProcessA(path.c_str(), NULL, NULL, NULL, FALSE, 0, NULL, NULL,
                                  &startup, &process_) != 0;
    }
    ~Installer()
    {
        if (started_ && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(process_.hProcess, 1);
        if (started_) {
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
    }
    bool started() const { return started_; }
    DWORD id() const { return process_.dwProcessId; }

    // The installer's main dialog, found by its localised title among this process's windows
    // (another installer's dialog may have the same title).
    HWND main_dialog(DWORD timeout_ms = 20000) const
    {
        DialogSearch search = { ui_ansi(IDS_TITLE), id(), NULL };
        DWORD start = GetTickCount();
        do {
            EnumWindows(find_dialog, (LPARAM)&search);
            if (search.found && robot_find(search.title.c_str(), ROBOT_DIALOG, 0))
                return search.found;
            search.found = NULL;
            Sleep(50);
        } while (GetTickCount() - start < timeout_ms);
        return NULL;
    }

    // Exit code, or STILL_ACTIVE when the process has not ended within the time.
    DWORD wait(DWORD timeout_ms = 20000) const
    {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(process_.hProcess, timeout_ms) == WAIT_OBJECT_0)
            GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

private:
    bool started_;
    PROCESS_INFORMATION process_ = {};
};

// Presses Abort in the main dialog and reads the notice that follows; closes it.
std::string abort_installer(const Installer &setup, HWND dialog)
{
    char text[512] = "";
    if (!robot_click(dialog, IDC_ABORT))
        return "(Abort could not be pressed)";
    HWND box = find_message_box(setup.id(), 20000);
    if (!box)
        return "(no notice after Abort)";
    char caption[256] = "";
    robot_text(box, 0, caption, sizeof caption);
    robot_message_text(box, text, sizeof text);
    robot_close(box);
    if (ui_ansi(IDS_TITLE) != caption)
        return std::string("(notice captioned \"") + caption + "\")";
    return text;
}

class WholeInstaller : public ::testing::Test {
protected:
    PrivateTemp temp_;   // the child's temporary folder too
};

TEST_F(WholeInstaller, AbortsInTheLanguageOfTheLocaleAndRemovesTheStagedArchive)
{
    Installer setup;
    ASSERT_TRUE(setup.started());
    HWND dialog = setup.main_dialog();
    ASSERT_NE(nullptr, dialog) << "no main dialog titled \"" << ui_ansi(IDS_TITLE) << "\"";
    EXPECT_TRUE(file_exists(temp_.file("Kavlin.zip")));

    EXPECT_EQ(ui_ansi(IDS_ABORTED), abort_installer(setup, dialog));
    EXPECT_EQ(0u, setup.wait());
    EXPECT_FALSE(file_exists(temp_.file("Kavlin.zip")));
}

TEST_F(WholeInstaller, ASecondInstallerAnnouncesItselfThenFailsWithMessage201)
{
    Listener listener;
    Installer first;
    ASSERT_TRUE(first.started());
    HWND dialog = first.main_dialog();
    ASSERT_NE(nullptr, dialog);
    int before = listener.count();

    // The second finds the mutex, broadcasts once, and cannot replace the staged file that
    // the first holds open for reading: it says so, naming the file and the system's reason,
    // and ends without a dialog of its own and without leaving a file behind.
    Installer second;
    ASSERT_TRUE(second.started());
    HWND box = find_message_box(second.id(), 20000);
    ASSERT_NE(nullptr, box);
    char text[1024] = "";
    robot_message_text(box, text, sizeof text);
    std::string first_line = ui_ansi(IDS_CANNOT_OPEN) + " " + temp_.file("Kavlin.zip") + "\r\n";
    EXPECT_EQ(0u, std::string(text).find(first_line)) << text;
    EXPECT_GT(strlen(text), first_line.size());
    EXPECT_EQ(NULL, GetWindow(box, GW_OWNER));
    robot_close(box);
    EXPECT_EQ(0u, second.wait());
    EXPECT_EQ(before + 1, listener.count(200));
    EXPECT_EQ(43u, listener.wparam());
    EXPECT_EQ(43, listener.lparam());
    EXPECT_EQ(1u, count_files(temp_.path()));

    // The first is not disturbed: its dialog and its staged archive are still there.
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_TRUE(file_exists(temp_.file("Kavlin.zip")));
    EXPECT_EQ(ui_ansi(IDS_ABORTED), abort_installer(first, dialog));
    EXPECT_EQ(0u, first.wait());
    EXPECT_EQ(0u, count_files(temp_.path())) << "a staged file was left in the temporary folder";
}

}  // namespace
