// Shared helpers of the interface selection tests: the test agent's table file and request
// count, swapping the agent in the system folder, and a watcher that reads and closes the
// message boxes that code under test shows on this thread.
#ifndef KAVLIN_TESTS_NETIF_SUPPORT_H
#define KAVLIN_TESTS_NETIF_SUPPORT_H

#include <windows.h>

#include <string>
#include <vector>

// The failure texts of the enumeration: fixed Czech texts in code page 1250, whatever the
// language, so they are compared byte for byte.
extern const char *const SOCKETS_FAILED;
extern const char *const LIBRARY_FAILED;
extern const char *const ENTRY_POINTS_FAILED;
extern const char *const AGENT_INIT_FAILED;
extern const char *const MUTEX_FAILED;
extern const char *const RECEIVE_FAILED;
extern const char *const WRONG_TYPE;

// One row of the test agent's table file: ifIndex|ifDescr|ifType|ifInOctets|ifOutOctets[|kind].
std::string agent_row(unsigned long index, const std::string &description, unsigned long type,
                      unsigned long in_octets = 0, unsigned long out_octets = 0,
                      const char *kind = NULL);

// Points the test agent at a table file holding `table` (rows and directives as the agent reads
// them), a fresh request count and a fresh request log.
void use_agent_table(const std::string &table);

// Requests the agent received since its initialisation (0 when it received none).
long agent_requests();

// Lines of the agent's request log, one per request: "<name asked> <name answered>", with
// "null" or "refused" for the answer when there was no object to give.
std::vector<std::string> agent_log();

// Path of the agent in the system folder, where the installer loads it from.
std::string system_agent_path();

// Replaces the system folder's agent for the life of the object (or removes it, for an empty
// path), and puts the original back afterwards.
class AgentSwap {
public:
    explicit AgentSwap(const std::string &replacement);
    ~AgentSwap();
    bool ok() const { return ok_; }

private:
    std::string saved_;
    bool ok_;
};

// One message box as the user saw it.
struct SeenBox {
    std::wstring caption;
    std::wstring text;
    std::string ansi_text;  // the text in the code page it was shown from
    bool owned;             // it had an owner window
    bool dialog_visible;    // a dialog other than a message box was visible meanwhile
};

// Reads and closes every message box that appears until stop(), from a thread of its own.
class BoxWatcher {
public:
    BoxWatcher();
    ~BoxWatcher();
    std::vector<SeenBox> stop();
    std::vector<std::string> texts();   // stops, then gives the texts alone, as bytes

private:
    static DWORD WINAPI run(void *self);
    HANDLE thread_;
    volatile LONG stopping_;
    std::vector<SeenBox> seen_;
};

// A window's text read as UTF-16, whatever the code page of the window.
std::wstring window_text(HWND window);

// Reads a message box as the user saw it, closes it and waits until it is gone.
SeenBox take_box(HWND box);

#endif
