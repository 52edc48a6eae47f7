// Helpers of the extraction tests.
#include "tests/win32/archive_support.h"

#include "app/state.h"
#include "app/archive_messages.h"
#include "app/strings.h"
#include "archive/check.h"
#include "archive/extract.h"
#include "archive/preflight.h"


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

namespace {

// The recording report: what the walk tells goes into an Extraction; between files it
// dispatches one message of the thread's queue, as the main dialog does, and a WM_APP + 1
// message asks it to stop.
struct Recorder {
    Extraction *run;
    bool stop;
};

Recorder *recording;

LRESULT CALLBACK queue_window_procedure(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_APP || message == WM_APP + 1) {
        recording->run->dispatched++;
        if (message == WM_APP + 1)
            recording->stop = true;
        return 0;
    }
    return DefWindowProcA(window, message, w, l);
}

void record_status(void *context, const char *path, uint32_t)
{
    ((Recorder *)context)->run->status = path;
}

void record_progress(void *context, uint32_t kib)
{
    ((Recorder *)context)->run->position = (int)kib;
}

void record_problem(void *context, const ArchiveProblem *problem)
{
    Extraction *run = ((Recorder *)context)->run;
    int text_id, detail_id;
    run->problems.push_back({ problem->kind, problem->cause, problem->reason, problem->detail,
                              problem->system_error });
    archive_problem_text(problem, &text_id, &detail_id);
    run->messages.push_back(detail_id ? failure_text(text_id, detail_id)
                                      : failure_text(text_id, problem->detail));
}

bool record_stop_requested(void *context)
{
    MSG message;
    if (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
    return ((Recorder *)context)->stop;
}

enum Walks { CHECK_ONLY, EXTRACT_ONLY, CHECK_THEN_EXTRACT };

Extraction run_walks(const std::string &archive_path, const std::string &destination,
                     const ExtractionOptions &options, Walks walks)
{
    static bool registered;
    if (!registered) {
        WNDCLASSA type = {};
        type.lpfnWndProc = queue_window_procedure;
        type.hInstance = GetModuleHandleA(NULL);
        type.lpszClassName = "KavlinArchiveTestQueue";
        RegisterClassA(&type);
        registered = true;
    }
    Extraction run = { ARCHIVE_OK, false, {}, {}, "", -1, 0 };
    Recorder recorder = { &run, false };
    recording = &recorder;
    HWND window = CreateWindowA("KavlinArchiveTestQueue", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                GetModuleHandleA(NULL), NULL);
    if (options.abort_first)
        PostMessageA(window, WM_APP + 1, 0, 0);
    for (int i = 0; i < options.app_messages; i++)
        PostMessageA(window, WM_APP, 0, 0);

    installer.module_instance = GetModuleHandleA(NULL);
    HANDLE file = CreateFileA(archive_path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    ZipSource source;
    file_source(&source, file);
    const ArchiveReport report = { record_status, record_progress, record_problem,
                                   record_stop_requested, &recorder };
    run.result = ARCHIVE_OK;
    Preflight preflight;
    preflight_begin(&preflight, destination.c_str());
    const FileProbe probe = preflight_probe(&preflight);
    if (walks != EXTRACT_ONLY)
        run.result = check_archive(&source, destination.c_str(), &report,
                                   options.probe_first ? &probe : nullptr);
    if (walks != CHECK_ONLY && run.result == ARCHIVE_OK)
        run.result = extract_archive(&source, destination.c_str(), &report);
    run.succeeded = run.result == ARCHIVE_OK;
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);

    DestroyWindow(window);
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
        ;
    recording = NULL;
    return run;
}

} // namespace

Extraction run_extraction(const std::string &archive_path, const std::string &destination,
                          const ExtractionOptions &options)
{
    return run_walks(archive_path, destination, options,
                     options.check_first ? CHECK_THEN_EXTRACT : EXTRACT_ONLY);
}

Extraction run_check(const std::string &archive_path, const std::string &destination)
{
    return run_walks(archive_path, destination, ExtractionOptions(), CHECK_ONLY);
}

Extraction run_extraction_of(const TempFolder &folder, const std::string &archive,
                             const std::string &destination)
{
    std::string path = folder / "archive.zip";
    write_file(path, archive);
    return run_extraction(path, destination);
}
