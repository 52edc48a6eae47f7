#include "tests/win32/archive_support.h"

#include "app/state.h"
#include "app/strings.h"
#include "archive/extract.h"

#include <commctrl.h>

#include <stdio.h>
#include <string.h>

TempFolder::TempFolder()
{
    static int made;
    char temp[MAX_PATH];
    char name[64];
    GetTempPathA(sizeof temp, temp);
    for (;;) {
        snprintf(name, sizeof name, "kat%lu_%d", GetCurrentProcessId(), ++made);
        path_ = std::string(temp) + name;
        if (CreateDirectoryA(path_.c_str(), NULL))
            break;
    }
}

TempFolder::~TempFolder()
{
    remove_tree(path_);
}

void remove_tree(const std::string &path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string inner = path + "\\" + name;
            SetFileAttributesA(inner.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                remove_tree(inner);
            else
                DeleteFileA(inner.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

bool file_exists(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool folder_exists(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string read_file(const std::string &path)
{
    std::string data;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return "<missing>";
    char buffer[65536];
    DWORD got;
    while (ReadFile(file, buffer, sizeof buffer, &got, NULL) && got)
        data.append(buffer, got);
    CloseHandle(file);
    return data;
}

void write_file(const std::string &path, const std::string &data)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD written = 0;
    if (file == INVALID_HANDLE_VALUE)
        return;
    WriteFile(file, data.data(), (DWORD)data.size(), &written, NULL);
    CloseHandle(file);
}

std::string host_path(const char *unix_path)
{
    std::string path = std::string("Z:") + unix_path;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

uint32_t reference_crc32(const std::string &data)
{
    uint32_t crc = 0xFFFFFFFF;
    for (unsigned char byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; bit++)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

std::string text_content(size_t size, unsigned seed)
{
    std::string text;
    char line[80];
    for (unsigned i = 0; text.size() < size; i++) {
        snprintf(line, sizeof line, "line %u of file %u: traffic counters\r\n", i, seed);
        text += line;
    }
    text.resize(size);
    return text;
}

std::string noise_content(size_t size, unsigned seed)
{
    std::string bytes(size, 0);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; i++) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = (char)(x >> 24);
    }
    return bytes;
}

static void put16(std::string &out, uint32_t value)
{
    out += (char)(value & 0xFF);
    out += (char)((value >> 8) & 0xFF);
}

static void put32(std::string &out, uint32_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

ZipRecord stored_record(const std::string &name, const std::string &content)
{
    ZipRecord record;
    record.name = name;
    record.data = content;
    record.crc = reference_crc32(content);
    record.compressed_size = record.uncompressed_size = (uint32_t)content.size();
    return record;
}

ZipRecord deflated_record(const std::string &name, const std::string &content)
{
    // Stored blocks (RFC 1951, 3.2.4): a header byte (BFINAL, BTYPE 00), LEN, NLEN, the bytes.
    ZipRecord record = stored_record(name, content);
    std::string stream;
    size_t at = 0;
    do {
        size_t length = content.size() - at < 65535 ? content.size() - at : 65535;
        bool final = at + length == content.size();
        stream += (char)(final ? 1 : 0);
        put16(stream, (uint32_t)length);
        put16(stream, (uint32_t)(~length & 0xFFFF));
        stream.append(content, at, length);
        at += length;
    } while (at < content.size());
    record.method = 8;
    record.data = stream;
    record.compressed_size = (uint32_t)stream.size();
    return record;
}

ZipWriter &ZipWriter::add(const ZipRecord &record)
{
    offsets_.push_back((uint32_t)bytes_.size());
    put32(bytes_, 0x04034B50);
    put16(bytes_, 20);
    put16(bytes_, record.flags);
    put16(bytes_, record.method);
    put16(bytes_, 0x6000);      // 12:00
    put16(bytes_, 0x5A21);      // 2025-01-01
    put32(bytes_, record.crc);
    put32(bytes_, record.compressed_size);
    put32(bytes_, record.uncompressed_size);
    put16(bytes_, (uint32_t)record.name.size());
    put16(bytes_, (uint32_t)record.extra.size());
    bytes_ += record.name;
    bytes_ += record.extra;
    bytes_ += record.data;
    last_ = record;
    return *this;
}

ZipWriter &ZipWriter::add_stored(const std::string &name, const std::string &content)
{
    return add(stored_record(name, content));
}

ZipWriter &ZipWriter::add_directory(const std::string &name)
{
    return add(stored_record(name, ""));
}

ZipWriter &ZipWriter::add_descriptor()
{
    put32(bytes_, 0x08074B50);
    put32(bytes_, last_.crc);
    put32(bytes_, last_.compressed_size);
    put32(bytes_, last_.uncompressed_size);
    return *this;
}

ZipWriter &ZipWriter::add_raw(const std::string &bytes)
{
    bytes_ += bytes;
    return *this;
}

ZipWriter &ZipWriter::finish()
{
    put32(bytes_, 0x06054B50);
    bytes_.append(18, '\0');
    return *this;
}

static uint32_t get16(const std::string &in, size_t at)
{
    return (uint8_t)in[at] | (uint8_t)in[at + 1] << 8;
}

static uint32_t get32(const std::string &in, size_t at)
{
    return get16(in, at) | get16(in, at + 2) << 16;
}

std::vector<uint32_t> local_header_offsets(const std::string &archive)
{
    std::vector<uint32_t> offsets;
    size_t at = 0;
    while (at + 30 <= archive.size()) {
        uint32_t signature = get32(archive, at);
        if (signature == 0x08074B50) {
            at += 16;
            continue;
        }
        if (signature != 0x04034B50)
            break;
        offsets.push_back((uint32_t)at);
        at += 30 + get16(archive, at + 26) + get16(archive, at + 28) + get32(archive, at + 18);
    }
    return offsets;
}

int TestWindow::app_messages;

static LRESULT CALLBACK test_window_procedure(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_APP) {
        TestWindow::app_messages++;
        return 0;
    }
    if (message == WM_APP + 1) {
        TestWindow::app_messages++;
        installer.abort_requested = true;
        return 0;
    }
    return DefWindowProcA(window, message, w, l);
}

TestWindow::TestWindow()
{
    static bool registered;
    if (!registered) {
        INITCOMMONCONTROLSEX controls = { sizeof controls, ICC_PROGRESS_CLASS };
        InitCommonControlsEx(&controls);
        WNDCLASSA type = {};
        type.lpfnWndProc = test_window_procedure;
        type.hInstance = GetModuleHandleA(NULL);
        type.lpszClassName = "KavlinArchiveTestWindow";
        RegisterClassA(&type);
        registered = true;
    }
    window_ = CreateWindowA("KavlinArchiveTestWindow", "Extraction test", WS_OVERLAPPEDWINDOW,
                            0, 0, 400, 200, NULL, NULL, GetModuleHandleA(NULL), NULL);
    CreateWindowA("STATIC", "", WS_CHILD | WS_VISIBLE, 10, 10, 380, 20, window_, (HMENU)103,
                  GetModuleHandleA(NULL), NULL);
    progress_ = CreateWindowA(PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 10, 40, 380, 20,
                              window_, (HMENU)200, GetModuleHandleA(NULL), NULL);
    SendMessageA(progress_, PBM_SETRANGE32, 0, 0x7FFFFFFF);
    app_messages = 0;
}

TestWindow::~TestWindow()
{
    DestroyWindow(window_);
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
        ;
}

std::string TestWindow::status() const
{
    char text[512] = "";
    GetDlgItemTextA(window_, 103, text, sizeof text);
    return text;
}

int TestWindow::position() const
{
    return (int)SendMessageA(progress_, PBM_GETPOS, 0, 0);
}

static std::vector<std::string> watched_texts;

MessageWatcher::MessageWatcher()
{
    watched_texts.clear();
    timer_ = SetTimer(NULL, 0, 20, tick);
}

MessageWatcher::~MessageWatcher()
{
    stop();
}

std::vector<std::string> MessageWatcher::stop()
{
    if (timer_) {
        KillTimer(NULL, timer_);
        timer_ = 0;
    }
    return watched_texts;
}

static BOOL CALLBACK find_message_box(HWND window, LPARAM context)
{
    char type[32];
    GetClassNameA(window, type, sizeof type);
    if (strcmp(type, "#32770") == 0 && IsWindowVisible(window) && GetDlgItem(window, 0xFFFF)) {
        *(HWND *)context = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK MessageWatcher::tick(HWND, UINT, UINT_PTR, DWORD)
{
    HWND box = NULL;
    EnumThreadWindows(GetCurrentThreadId(), find_message_box, (LPARAM)&box);
    if (!box)
        return;
    char text[1024] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    watched_texts.push_back(text);
    EndDialog(box, IDOK);
}

std::string failure_text(int id, const std::string &detail)
{
    const char *first = load_string(id);
    return std::string(first ? first : "<no string>") + " " + detail;
}

std::string failure_text(int id, int detail_id)
{
    const char *detail = load_string(detail_id);
    return failure_text(id, std::string(detail ? detail : "<no string>"));
}

Extraction run_extraction(const std::string &archive_path, const std::string &destination,
                          const ExtractionOptions &options)
{
    Extraction result;
    TestWindow window;

    installer.module_instance = GetModuleHandleA(NULL);
    installer.archive_file = CreateFileA(archive_path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                         NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    installer.archive_start = 0;
    installer.archive_position = 0;
    installer.main_dialog_window = window.handle();
    installer.progress_bar = window.progress();
    installer.abort_requested = false;
    installer.extract_succeeded = true;     // the driver must clear it itself
    snprintf(installer.destination_folder, sizeof installer.destination_folder, "%s",
             destination.c_str());
    if (options.abort_first)
        PostMessageA(window.handle(), WM_APP + 1, 0, 0);
    for (int i = 0; i < options.app_messages; i++)
        PostMessageA(window.handle(), WM_APP, 0, 0);

    MessageWatcher watcher;
    extract_archive(window.handle());
    result.messages = watcher.stop();
    result.succeeded = installer.extract_succeeded;
    result.status = window.status();
    result.position = window.position();
    result.dispatched = TestWindow::app_messages;

    CloseHandle(installer.archive_file);
    installer.archive_file = NULL;
    installer.main_dialog_window = NULL;
    installer.progress_bar = NULL;
    installer.abort_requested = false;
    return result;
}

Extraction run_extraction_of(const TempFolder &folder, const std::string &archive,
                             const std::string &destination)
{
    std::string path = folder / "archive.zip";
    write_file(path, archive);
    return run_extraction(path, destination);
}
