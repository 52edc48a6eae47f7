// Shared helpers of the interface selection tests: the test agent's table file, request count,
// request log and fault log, swapping files in the system folder, and reading a message box as
// the user saw it.
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
// them), a fresh request count, a fresh request log and a fresh fault log.
void use_agent_table(const std::string &table);

// Requests the agent received since its initialisation (0 when it received none).
long agent_requests();

// Lines of the agent's request log, one per request: "<name asked> <name answered>", with
// "null" or "refused" for the answer when there was no object to give.
std::vector<std::string> agent_log();

// The agent's faults since use_agent_table, one line each: names it was given that did not
// come from the SNMP utility allocator.
std::vector<std::string> agent_faults();

// Bytes in use in the process heap, where the SNMP utility allocator takes its blocks from.
size_t process_heap_in_use();

// Path of a file in the system folder, where the installer loads the agent (inetmib1.dll) and
// the SNMP utility library (snmpapi.dll) from.
std::string system_file_path(const char *name);

// Replaces the system folder's file `name` for the life of the object (or removes it, for an
// empty path), and puts the original back afterwards.
class SystemFileSwap {
public:
    SystemFileSwap(const char *name, const std::string &replacement);
    ~SystemFileSwap();
    bool ok() const { return ok_; }

private:
    std::string path_;
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

// A window's text read as UTF-16, whatever the code page of the window.
std::wstring window_text(HWND window);

// Reads a message box as the user saw it, closes it and waits until it is gone.
SeenBox take_box(HWND box);

#endif
