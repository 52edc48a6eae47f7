// One network interface as read from the MIB-II interface table, the state of one enumeration
// (the list and the SNMP extension agent it is read through), and the operations that build and
// release the list.
#ifndef KAVLIN_NETIF_INTERFACES_H
#define KAVLIN_NETIF_INTERFACES_H

#include <windows.h>
#include <snmp.h>

enum {
    INTERFACE_DESCRIPTION_SIZE = 256,   // 255 characters and the NUL
    INTERFACE_COUNT_LIMIT = 65535       // most records the list holds, whatever ifNumber says
};

// The fields of a record that the walk took from answers it accepted (see interface_table_walk).
enum {
    ANSWERED_INDEX = 1,
    ANSWERED_DESCRIPTION = 2,
    ANSWERED_TYPE = 4,
    ANSWERED_IN_OCTETS = 8,
    ANSWERED_OUT_OCTETS = 16,
    ANSWERED_INSTANCE = 32,     // the row's ifIndex answer had a name of the ifIndex column,
                                // in order: `instance` holds its instance
    // What a line of the setup dialog and the choice made on it rest on.
    ANSWERED_LINE_FIELDS = ANSWERED_INDEX | ANSWERED_DESCRIPTION | ANSWERED_TYPE
};

struct InterfaceRecord {
    unsigned short index;       // low 16 bits of ifIndex
    unsigned long in_octets;    // ifInOctets at the time of the walk
    unsigned long out_octets;   // ifOutOctets at the time of the walk
    char description[INTERFACE_DESCRIPTION_SIZE];  // ifDescr, NUL-terminated
    unsigned char type;         // low 8 bits of ifType (IF_TYPE_SOFTWARE_LOOPBACK: loopback)
    unsigned char answered;     // ANSWERED_* of the fields filled; the others hold 0 or ""
    UINT instance;              // the row's instance in the agent's names (ifEntry.column.instance)
};

// Shows one failure of the enumeration to the user: `text` is one of its fixed Czech texts
// (code page 1250). Called at once, in the order the failures happen; the enumeration goes on
// when it returns.
typedef void (*InterfaceFailureReport)(const char *text);

// The interface list and the agent it is read through: one per run of the setup dialog, set up
// by interface_agent_open and released by interface_agent_close.
struct InterfaceEnumeration {
    LONG interface_count;
    InterfaceRecord *interfaces;    // interface_count records side by side, in the agent's order

    // Private to the enumeration.
    InterfaceFailureReport report_failure;
    HMODULE sockets_library;        // wsock32.dll, loaded only for the agent's sake
    bool sockets_started;
    HMODULE utility_library;        // snmpapi.dll: the allocator the agent and the caller share
    decltype(&SnmpUtilOidCpy) copy_oid;
    decltype(&SnmpUtilVarBindFree) free_binding;
    HMODULE agent_library;          // inetmib1.dll
    PFNSNMPEXTENSIONINIT agent_init;
    PFNSNMPEXTENSIONQUERY agent_query;
    HANDLE agent_trap_event;
    HANDLE agent_mutex;
};

// Set-up: starts Windows Sockets, loads the system's SNMP utility library and extension agent
// and initialises the agent, creates the mutex, asks for the number of interfaces and allocates
// that many zeroed records. Every failure goes to `report_failure` at once and the set-up goes
// on with its next step. Starts from a cleared `enumeration`; leaves interface_count between 0
// and INTERFACE_COUNT_LIMIT, with storage for that many.
//
// The count is ifNumber, named ifNumber.0 by a correct agent (ifNumber without its instance is
// taken too). Wine's agent, and the one ReactOS ships, answer the count request with the first
// row's ifIndex instead: the rows are then counted along the ifIndex column, silently.
void interface_agent_open(InterfaceEnumeration *enumeration, InterfaceFailureReport report_failure);

// Fills the records from ifTable, column by column, with GETNEXT requests that each continue
// from the previous answer: with a correct agent, 1 + 16 * interface_count requests in all. An
// answer fills a field only when its name is the one a correct agent gives at that point of the
// walk; an answer served from elsewhere earns one more request, from just before the expected
// cell. Rows are matched by their position in each column.
void interface_table_walk(InterfaceEnumeration *enumeration);

// Releases the mutex, the agent, the utility library, Windows Sockets and the record storage,
// those that exist. interface_count keeps its value.
void interface_agent_close(InterfaceEnumeration *enumeration);

#endif
