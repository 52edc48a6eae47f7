// The interface selection tests' helpers: files the test agent reads and writes in the
// temporary folder, the system folder's files, and message boxes read through the robot.
#include "tests/win32/netif_support.h"

#include "tools/robot/robot.h"

#include <stdio.h>
#include <string.h>

const char *const SOCKETS_FAILED = "Nepoda\xF8ilo se inicializovat WinSock!";
const char *const LIBRARY_FAILED = "Nepoda\xF8ilo se na\xE8\xEDst knihovnu SNMP!";
const char *const ENTRY_POINTS_FAILED = "Nepoda\xF8ilo se naj\xEDt funkce SNMP!";
const char *const AGENT_INIT_FAILED = "Nepoda\xF8ilo se inicializovat SNMP!";
const char *const MUTEX_FAILED = "Nepoda\xF8ilo se zp\xF8\xEDstupnit mutex!";
const char *const RECEIVE_FAILED = "Nepoda\xF8ilo se p\xF8ijmout data!";
const char *const WRONG_TYPE = "Nespr\xE1vn\xFD typ hodnoty!";

namespace {

std::string temp_path(const char *name)
{
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    return std::string(folder) + name;
}

const std::string &table_file()
{
    static const std::string path = temp_path("kavlin-netif-table.txt");
    return path;
}

const std::string &count_file()
{
    static const std::string path = temp_path("kavlin-netif-count.txt");
    return path;
}

const std::string &log_file()
{
    static const std::string path = temp_path("kavlin-netif-log.txt");
    return path;
}

const std::string &fault_file()
{
    static const std::string path = temp_path("kavlin-netif-faults.txt");
    return path;
}

std::vector<std::string> read_lines(const std::string &path)
{
    std::vector<std::string> lines;
    char line[512];
    FILE *file = fopen(path.c_str(), "rb");
    if (file) {
        while (fgets(line, sizeof line, file)) {
            line[strcspn(line, "\r\n")] = 0;
            lines.push_back(line);
        }
        fclose(file);
    }
    return lines;
}

} // namespace

std::string agent_row(unsigned long index, const std::string &description, unsigned long type,
                      unsigned long in_octets, unsigned long out_octets, const char *kind)
{
    std::string line = std::to_string(index) + "|" + description + "|" + std::to_string(type) +
                       "|" + std::to_string(in_octets) + "|" + std::to_string(out_octets);
    if (kind)
        line += std::string("|") + kind;
    return line + "\n";
}

void use_agent_table(const std::string &table)
{
    FILE *file = fopen(table_file().c_str(), "wb");
    fputs(table.c_str(), file);
    fclose(file);
    DeleteFileA(count_file().c_str());
    DeleteFileA(log_file().c_str());
    DeleteFileA(fault_file().c_str());
    SetEnvironmentVariableA("KAVLIN_AGENT_TABLE", table_file().c_str());
    SetEnvironmentVariableA("KAVLIN_AGENT_COUNT", count_file().c_str());
    SetEnvironmentVariableA("KAVLIN_AGENT_LOG", log_file().c_str());
    SetEnvironmentVariableA("KAVLIN_AGENT_FAULTS", fault_file().c_str());
}

long agent_requests()
{
    long count = 0;
    FILE *file = fopen(count_file().c_str(), "rb");
    if (file) {
        if (fscanf(file, "%ld", &count) != 1)
            count = -1;
        fclose(file);
    }
    return count;
}

std::vector<std::string> agent_log()
{
    return read_lines(log_file());
}

std::vector<std::string> agent_faults()
{
    return read_lines(fault_file());
}

size_t process_heap_in_use()
{
    HANDLE heap = GetProcessHeap();
    PROCESS_HEAP_ENTRY entry = {};
    size_t in_use = 0;
    HeapLock(heap);
    while (HeapWalk(heap, &entry)) {
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
            in_use += entry.cbData;
    }
    HeapUnlock(heap);
    return in_use;
}

std::string system_file_path(const char *name)
{
    char folder[MAX_PATH];
    GetSystemDirectoryA(folder, sizeof folder);
    return std::string(folder) + "\\" + name;
}

SystemFileSwap::SystemFileSwap(const char *name, const std::string &replacement)
    : path_(system_file_path(name)), saved_(temp_path("kavlin-netif-saved.dll")), ok_(false)
{
    if (!CopyFileA(path_.c_str(), saved_.c_str(), FALSE))
        return;
    if (replacement.empty())
        ok_ = DeleteFileA(path_.c_str()) != 0;
    else
        ok_ = CopyFileA(replacement.c_str(), path_.c_str(), FALSE) != 0;
}

SystemFileSwap::~SystemFileSwap()
{
    CopyFileA(saved_.c_str(), path_.c_str(), FALSE);
    DeleteFileA(saved_.c_str());
}

std::wstring window_text(HWND window)
{
    wchar_t text[1100];
    DWORD_PTR copied = 0;
    text[0] = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, sizeof text / sizeof text[0], (LPARAM)text,
                             SMTO_ABORTIFHUNG, 5000, &copied))
        text[0] = 0;
    return text;
}

SeenBox take_box(HWND box)
{
    SeenBox seen;
    char text[1100];
    seen.caption = window_text(box);
    seen.text = window_text(GetDlgItem(box, 0xFFFF));
    robot_message_text(box, text, sizeof text);
    seen.ansi_text = text;
    seen.owned = GetWindow(box, GW_OWNER) != NULL;
    seen.dialog_visible = robot_find(NULL, ROBOT_DIALOG, 0) != NULL;
    robot_close(box);
    for (int i = 0; i < 500 && IsWindow(box); i++)
        Sleep(10);
    return seen;
}
