// End-to-end tests of the installer as a user meets it: the real KavlinSetup executables (with
// the tests' payloads) are started as separate processes and driven through their dialogs by
// the robot. The language follows the locale the test runs in (LANG); run-e2e runs the suite
// once per language.
//
// Environment: KAVLIN_E2E_DIR, the build folder with the installers and their payload trees;
// KAVLIN_SHOTS, where screenshots go (BMP); KAVLIN_AGENT_TABLE, the interface table the test
// agent serves (set here for the installer to inherit). The scenarios written for Wine's own SNMP
// agent run by themselves, with that agent in place (run-e2e ... wine), and find the project's
// agent through KAVLIN_E2E_TEST_AGENT; the others run with the project's agent.
#include "tests/e2e/screenshot.h"
#include "tests/win32/folders.h"
#include "tests/win32/ui_texts.h"
#include "tools/robot/robot.h"

#include <gtest/gtest.h>
#include <iphlpapi.h>
#include <snmp.h>

#include <algorithm>
#include <iostream>
#include <stdio.h>
#include <stdlib.h>
#include <map>
#include <string>
#include <vector>

namespace {

const DWORD WAIT_MS = 20000;

// ---- Files, folders and the registry ----

std::string unix_to_windows(const char *path)
{
    std::string result = "Z:";
    for (const char *p = path; *p; p++)
        result += *p == '/' ? '\\' : *p;
    return result;
}

std::string build_dir()
{
    const char *dir = getenv("KAVLIN_E2E_DIR");
    return dir ? unix_to_windows(dir) : std::string();
}

bool exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string read_file(const std::string &path)
{
    std::string data;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return data;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        data.append(buffer, n);
    fclose(f);
    return data;
}

std::string staged_archive()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    return std::string(temp) + "Kavlin.zip";
}

const char KEY[] = "Software\\Orvo\\Kavlin";

void set_text_value(HKEY root, const char *name, const char *value)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, KEY, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL));
    RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)value, (DWORD)strlen(value) + 1);
    RegCloseKey(key);
}

