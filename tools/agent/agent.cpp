// An SNMP extension agent (inetmib1.dll) of the project's own, for the tests and for trying the
// installer out: it serves the MIB-II interfaces group (RFC 1213), ifNumber.0 and the ifTable
// columns 1 to 22, and answers GETNEXT in lexicographic OID order, as a correct agent does.
//
// By default it serves the machine's real interfaces, read through GetIfTable. When the
// environment variable KAVLIN_AGENT_TABLE names a text file, it serves the table in that file
// instead and can be told to fail in the ways the installer must survive:
//
//   # comment
//   ifIndex|ifDescr|ifType|ifInOctets|ifOutOctets[|nonul|integer]   one row (any order)
//   !ifnumber N        answer ifNumber with N instead of the number of rows
//   !fail init         SnmpExtensionInit returns FALSE
//   !fail count        refuse the request that would answer ifNumber, binding untouched
//   !count-type gauge  answer ifNumber as a Gauge32 instead of an INTEGER
//   !walk-null         answer a request for ifEntry.ifIndex (no instance) with ASN_NULL
//   !refuse K          refuse the K-th request (from 1), binding untouched; may repeat
//   !ifnumber-without-instance   name the ifNumber answer 1.3.6.1.2.1.2.1, without the .0
//   !wine              answer every request as Wine's own agent does (see "Wine's own agent"
//                      below), the rows numbered by their order in the file; of the directives
//                      above only !fail init and !refuse still apply
//
// A row's "nonul" serves its ifDescr without the terminating NUL and followed by bytes that are
// not NUL either; "integer" serves ifDescr as an INTEGER. When KAVLIN_AGENT_COUNT names a file,
// the number of requests received since SnmpExtensionInit (refused ones included) is written to
// it after every request; when KAVLIN_AGENT_LOG names a file, every request is appended to it as
// "<name asked> <name answered>" ("null" or "refused" when no object was given, "untouched"
// when the binding was left as it was).
//
// Memory follows the extension-agent interface as the agents of the system do: on GETNEXT the
// agent frees the name it is given (SnmpUtilOidFree) and puts in a name and a value of its own,
// allocated with SnmpUtilMemAlloc, which the caller releases. A refused request and an answer
// without an object (ASN_NULL) leave the name as it was. Every name it is given must therefore
// come from the SNMP utility allocator, which takes its blocks from the process heap: a name
// that is no block of that heap (constant data, a name already freed) is recorded as a fault
// and left alone. When KAVLIN_AGENT_FAULTS names a file, each fault is appended to it as a line.
#include <windows.h>
#include <iphlpapi.h>
#include <snmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

enum DescriptionKind { DESCRIPTION_TEXT, DESCRIPTION_NO_NUL, DESCRIPTION_INTEGER };

enum {
    TABLE_COLUMNS = 22,         // ifIndex .. ifSpecific
    MAX_NAME = 16,
    MAX_REFUSALS = 64,
    DESCRIPTION_PADDING = 8     // non-NUL bytes after a description served without its NUL
};

struct Row {
    DWORD index, type, mtu, speed, admin_status, oper_status, in_octets, out_octets;
    DescriptionKind description_kind;
    BYTE *description;          // the text, its NUL, and DESCRIPTION_PADDING bytes of 'X'
    UINT description_length;    // without the NUL
    BYTE physical_address[8];
    UINT physical_address_length;
};

// The objects served, in lexicographic order of their names.
enum ObjectKind { OBJECT_IF_NUMBER, OBJECT_CELL };

struct Object {
    ObjectKind kind;
    int column;                 // OBJECT_CELL: the ifTable column
    int row;                    // OBJECT_CELL: the row
};

struct Agent {
    Row *rows;
    int row_count;
    Object *objects;
    int object_count;
    LONG if_number;
    bool if_number_given, from_file, fail_init, fail_count, count_as_gauge, walk_null;
    bool if_number_without_instance, wine;
    long refusals[MAX_REFUSALS];
    int refusal_count;
    long requests;
    char count_file[MAX_PATH];
    char log_file[MAX_PATH];
    char fault_file[MAX_PATH];
    bool loaded;
};

Agent agent;

