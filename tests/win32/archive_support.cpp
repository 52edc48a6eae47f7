#include "tests/win32/archive_support.h"

#include "app/state.h"
#include "app/strings.h"
#include "archive/extract.h"


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
    run->problems.push_back({ problem->kind, problem->reason, problem->detail });
    archive_problem_text(problem, &text_id, &detail_id);
    run->messages.push_back(detail_id ? failure_text(text_id, detail_id)
                                      : failure_text(text_id, problem->detail));
}

bool record_between_files(void *context)
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
                                   record_between_files, &recorder };
    run.result = ARCHIVE_OK;
    if (walks != EXTRACT_ONLY)
        run.result = check_archive(&source, destination.c_str(), &report);
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