bool read_dword_value(HKEY root, const char *name, DWORD *value, DWORD *type)
{
    HKEY key;
    if (RegOpenKeyExA(root, KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = sizeof *value;
    LONG result = RegQueryValueExA(key, name, NULL, type, (BYTE *)value, &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && size == sizeof *value;
}

void forget_configuration()
{
    RegDeleteKeyA(HKEY_CURRENT_USER, KEY);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, KEY);
}

// ---- The payload as the installer reads it: entries in file order ----

struct Entry {
    std::string name;
    bool folder;
};

std::vector<Entry> payload_entries(const std::string &zip)
{
    std::vector<Entry> entries;
    std::string data = read_file(zip);
    size_t pos = 0;
    while (pos + 30 <= data.size() && data.compare(pos, 4, "PK\3\4") == 0) {
        const unsigned char *h = (const unsigned char *)data.data() + pos;
        unsigned size = h[18] | h[19] << 8 | h[20] << 16 | (unsigned)h[21] << 24;
        unsigned name_length = h[26] | h[27] << 8, extra_length = h[28] | h[29] << 8;
        std::string name = data.substr(pos + 30, name_length);
        entries.push_back({name, name.back() == '/'});
        pos += 30 + name_length + extra_length + size;
    }
    return entries;
}

std::string backslashed(std::string path)
{
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// The install log a fresh installation into `destination` writes: each file entry in order,
// after the folders its path needs first (the destination folder itself is not recorded).
std::string expected_log(const std::vector<Entry> &entries, const std::string &destination)
{
    std::string log;
    std::vector<std::string> folders;
    for (const Entry &entry : entries) {
        if (entry.folder)
            continue;
        std::string name = backslashed(entry.name);
        for (size_t slash = name.find('\\'); slash != std::string::npos; slash = name.find('\\', slash + 1)) {
            std::string folder = destination + "\\" + name.substr(0, slash);
            bool seen = false;
            for (const std::string &f : folders)
                seen = seen || f == folder;
            if (!seen) {
                folders.push_back(folder);
                log += "DIR:       " + folder + "\r\n";
            }
        }
        log += "FIL:       " + destination + "\\" + name + "\r\n";
    }
    return log;
}

// ---- The running installer ----

class Installer {
public:
    // Run from the build folder, or from KAVLIN_E2E_INSTALLER_DIR when the run names one.
    explicit Installer(const char *executable)
    {
        const char *folder = getenv("KAVLIN_E2E_INSTALLER_DIR");
        std::string path = (folder ? unix_to_windows(folder) : build_dir()) + "\\" + executable;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        std::string command = "\"" + path + "\"";
        started_ = CreateProcessA(path.c_str(), &command[0], NULL, NULL, FALSE, 0, NULL, NULL,
                                  &startup, &process_) != 0;
    }
    ~Installer()
    {
        if (started_) {
            if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess(process_.hProcess, 99);
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
    }
    bool started() const { return started_; }

    // Holds and releases the installer's one thread, which runs its dialogs and the extraction.
    void suspend() { SuspendThread(process_.hThread); }
    void resume() { ResumeThread(process_.hThread); }

    // Waits for the process to end; its exit code, or -1 when it did not end in time.
    long exit_code(DWORD timeout_ms = WAIT_MS)
    {
        DWORD code;
        if (WaitForSingleObject(process_.hProcess, timeout_ms) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(process_.hProcess, &code))
            return -1;
        return (long)code;
    }

private:
    PROCESS_INFORMATION process_ = {};
    bool started_ = false;
};

std::string text_of(HWND window, int id)
{
    char text[2048];
    robot_text(window, id, text, sizeof text);
    return text;
}

// Waits for a message box, returns its text and closes it.
std::string answer_message_box()
{
    HWND box = robot_find(ui_ansi(IDS_TITLE).c_str(), ROBOT_MESSAGE_BOX, WAIT_MS);
    if (!box)
        return "(no message box)";
    char text[1024];
    robot_message_text(box, text, sizeof text);
    robot_close(box);
    // This box, not every box of that title: the next one may follow at once.
    for (DWORD start = GetTickCount(); IsWindow(box) && GetTickCount() - start < WAIT_MS;)
        Sleep(10);
    return text;
}

HWND main_dialog()
{
    return robot_find(ui_ansi(IDS_TITLE).c_str(), ROBOT_DIALOG, WAIT_MS);
}

void screenshot(HWND window, const char *what)
{
    const char *dir = getenv("KAVLIN_SHOTS");
    // The pictures show the Windows version Wine reports by default; runs under others take none.
    if (!dir || !window || getenv("KAVLIN_E2E_WINDOWS"))
        return;
    Sleep(300);  // let the window finish painting
    std::string path = unix_to_windows(dir) + "\\" + what + "-" + language_name() + ".bmp";
    EXPECT_TRUE(save_screenshot(window, path.c_str())) << path;
}

// Waits until `path` exists; false on time-out.
// Waits for the folder browser that `owner` opened (its title is in the locale's language; it
// is told by its folder tree, control 14145).
HWND find_folder_browser(HWND owner, DWORD timeout_ms = WAIT_MS)
{
    struct Search {
        HWND owner, found;
        static BOOL CALLBACK visit(HWND window, LPARAM parameter)
        {
            Search *search = (Search *)parameter;
            if (IsWindowVisible(window) && GetWindow(window, GW_OWNER) == search->owner &&
                GetDlgItem(window, 14145)) {
                search->found = window;
                return FALSE;
            }
            return TRUE;
        }
    };
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeout_ms; Sleep(50)) {
        Search search = {owner, NULL};
        EnumWindows(Search::visit, (LPARAM)&search);
        if (search.found) {
            Sleep(300);  // let it fill its tree
            return search.found;
        }
    }
    return NULL;
}

bool wait_gone(HWND window, DWORD timeout_ms = WAIT_MS)
{
    for (DWORD start = GetTickCount(); IsWindow(window); Sleep(50))
        if (GetTickCount() - start > timeout_ms)
            return false;
    return true;
}

bool wait_for_file(const std::string &path, DWORD timeout_ms = WAIT_MS)
{
    for (DWORD start = GetTickCount(); !exists(path);) {
        if (GetTickCount() - start > timeout_ms)
            return false;
        Sleep(50);
    }
    return true;
}

// Waits for a notepad window showing ReadMe.txt (the program associated with .txt files in
// the test prefix), closes it and returns true.
bool close_readme_viewer(DWORD timeout_ms = WAIT_MS)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeout_ms; Sleep(100)) {
        HWND viewer = FindWindowA("Notepad", NULL);
        char title[256] = "";
        if (viewer && GetWindowTextA(viewer, title, sizeof title) && strstr(title, "ReadMe")) {
            PostMessageA(viewer, WM_CLOSE, 0, 0);
            return true;
        }
    }
    return false;
}

// ---- The prefix's settings and the layout of the dialog ----

int screen_dpi()
{
    HDC screen = GetDC(NULL);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(NULL, screen);
    return dpi;
}

// The settings run-e2e gave the prefix for this run, as this process sees them: the screen's
// DPI (KAVLIN_E2E_DPI) and the Windows version Wine reports (KAVLIN_E2E_WINDOWS).
void expect_prefix_settings()
{
    const char *dpi = getenv("KAVLIN_E2E_DPI");
    if (dpi)
        EXPECT_EQ(atoi(dpi), screen_dpi());
    const char *windows = getenv("KAVLIN_E2E_WINDOWS");
    if (!windows)
        return;
    struct Version {
        const char *name;
        DWORD platform, major, minor;
    };
    static const Version versions[] = {
        {"win95", VER_PLATFORM_WIN32_WINDOWS, 4, 0}, {"win98", VER_PLATFORM_WIN32_WINDOWS, 4, 10},
        {"nt40", VER_PLATFORM_WIN32_NT, 4, 0}, {"win2k", VER_PLATFORM_WIN32_NT, 5, 0}};
    OSVERSIONINFOA reported = {};
    reported.dwOSVersionInfoSize = sizeof reported;
    ASSERT_TRUE(GetVersionExA(&reported));
    for (const Version &v : versions) {
        if (strcmp(v.name, windows) == 0) {
            EXPECT_EQ(v.platform, reported.dwPlatformId) << windows;
            EXPECT_EQ(v.major, reported.dwMajorVersion) << windows;
            EXPECT_EQ(v.minor, reported.dwMinorVersion) << windows;
            return;
        }
    }
    ADD_FAILURE() << "unknown Windows version " << windows;
}

std::string rect_text(const RECT &r)
{
    char text[80];
    snprintf(text, sizeof text, "(%ld,%ld)-(%ld,%ld)", r.left, r.top, r.right, r.bottom);
    return text;
}

bool inside(const RECT &inner, const RECT &outer)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

bool overlap(const RECT &a, const RECT &b)
{
    RECT common;
    return IntersectRect(&common, &a, &b) != 0;
}

// The etched frame around the destination field and the buttons.
HWND group_frame(HWND dialog)
{
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[32];
        GetClassNameA(child, name, sizeof name);
        if (lstrcmpiA(name, "Static") == 0 &&
            (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ETCHEDFRAME)
            return child;
    }
    return NULL;
}

// During the extraction the progress bar and the line with the file being written lie under
// the frame, as wide as it, inside the client area and clear of the buttons, at any DPI; at
// 96 DPI the bar is at (12, 154), 284 x 10 pixels, and the line at (12, 166), 284 x 14.
void expect_extraction_layout(HWND dialog)
{
    RECT client, frame, bar, line;
    HWND bar_window = FindWindowExA(dialog, NULL, "msctls_progress32", NULL);
    ASSERT_TRUE(bar_window);
    ASSERT_TRUE(group_frame(dialog));
    ASSERT_TRUE(robot_rect(dialog, NULL, &client));
    ASSERT_TRUE(robot_rect(dialog, group_frame(dialog), &frame));
    ASSERT_TRUE(robot_rect(dialog, bar_window, &bar));
    ASSERT_TRUE(robot_rect(dialog, GetDlgItem(dialog, 103), &line));
    printf("at %d DPI: client area %s, frame %s, bar %s, file line %s\n", screen_dpi(),
           rect_text(client).c_str(), rect_text(frame).c_str(), rect_text(bar).c_str(),
           rect_text(line).c_str());

    EXPECT_TRUE(inside(bar, client)) << rect_text(bar);
    EXPECT_TRUE(inside(line, client)) << rect_text(line);
    EXPECT_GE(bar.top, frame.bottom) << rect_text(bar);
    EXPECT_GE(line.top, bar.bottom) << rect_text(line);
    EXPECT_EQ(frame.left, bar.left);
    EXPECT_EQ(frame.right, bar.right);
    EXPECT_EQ(frame.left, line.left);
    EXPECT_EQ(frame.right, line.right);
    for (int id : {1, 2, 100}) {
        RECT button;
        ASSERT_TRUE(robot_rect(dialog, GetDlgItem(dialog, id), &button));
        EXPECT_FALSE(overlap(bar, button)) << id << " " << rect_text(button);
        EXPECT_FALSE(overlap(line, button)) << id << " " << rect_text(button);
    }
    if (screen_dpi() == 96) {
        EXPECT_EQ("(12,154)-(296,164)", rect_text(bar));
        EXPECT_EQ("(12,166)-(296,180)", rect_text(line));
    }
}

class EndToEnd : public ::testing::Test {
protected:
    const std::string default_destination = "C:\\PROGRAM FILES\\KAVLIN";

    void SetUp() override
    {
        ASSERT_FALSE(build_dir().empty()) << "KAVLIN_E2E_DIR is not set";
        expect_prefix_settings();
        forget_configuration();
        remove_tree(default_destination);
        DeleteFileA(staged_archive().c_str());
        // The agent serves loopback first, then two adapters: line k is record k + 1.
        std::string table = build_dir() + "\\interfaces.txt";
        FILE *f = fopen(table.c_str(), "wb");
        ASSERT_TRUE(f);
        fputs("1|Loopback Pseudo-Interface|24|0|0\n2|Ethernet Adapter|6|1000|2000\n"
              "7|Dial-up Adapter|23|30|40\n", f);
        fclose(f);
        SetEnvironmentVariableA("KAVLIN_AGENT_TABLE", table.c_str());
    }

    void TearDown() override { remove_tree(default_destination); }

    // The payload tree's file as installed under `destination` must hold the same bytes.
    void expect_installed(const std::string &destination, const char *tree)
    {
        std::string source = build_dir() + "\\payloads\\" + tree;
        for (const Entry &entry : payload_entries(build_dir() + "\\payloads\\" +
                                                  (std::string(tree) == "tree" ? "e2e.zip" : "large.zip"))) {
            if (entry.folder)
                continue;
            std::string name = backslashed(entry.name);
            EXPECT_EQ(read_file(source + "\\" + name), read_file(destination + "\\" + name)) << name;
        }
    }
};

TEST_F(EndToEnd, MainDialogShowsItsTextsAndAbortEndsWithoutTrace)
{
    Installer installer("KavlinSetupE2E.exe");
    ASSERT_TRUE(installer.started());
    HWND dialog = main_dialog();
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(exists(staged_archive()));

    EXPECT_EQ(ui_ansi(IDS_INSTALL), text_of(dialog, 1));
    EXPECT_EQ(ui_ansi(IDS_ABORT), text_of(dialog, 2));
    EXPECT_EQ(ui_ansi(IDS_BROWSE), text_of(dialog, 100));
    EXPECT_NE(std::string::npos, text_of(dialog, 102).find("95/98/ME/NT/2000"));
    EXPECT_EQ(0u, text_of(dialog, 103).find(ui_ansi(IDS_TITLE) + " v1.0\r\n"));
    EXPECT_EQ(default_destination, text_of(dialog, 101));
    screenshot(dialog, "main-dialog");

    robot_click(dialog, 2);
    EXPECT_EQ(ui_ansi(IDS_ABORTED), answer_message_box());
    EXPECT_TRUE(robot_wait_gone(ui_ansi(IDS_TITLE).c_str(), ROBOT_ANY, WAIT_MS));
    EXPECT_EQ(0, installer.exit_code());
    EXPECT_FALSE(exists(staged_archive()));
    EXPECT_FALSE(exists(default_destination));
}

TEST_F(EndToEnd, DestinationIsPresetFromCurrentDirOnly)
{
    set_text_value(HKEY_CURRENT_USER, "current_dir", "D:\\Wrong\\Case");
    {
        Installer installer("KavlinSetupE2E.exe");
        HWND dialog = main_dialog();
        ASSERT_TRUE(dialog);
        EXPECT_EQ(default_destination, text_of(dialog, 101));
        robot_click(dialog, 2);
        answer_message_box();
        EXPECT_EQ(0, installer.exit_code());
    }
    // Value names are not case-sensitive to the registry: start again without current_dir.
    forget_configuration();
    set_text_value(HKEY_CURRENT_USER, "Current_Dir", "D:\\Programs\\Net");
    {
        Installer installer("KavlinSetupE2E.exe");
        HWND dialog = main_dialog();
        ASSERT_TRUE(dialog);
        EXPECT_EQ("D:\\Programs\\Net", text_of(dialog, 101));
        robot_click(dialog, 2);
        answer_message_box();
        EXPECT_EQ(0, installer.exit_code());
    }
}

TEST_F(EndToEnd, FirstInstallationAsksForTheInterfaceAndLaunchesTheProgram)
{
    std::vector<Entry> entries = payload_entries(build_dir() + "\\payloads\\e2e.zip");
    ASSERT_FALSE(entries.empty());
    {
        Installer installer("KavlinSetupE2E.exe");
        HWND dialog = main_dialog();
        ASSERT_TRUE(dialog);
        robot_click(dialog, 1);

        HWND setup = robot_find(ui_ansi(IDS_SETUP_TITLE).c_str(), ROBOT_DIALOG, WAIT_MS);
        ASSERT_TRUE(setup);
        EXPECT_EQ(ui_ansi(IDS_SETUP_REQUEST), text_of(setup, 102));
        EXPECT_EQ("OK", text_of(setup, 1));
        HWND list = GetDlgItem(setup, 101);
        ASSERT_EQ(2, SendMessageA(list, CB_GETCOUNT, 0, 0));  // loopback gets no line
        EXPECT_EQ(0, SendMessageA(list, CB_GETCURSEL, 0, 0));
        screenshot(setup, "setup-dialog");
        SendMessageA(list, CB_SETCURSEL, 1, 0);  // the dial-up adapter, ifIndex 7
        robot_click(setup, 1);

        std::string started = default_destination + "\\KavlinStarted.txt";
        ASSERT_TRUE(wait_for_file(started));
        Sleep(200);
        EXPECT_EQ("arguments=/install\r\ndirectory=" + default_destination + "\r\n", read_file(started));
        EXPECT_TRUE(close_readme_viewer());
        EXPECT_EQ(0, installer.exit_code());
    }
    DWORD index = 0, type = 0;
    ASSERT_TRUE(read_dword_value(HKEY_LOCAL_MACHINE, "InterfaceIndex", &index, &type));
    EXPECT_EQ((DWORD)REG_DWORD, type);
    EXPECT_EQ(7u, index);
    expect_installed(default_destination, "tree");
    EXPECT_EQ(expected_log(entries, default_destination),
              read_file(default_destination + "\\UInstall.uif"));
    EXPECT_FALSE(exists(staged_archive()));

    // A second installation asks nothing, keeps the choice and logs each file once.
    DeleteFileA((default_destination + "\\KavlinStarted.txt").c_str());
    {
        Installer installer("KavlinSetupE2E.exe");
        HWND dialog = main_dialog();
        ASSERT_TRUE(dialog);
        robot_click(dialog, 1);
        ASSERT_TRUE(wait_for_file(default_destination + "\\KavlinStarted.txt"));
        EXPECT_FALSE(robot_find(ui_ansi(IDS_SETUP_TITLE).c_str(), ROBOT_DIALOG, 0));
        EXPECT_TRUE(close_readme_viewer());
        EXPECT_EQ(0, installer.exit_code());
    }
    ASSERT_TRUE(read_dword_value(HKEY_LOCAL_MACHINE, "InterfaceIndex", &index, &type));
    EXPECT_EQ(7u, index);
    EXPECT_EQ(expected_log(entries, default_destination),
              read_file(default_destination + "\\UInstall.uif"));
}

// ---- Wine's own SNMP agent ----

// A network interface of the host as Linux lists it in /sys/class/net (reached through Wine's
// drive Z:): its name, which Wine's agent gives as ifDescr, and its ifindex.
struct HostInterface {
    std::string name;
    DWORD ifindex;
    bool loopback;      // its link type is ARPHRD_LOOPBACK (772)
};

std::vector<HostInterface> host_interfaces()
{
    const std::string folder = "Z:\\sys\\class\\net\\";
    std::vector<HostInterface> result;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return result;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string ifindex = read_file(folder + name + "\\ifindex");
        std::string type = read_file(folder + name + "\\type");
        if (!ifindex.empty())
            result.push_back({name, (DWORD)strtoul(ifindex.c_str(), NULL, 10),
                              strtoul(type.c_str(), NULL, 10) == 772});
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return result;
}

std::string system_file(const char *name)
{
    char folder[MAX_PATH];
    GetSystemDirectoryA(folder, sizeof folder);
    return std::string(folder) + "\\" + name;
}

// Lines of the setup dialog's interface list, in the ANSI code page (the text is read as UTF-16:
// from another process the ANSI message gives the wide text).
std::vector<std::string> interface_lines(HWND setup)
{
    std::vector<std::string> lines;
    HWND list = GetDlgItem(setup, 101);
    LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        wchar_t line[512] = L"";
        if (SendMessageW(list, CB_GETLBTEXTLEN, i, 0) < 512)
            SendMessageW(list, CB_GETLBTEXT, i, (LPARAM)line);
        char ansi_line[1024] = "";
        WideCharToMultiByte(CP_ACP, 0, line, -1, ansi_line, sizeof ansi_line, NULL, NULL);
        lines.push_back(ansi_line);
    }
    return lines;
}