const UINT IF_NUMBER_OID[] = { 1, 3, 6, 1, 2, 1, 2, 1, 0 };
const UINT IF_ENTRY_OID[] = { 1, 3, 6, 1, 2, 1, 2, 2, 1 };      // ifEntry; then column, ifIndex
const UINT IF_ENTRY_OID_LENGTH = 9;
const UINT SPECIFIC_OID[] = { 0, 0 };                           // ifSpecific's value

void release_rows()
{
    for (int i = 0; i < agent.row_count; i++)
        free(agent.rows[i].description);
    free(agent.rows);
    free(agent.objects);
    agent.rows = NULL;
    agent.row_count = 0;
    agent.objects = NULL;
    agent.object_count = 0;
}

void set_description(Row *row, const char *text, size_t length)
{
    row->description = (BYTE *)malloc(length + 1 + DESCRIPTION_PADDING);
    memcpy(row->description, text, length);
    row->description[length] = 0;
    memset(row->description + length + 1, 'X', DESCRIPTION_PADDING);
    if (row->description_kind == DESCRIPTION_NO_NUL)
        row->description[length] = 'X';
    row->description_length = (UINT)length;
}

Row *add_row()
{
    agent.rows = (Row *)realloc(agent.rows, (agent.row_count + 1) * sizeof(Row));
    Row *row = &agent.rows[agent.row_count++];
    memset(row, 0, sizeof *row);
    row->mtu = 1500;
    row->speed = 100000000;
    row->admin_status = 1;
    row->oper_status = 1;
    return row;
}

int compare_rows(const void *a, const void *b)
{
    DWORD x = ((const Row *)a)->index, y = ((const Row *)b)->index;
    return x < y ? -1 : x > y;
}

void load_real_table()
{
    ULONG size = 0;
    if (GetIfTable(NULL, &size, TRUE) != ERROR_INSUFFICIENT_BUFFER)
        return;
    MIB_IFTABLE *table = (MIB_IFTABLE *)malloc(size);
    if (table && GetIfTable(table, &size, TRUE) == NO_ERROR) {
        for (DWORD i = 0; i < table->dwNumEntries; i++) {
            const MIB_IFROW *source = &table->table[i];
            Row *row = add_row();
            size_t length = strnlen((const char *)source->bDescr,
                                    source->dwDescrLen < MAXLEN_IFDESCR ? source->dwDescrLen
                                                                        : MAXLEN_IFDESCR);
            row->index = source->dwIndex;
            row->type = source->dwType;
            row->mtu = source->dwMtu;
            row->speed = source->dwSpeed;
            row->in_octets = source->dwInOctets;
            row->out_octets = source->dwOutOctets;
            row->physical_address_length = source->dwPhysAddrLen < 8 ? source->dwPhysAddrLen : 8;
            memcpy(row->physical_address, source->bPhysAddr, row->physical_address_length);
            set_description(row, (const char *)source->bDescr, length);
        }
    }
    free(table);
}

void read_directive(const char *line)
{
    long number;
    if (sscanf(line, "!ifnumber %ld", &number) == 1) {
        agent.if_number = number;
        agent.if_number_given = true;
    }
    else if (strncmp(line, "!fail init", 10) == 0)
        agent.fail_init = true;
    else if (strncmp(line, "!fail count", 11) == 0)
        agent.fail_count = true;
    else if (strncmp(line, "!count-type gauge", 17) == 0)
        agent.count_as_gauge = true;
    else if (strncmp(line, "!walk-null", 10) == 0)
        agent.walk_null = true;
    else if (strcmp(line, "!ifnumber-without-instance") == 0)
        agent.if_number_without_instance = true;
    else if (strcmp(line, "!wine") == 0)
        agent.wine = true;
    else if (sscanf(line, "!refuse %ld", &number) == 1 && agent.refusal_count < MAX_REFUSALS)
        agent.refusals[agent.refusal_count++] = number;
}

