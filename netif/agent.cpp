// The interface list, read from the MIB-II interfaces group (RFC 1213: ifNumber and ifTable)
// through the system's SNMP extension agent, which runs inside the installer's own process.
//
// The agent is reached only through its two entry points, SnmpExtensionInit and
// SnmpExtensionQuery, with GETNEXT requests of one variable binding each. Every answer replaces
// the binding's name and value in place; the next request sends that name again, so the agent
// continues from wherever it last answered. The names and values the agent puts into the
// binding stay the agent's: nothing here releases them.
#include "netif/interfaces.h"

#include <winsock.h>
#include <snmp.h>
#include <stdlib.h>
#include <string.h>

namespace {

// The failure texts are the same in every language and carry no sound.
const char FAILURE_CAPTION[] = "Chyba";
const char SOCKETS_FAILED[] = "Nepoda\xF8ilo se inicializovat WinSock!";
const char LIBRARY_FAILED[] = "Nepoda\xF8ilo se na\xE8\xEDst knihovnu SNMP!";
const char ENTRY_POINTS_FAILED[] = "Nepoda\xF8ilo se naj\xEDt funkce SNMP!";
const char AGENT_INIT_FAILED[] = "Nepoda\xF8ilo se inicializovat SNMP!";
const char MUTEX_FAILED[] = "Nepoda\xF8ilo se zp\xF8\xEDstupnit mutex!";
const char RECEIVE_FAILED[] = "Nepoda\xF8ilo se p\xF8ijmout data!";
const char WRONG_TYPE[] = "Nespr\xE1vn\xFD typ hodnoty!";

const char AGENT_FILE[] = "\\inetmib1.dll";

enum { OID_LENGTH = 10, TABLE_COLUMNS = 16 };

// interfaces.0.1.1: sorts after the interfaces group itself and just before ifNumber.0
// (interfaces.1.0), so the agent's next object is ifNumber.0.
const UINT COUNT_REQUEST[OID_LENGTH] = { 1, 3, 6, 1, 2, 1, 2, 0, 1, 1 };
// ifEntry.ifIndex without an instance: the next object is the ifIndex of the first row.
const UINT TABLE_REQUEST[OID_LENGTH] = { 1, 3, 6, 1, 2, 1, 2, 2, 1, 1 };

// ifTable columns whose values are kept in the record; the others are stepped over.
enum {
    COLUMN_INDEX = 1,
    COLUMN_DESCRIPTION = 2,
    COLUMN_TYPE = 3,
    COLUMN_IN_OCTETS = 10,
    COLUMN_OUT_OCTETS = 16
};

void show_failure_text(const char *text)
{
    MessageBoxA(NULL, text, FAILURE_CAPTION, MB_ICONWARNING);
}

// An agent is only usable with both entry points: without one, no call is made through
// either, and the list stays empty.
bool agent_usable(const InterfaceAgent *agent)
{
    return agent->agent_init && agent->agent_query;
}

// Starts a request sequence: one wholly zeroed binding, named by one of the constant requests.
// The agent replaces that name with one of its own; it never releases the constant table.
void prepare_request(SnmpVarBindList *list, SnmpVarBind *binding, const UINT *request)
{
    memset(binding, 0, sizeof *binding);
    binding->name.idLength = OID_LENGTH;
    binding->name.ids = const_cast<UINT *>(request);
    list->list = binding;
    list->len = 1;
}

// Sends one GETNEXT with the binding as it stands and shows a failure if the agent refuses.
void send_request(const InterfaceAgent *agent, SnmpVarBindList *list)
{
    AsnInteger32 error_status = 0;
    AsnInteger32 error_index = 0;
    PFNSNMPEXTENSIONQUERY query = reinterpret_cast<PFNSNMPEXTENSIONQUERY>(agent->agent_query);

    if (!query(SNMP_PDU_GETNEXT, list, &error_status, &error_index))
        show_failure_text(RECEIVE_FAILED);
}

bool load_agent_library(InterfaceAgent *agent)
{
    // By its full path in the system folder: a bare name would search the installer's own
    // folder first, where a planted DLL of that name would run inside the agent->
    char path[MAX_PATH + sizeof AGENT_FILE];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);

    agent->agent_library = NULL;
    if (length == 0 || length >= MAX_PATH)
        return false;
    memcpy(path + length, AGENT_FILE, sizeof AGENT_FILE);
    agent->agent_library = LoadLibraryA(path);
    return agent->agent_library != NULL;
}

void find_entry_points(InterfaceAgent *agent)
{
    agent->agent_init = NULL;
    agent->agent_query = NULL;
    if (agent->agent_library) {
        agent->agent_init = GetProcAddress(agent->agent_library, "SnmpExtensionInit");
        agent->agent_query = GetProcAddress(agent->agent_library, "SnmpExtensionQuery");
    }
    if (!agent_usable(agent))
        show_failure_text(ENTRY_POINTS_FAILED);
}

void initialise_agent(InterfaceAgent *agent)
{
    AsnObjectIdentifier first_view;     // the agent's supported view; not used
    PFNSNMPEXTENSIONINIT init = reinterpret_cast<PFNSNMPEXTENSIONINIT>(agent->agent_init);

    first_view.idLength = 0;
    first_view.ids = NULL;
    if (!init(GetTickCount(), &agent->agent_trap_event, &first_view))
        show_failure_text(AGENT_INIT_FAILED);
}