// Run by itself (run-e2e with "wine"), with Wine's own inetmib1.dll in the system folder and
// no override. That agent answers the count request with the first row's ifIndex, numbers the
// rows by position and leaves the table after every column's last row; the installer must still
// list every interface of the host but loopback, show no message, and store the chosen one's
// ifindex.
TEST_F(EndToEnd, FirstInstallationWithWinesOwnAgentListsEveryInterfaceOfTheHost)
{
    ASSERT_NE(std::string::npos, read_file(system_file("inetmib1.dll")).find("Wine builtin DLL"))
        << "the system folder's inetmib1.dll is not Wine's own";
    std::map<std::string, DWORD> expected;   // the host's interfaces but loopback, by name
    DWORD loopback = 0;
    for (const HostInterface &host : host_interfaces()) {
        std::cout << "/sys/class/net: " << host.name << ", ifindex " << host.ifindex
                  << (host.loopback ? ", loopback" : "") << "\n";
        if (host.loopback)
            loopback = host.ifindex;
        else
            expected[host.name] = host.ifindex;
    }

    std::vector<std::string> failures, lines;
    {
        Installer installer("KavlinSetupE2E.exe");
        HWND dialog = main_dialog();
        ASSERT_TRUE(dialog);
        robot_click(dialog, 1);

        // A failure of the enumeration would come first, in a box captioned "Chyba".
        HWND setup = NULL;
        for (DWORD start = GetTickCount(); !setup && GetTickCount() - start < WAIT_MS;) {
            if (HWND box = robot_find("Chyba", ROBOT_MESSAGE_BOX, 0)) {
                char text[512];
                robot_message_text(box, text, sizeof text);
                failures.push_back(text);
                robot_close(box);
                ASSERT_TRUE(wait_gone(box));
                continue;
            }
            setup = robot_find(ui_ansi(IDS_SETUP_TITLE).c_str(), ROBOT_DIALOG, 0);
            if (!setup) {
                ASSERT_EQ(-1, installer.exit_code(0))
                    << "the installer ended before the setup dialog";
                Sleep(50);
            }
        }
        EXPECT_EQ(std::vector<std::string>(), failures);
        ASSERT_TRUE(setup);
        lines = interface_lines(setup);
        for (const std::string &line : lines)
            std::cout << "Wine's own agent: line \"" << line << "\"\n";
        // The last line: the choice must lead past loopback and every line before it.
        if (!lines.empty())
            SendMessageA(GetDlgItem(setup, 101), CB_SETCURSEL, lines.size() - 1, 0);
        robot_click(setup, 1);

        ASSERT_TRUE(wait_for_file(default_destination + "\\KavlinStarted.txt"));
        EXPECT_TRUE(close_readme_viewer());
        EXPECT_EQ(0, installer.exit_code());
    }
    std::vector<std::string> names;
    for (const auto &host : expected)
        names.push_back(host.first);
    std::vector<std::string> sorted_lines = lines;
    std::sort(sorted_lines.begin(), sorted_lines.end());
    EXPECT_EQ(names, sorted_lines);
    // A host with loopback alone gets no line, and OK takes loopback, the only record.
    DWORD index = 0, type = 0;
    ASSERT_TRUE(read_dword_value(HKEY_LOCAL_MACHINE, "InterfaceIndex", &index, &type));
    EXPECT_EQ(lines.empty() ? loopback : expected[lines.back()], index);
}

