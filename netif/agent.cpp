// The interface list, read from the MIB-II interfaces group (RFC 1213: ifNumber and ifTable)
// through the system's SNMP extension agent, which runs inside the installer's own process.
//
// The agent is reached only through its two entry points, SnmpExtensionInit and
// SnmpExtensionQuery, with GETNEXT requests of one variable binding each. Memory passes between
// the installer and the agent as the extension-agent interface demands: everything in a binding
// comes from the SNMP utility allocator (snmpapi.dll). On GETNEXT the agent frees the name it is
// given and puts in a name and value of its own; the installer releases every answer once it has
// taken what it needs (SnmpUtilVarBindFree) and gives each request a fresh copy of its name
// (SnmpUtilOidCpy).
//
// Answers are checked, not trusted: an answer fills a field only when its name is the one a
// correct agent gives at that point. The count request must be answered by ifNumber.0 (or by
// ifNumber without its instance); in the walk, the ifIndex column by ifEntry.1.x with instances
// in ascending order, and every later column by the instance its row got in the ifIndex column.
// A record keeps the value of its row's ifIndex answer, whatever the instance. A field whose
// answer was not the expected one stays empty, and the setup dialog lists a record only when
// its index, description and type all arrived (ANSWERED_LINE_FIELDS).
//
// Where the walk goes after each answer: the next request is sent with the name of the object
// the walk expected, which with a correct agent is the name of its answer, so that with a correct
// agent every request asks for the object after the previous answer. After a wrong or refused
// answer the walk thereby goes on from where a correct agent would have left it, and one bad
// answer costs its own field, not the rest of the walk. Where the expected name is not known (a
// row whose ifIndex answer was wrong), the walk goes on from the column's last row that was
// known, or from the column's own name. Either way it sends 1 + 16 * interface_count requests,
// column by column, and only the follow-ups below, which a correct agent never causes, add to
// them.
//
// Agents that leave the MIB-II order: Wine's agent (ReactOS ships the same) answers the count
// request with the first row's ifIndex instead of ifNumber.0, numbers the rows 1..N by their
// position rather than by their ifIndex, and after a column's last row answers from the next
// group (ipForwarding) instead of with the next column's first row. Two answers that a correct
// agent never gives are therefore followed up, and nothing is shown for them:
//   - an ifIndex cell answered to the count request: the rows are counted by GETNEXT along the
//     ifIndex column from that answer until an answer leaves the column (or does not follow the
//     previous row), at most INTERFACE_COUNT_LIMIT of them;
//   - in the walk, an answer that the agent served under a name other than the expected one:
//     one more GETNEXT goes out, named by the cell before the expected one (the column's own
//     name before its first row), unless that is the name just asked, and its answer is judged
//     the same way.
// The rows are matched by their position in each column, and with position numbers as
// instances the expected names are simply ifEntry.column.1..N.
//
// Failures are not shown here: each goes, as its fixed Czech text, to the report the caller
// gave the set-up, in the order they happen.
#include "netif/interfaces.h"
#include "base/system_library.h"

#include <winsock.h>
#include <stdlib.h>
#include <string.h>

