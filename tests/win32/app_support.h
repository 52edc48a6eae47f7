// Helpers of the installer shell's Windows tests: a private temporary folder, and a watcher that reads the first message
// box shown while the code under test runs its modal loop.
#ifndef KAVLIN_TESTS_APP_SUPPORT_H
#define KAVLIN_TESTS_APP_SUPPORT_H

#include "tests/win32/ui_texts.h"

#include <windows.h>

#include <string>

// A fresh folder for one test, made the process's temporary folder (TMP and TEMP) so that the
// staged archive lands there, and removed with its files afterwards. Path ends with '\'.
class PrivateTemp {
public:
    PrivateTemp();
    ~PrivateTemp();
    const std::string &path() const { return path_; }
    std::string file(const char *name) const { return path_ + name; }

private:
    std::string path_;
    std::string saved_tmp_, saved_temp_;
};

bool file_exists(const std::string &path);
DWORD file_size(const std::string &path);   // INVALID_FILE_SIZE when it cannot be opened
void write_file(const std::string &path, DWORD size, unsigned char fill);
// Files and folders in `folder` (a path that ends with '\').
size_t count_files(const std::string &folder);

// Reads the first message box of this process that appears within `timeout_ms`, from a thread
// of its own, then presses its OK button.
struct SeenBox {
    bool found = false;
    HWND owner = NULL;
    std::string caption;
    std::string text;
};

class BoxWatcher {
public:
    explicit BoxWatcher(DWORD timeout_ms = 10000);
    ~BoxWatcher();
    const SeenBox &wait();   // joins the thread

private:
    static DWORD WINAPI run(void *self);
    DWORD timeout_ms_;
    HANDLE thread_;
    SeenBox seen_;
};

// Finds a message box of process `process_id` (any process when 0) within `timeout_ms`.
HWND find_message_box(DWORD process_id, DWORD timeout_ms);

#endif