// One GETNEXT to an SNMP extension agent, told as text: the agent's result, the error status,
// the name answered and the value's type; and the value, where both agents under comparison
// take it from the same table (ifNumber, ifIndex, ifDescr, ifType).
std::string agent_answer(PFNSNMPEXTENSIONQUERY query, const std::vector<UINT> &asked)
{
    static HMODULE utility = LoadLibraryA("snmpapi.dll");
    static auto copy = (decltype(&SnmpUtilOidCpy))GetProcAddress(utility, "SnmpUtilOidCpy");
    static auto release =
        (decltype(&SnmpUtilVarBindFree))GetProcAddress(utility, "SnmpUtilVarBindFree");
    SnmpVarBind binding = {};
    SnmpVarBindList list = {&binding, 1};
    AsnObjectIdentifier name = {(UINT)asked.size(), const_cast<UINT *>(asked.data())};
    AsnInteger32 status = 0, index = 0;
    copy(&binding.name, &name);
    BOOL served = query(SNMP_PDU_GETNEXT, &list, &status, &index);
    std::string text = std::string(served ? "served" : "refused") + ", status " +
                       std::to_string(status) + ", ";
    for (UINT i = 0; i < binding.name.idLength; i++)
        text += (i ? "." : "") + std::to_string(binding.name.ids[i]);
    text += ", type " + std::to_string(binding.value.asnType);
    const UINT *ids = binding.name.ids;
    bool if_number = binding.name.idLength == 8 && ids[6] == 2 && ids[7] == 1;
    bool named_cell = binding.name.idLength == 11 && ids[6] == 2 && ids[7] == 2 && ids[9] <= 3;
    if (if_number || named_cell) {
        if (binding.value.asnType == ASN_OCTETSTRING)
            text += ", \"" + std::string((const char *)binding.value.asnValue.string.stream,
                                         binding.value.asnValue.string.length) + "\"";
        else
            text += ", " + std::to_string(binding.value.asnValue.number);
    }
    release(&binding);
    return text;
}