// Asks for ifNumber. interface_count changes only on an INTEGER answer: an agent that refused
// without touching the binding leaves the zeroed value, whose type is not INTEGER.
void read_interface_count(InterfaceAgent *agent)
{
    SnmpVarBind binding;
    SnmpVarBindList list;

    prepare_request(&list, &binding, COUNT_REQUEST);
    send_request(agent, &list);
    if (binding.value.asnType == ASN_INTEGER)
        agent->interface_count = binding.value.asnValue.number;
    else
        show_failure_text(WRONG_TYPE);
}

// Storage for interface_count zeroed records. A count that is negative or whose storage cannot
// be had gives an empty list; a count beyond the limit is cut to it.
void allocate_records(InterfaceAgent *agent)
{
    LONG count = agent->interface_count;

    if (count < 0)
        count = 0;
    if (count > INTERFACE_COUNT_LIMIT)
        count = INTERFACE_COUNT_LIMIT;
    agent->interfaces = (InterfaceRecord *)malloc((size_t)count * sizeof(InterfaceRecord));
    if (!agent->interfaces)
        count = 0;
    else
        memset(agent->interfaces, 0, (size_t)count * sizeof(InterfaceRecord));
    agent->interface_count = count;
}

// ifDescr: only an octet string gives text, cut at its first NUL, at its length and at 255
// characters; any other answer gives an empty text.
void store_description(char *description, const AsnAny *value)
{
    size_t n = 0;

    if (value->asnType == ASN_OCTETSTRING && value->asnValue.string.stream) {
        const BYTE *text = value->asnValue.string.stream;
        size_t length = value->asnValue.string.length;
        while (n < length && n < INTERFACE_DESCRIPTION_SIZE - 1 && text[n]) {
            description[n] = (char)text[n];
            n++;
        }
    }
    description[n] = 0;
}

// Keeps the answer of one ifTable column in the record's field for it, if it has one. The
// numbers of INTEGER, Counter32 and Gauge32 answers share one member of the value.
void store_answer(int column, InterfaceRecord *record, const AsnAny *value)
{
    switch (column) {
    case COLUMN_INDEX:
        record->index = (unsigned short)value->asnValue.unsigned32;
        record->filled = true;
        break;
    case COLUMN_DESCRIPTION:
        store_description(record->description, value);
        break;
    case COLUMN_TYPE:
        record->type = (unsigned char)value->asnValue.unsigned32;
        break;
    case COLUMN_IN_OCTETS:
        record->in_octets = value->asnValue.unsigned32;
        break;
    case COLUMN_OUT_OCTETS:
        record->out_octets = value->asnValue.unsigned32;
        break;
    default:
        break;
    }
}

} // namespace

void interface_agent_open(InterfaceAgent *agent)
{
    WSADATA sockets;

    memset(agent, 0, sizeof *agent);
    agent->sockets_started = WSAStartup(MAKEWORD(1, 1), &sockets) == 0;
    if (!agent->sockets_started)
        show_failure_text(SOCKETS_FAILED);
    if (!load_agent_library(agent))
        show_failure_text(LIBRARY_FAILED);
    find_entry_points(agent);
    if (agent_usable(agent))
        initialise_agent(agent);
    agent->agent_mutex = CreateMutexA(NULL, FALSE, NULL);
    if (!agent->agent_mutex)
        show_failure_text(MUTEX_FAILED);
    if (agent_usable(agent))
        read_interface_count(agent);
    allocate_records(agent);
}

void interface_table_walk(InterfaceAgent *agent)
{
    SnmpVarBind binding;
    SnmpVarBindList list;
    InterfaceRecord *records = agent->interfaces;
    LONG count = records ? agent->interface_count : 0;

    if (!agent_usable(agent))
        return;
    prepare_request(&list, &binding, TABLE_REQUEST);
    send_request(agent, &list);
    // No first row at all: the agent has no table, and the records stay unfilled.
    if (binding.value.asnType == ASN_NULL)
        return;

    // Each column is taken to have exactly `count` rows, so the answer after a column's last
    // row is the first row of the next column. The answer after the last ifOutOctets row is
    // fetched as well, and, like every column's last, looked at for a missing value only.
    for (int column = 1; column <= TABLE_COLUMNS; column++) {
        for (LONG row = 0; row < count; row++) {
            store_answer(column, &records[row], &binding.value);
            send_request(agent, &list);
        }
        if (binding.value.asnType == ASN_NULL)
            show_failure_text(RECEIVE_FAILED);
    }
}

void interface_agent_close(InterfaceAgent *agent)
{
    if (agent->agent_mutex) {
        CloseHandle(agent->agent_mutex);
        agent->agent_mutex = NULL;
    }
    if (agent->agent_library) {
        FreeLibrary(agent->agent_library);
        agent->agent_library = NULL;
        agent->agent_init = NULL;
        agent->agent_query = NULL;
    }
    if (agent->sockets_started) {
        WSACleanup();
        agent->sockets_started = false;
    }
    if (agent->interfaces) {
        free(agent->interfaces);
        agent->interfaces = NULL;
    }
}