// ifIndex|ifDescr|ifType|ifInOctets|ifOutOctets[|kind]; the description may hold spaces.
void read_row(char *line)
{
    char *field[6] = {};
    int fields = 0;
    for (char *p = line; fields < 6; fields++) {
        field[fields] = p;
        p = strchr(p, '|');
        if (!p) {
            fields++;
            break;
        }
        *p++ = 0;
    }
    if (fields < 5)
        return;
    Row *row = add_row();
    row->index = strtoul(field[0], NULL, 0);
    row->type = strtoul(field[2], NULL, 0);
    row->in_octets = strtoul(field[3], NULL, 0);
    row->out_octets = strtoul(field[4], NULL, 0);
    // A physical address of six bytes (00:00:00:00:00:00), but none for loopback, as the
    // systems give them.
    row->physical_address_length = row->type == 24 ? 0 : 6;
    if (fields > 5 && strncmp(field[5], "nonul", 5) == 0)
        row->description_kind = DESCRIPTION_NO_NUL;
    else if (fields > 5 && strncmp(field[5], "integer", 7) == 0)
        row->description_kind = DESCRIPTION_INTEGER;
    set_description(row, field[1], strlen(field[1]));
}

bool load_table_file()
{
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("KAVLIN_AGENT_TABLE", path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return false;
    FILE *file = fopen(path, "rb");
    if (!file)
        return true;    // a table file that is missing serves an empty table
    static char line[4096];
    while (fgets(line, sizeof line, file)) {
        line[strcspn(line, "\r\n")] = 0;
        if (line[0] == '#' || line[0] == 0)
            continue;
        if (line[0] == '!')
            read_directive(line);
        else
            read_row(line);
    }
    fclose(file);
    return true;
}

void add_object(ObjectKind kind, int column, int row)
{
    Object *object = &agent.objects[agent.object_count++];
    object->kind = kind;
    object->column = column;
    object->row = row;
}

// The objects this agent answers GETNEXT with, in order: ifNumber.0 and every ifTable column's
// rows.
void list_objects()
{
    agent.objects = (Object *)malloc((1 + TABLE_COLUMNS * agent.row_count) * sizeof(Object));
    agent.object_count = 0;
    add_object(OBJECT_IF_NUMBER, 0, 0);
    for (int column = 1; column <= TABLE_COLUMNS; column++) {
        for (int row = 0; row < agent.row_count; row++)
            add_object(OBJECT_CELL, column, row);
    }
}

// Wine's agent serves a description as its bytes alone, without the NUL: here they are followed
// by bytes that are not NUL either, so that a reader that goes past the length is seen.
void drop_description_nuls()
{
    for (int i = 0; i < agent.row_count; i++) {
        Row *row = &agent.rows[i];
        if (row->description_kind == DESCRIPTION_TEXT) {
            row->description_kind = DESCRIPTION_NO_NUL;
            row->description[row->description_length] = 'X';
        }
    }
}

void read_file_name(const char *variable, char *name, DWORD size)
{
    DWORD length = GetEnvironmentVariableA(variable, name, size);
    if (length >= size)
        name[0] = 0;
}

// Reads the configuration anew: each initialisation starts from the environment as it is.
void load()
{
    release_rows();
    memset(&agent, 0, sizeof agent);
    agent.from_file = load_table_file();
    if (!agent.from_file)
        load_real_table();
    // Wine's agent numbers the rows by their order in the system's table, which is not sorted.
    if (agent.wine)
        drop_description_nuls();
    else
        qsort(agent.rows, agent.row_count, sizeof(Row), compare_rows);
    if (!agent.if_number_given)
        agent.if_number = agent.row_count;
    list_objects();
    read_file_name("KAVLIN_AGENT_COUNT", agent.count_file, sizeof agent.count_file);
    read_file_name("KAVLIN_AGENT_LOG", agent.log_file, sizeof agent.log_file);
    read_file_name("KAVLIN_AGENT_FAULTS", agent.fault_file, sizeof agent.fault_file);
    agent.loaded = true;
}

void write_count()
{
    if (!agent.count_file[0])
        return;
    FILE *file = fopen(agent.count_file, "wb");
    if (file) {
        fprintf(file, "%ld\n", agent.requests);
        fclose(file);
    }
}

void format_name(char *text, size_t size, const UINT *name, UINT length)
{
    size_t used = 0;
    text[0] = 0;
    for (UINT i = 0; i < length && used + 12 < size; i++)
        used += sprintf(text + used, i ? ".%u" : "%u", name[i]);
}

void append_line(const char *file_name, const char *line)
{
    FILE *file = fopen(file_name, "ab");
    if (file) {
        fprintf(file, "%s\n", line);
        fclose(file);
    }
}

void log_request(const UINT *asked, UINT asked_length, const char *answer)
{
    if (!agent.log_file[0])
        return;
    char name[MAX_NAME * 12];
    char line[MAX_NAME * 24 + 16];
    format_name(name, sizeof name, asked, asked_length);
    snprintf(line, sizeof line, "%s %s", name, answer);
    append_line(agent.log_file, line);
}

void record_fault(const char *what, const UINT *name, UINT length)
{
    char text[MAX_NAME * 12];
    char line[MAX_NAME * 12 + 200];
    format_name(text, sizeof text, name, length);
    snprintf(line, sizeof line, "request %ld: %s (%s)", agent.requests, what, text);
    if (agent.fault_file[0])
        append_line(agent.fault_file, line);
}

int compare_oid(const UINT *a, UINT a_length, const UINT *b, UINT b_length)
{
    for (UINT i = 0; i < a_length && i < b_length; i++) {
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    }
    return a_length < b_length ? -1 : a_length > b_length;
}

// Writes the name of object `object` and returns its length.
UINT object_name(int object, UINT *name)
{
    const Object *o = &agent.objects[object];
    switch (o->kind) {
    case OBJECT_IF_NUMBER:
        memcpy(name, IF_NUMBER_OID, sizeof IF_NUMBER_OID);
        return sizeof IF_NUMBER_OID / sizeof IF_NUMBER_OID[0] -
               (agent.if_number_without_instance ? 1 : 0);
    default:
        memcpy(name, IF_ENTRY_OID, sizeof IF_ENTRY_OID);
        name[IF_ENTRY_OID_LENGTH] = o->column;
        name[IF_ENTRY_OID_LENGTH + 1] = agent.rows[o->row].index;
        return IF_ENTRY_OID_LENGTH + 2;
    }
}

// The first object whose name sorts after `name`, or -1 past the end of what is served.
int next_object(const UINT *name, UINT length)
{
    UINT candidate[MAX_NAME];
    for (int object = 0; object < agent.object_count; object++) {
        UINT candidate_length = object_name(object, candidate);
        if (compare_oid(candidate, candidate_length, name, length) > 0)
            return object;
    }
    return -1;
}

void set_number(AsnAny *value, BYTE type, DWORD number)
{
    value->asnType = type;
    value->asnValue.unsigned32 = number;
}

// An octet string of `length` bytes in storage of the utility allocator, which the caller
// releases. `following` more bytes of `bytes` are copied after it, outside its length.
void set_string(AsnAny *value, const BYTE *bytes, UINT length, UINT following = 0)
{
    BYTE *copy = (BYTE *)SnmpUtilMemAlloc(length + following ? length + following : 1);
    if (copy && length + following)
        memcpy(copy, bytes, length + following);
    value->asnType = ASN_OCTETSTRING;
    value->asnValue.string.stream = copy;
    value->asnValue.string.length = copy ? length : 0;
    value->asnValue.string.dynamic = TRUE;
}

void set_value(int object, AsnAny *value)
{
    const Object *o = &agent.objects[object];
    if (o->kind == OBJECT_IF_NUMBER) {
        set_number(value, agent.count_as_gauge ? ASN_GAUGE32 : ASN_INTEGER, agent.if_number);
        return;
    }
    Row *row = &agent.rows[o->row];
    switch (o->column) {
    case 1: set_number(value, ASN_INTEGER, row->index); break;
    case 2:
        if (row->description_kind == DESCRIPTION_INTEGER)
            set_number(value, ASN_INTEGER, row->description_length);
        else if (row->description_kind == DESCRIPTION_NO_NUL)
            set_string(value, row->description, row->description_length, DESCRIPTION_PADDING);
        else
            set_string(value, row->description, row->description_length + 1);
        break;
    case 3: set_number(value, ASN_INTEGER, row->type); break;
    case 4: set_number(value, ASN_INTEGER, row->mtu); break;
    case 5: set_number(value, ASN_GAUGE32, row->speed); break;
    case 6: set_string(value, row->physical_address, row->physical_address_length); break;
    case 7: set_number(value, ASN_INTEGER, row->admin_status); break;
    case 8: set_number(value, ASN_INTEGER, row->oper_status); break;
    case 9: set_number(value, ASN_TIMETICKS, 0); break;
    case 10: set_number(value, ASN_COUNTER32, row->in_octets); break;
    case 16: set_number(value, ASN_COUNTER32, row->out_octets); break;
    case 21: set_number(value, ASN_GAUGE32, 0); break;
    case 22: {
        AsnObjectIdentifier specific = { 2, const_cast<UINT *>(SPECIFIC_OID) };
        value->asnType = ASN_OBJECTIDENTIFIER;
        SnmpUtilOidCpy(&value->asnValue.object, &specific);
        break;
    }
    default: set_number(value, ASN_COUNTER32, 0); break;
    }
}

bool refused(long request)
{
    for (int i = 0; i < agent.refusal_count; i++) {
        if (agent.refusals[i] == request)
            return true;
    }
    return false;
}

// Whether the caller's name is storage the agent may free: a block of the heap the utility
// allocator takes its blocks from. Anything else is recorded as a fault.
bool name_releasable(const AsnObjectIdentifier *name, const UINT *ids, UINT length)
{
    if (!name->ids) {
        if (name->idLength)
            record_fault("a name with sub-identifiers but no storage", ids, 0);
        return false;
    }
    if (!HeapValidate(GetProcessHeap(), 0, name->ids)) {
        record_fault("a name not allocated by the SNMP utility allocator", ids, length);
        return false;
    }
    return true;
}

// Puts the name of the answer into the binding, in storage of the utility allocator, in place
// of the caller's name, and logs the request. False when no storage can be had.
bool give_name(SnmpVarBind *binding, const UINT *asked, UINT asked_length, bool releasable,
               const UINT *answered, UINT answered_length)
{
    UINT *ids = (UINT *)SnmpUtilMemAlloc(answered_length * sizeof(UINT));
    if (!ids)
        return false;
    memcpy(ids, answered, answered_length * sizeof(UINT));
    if (releasable)
        SnmpUtilOidFree(&binding->name);
    binding->name.ids = ids;
    binding->name.idLength = answered_length;

    char text[MAX_NAME * 12];
    format_name(text, sizeof text, answered, answered_length);
    log_request(asked, asked_length, text);
    return true;
}

// ---- Wine's own agent ----
//
// Wine's inetmib1.dll (ReactOS ships the same agent) serves MIB-II through handlers, each for
// the objects under one name, kept in lexicographic order of those names. A GETNEXT goes to the
// handler whose name agrees with the most leading sub-identifiers of the name asked: a binary
// search over the handlers, comparing only as many sub-identifiers as the name asked has, and
// shortening that name by one sub-identifier at a time, down to seven, until the search finds
// one. When that handler has nothing after the name, the handlers after it (after the first,
// when none was found) are asked in turn. When none has, the name becomes the last handler's
// name with its last sub-identifier increased, the value stays as it was and the error status
// is noSuchName. A name outside MIB-II is left alone. The agent returns TRUE every time.
//
// Against a correct agent, that gives three departures:
//   - the count request, interfaces.0.1.1, agrees with a handler's name only in its first seven
//     sub-identifiers (interfaces); the search meets the ifEntry handler first, which answers
//     ifEntry.1.1, the first row's ifIndex. The ifNumber handler answers only names before its
//     own, named ifNumber without the instance .0, and a GETNEXT never reaches it.
//   - the ifEntry handler numbers the rows 1..N by their position in the system's table, not by
//     their ifIndex.
//   - after a column's last row it has nothing more, and the next handler (the ip group's
//     scalars) answers with ipForwarding (ip.1) instead of the next column's first row.
// A column's own name (ifEntry.c, no instance) is answered with the column's first row. Every
// number is an INTEGER, Counter32 and Gauge32 included; ifDescr is the text's bytes, without a
// NUL. Columns 1 to 21 are served (ifSpecific is not); an empty ifDescr or ifPhysAddress is not
// served either, though the name has moved to its cell. A row number that wraps round to 0
// leaves the binding as it was, without an error. (Column 0 makes Wine's agent fail an
// assertion and end the process; here it is a column that is not served.) The tables of ip
// and udp are served empty here, and the scalars of ip, icmp, tcp and udp are 0 but for
// ipForwarding (2, not forwarding) and ipDefaultTTL (64).

enum WineHandlerKind { WINE_IF_NUMBER, WINE_IF_ENTRY, WINE_SCALARS, WINE_TABLE };

struct WineHandler {
    WineHandlerKind kind;
    UINT length;
    UINT name[9];
    UINT items;                 // WINE_SCALARS: the last scalar
    UINT gap_first, gap_last;   // WINE_SCALARS: items that are tables, not scalars
};

const WineHandler WINE_HANDLERS[] = {
    { WINE_IF_NUMBER, 8, { 1, 3, 6, 1, 2, 1, 2, 1 }, 0, 0, 0 },
    { WINE_IF_ENTRY, 9, { 1, 3, 6, 1, 2, 1, 2, 2, 1 }, 0, 0, 0 },
    { WINE_SCALARS, 7, { 1, 3, 6, 1, 2, 1, 4 }, 23, 20, 22 },        // ip
    { WINE_TABLE, 9, { 1, 3, 6, 1, 2, 1, 4, 20, 1 }, 0, 0, 0 },      // ipAddrEntry
    { WINE_TABLE, 9, { 1, 3, 6, 1, 2, 1, 4, 21, 1 }, 0, 0, 0 },      // ipRouteEntry
    { WINE_TABLE, 9, { 1, 3, 6, 1, 2, 1, 4, 22, 1 }, 0, 0, 0 },      // ipNetToMediaEntry
    { WINE_SCALARS, 7, { 1, 3, 6, 1, 2, 1, 5 }, 26, 0, 0 },          // icmp
    { WINE_SCALARS, 7, { 1, 3, 6, 1, 2, 1, 6 }, 15, 0, 0 },          // tcp
    { WINE_SCALARS, 7, { 1, 3, 6, 1, 2, 1, 7 }, 4, 0, 0 },           // udp
    { WINE_TABLE, 9, { 1, 3, 6, 1, 2, 1, 7, 5, 1 }, 0, 0, 0 },       // udpEntry
};
const int WINE_HANDLER_COUNT = sizeof WINE_HANDLERS / sizeof WINE_HANDLERS[0];
const UINT MIB2_OID[] = { 1, 3, 6, 1, 2, 1 };
const UINT WINE_SHORTEST_NAME = 7;

struct Name {
    UINT ids[MAX_NAME];
    UINT length;
};

// Compares the first `count` sub-identifiers of `a` and `b`. When one of them has fewer than
// `count` and they agree as far as it goes, the shorter sorts first.
int compare_leading(const UINT *a, UINT a_length, const UINT *b, UINT b_length, UINT count)
{
    UINT n = count < a_length ? count : a_length;
    n = n < b_length ? n : b_length;
    for (UINT i = 0; i < n; i++) {
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    }
    if (n == count)
        return 0;
    return a_length < b_length ? -1 : a_length > b_length;
}

// How the name asked stands to the handler's name, over the handler's sub-identifiers.
int compare_to_handler(const Name *name, const WineHandler *handler)
{
    return compare_leading(name->ids, name->length, handler->name, handler->length,
                           handler->length);
}

void set_handler_name(Name *name, const WineHandler *handler, UINT item)
{
    memcpy(name->ids, handler->name, handler->length * sizeof(UINT));
    name->ids[handler->length] = item;
    name->length = handler->length + 1;
}

bool wine_if_number(const WineHandler *handler, Name *name, AsnAny *value)
{
    if (compare_to_handler(name, handler) >= 0)
        return false;
    set_number(value, ASN_INTEGER, agent.row_count);
    memcpy(name->ids, handler->name, handler->length * sizeof(UINT));
    name->length = handler->length;
    return true;
}

// The value of a cell; false for a column that is not served, or an empty string.
bool set_wine_cell(const Row *row, UINT column, AsnAny *value)
{
    switch (column) {
    case 1: set_number(value, ASN_INTEGER, row->index); break;
    case 2:
        if (row->description_kind == DESCRIPTION_INTEGER)
            set_number(value, ASN_INTEGER, row->description_length);
        else if (row->description_length == 0)
            return false;
        else
            set_string(value, row->description, row->description_length, DESCRIPTION_PADDING);
        break;
    case 3: set_number(value, ASN_INTEGER, row->type); break;
    case 4: set_number(value, ASN_INTEGER, row->mtu); break;
    case 5: set_number(value, ASN_INTEGER, row->speed); break;
    case 6:
        if (row->physical_address_length == 0)
            return false;
        set_string(value, row->physical_address, row->physical_address_length);
        break;
    case 7: set_number(value, ASN_INTEGER, row->admin_status); break;
    case 8: set_number(value, ASN_INTEGER, row->oper_status); break;
    case 10: set_number(value, ASN_INTEGER, row->in_octets); break;
    case 16: set_number(value, ASN_INTEGER, row->out_octets); break;
    default:
        if (column < 1 || column > 21)
            return false;
        set_number(value, ASN_INTEGER, 0);
        break;
    }
    return true;
}

// The cell after `name`: its column from the name (the first when the name has none), its row
// the one after the name's (the first when the name has none). The name moves to that cell
// whenever the row exists, even when the cell is not served.
bool wine_if_entry(const WineHandler *handler, Name *name, AsnAny *value)
{
    UINT column = 1, row = 1;
    int order = compare_to_handler(name, handler);

    if (agent.row_count == 0 || order > 0)
        return false;
    if (order == 0 && name->length > handler->length) {
        column = name->ids[handler->length];
        if (name->length > handler->length + 1)
            row = name->ids[handler->length + 1] + 1;
    }
    if (row == 0)
        return true;
    if (row > (UINT)agent.row_count)
        return false;
    set_handler_name(name, handler, column);
    name->ids[name->length++] = row;
    return set_wine_cell(&agent.rows[row - 1], column, value);
}

bool wine_scalar(const WineHandler *handler, Name *name, AsnAny *value)
{
    UINT item = 1;
    int order = compare_to_handler(name, handler);

    if (order > 0)
        return false;
    if (order == 0 && name->length > handler->length)
        item = name->ids[handler->length] + 1;
    if (item < 1 || item > handler->items ||
        (item >= handler->gap_first && item <= handler->gap_last))
        return false;
    bool ip = handler->gap_first != 0;      // the ip group alone has tables among its items
    set_number(value, ASN_INTEGER, ip && item == 1 ? 2 : ip && item == 2 ? 64 : 0);
    set_handler_name(name, handler, item);
    return true;
}

bool wine_handler_answers(int index, Name *name, AsnAny *value)
{
    const WineHandler *handler = &WINE_HANDLERS[index];
    switch (handler->kind) {
    case WINE_IF_NUMBER: return wine_if_number(handler, name, value);
    case WINE_IF_ENTRY: return wine_if_entry(handler, name, value);
    case WINE_SCALARS: return wine_scalar(handler, name, value);
    default: return false;
    }
}

// The handler whose name agrees with the first `length` sub-identifiers of `name`, by binary
// search; -1 when the search finds none.
int wine_find_handler(const Name *name, UINT length)
{
    int low = 0, high = WINE_HANDLER_COUNT - 1;
    while (low <= high) {
        int middle = (low + high) / 2;
        const WineHandler *handler = &WINE_HANDLERS[middle];
        int order = compare_leading(name->ids, length, handler->name, handler->length, length);
        if (order == 0)
            return middle;
        if (order > 0)
            low = middle + 1;
        else
            high = middle - 1;
    }
    return -1;
}

// One GETNEXT as Wine's agent answers it.
bool answer_as_wine(SnmpVarBind *binding, const UINT *asked, UINT asked_length, bool releasable,
                    AsnInteger32 *error_status)
{
    Name name;
    int found = -1;

    if (compare_leading(asked, asked_length, MIB2_OID, 6, 6) != 0) {
        log_request(asked, asked_length, "untouched");
        return true;
    }
    memcpy(name.ids, asked, asked_length * sizeof(UINT));
    name.length = asked_length;
    for (UINT length = name.length; length >= WINE_SHORTEST_NAME && found < 0; length--)
        found = wine_find_handler(&name, length);
    bool answered = found >= 0 && wine_handler_answers(found, &name, &binding->value);
    for (int next = found >= 0 ? found + 1 : 1; !answered && next < WINE_HANDLER_COUNT; next++)
        answered = wine_handler_answers(next, &name, &binding->value);
    if (!answered) {
        const WineHandler *last = &WINE_HANDLERS[WINE_HANDLER_COUNT - 1];
        memcpy(name.ids, last->name, last->length * sizeof(UINT));
        name.length = last->length;
        name.ids[name.length - 1]++;
        *error_status = SNMP_ERRORSTATUS_NOSUCHNAME;
    }
    give_name(binding, asked, asked_length, releasable, name.ids, name.length);
    return true;
}

// ---- Answering ----

// One GETNEXT on one binding. Returns false to refuse the request, leaving the binding as it
// was.
bool answer(SnmpVarBind *binding, AsnInteger32 *error_status)
{
    UINT name[MAX_NAME];
    UINT length = binding->name.idLength < MAX_NAME ? binding->name.idLength : MAX_NAME;
    if (length && binding->name.ids)
        memcpy(name, binding->name.ids, length * sizeof(UINT));
    else
        length = 0;
    bool releasable = name_releasable(&binding->name, name, length);

    if (refused(agent.requests)) {
        log_request(name, length, "refused");
        return false;
    }
    if (agent.wine)
        return answer_as_wine(binding, name, length, releasable, error_status);
    if (agent.walk_null && length == IF_ENTRY_OID_LENGTH + 1 &&
        compare_oid(name, IF_ENTRY_OID_LENGTH, IF_ENTRY_OID, IF_ENTRY_OID_LENGTH) == 0 &&
        name[IF_ENTRY_OID_LENGTH] == 1) {
        binding->value.asnType = ASN_NULL;
        log_request(name, length, "null");
        return true;
    }
    int object = next_object(name, length);
    if (object >= 0 && agent.objects[object].kind == OBJECT_IF_NUMBER && agent.fail_count) {
        log_request(name, length, "refused");
        return false;
    }
    if (object < 0) {
        // Past what this agent serves.
        binding->value.asnType = ASN_NULL;
        *error_status = SNMP_ERRORSTATUS_NOSUCHNAME;
        log_request(name, length, "null");
        return true;
    }

    UINT answered[MAX_NAME];
    UINT answered_length = object_name(object, answered);
    if (!give_name(binding, name, length, releasable, answered, answered_length))
        return false;
    set_value(object, &binding->value);
    return true;
}

} // namespace