PFNSNMPEXTENSIONQUERY start_agent(const std::string &path)
{
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module)
        return NULL;
    auto init = (PFNSNMPEXTENSIONINIT)GetProcAddress(module, "SnmpExtensionInit");
    auto query = (PFNSNMPEXTENSIONQUERY)GetProcAddress(module, "SnmpExtensionQuery");
    HANDLE trap = NULL;
    AsnObjectIdentifier view = {};
    return init && query && init(GetTickCount(), &trap, &view) ? query : NULL;
}

// The project's test agent in its Wine mode, serving this host's interfaces in the order Wine's
// agent takes them, must answer as Wine's own agent does: the count request, the groups around
// the interfaces, every column of ifTable (and the ones beyond) by its own name and at every row
// and the rows just outside the table, and a name outside MIB-II.
TEST_F(EndToEnd, TestAgentsWineModeAnswersAsWinesOwnAgent)
{
    const char *test_agent = getenv("KAVLIN_E2E_TEST_AGENT");
    ASSERT_TRUE(test_agent) << "KAVLIN_E2E_TEST_AGENT is not set";
    // Under a name of its own: given "inetmib1.dll", Wine would load its own agent instead.
    std::string copy = build_dir() + "\\kavlin-wine-mode.dll";
    ASSERT_TRUE(CopyFileA(unix_to_windows(test_agent).c_str(), copy.c_str(), FALSE));
    ULONG size = 0;
    ASSERT_EQ((DWORD)ERROR_INSUFFICIENT_BUFFER, GetIfTable(NULL, &size, FALSE));
    std::vector<BYTE> buffer(size);
    MIB_IFTABLE *table = (MIB_IFTABLE *)buffer.data();
    ASSERT_EQ((DWORD)NO_ERROR, GetIfTable(table, &size, FALSE));
    std::string rows = "!wine\n";
    for (DWORD i = 0; i < table->dwNumEntries; i++) {
        const MIB_IFROW &row = table->table[i];
        std::string description((const char *)row.bDescr,
                                std::min<DWORD>(row.dwDescrLen, MAXLEN_IFDESCR));
        rows += std::to_string(row.dwIndex) + "|" + description + "|" +
                std::to_string(row.dwType) + "|0|0\n";
    }
    std::string table_file = build_dir() + "\\wine-mode.txt";
    FILE *f = fopen(table_file.c_str(), "wb");
    ASSERT_TRUE(f);
    fputs(rows.c_str(), f);
    fclose(f);
    SetEnvironmentVariableA("KAVLIN_AGENT_TABLE", table_file.c_str());

    PFNSNMPEXTENSIONQUERY wine = start_agent(system_file("inetmib1.dll"));
    PFNSNMPEXTENSIONQUERY emulation = start_agent(copy);
    ASSERT_TRUE(wine && emulation);
    std::vector<std::vector<UINT>> probes = {
        {1, 3, 6, 1, 2, 1, 2, 0, 1, 1}, {1, 3, 6, 1, 2, 1, 1}, {1, 3, 6, 1, 2, 1, 2},
        {1, 3, 6, 1, 2, 1, 2, 1}, {1, 3, 6, 1, 2, 1, 2, 1, 0}, {1, 3, 6, 1, 2, 1, 2, 2},
        {1, 3, 6, 1, 2, 1, 2, 2, 1}, {1, 3, 6, 1, 4, 1}};
    // Column 0 is left out: it makes Wine's agent fail an assertion and end the process.
    for (UINT column = 1; column <= 23; column++) {
        probes.push_back({1, 3, 6, 1, 2, 1, 2, 2, 1, column});
        for (UINT row = 0; row <= table->dwNumEntries + 1; row++)
            probes.push_back({1, 3, 6, 1, 2, 1, 2, 2, 1, column, row});
    }
    for (const std::vector<UINT> &probe : probes) {
        std::string asked;
        for (UINT id : probe)
            asked += (asked.empty() ? "" : ".") + std::to_string(id);
        EXPECT_EQ(agent_answer(wine, probe), agent_answer(emulation, probe)) << "asked " << asked;
    }
}

TEST_F(EndToEnd, TrailingBackslashIsDroppedFromTheDestination)
{
    set_text_value(HKEY_LOCAL_MACHINE, "InterfaceIndex", "x");  // chosen before: no setup dialog
    const std::string destination = "C:\\KavlinSlash";
    remove_tree(destination);
    Installer installer("KavlinSetupE2E.exe");
    HWND dialog = main_dialog();
    ASSERT_TRUE(dialog);
    robot_set_text(dialog, 101, (destination + "\\").c_str());
    robot_click(dialog, 1);
    ASSERT_TRUE(wait_for_file(destination + "\\KavlinStarted.txt"));
    Sleep(200);
    EXPECT_EQ("arguments=/install\r\ndirectory=" + destination + "\r\n",
              read_file(destination + "\\KavlinStarted.txt"));
    EXPECT_TRUE(close_readme_viewer());
    EXPECT_EQ(0, installer.exit_code());
    expect_installed(destination, "tree");
    EXPECT_NE(std::string::npos, read_file(destination + "\\UInstall.uif").find("FIL:       " + destination + "\\ReadMe.txt\r\n"));
    remove_tree(destination);
}

TEST_F(EndToEnd, AbortDuringExtractionStopsAtTheNextFileAndLaunchesNothing)
{
    Installer installer("KavlinSetupLarge.exe");
    HWND dialog = main_dialog();
    ASSERT_TRUE(dialog);
    robot_click(dialog, 1);

    // Wait until the extraction shows the file it writes, and hold the installer there: it
    // unpacks faster than the checks below take. The line's text is read from the window
    // system, which needs no answer from the installer.
    std::string status;
    HWND line = GetDlgItem(dialog, 103);
    for (DWORD start = GetTickCount(); GetTickCount() - start < WAIT_MS;) {
        char text[512] = "";
        GetWindowTextA(line, text, sizeof text);
        status = text;
        size_t part = status.find("\\big\\part");
        if (part != std::string::npos && atoi(status.c_str() + part + 9) < 200) {
            installer.suspend();
            break;
        }
    }
    ASSERT_EQ(0u, status.find(default_destination + "\\big\\part")) << status;
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 1)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 100)));
    expect_extraction_layout(dialog);
    screenshot(dialog, screen_dpi() == 96 ? "extraction"
                                          : ("extraction-" + std::to_string(screen_dpi()) + "dpi").c_str());
    robot_click(dialog, 2);      // posted: taken at the next file
    installer.resume();

    EXPECT_EQ(ui_ansi(IDS_ABORTED), answer_message_box());
    EXPECT_TRUE(robot_wait_gone(ui_ansi(IDS_TITLE).c_str(), ROBOT_ANY, WAIT_MS));
    EXPECT_FALSE(robot_find(ui_ansi(IDS_TITLE).c_str(), ROBOT_MESSAGE_BOX, 500));  // only once
    EXPECT_EQ(0, installer.exit_code());
    EXPECT_FALSE(exists(default_destination + "\\big\\part299.bin"));
    EXPECT_FALSE(exists(default_destination + "\\KavlinStarted.txt"));
    EXPECT_FALSE(robot_find(ui_ansi(IDS_SETUP_TITLE).c_str(), ROBOT_DIALOG, 0));
    // What was written stays, and is in the log.
    std::string log = read_file(default_destination + "\\UInstall.uif");
    EXPECT_NE(std::string::npos, log.find("FIL:       " + default_destination + "\\big\\part"));
    EXPECT_FALSE(exists(staged_archive()));
}

