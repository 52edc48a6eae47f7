// Helpers of the installer shell's Windows tests.
#include "tests/win32/app_support.h"
#include "tests/win32/folders.h"
#include "tools/robot/robot.h"

#include <stdlib.h>

static std::string environment(const char *name)
{
    char value[MAX_PATH] = "";
    GetEnvironmentVariableA(name, value, sizeof value);
    return value;
}

PrivateTemp::PrivateTemp()
{
    char base[MAX_PATH];
    char name[MAX_PATH];
    saved_tmp_ = environment("TMP");
    saved_temp_ = environment("TEMP");
    GetTempPathA(sizeof base, base);
    GetTempFileNameA(base, "kav", 0, name);   // a unique name, made as a file
    DeleteFileA(name);
    CreateDirectoryA(name, NULL);
    path_ = std::string(name) + "\\";
    SetEnvironmentVariableA("TMP", path_.c_str());
    SetEnvironmentVariableA("TEMP", path_.c_str());
}

PrivateTemp::~PrivateTemp()
{
    SetEnvironmentVariableA("TMP", saved_tmp_.c_str());
    SetEnvironmentVariableA("TEMP", saved_temp_.c_str());
    remove_tree(path_.substr(0, path_.size() - 1));
}

bool file_exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD file_size(const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return INVALID_FILE_SIZE;
    DWORD size = GetFileSize(file, NULL);
    CloseHandle(file);
    return size;
}

void write_file(const std::string &path, DWORD size, unsigned char fill)
{
    std::string data(size, (char)fill);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD written = 0;
    if (file == INVALID_HANDLE_VALUE)
        return;
    WriteFile(file, data.data(), size, &written, NULL);
    CloseHandle(file);
}

size_t count_files(const std::string &folder)
{
    WIN32_FIND_DATAA found;
    size_t count = 0;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    do {
        if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0)
            count++;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}

HWND find_message_box(DWORD process_id, DWORD timeout_ms)
{
    return robot_find_in(process_id, NULL, ROBOT_MESSAGE_BOX, timeout_ms);
}

BoxWatcher::BoxWatcher(DWORD timeout_ms) : timeout_ms_(timeout_ms)
{
    thread_ = CreateThread(NULL, 0, run, this, 0, NULL);
}

BoxWatcher::~BoxWatcher()
{
    wait();
}

const SeenBox &BoxWatcher::wait()
{
    if (thread_) {
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = NULL;
    }
    return seen_;
}

DWORD WINAPI BoxWatcher::run(void *self)
{
    BoxWatcher *watcher = (BoxWatcher *)self;
    HWND box = find_message_box(GetCurrentProcessId(), watcher->timeout_ms_);
    if (!box)
        return 0;
    char text[1024];
    watcher->seen_.found = true;
    watcher->seen_.owner = GetWindow(box, GW_OWNER);
    if (robot_text(box, 0, text, sizeof text))
        watcher->seen_.caption = text;
    if (robot_message_text(box, text, sizeof text))
        watcher->seen_.text = text;
    robot_close(box);
    return 0;
}