namespace {

// The failure texts: the same in every language.
const char SOCKETS_FAILED[] = "Nepoda\xF8ilo se inicializovat WinSock!";
const char LIBRARY_FAILED[] = "Nepoda\xF8ilo se na\xE8\xEDst knihovnu SNMP!";
const char ENTRY_POINTS_FAILED[] = "Nepoda\xF8ilo se naj\xEDt funkce SNMP!";
const char AGENT_INIT_FAILED[] = "Nepoda\xF8ilo se inicializovat SNMP!";
const char MUTEX_FAILED[] = "Nepoda\xF8ilo se zp\xF8\xEDstupnit mutex!";
const char RECEIVE_FAILED[] = "Nepoda\xF8ilo se p\xF8ijmout data!";
const char WRONG_TYPE[] = "Nespr\xE1vn\xFD typ hodnoty!";

const char SOCKETS_FILE[] = "wsock32.dll";
const char UTILITY_FILE[] = "snmpapi.dll";
const char AGENT_FILE[] = "inetmib1.dll";

enum {
    ENTRY_LENGTH = 9,           // ifEntry
    COLUMN_LENGTH = 10,         // ifEntry.column
    CELL_LENGTH = 11,           // ifEntry.column.instance
    TABLE_COLUMNS = 16
};

// interfaces.0.1.1: sorts after the interfaces group itself and just before ifNumber.0
// (interfaces.1.0), so the agent's next object is ifNumber.0.
const UINT COUNT_REQUEST[] = { 1, 3, 6, 1, 2, 1, 2, 0, 1, 1 };
const UINT COUNT_REQUEST_LENGTH = sizeof COUNT_REQUEST / sizeof COUNT_REQUEST[0];
// ifNumber.0; without its last sub-identifier, ifNumber itself.
const UINT IF_NUMBER[] = { 1, 3, 6, 1, 2, 1, 2, 1, 0 };
const UINT IF_NUMBER_LENGTH = sizeof IF_NUMBER / sizeof IF_NUMBER[0];
const UINT IF_ENTRY[ENTRY_LENGTH] = { 1, 3, 6, 1, 2, 1, 2, 2, 1 };

// ifTable columns whose values are kept in the record; the others are stepped over.
enum {
    COLUMN_INDEX = 1,
    COLUMN_DESCRIPTION = 2,
    COLUMN_TYPE = 3,
    COLUMN_IN_OCTETS = 10,
    COLUMN_OUT_OCTETS = 16
};

void report(const InterfaceEnumeration *enumeration, const char *text)
{
    if (enumeration->report_failure)
        enumeration->report_failure(text);
}

// The agent can only be called with its two entry points and the utility library's two:
// without one, no call is made through any, and the list stays empty.
bool agent_callable(const InterfaceEnumeration *enumeration)
{
    return enumeration->agent_init && enumeration->agent_query && enumeration->copy_oid &&
           enumeration->free_binding;
}

// One binding passed back and forth over a sequence of GETNEXT requests.
struct Exchange {
    InterfaceEnumeration *enumeration;
    SnmpVarBindList list;
    SnmpVarBind binding;
    UINT asked[CELL_LENGTH];    // the name the answer in the binding was asked for
    UINT asked_length;
    bool served;                // the agent served that request (returned true)
};

// Readies the binding for a request: wholly zeroed, named by a copy of `name` made with the
// utility allocator (the agent frees the name it is given). Should the copy fail, the name
// stays empty, and the answer to it is not the one expected.
void prepare_request(Exchange *exchange, const UINT *name, UINT length)
{
    AsnObjectIdentifier source;

    memset(&exchange->binding, 0, sizeof exchange->binding);
    source.idLength = length;
    source.ids = const_cast<UINT *>(name);
    exchange->enumeration->copy_oid(&exchange->binding.name, &source);
    exchange->list.list = &exchange->binding;
    exchange->list.len = 1;
    memcpy(exchange->asked, name, length * sizeof *name);
    exchange->asked_length = length;
}

// Sends one GETNEXT with the binding as it stands and reports a failure if the agent refuses.
void send_getnext(Exchange *exchange)
{
    AsnInteger32 error_status = 0;
    AsnInteger32 error_index = 0;

    exchange->served = exchange->enumeration->agent_query(SNMP_PDU_GETNEXT, &exchange->list,
                                                          &error_status, &error_index) != FALSE;
    if (!exchange->served)
        report(exchange->enumeration, RECEIVE_FAILED);
}

void ask(Exchange *exchange, const UINT *name, UINT length)
{
    prepare_request(exchange, name, length);
    send_getnext(exchange);
}

// Releases the answer in the binding (or, after a refusal, what the binding still holds).
void release_answer(Exchange *exchange)
{
    exchange->enumeration->free_binding(&exchange->binding);
    memset(&exchange->binding, 0, sizeof exchange->binding);
}

bool same_ids(const UINT *a, UINT a_length, const UINT *b, UINT b_length)
{
    return a_length == b_length && memcmp(a, b, a_length * sizeof *a) == 0;
}

bool same_name(const AsnObjectIdentifier *name, const UINT *ids, UINT length)
{
    return name->ids && same_ids(name->ids, name->idLength, ids, length);
}

// Whether `name` is a cell of the ifTable column `column` (ifEntry.column.instance), and its
// instance.
bool is_cell(const AsnObjectIdentifier *name, int column, UINT *instance)
{
    if (name->idLength != CELL_LENGTH || !name->ids ||
        memcmp(name->ids, IF_ENTRY, sizeof IF_ENTRY) != 0 ||
        name->ids[ENTRY_LENGTH] != (UINT)column)
        return false;
    *instance = name->ids[ENTRY_LENGTH + 1];
    return true;
}

// INTEGER, Counter32 and Gauge32 share the value's 32-bit number.
bool is_number(const AsnAny *value)
{
    return value->asnType == ASN_INTEGER || value->asnType == ASN_COUNTER32 ||
           value->asnType == ASN_GAUGE32;
}

bool load_libraries(InterfaceEnumeration *enumeration)
{
    enumeration->utility_library = load_system_library(UTILITY_FILE);
    enumeration->agent_library = load_system_library(AGENT_FILE);
    return enumeration->utility_library && enumeration->agent_library;
}

void find_entry_points(InterfaceEnumeration *enumeration)
{
    HMODULE utility = enumeration->utility_library;
    HMODULE agent = enumeration->agent_library;

    if (utility) {
        enumeration->copy_oid = reinterpret_cast<decltype(&SnmpUtilOidCpy)>(
            GetProcAddress(utility, "SnmpUtilOidCpy"));
        enumeration->free_binding = reinterpret_cast<decltype(&SnmpUtilVarBindFree)>(
            GetProcAddress(utility, "SnmpUtilVarBindFree"));
    }
    if (agent) {
        enumeration->agent_init = reinterpret_cast<PFNSNMPEXTENSIONINIT>(
            GetProcAddress(agent, "SnmpExtensionInit"));
        enumeration->agent_query = reinterpret_cast<PFNSNMPEXTENSIONQUERY>(
            GetProcAddress(agent, "SnmpExtensionQuery"));
    }
    if (!agent_callable(enumeration))
        report(enumeration, ENTRY_POINTS_FAILED);
}

// Windows Sockets 1.1, which the agent needs started, from the system folder like the rest.
void start_sockets(InterfaceEnumeration *enumeration)
{
    WSADATA sockets;
    decltype(&WSAStartup) startup = NULL;

    enumeration->sockets_library = load_system_library(SOCKETS_FILE);
    if (enumeration->sockets_library)
        startup = reinterpret_cast<decltype(&WSAStartup)>(
            GetProcAddress(enumeration->sockets_library, "WSAStartup"));
    enumeration->sockets_started = startup && startup(MAKEWORD(1, 1), &sockets) == 0;
    if (!enumeration->sockets_started)
        report(enumeration, SOCKETS_FAILED);
}

void stop_sockets(InterfaceEnumeration *enumeration)
{
    if (enumeration->sockets_started) {
        decltype(&WSACleanup) cleanup = reinterpret_cast<decltype(&WSACleanup)>(
            GetProcAddress(enumeration->sockets_library, "WSACleanup"));
        if (cleanup)
            cleanup();
        enumeration->sockets_started = false;
    }
    if (enumeration->sockets_library) {
        FreeLibrary(enumeration->sockets_library);
        enumeration->sockets_library = NULL;
    }
}

void initialise_agent(InterfaceEnumeration *enumeration)
{
    AsnObjectIdentifier first_view;     // the agent's supported view; not used

    first_view.idLength = 0;
    first_view.ids = NULL;
    if (!enumeration->agent_init(GetTickCount(), &enumeration->agent_trap_event, &first_view))
        report(enumeration, AGENT_INIT_FAILED);
}

// Counts the rows of the ifIndex column from the row with `instance`, whose answer is in the
// binding: one GETNEXT per row, each named by the previous answer, until an answer is no later
// row of the column. At most INTERFACE_COUNT_LIMIT rows.
LONG count_index_rows(Exchange *exchange, UINT instance)
{
    LONG rows = 1;
    UINT name[CELL_LENGTH];
    UINT next;

    memcpy(name, IF_ENTRY, sizeof IF_ENTRY);
    name[ENTRY_LENGTH] = COLUMN_INDEX;
    while (rows < INTERFACE_COUNT_LIMIT) {
        name[ENTRY_LENGTH + 1] = instance;
        release_answer(exchange);
        ask(exchange, name, CELL_LENGTH);
        if (!exchange->served || !is_cell(&exchange->binding.name, COLUMN_INDEX, &next) ||
            next <= instance)
            break;
        rows++;
        instance = next;
    }
    return rows;
}

// Asks for ifNumber. interface_count changes only on an INTEGER answer named ifNumber.0 or
// ifNumber, or, when the agent served an ifIndex cell instead, to the number of rows counted
// from there. An agent that refused without touching the binding leaves the request's own name
// and the zeroed value, and an agent that answers with another object gives no count either.
void read_interface_count(InterfaceEnumeration *enumeration)
{
    Exchange exchange;
    const AsnObjectIdentifier *name = &exchange.binding.name;
    const AsnAny *value = &exchange.binding.value;
    UINT instance;

    exchange.enumeration = enumeration;
    ask(&exchange, COUNT_REQUEST, COUNT_REQUEST_LENGTH);
    if ((same_name(name, IF_NUMBER, IF_NUMBER_LENGTH) ||
         same_name(name, IF_NUMBER, IF_NUMBER_LENGTH - 1)) && value->asnType == ASN_INTEGER)
        enumeration->interface_count = value->asnValue.number;
    else if (exchange.served && is_cell(name, COLUMN_INDEX, &instance))
        enumeration->interface_count = count_index_rows(&exchange, instance);
    else
        report(enumeration, WRONG_TYPE);
    release_answer(&exchange);
}

// Storage for interface_count zeroed records. A count that is negative or whose storage cannot
// be had gives an empty list; a count beyond the limit is cut to it.
void allocate_records(InterfaceEnumeration *enumeration)
{
    LONG count = enumeration->interface_count;

    if (count < 0)
        count = 0;
    if (count > INTERFACE_COUNT_LIMIT)
        count = INTERFACE_COUNT_LIMIT;
    enumeration->interfaces = (InterfaceRecord *)malloc((size_t)count * sizeof(InterfaceRecord));
    if (!enumeration->interfaces)
        count = 0;
    else
        memset(enumeration->interfaces, 0, (size_t)count * sizeof(InterfaceRecord));
    enumeration->interface_count = count;
}

// ifDescr: the octet string's text, cut at its first NUL, at its length and at 255 characters.
// Only an octet string gives a description.
bool store_description(char *description, const AsnAny *value)
{
    size_t n = 0;
    const BYTE *text = value->asnValue.string.stream;
    size_t length = value->asnValue.string.length;

    description[0] = 0;
    if (value->asnType != ASN_OCTETSTRING || (!text && length))
        return false;
    while (n < length && n < INTERFACE_DESCRIPTION_SIZE - 1 && text[n]) {
        description[n] = (char)text[n];
        n++;
    }
    description[n] = 0;
    return true;
}

// Keeps an accepted answer of one ifTable column in the record's field for it, if it has one
// and the value is of that field's kind.
void store_field(int column, InterfaceRecord *record, const AsnAny *value)
{
    unsigned long number = value->asnValue.unsigned32;

    if (column == COLUMN_DESCRIPTION) {
        if (store_description(record->description, value))
            record->answered |= ANSWERED_DESCRIPTION;
        return;
    }
    if (!is_number(value))
        return;
    switch (column) {
    case COLUMN_INDEX:
        record->index = (unsigned short)number;
        record->answered |= ANSWERED_INDEX;
        break;
    case COLUMN_TYPE:
        record->type = (unsigned char)number;
        record->answered |= ANSWERED_TYPE;
        break;
    case COLUMN_IN_OCTETS:
        record->in_octets = number;
        record->answered |= ANSWERED_IN_OCTETS;
        break;
    case COLUMN_OUT_OCTETS:
        record->out_octets = number;
        record->answered |= ANSWERED_OUT_OCTETS;
        break;
    default:
        break;
    }
}

// The table walk: one binding, and the name its next request goes out with.
struct Walk {
    Exchange exchange;
    UINT next[CELL_LENGTH];
    UINT next_length;
    bool row_known;             // a row of the current column had its expected name ...
    UINT row_instance;          // ... and this was the last such row's instance
};

void aim_at_cell(Walk *walk, int column, UINT instance)
{
    memcpy(walk->next, IF_ENTRY, sizeof IF_ENTRY);
    walk->next[ENTRY_LENGTH] = (UINT)column;
    walk->next[ENTRY_LENGTH + 1] = instance;
    walk->next_length = CELL_LENGTH;
}

// The column's own name, which a correct agent follows with the column's first row.
void aim_at_column(Walk *walk, int column)
{
    memcpy(walk->next, IF_ENTRY, sizeof IF_ENTRY);
    walk->next[ENTRY_LENGTH] = (UINT)column;
    walk->next_length = COLUMN_LENGTH;
}

// Sends the walk's next request, over a binding freshly named.
void send_next(Walk *walk)
{
    ask(&walk->exchange, walk->next, walk->next_length);
}

// Whether the answer in the binding is the cell of `column` expected for `record`, and the
// instance of that cell. In the ifIndex column, where the instances are learnt, that is any row
// after the column's last known one; in the others, the row that the record's ifIndex answer
// named.
bool is_expected_cell(const Walk *walk, int column, const InterfaceRecord *record,
                      UINT *instance)
{
    UINT answered;

    if (!is_cell(&walk->exchange.binding.name, column, &answered))
        return false;
    if (column == COLUMN_INDEX) {
        *instance = answered;
        return !walk->row_known || answered > walk->row_instance;
    }
    *instance = record->instance;
    return (record->answered & ANSWERED_INSTANCE) && answered == record->instance;
}

// Aims the next request just before the cell expected next in `column`: at the column's last
// known row, or at the column's own name before the first. A correct agent answers that with
// the expected cell.
void aim_before_expected(Walk *walk, int column)
{
    if (walk->row_known)
        aim_at_cell(walk, column, walk->row_instance);
    else
        aim_at_column(walk, column);
}

// Judges the current answer as `column` of `record`: stores it when its name is the one a
// correct agent gives there, and aims the next request. That is the expected name where it is
// known, which with a correct agent is the answer's own name; for a row whose instance is not
// known, the name just before the next expected cell (so that a correct agent's next answer is
// the column's next known row).
//
// An answer that the agent served under another name (Wine's agent leaves the table after
// every column's last row) earns one more request, from just before the expected cell, unless
// that is the name it was asked with.
void judge_answer(Walk *walk, int column, InterfaceRecord *record)
{
    bool expecting = column == COLUMN_INDEX || (record->answered & ANSWERED_INSTANCE);
    UINT instance = 0;
    bool found = is_expected_cell(walk, column, record, &instance);

    if (!found && expecting && walk->exchange.served) {
        aim_before_expected(walk, column);
        if (!same_ids(walk->next, walk->next_length, walk->exchange.asked,
                      walk->exchange.asked_length)) {
            release_answer(&walk->exchange);
            send_next(walk);
            found = is_expected_cell(walk, column, record, &instance);
        }
    }
    if (found) {
        if (column == COLUMN_INDEX) {
            record->instance = instance;
            record->answered |= ANSWERED_INSTANCE;
        }
        store_field(column, record, &walk->exchange.binding.value);
    }
    if (column == COLUMN_INDEX ? found : expecting) {
        walk->row_known = true;
        walk->row_instance = column == COLUMN_INDEX ? instance : record->instance;
        aim_at_cell(walk, column, walk->row_instance);
    } else {
        aim_before_expected(walk, column);
    }
}

} // namespace