TEST_F(EndToEnd, BrowseKeepsTheFieldOnCancelAndTakesTheFolderOnOk)
{
    Installer installer("KavlinSetupE2E.exe");
    HWND dialog = main_dialog();
    ASSERT_TRUE(dialog);
    robot_set_text(dialog, 101, "C:\\Typed\\Folder");

    robot_click(dialog, 100);
    HWND browser = find_folder_browser(dialog);
    ASSERT_TRUE(browser);
    robot_click(browser, 2);
    ASSERT_TRUE(wait_gone(browser));
    Sleep(200);
    EXPECT_EQ("C:\\Typed\\Folder", text_of(dialog, 101));

    robot_click(dialog, 100);
    browser = find_folder_browser(dialog);
    ASSERT_TRUE(browser);
    robot_click(browser, 1);
    ASSERT_TRUE(wait_gone(browser));
    Sleep(200);
    std::string chosen = text_of(dialog, 101);
    EXPECT_NE("C:\\Typed\\Folder", chosen);
    DWORD attributes = GetFileAttributesA(chosen.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) << chosen;

    robot_click(dialog, 2);
    answer_message_box();
    EXPECT_EQ(0, installer.exit_code());
}

// Every file under `folder` with its content, as "relative path" -> bytes, folders as "name\".
static std::map<std::string, std::string> snapshot(const std::string &folder,
                                                   const std::string &prefix = "")
{
    std::map<std::string, std::string> files;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return files;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            files[prefix + name + "\\"] = "";
            auto inner = snapshot(folder + "\\" + name, prefix + name + "\\");
            files.insert(inner.begin(), inner.end());
        } else {
            files[prefix + name] = read_file(folder + "\\" + name);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return files;
}

// A damaged installer (a flipped byte in its last entry, a payload cut short inside it, or one
// whose local headers tell another story than its central directory) is found before anything
// is written: the user sees the error (the extraction error for that entry, or the archive
// error) and the abort notice, in that order, and an earlier installation stays exactly as it
// was.
struct Damage {
    const char *installer;
    bool archive_error;         // 204 + 205; else 208 and the damaged entry's path
};

class DamagedPayload : public EndToEnd, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedPayload, ShowsTheErrorAndLeavesTheDestinationUntouched)
{
    CreateDirectoryA(default_destination.c_str(), NULL);
    CreateDirectoryA((default_destination + "\\docs").c_str(), NULL);
    FILE *f = fopen((default_destination + "\\docs\\Guide.txt").c_str(), "wb");
    fputs("the guide of the earlier version\r\n", f);
    fclose(f);
    f = fopen((default_destination + "\\UInstall.uif").c_str(), "wb");
    fputs(("FIL:       " + default_destination + "\\docs\\Guide.txt\r\n").c_str(), f);
    fclose(f);
    auto before = snapshot(default_destination);
    std::string entry = read_file(build_dir() + "\\payloads\\damaged-entry.txt");
    ASSERT_FALSE(entry.empty());
    for (char &c : entry)
        if (c == '/')
            c = '\\';

    Installer installer(GetParam().installer);
    HWND dialog = main_dialog();
    ASSERT_TRUE(dialog);
    robot_click(dialog, 1);
    EXPECT_EQ(GetParam().archive_error
                  ? ui_ansi(IDS_ARCHIVE_ERROR) + " " + ui_ansi(IDS_ARCHIVE_READ_ERROR)
                  : ui_ansi(IDS_EXTRACTION_ERROR) + " " + default_destination + "\\" + entry,
              answer_message_box());
    EXPECT_EQ(ui_ansi(IDS_ABORTED), answer_message_box());
    EXPECT_EQ(0, installer.exit_code());
    EXPECT_EQ(before, snapshot(default_destination));
    EXPECT_FALSE(robot_find(ui_ansi(IDS_SETUP_TITLE).c_str(), ROBOT_DIALOG, 0));
    EXPECT_FALSE(exists(staged_archive()));
}

// Cut short, the payload has lost its end record: it is refused as a whole. Written as a
// writer that cannot seek writes, its stored entry (itself a ZIP archive) has its sizes only in
// a data descriptor: the walk would otherwise unpack the inner archive's entries instead.
INSTANTIATE_TEST_SUITE_P(EndToEnd, DamagedPayload,
                         ::testing::Values(Damage{ "KavlinSetupCorrupt.exe", false },
                                           Damage{ "KavlinSetupTruncated.exe", true },
                                           Damage{ "KavlinSetupStreamed.exe", true }));

// ---- Two installers, the status line, and faults of the disk and of other programs ----

void set_dword_value(HKEY root, const char *name, DWORD value)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, KEY, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL));
    RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&value, sizeof value);
    RegCloseKey(key);
}

// Installs with the installer's main dialog into `destination` and waits for the launch of the
// installed program (the interface is chosen already): the whole run succeeded.
void install_completely(const char *executable, const std::string &destination)
{
    DeleteFileA((destination + "\\KavlinStarted.txt").c_str());
    Installer installer(executable);
    HWND dialog = main_dialog();
    ASSERT_TRUE(dialog);
    robot_set_text(dialog, 101, destination.c_str());
    robot_click(dialog, 1);
    ASSERT_TRUE(wait_for_file(destination + "\\KavlinStarted.txt"));
    EXPECT_TRUE(close_readme_viewer());
    EXPECT_EQ(0, installer.exit_code());
    DeleteFileA((destination + "\\KavlinStarted.txt").c_str());
}

// The lines of an install log; each must be a whole record that ends with CR LF.
std::vector<std::string> log_records(const std::string &log)
{
    std::vector<std::string> records;
    size_t at = 0;
    while (at < log.size()) {
        size_t end = log.find("\r\n", at);
        EXPECT_NE(std::string::npos, end) << "a torn last line: " << log.substr(at);
        if (end == std::string::npos)
            break;
        std::string line = log.substr(at, end - at);
        EXPECT_TRUE(line.compare(0, 11, "FIL:       ") == 0 || line.compare(0, 11, "DIR:       ") == 0)
            << "not a whole record: " << line;
        records.push_back(line);
        at = end + 2;
    }
    return records;
}