extern "C" BOOL WINAPI SnmpExtensionInit(DWORD uptime_reference, HANDLE *trap_event,
                                         AsnObjectIdentifier *first_view)
{
    load();
    if (trap_event)
        *trap_event = NULL;
    if (first_view) {
        // The agent's view: the interfaces group, in storage of the agent's own.
        first_view->ids = const_cast<UINT *>(IF_ENTRY_OID);
        first_view->idLength = 7;
    }
    return agent.fail_init ? FALSE : TRUE;
}

extern "C" BOOL WINAPI SnmpExtensionQuery(BYTE request_type, SnmpVarBindList *bindings,
                                          AsnInteger32 *error_status, AsnInteger32 *error_index)
{
    if (!agent.loaded)
        load();
    agent.requests++;
    write_count();
    if (error_status)
        *error_status = SNMP_ERRORSTATUS_NOERROR;
    if (error_index)
        *error_index = 0;
    if (request_type != SNMP_PDU_GETNEXT || !bindings || !bindings->list) {
        if (error_status)
            *error_status = SNMP_ERRORSTATUS_GENERR;
        return FALSE;
    }
    AsnInteger32 status = SNMP_ERRORSTATUS_NOERROR;
    for (UINT i = 0; i < bindings->len; i++) {
        if (!answer(&bindings->list[i], &status))
            return FALSE;
    }
    if (error_status)
        *error_status = status;
    return TRUE;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_DETACH)
        release_rows();
    return TRUE;
}
