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
//
// A row's "nonul" serves its ifDescr without the terminating NUL and followed by bytes that are
// not NUL either; "integer" serves ifDescr as an INTEGER. When KAVLIN_AGENT_COUNT names a file,
// the number of requests received since SnmpExtensionInit (refused ones included) is written to
// it after every request; when KAVLIN_AGENT_LOG names a file, every request is appended to it as
// "<name asked> <name answered>" ("null" or "refused" when no object was given).
//
// The agent keeps ownership of every name and value it puts into a binding (they stay valid
// until the next request or until the DLL is unloaded) and never releases what the caller put
// there: the caller's first name is often constant data.
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

struct Agent {
    Row *rows;
    int row_count;
    LONG if_number;
    bool if_number_given, from_file, fail_init, fail_count, count_as_gauge, walk_null;
    long refusals[MAX_REFUSALS];
    int refusal_count;
    long requests;
    char count_file[MAX_PATH];
    char log_file[MAX_PATH];
    UINT answer_name[MAX_NAME];         // the name of the last answer
    UINT specific_oid[2];               // ifSpecific: { 0, 0 }
    bool loaded;
};

Agent agent;

const UINT IF_NUMBER_OID[] = { 1, 3, 6, 1, 2, 1, 2, 1, 0 };
const UINT IF_ENTRY_OID[] = { 1, 3, 6, 1, 2, 1, 2, 2, 1 };      // ifEntry; then column, ifIndex
const UINT IF_ENTRY_OID_LENGTH = 9;

void release_rows()
{
    for (int i = 0; i < agent.row_count; i++)
        free(agent.rows[i].description);
    free(agent.rows);
    agent.rows = NULL;
    agent.row_count = 0;
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

// Reads the configuration anew: each initialisation starts from the environment as it is.
void load()
{
    release_rows();
    memset(&agent, 0, sizeof agent);
    agent.from_file = load_table_file();
    if (!agent.from_file)
        load_real_table();
    qsort(agent.rows, agent.row_count, sizeof(Row), compare_rows);
    if (!agent.if_number_given)
        agent.if_number = agent.row_count;
    DWORD length = GetEnvironmentVariableA("KAVLIN_AGENT_COUNT", agent.count_file,
                                           sizeof agent.count_file);
    if (length >= sizeof agent.count_file)
        agent.count_file[0] = 0;
    length = GetEnvironmentVariableA("KAVLIN_AGENT_LOG", agent.log_file, sizeof agent.log_file);
    if (length >= sizeof agent.log_file)
        agent.log_file[0] = 0;
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

void log_request(const UINT *asked, UINT asked_length, const char *answer)
{
    if (!agent.log_file[0])
        return;
    FILE *file = fopen(agent.log_file, "ab");
    if (file) {
        char name[MAX_NAME * 12];
        format_name(name, sizeof name, asked, asked_length);
        fprintf(file, "%s %s\n", name, answer);
        fclose(file);
    }
}

int compare_oid(const UINT *a, UINT a_length, const UINT *b, UINT b_length)
{
    for (UINT i = 0; i < a_length && i < b_length; i++) {
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    }
    return a_length < b_length ? -1 : a_length > b_length;
}

// The objects served, in lexicographic order: 0 is ifNumber.0, then for every column the rows
// in ascending ifIndex. Writes the object's name and returns its length.
UINT object_name(int object, UINT *name)
{
    if (object == 0) {
        memcpy(name, IF_NUMBER_OID, sizeof IF_NUMBER_OID);
        return sizeof IF_NUMBER_OID / sizeof IF_NUMBER_OID[0];
    }
    int column = 1 + (object - 1) / agent.row_count;
    int row = (object - 1) % agent.row_count;
    memcpy(name, IF_ENTRY_OID, sizeof IF_ENTRY_OID);
    name[IF_ENTRY_OID_LENGTH] = column;
    name[IF_ENTRY_OID_LENGTH + 1] = agent.rows[row].index;
    return IF_ENTRY_OID_LENGTH + 2;
}

// The first object whose name sorts after `name`, or -1 past the end of the group.
int next_object(const UINT *name, UINT length)
{
    int objects = 1 + TABLE_COLUMNS * agent.row_count;
    UINT candidate[MAX_NAME];
    for (int object = 0; object < objects; object++) {
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

void set_string(AsnAny *value, BYTE *bytes, UINT length)
{
    value->asnType = ASN_OCTETSTRING;
    value->asnValue.string.stream = bytes;
    value->asnValue.string.length = length;
    value->asnValue.string.dynamic = FALSE;
}

void set_value(int object, AsnAny *value)
{
    if (object == 0) {
        set_number(value, agent.count_as_gauge ? ASN_GAUGE32 : ASN_INTEGER, agent.if_number);
        return;
    }
    int column = 1 + (object - 1) / agent.row_count;
    Row *row = &agent.rows[(object - 1) % agent.row_count];
    switch (column) {
    case 1: set_number(value, ASN_INTEGER, row->index); break;
    case 2:
        if (row->description_kind == DESCRIPTION_INTEGER)
            set_number(value, ASN_INTEGER, row->description_length);
        else if (row->description_kind == DESCRIPTION_NO_NUL)
            set_string(value, row->description, row->description_length);
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
    case 22:
        value->asnType = ASN_OBJECTIDENTIFIER;
        value->asnValue.object.idLength = 2;
        value->asnValue.object.ids = agent.specific_oid;
        break;
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

// One GETNEXT on one binding. Returns false to refuse the request, leaving the binding as it
// was.
bool answer(SnmpVarBind *binding, AsnInteger32 *error_status)
{
    // The caller's name may be the agent's own answer_name: read it before writing over it.
    UINT name[MAX_NAME];
    UINT length = binding->name.idLength < MAX_NAME ? binding->name.idLength : MAX_NAME;
    if (length && binding->name.ids)
        memcpy(name, binding->name.ids, length * sizeof(UINT));
    else
        length = 0;

    if (refused(agent.requests)) {
        log_request(name, length, "refused");
        return false;
    }
    if (agent.walk_null && length == IF_ENTRY_OID_LENGTH + 1 &&
        compare_oid(name, IF_ENTRY_OID_LENGTH, IF_ENTRY_OID, IF_ENTRY_OID_LENGTH) == 0 &&
        name[IF_ENTRY_OID_LENGTH] == 1) {
        binding->value.asnType = ASN_NULL;
        log_request(name, length, "null");
        return true;
    }
    int object = next_object(name, length);
    if (object == 0 && agent.fail_count) {
        log_request(name, length, "refused");
        return false;
    }
    if (object < 0) {
        // Past the interfaces group: the end of what this agent serves.
        binding->value.asnType = ASN_NULL;
        *error_status = SNMP_ERRORSTATUS_NOSUCHNAME;
        log_request(name, length, "null");
        return true;
    }
    binding->name.ids = agent.answer_name;
    binding->name.idLength = object_name(object, agent.answer_name);
    set_value(object, &binding->value);
    char answered[MAX_NAME * 12];
    format_name(answered, sizeof answered, agent.answer_name, binding->name.idLength);
    log_request(name, length, answered);
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