// A second installer, started while the first shows its main dialog, says that it cannot stage
// the payload (the first holds Kavlin.zip), ends, and opens no dialog; the first then installs.
TEST_F(EndToEnd, ASecondInstallerShows201AndTheFirstInstallsUndisturbed)
{
    set_dword_value(HKEY_LOCAL_MACHINE, "InterfaceIndex", 2);
    Installer first("KavlinSetupE2E.exe");
    HWND dialog = main_dialog();
    ASSERT_TRUE(dialog);
    {
        Installer second("KavlinSetupE2E.exe");
        std::string message = answer_message_box();
        std::string named = ui_ansi(IDS_CANNOT_OPEN) + " " + staged_archive() + "\r\n";
        EXPECT_EQ(0u, message.find(named)) << message;
        EXPECT_GT(message.size(), named.size()) << "the system's reason";
        EXPECT_EQ(0, second.exit_code());
    }
    EXPECT_EQ(dialog, FindWindowA(MAKEINTATOM(32770), ui_ansi(IDS_TITLE).c_str()));
    EXPECT_EQ(NULL, FindWindowExA(NULL, dialog, MAKEINTATOM(32770), ui_ansi(IDS_TITLE).c_str()));
    robot_click(dialog, 1);
    ASSERT_TRUE(wait_for_file(default_destination + "\\KavlinStarted.txt"));
    EXPECT_TRUE(close_readme_viewer());
    EXPECT_EQ(0, first.exit_code());
    expect_installed(default_destination, "tree");
    EXPECT_FALSE(exists(staged_archive()));
}

// With a few hundred small files, whose paths the status line shows only now and then, the
// line still holds the last file's path when the extraction has ended.
TEST_F(EndToEnd, TheStatusLineEndsOnTheLastFile)
{
    std::string last;
    for (const Entry &entry : payload_entries(build_dir() + "\\payloads\\many.zip"))
        if (!entry.folder)
            last = backslashed(entry.name);
    Installer installer("KavlinSetupMany.exe");
    HWND dialog = main_dialog();
    ASSERT_TRUE(dialog);
    robot_click(dialog, 1);
    // The setup dialog of the first installation opens while the main dialog, ended but not
    // yet gone, still holds its controls.
    HWND setup = robot_find(ui_ansi(IDS_SETUP_TITLE).c_str(), ROBOT_DIALOG, WAIT_MS);
    ASSERT_TRUE(setup);
    EXPECT_EQ(default_destination + "\\" + last, text_of(dialog, 103));
    robot_click(setup, 1);
    EXPECT_TRUE(close_readme_viewer());
    EXPECT_EQ(0, installer.exit_code());
}

// An update that meets a fault: a drive too small for it, an install log that is a folder, a
// file of the older installation held open by another program, a drive that another program
// fills while the update writes (the log cannot grow, nor the files). What can be foreseen
// stops the update before anything changes; what cannot leaves no file unrecorded and no torn
// record, and the status line names the file that failed. After the repair the update
// completes, with every record in the log once.
enum FaultKind { DRIVE_TOO_SMALL, LOG_IS_A_FOLDER, FILE_HELD_OPEN, DRIVE_FILLS_UP };

// Fills the drive of `filler` to the last byte as soon as the log at `log` has grown: another
// program takes the room while the installer writes.
struct DriveFiller {
    std::string log, filler;
    HANDLE thread = NULL;

    static DWORD WINAPI run(void *parameter)
    {
        DriveFiller *self = (DriveFiller *)parameter;
        WIN32_FIND_DATAA found;
        DWORD size = 0;
        HANDLE search = FindFirstFileA(self->log.c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            size = found.nFileSizeLow;
            FindClose(search);
        }
        for (DWORD start = GetTickCount(); GetTickCount() - start < WAIT_MS; Sleep(1)) {
            search = FindFirstFileA(self->log.c_str(), &found);
            if (search == INVALID_HANDLE_VALUE)
                continue;
            FindClose(search);
            if (found.nFileSizeLow != size)
                break;
        }
        HANDLE file = CreateFileA(self->filler.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
        std::string block(1 << 16, 'f');
        DWORD written = 1;
        while (file != INVALID_HANDLE_VALUE && written > 0
               && WriteFile(file, block.data(), (DWORD)block.size(), &written, NULL))
            ;
        CloseHandle(file);
        return 0;
    }
    void start() { thread = CreateThread(NULL, 0, run, this, 0, NULL); }
    void wait()
    {
        if (thread) {
            WaitForSingleObject(thread, WAIT_MS);
            CloseHandle(thread);
            thread = NULL;
        }
    }
};

struct Fault {
    FaultKind kind;
    const char *update;         // the installer of the new version
    int message_id;             // the message that names the cause
};

class FaultDuringUpdate : public EndToEnd, public ::testing::WithParamInterface<Fault> {
protected:
    std::string destination;
    std::string filler;
    HANDLE held = INVALID_HANDLE_VALUE;

    void TearDown() override
    {
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        if (!filler.empty())
            DeleteFileA(filler.c_str());
        if (!destination.empty())
            remove_tree(destination);
        EndToEnd::TearDown();
    }