void interface_agent_open(InterfaceEnumeration *enumeration, InterfaceFailureReport report_failure)
{
    memset(enumeration, 0, sizeof *enumeration);
    enumeration->report_failure = report_failure;
    start_sockets(enumeration);
    if (!load_libraries(enumeration))
        report(enumeration, LIBRARY_FAILED);
    find_entry_points(enumeration);
    if (agent_callable(enumeration))
        initialise_agent(enumeration);
    enumeration->agent_mutex = CreateMutexA(NULL, FALSE, NULL);
    if (!enumeration->agent_mutex)
        report(enumeration, MUTEX_FAILED);
    if (agent_callable(enumeration))
        read_interface_count(enumeration);
    allocate_records(enumeration);
}

void interface_table_walk(InterfaceEnumeration *enumeration)
{
    Walk walk;
    InterfaceRecord *records = enumeration->interfaces;
    LONG count = records ? enumeration->interface_count : 0;

    if (!agent_callable(enumeration))
        return;
    // ifEntry.ifIndex without an instance: the next object is the ifIndex of the first row.
    memset(&walk, 0, sizeof walk);
    walk.exchange.enumeration = enumeration;
    aim_at_column(&walk, COLUMN_INDEX);
    send_next(&walk);
    // No first row at all: the agent has no table, and the records stay unfilled.
    if (walk.exchange.binding.value.asnType == ASN_NULL) {
        release_answer(&walk.exchange);
        return;
    }

    // Each column is taken to have exactly `count` rows, so the answer after a column's last
    // row is the first row of the next column. The answer after the last ifOutOctets row is
    // fetched as well, and, like every column's last, looked at for a missing value only.
    for (int column = 1; column <= TABLE_COLUMNS; column++) {
        walk.row_known = false;
        for (LONG row = 0; row < count; row++) {
            judge_answer(&walk, column, &records[row]);
            release_answer(&walk.exchange);
            send_next(&walk);
        }
        if (walk.exchange.binding.value.asnType == ASN_NULL)
            report(enumeration, RECEIVE_FAILED);
    }
    release_answer(&walk.exchange);
}

void interface_agent_close(InterfaceEnumeration *enumeration)
{
    if (enumeration->agent_mutex) {
        CloseHandle(enumeration->agent_mutex);
        enumeration->agent_mutex = NULL;
    }
    if (enumeration->agent_library) {
        FreeLibrary(enumeration->agent_library);
        enumeration->agent_library = NULL;
    }
    enumeration->agent_init = NULL;
    enumeration->agent_query = NULL;
    if (enumeration->utility_library) {
        FreeLibrary(enumeration->utility_library);
        enumeration->utility_library = NULL;
    }
    enumeration->copy_oid = NULL;
    enumeration->free_binding = NULL;
    stop_sockets(enumeration);
    if (enumeration->interfaces) {
        free(enumeration->interfaces);
        enumeration->interfaces = NULL;
    }
}
