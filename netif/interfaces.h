// One network interface as read from the MIB-II interface table, and the operations that
// build the list of them through the SNMP extension agent.
#ifndef KAVLIN_NETIF_INTERFACES_H
#define KAVLIN_NETIF_INTERFACES_H

#include <windows.h>

enum {
    INTERFACE_LOOPBACK_TYPE = 24,       // ifType softwareLoopback
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
    ANSWERED_NAMING = ANSWERED_INDEX | ANSWERED_DESCRIPTION | ANSWERED_TYPE
};

struct InterfaceRecord {
    unsigned short index;       // low 16 bits of ifIndex
    unsigned long in_octets;    // ifInOctets at the time of the walk
    unsigned long out_octets;   // ifOutOctets at the time of the walk
    char description[INTERFACE_DESCRIPTION_SIZE];  // ifDescr, NUL-terminated
    unsigned char type;         // low 8 bits of ifType
    unsigned char answered;     // ANSWERED_* of the fields filled; the others hold 0 or ""
    UINT instance;              // the row's instance in the agent's names (ifEntry.column.instance)
};

// The interface list and the agent it is read through: one per run of the setup dialog, set up
// by interface_agent_open and released by interface_agent_close.
struct InterfaceAgent {
    LONG interface_count;
    InterfaceRecord *interfaces;    // interface_count records side by side, in the agent's order

    // Private to the enumeration.
    HMODULE sockets_library;        // wsock32.dll, loaded only for the agent's sake
    bool sockets_started;
    HMODULE utility_library;        // snmpapi.dll: the allocator the agent and the caller share
    FARPROC copy_name;              // SnmpUtilOidCpy
    FARPROC release_binding;        // SnmpUtilVarBindFree
    HMODULE agent_library;          // inetmib1.dll
    FARPROC agent_init;             // SnmpExtensionInit
    FARPROC agent_query;            // SnmpExtensionQuery
    HANDLE agent_trap_event;
    HANDLE agent_mutex;
};

// Set-up: starts Windows Sockets, loads the system's SNMP utility library and extension agent
// and initialises the agent, creates the mutex, asks for ifNumber and allocates that many zeroed
// records. Every failure is shown at once (fixed Czech texts, caption "Chyba") and the set-up
// goes on with its next step. Starts from a cleared `agent`; leaves interface_count between 0
// and INTERFACE_COUNT_LIMIT, with storage for that many.
void interface_agent_open(InterfaceAgent *agent);

// Fills the records from ifTable, column by column, with GETNEXT requests that each continue
// from the previous answer: 1 + 16 * interface_count requests in all. An answer fills a field
// only when its name is the one a correct agent gives at that point of the walk.
void interface_table_walk(InterfaceAgent *agent);

// Releases the mutex, the agent, the utility library, Windows Sockets and the record storage,
// those that exist. interface_count keeps its value.
void interface_agent_close(InterfaceAgent *agent);

#endif