    // The older version: the new one's files (all, or the first `count`) with other bytes,
    // and a log that lists them.
    void install_older_version(const char *payload, size_t count)
    {
        std::string log;
        size_t written = 0;
        for (const Entry &entry : payload_entries(build_dir() + "\\payloads\\" + payload)) {
            std::string name = backslashed(entry.name);
            std::string path = destination + "\\" + name;
            if (entry.folder) {
                CreateDirectoryA(path.substr(0, path.size() - 1).c_str(), NULL);
                continue;
            }
            if (written++ == count)
                break;
            FILE *f = fopen(path.c_str(), "wb");
            ASSERT_TRUE(f) << path;
            fprintf(f, "the older version of %s\r\n", name.c_str());
            fclose(f);
            log += "FIL:       " + path + "\r\n";
        }
        FILE *f = fopen((destination + "\\UInstall.uif").c_str(), "wb");
        ASSERT_TRUE(f);
        fputs(log.c_str(), f);
        fclose(f);
    }
};

TEST_P(FaultDuringUpdate, StopsBeforeTheFirstChangeOrLeavesEveryFileRecorded)
{
    const Fault &fault = GetParam();
    set_dword_value(HKEY_LOCAL_MACHINE, "InterfaceIndex", 2);
    if (fault.kind == DRIVE_TOO_SMALL || fault.kind == DRIVE_FILLS_UP) {
        const char *drive = getenv("KAVLIN_E2E_SMALL_DRIVE");
        if (!drive)
            GTEST_SKIP() << "no small drive: run-e2e mounts one only when it runs as root";
        destination = std::string(drive) + "\\Kavlin";
    } else {
        destination = default_destination;
    }
    CreateDirectoryA(destination.c_str(), NULL);
    install_older_version("e2e.zip", 1000);
    std::string log_path = destination + "\\UInstall.uif";

    switch (fault.kind) {
    case DRIVE_TOO_SMALL: {
        // Room for all but 4 MiB of the drive, far less than the update's 19 MiB.
        ULARGE_INTEGER available, total, total_free;
        ASSERT_TRUE(GetDiskFreeSpaceExA((destination + "\\").c_str(), &available, &total, &total_free));
        filler = destination.substr(0, 2) + "\\filler.bin";
        FILE *f = fopen(filler.c_str(), "wb");
        ASSERT_TRUE(f);
        std::string block(1 << 20, 'f');
        for (ULONGLONG left = available.QuadPart - (4 << 20); left >= block.size(); left -= block.size())
            fwrite(block.data(), 1, block.size(), f);
        fclose(f);
        break;
    }
    case LOG_IS_A_FOLDER:
        DeleteFileA(log_path.c_str());
        ASSERT_TRUE(CreateDirectoryA(log_path.c_str(), NULL));
        break;
    case FILE_HELD_OPEN:
        // Read by another program that lets nobody write it meanwhile.
        held = CreateFileA((destination + "\\docs\\Guide.txt").c_str(), GENERIC_READ,
                           FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
        break;
    case DRIVE_FILLS_UP:
        break;
    }
    auto before = snapshot(destination);

    DriveFiller drive_filler;
    if (fault.kind == DRIVE_FILLS_UP) {
        filler = destination.substr(0, 2) + "\\filler.bin";
        drive_filler.log = log_path;
        drive_filler.filler = filler;
        drive_filler.start();
    }
    {
        Installer installer(fault.update);
        HWND dialog = main_dialog();
        ASSERT_TRUE(dialog);
        robot_set_text(dialog, 101, destination.c_str());
        robot_click(dialog, 1);
        HWND box = robot_find(ui_ansi(IDS_TITLE).c_str(), ROBOT_MESSAGE_BOX, WAIT_MS);
        drive_filler.wait();
        ASSERT_TRUE(box);
        std::string status = text_of(dialog, 103);
        std::string message = answer_message_box();
        std::string named;
        if (fault.kind == DRIVE_TOO_SMALL) {
            std::string text = ui_ansi(IDS_NO_SPACE);
            named = text.substr(0, text.find('%'));
        } else if (fault.kind == DRIVE_FILLS_UP) {
            // A file, or the log, could not be written: either is an extraction error.
            named = ui_ansi(fault.message_id) + " " + destination + "\\";
            EXPECT_NE(std::string::npos, message.find("\r\n")) << "the system's reason";
        } else {
            std::string path = fault.kind == FILE_HELD_OPEN ? destination + "\\docs\\Guide.txt" : log_path;
            named = ui_ansi(fault.message_id) + " " + path + "\r\n";
            EXPECT_GT(message.size(), named.size()) << "the system's reason";
        }
        EXPECT_EQ(0u, message.find(named)) << message;
        EXPECT_EQ(ui_ansi(IDS_ABORTED), answer_message_box());
        EXPECT_EQ(0, installer.exit_code());

        if (fault.kind == DRIVE_FILLS_UP) {
            // The line names the file that failed: the one the message names, or, when its
            // record could not be written, a file that is gone again. Every file on disk is the
            // older version's or in the log.
            std::vector<std::string> records = log_records(read_file(log_path));
            std::string failed = message.substr(named.size() - destination.size() - 1,
                                                message.find("\r\n") - named.size() + destination.size() + 1);
            if (failed == log_path)
                EXPECT_FALSE(exists(status)) << status;
            else
                EXPECT_EQ(failed, status);
            for (const auto &file : snapshot(destination)) {
                std::string path = destination + "\\" + file.first;
                if (file.first == "UInstall.uif" || file.first.back() == '\\' || before.count(file.first))
                    continue;
                EXPECT_NE(records.end(), std::find(records.begin(), records.end(), "FIL:       " + path))
                    << path << " is not in the log";
            }
        } else {
            EXPECT_EQ(before, snapshot(destination)) << "the older version changed";
        }
    }

    // The repair, and the update once more.
    if (held != INVALID_HANDLE_VALUE) {
        CloseHandle(held);
        held = INVALID_HANDLE_VALUE;
    }
    if (fault.kind == LOG_IS_A_FOLDER)
        RemoveDirectoryA(log_path.c_str());
    if (!filler.empty())
        DeleteFileA(filler.c_str());
    install_completely(fault.update, destination);
    std::vector<std::string> records = log_records(read_file(log_path));
    std::string update_payload = fault.update == std::string("KavlinSetupLarge.exe") ? "large.zip" : "e2e.zip";
    for (const std::string &record : log_records(expected_log(
             payload_entries(build_dir() + "\\payloads\\" + update_payload), destination))) {
        if (record.compare(0, 4, "DIR:") == 0)
            continue;   // folders that the older version had are not made again
        EXPECT_EQ(1, std::count(records.begin(), records.end(), record)) << record;
    }
    std::vector<std::string> sorted = records;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted.end(), std::adjacent_find(sorted.begin(), sorted.end())) << "a record twice";
}

std::string fault_name(const ::testing::TestParamInfo<Fault> &info)
{
    static const char *const names[] = { "DriveTooSmall", "LogIsAFolder", "FileHeldOpen",
                                         "DriveFillsUp" };
    return names[info.param.kind];
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, FaultDuringUpdate,
    ::testing::Values(Fault{ DRIVE_TOO_SMALL, "KavlinSetupLarge.exe", IDS_NO_SPACE },
                      Fault{ LOG_IS_A_FOLDER, "KavlinSetupE2E.exe", IDS_CANNOT_OPEN_FILE },
                      Fault{ FILE_HELD_OPEN, "KavlinSetupE2E.exe", IDS_CANNOT_OPEN_FILE },
                      Fault{ DRIVE_FILLS_UP, "KavlinSetupLarge.exe", IDS_EXTRACTION_ERROR }),
    fault_name);

TEST_F(EndToEnd, DestinationThatCannotBeCreatedShowsTheDirectoryError)
{
    Installer installer("KavlinSetupE2E.exe");
    HWND dialog = main_dialog();
    ASSERT_TRUE(dialog);
    robot_set_text(dialog, 101, "Q:\\Kavlin");  // no drive Q: in the test prefix
    robot_click(dialog, 1);
    std::string message = answer_message_box();
    EXPECT_EQ(0u, message.find(ui_ansi(IDS_DIRECTORY_ERROR) + " Q:")) << message;
    EXPECT_EQ(ui_ansi(IDS_ABORTED), answer_message_box());
    EXPECT_EQ(0, installer.exit_code());
}

}  // namespace

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    fflush(stdout);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), (UINT)result);  // see tests/win32/test_main.cpp
    return result;
}
