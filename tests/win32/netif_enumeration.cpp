// The interface list read through the SNMP extension agent, against the project's test agent
// installed as the system folder's inetmib1.dll: the records, the requests sent, the failures
// reported in the order they happen, and the memory passed between installer and agent.
#include "netif/interfaces.h"
#include "tests/win32/netif_support.h"

#include <gtest/gtest.h>
#include <ipifcons.h>
#include <snmp.h>

#include <string>
#include <vector>

namespace {

struct Enumeration {
    LONG count;
    std::vector<InterfaceRecord> records;
    std::vector<std::string> messages;
    long requests;
};

using Messages = std::vector<std::string>;
using Positions = std::vector<LONG>;

Messages reported_failures;

// Keeps the failures the enumeration reports, in their order, from its making on.
struct FailureRecorder {
    FailureRecorder() { reported_failures.clear(); }
    static void record(const char *text) { reported_failures.push_back(text); }
    Messages texts() const { return reported_failures; }
};

// Runs the set-up and the walk against `table`, then the clean-up. Without `recorded` the
// agent keeps neither its request count nor its log. Every name the agent was given must have
// come from the SNMP utility allocator.
Enumeration enumerate(const std::string &table, bool recorded = true)
{
    Enumeration result;
    InterfaceEnumeration enumeration;
    use_agent_table(table);
    if (!recorded) {
        SetEnvironmentVariableA("KAVLIN_AGENT_COUNT", NULL);
        SetEnvironmentVariableA("KAVLIN_AGENT_LOG", NULL);
    }
    FailureRecorder failures;
    interface_agent_open(&enumeration, FailureRecorder::record);
    interface_table_walk(&enumeration);
    result.messages = failures.texts();
    result.count = enumeration.interface_count;
    if (enumeration.interfaces)
        result.records.assign(enumeration.interfaces,
                              enumeration.interfaces + enumeration.interface_count);
    result.requests = agent_requests();
    interface_agent_close(&enumeration);
    EXPECT_EQ(agent_faults(), Messages());
    return result;
}

// Positions of the records whose index, description and type all came from expected answers.
Positions named(const Enumeration &result)
{
    Positions positions;
    for (size_t i = 0; i < result.records.size(); i++) {
        if ((result.records[i].answered & ANSWERED_LINE_FIELDS) == ANSWERED_LINE_FIELDS)
            positions.push_back((LONG)i);
    }
    return positions;
}

const unsigned char ALL_FIELDS = ANSWERED_LINE_FIELDS | ANSWERED_IN_OCTETS | ANSWERED_OUT_OCTETS |
                                 ANSWERED_INSTANCE;

// Names as the agent's log writes them.
using Log = std::vector<std::string>;
const std::string COUNT_REQUEST = "1.3.6.1.2.1.2.0.1.1";
const std::string IF_NUMBER_INSTANCE = "1.3.6.1.2.1.2.1.0";
const std::string IP_FORWARDING = "1.3.6.1.2.1.4.1";

std::string column_name(int column)
{
    return "1.3.6.1.2.1.2.2.1." + std::to_string(column);
}

std::string cell_name(int column, unsigned long instance)
{
    return column_name(column) + "." + std::to_string(instance);
}

TEST(Enumeration, RowsGiveRecordsInRowOrderWithOneRequestPerCell)
{
    for (int rows = 0; rows <= 4; rows++) {
        SCOPED_TRACE("rows: " + std::to_string(rows));
        std::string table;
        for (int i = 0; i < rows; i++)
            table += agent_row(10 + i * 7, "Adapter " + std::to_string(i), i == 1 ? 24 : 6,
                               1000u * i + 1, 4000000000u - i);
        Enumeration result = enumerate(table);
        EXPECT_EQ(result.messages, Messages());
        ASSERT_EQ(result.count, rows);
        // The count request, then 1 + 16 per row for the walk.
        EXPECT_EQ(result.requests, 2 + 16 * rows);
        for (int i = 0; i < rows; i++) {
            const InterfaceRecord &record = result.records[i];
            EXPECT_EQ(record.answered, ALL_FIELDS);
            EXPECT_EQ(record.instance, 10u + i * 7);
            EXPECT_EQ(record.index, 10 + i * 7);
            EXPECT_STREQ(record.description, ("Adapter " + std::to_string(i)).c_str());
            EXPECT_EQ(record.type, i == 1 ? 24 : 6);
            EXPECT_EQ(record.in_octets, 1000u * i + 1);
            EXPECT_EQ(record.out_octets, 4000000000u - i);
        }
    }
}

TEST(Enumeration, ACorrectAgentSeesTheCountRequestThenTheWalkColumnByColumn)
{
    // The agent's log of two rows, request by request: the count request, the walk's first
    // request (ifIndex, no instance), then each request named by the previous answer, which runs
    // ifIndex.1, ifIndex.2, ifDescr.1, ifDescr.2 ... ifOutOctets.2 and ends at ifOutUcastPkts.1.
    for (unsigned long second : {2ul, 9ul}) {
        const unsigned long indexes[] = {1, second};
        SCOPED_TRACE("ifIndex 1 and " + std::to_string(second));
        Enumeration result = enumerate(agent_row(indexes[0], "First", 6) +
                                       agent_row(indexes[1], "Second", 6));
        Log expected = {COUNT_REQUEST + " " + IF_NUMBER_INSTANCE};
        std::string asked = column_name(1);
        for (int column = 1; column <= 16; column++) {
            for (unsigned long index : indexes) {
                expected.push_back(asked + " " + cell_name(column, index));
                asked = cell_name(column, index);
            }
        }
        expected.push_back(asked + " " + cell_name(17, indexes[0]));
        EXPECT_EQ(agent_log(), expected);
        EXPECT_EQ(result.messages, Messages());
        ASSERT_EQ(result.records.size(), 2u);
        EXPECT_STREQ(result.records[0].description, "First");
        EXPECT_STREQ(result.records[1].description, "Second");
        EXPECT_EQ(result.records[1].index, second);
    }
}

TEST(Enumeration, NumbersAreCutToTheirFieldsWidth)
{
    // ifIndex 65537 and ifType 280 (24 in the low byte) keep their low 16 and 8 bits.
    Enumeration result = enumerate(agent_row(3, "A", 6) + agent_row(65537, "B", 280) +
                                   agent_row(4294967295u, "C", 262));
    ASSERT_EQ(result.count, 3);
    EXPECT_EQ(result.records[0].index, 3);
    EXPECT_EQ(result.records[1].index, 1);
    EXPECT_EQ(result.records[1].instance, 65537u);
    EXPECT_EQ(result.records[1].type, IF_TYPE_SOFTWARE_LOOPBACK);
    EXPECT_EQ(result.records[2].index, 65535);
    EXPECT_EQ(result.records[2].type, 6);
    EXPECT_EQ(named(result), Positions({0, 1, 2}));
    EXPECT_EQ(result.messages, Messages());
}

TEST(Enumeration, DescriptionsAreCutAtNulLengthAnd255Characters)
{
    std::string exact(255, 'e');
    std::string longer(300, 'l');
    Enumeration result = enumerate(agent_row(1, exact, 6) + agent_row(2, longer, 6) +
                                   agent_row(3, "no terminator", 6, 0, 0, "nonul") +
                                   agent_row(4, "not a string", 6, 0, 0, "integer") +
                                   agent_row(5, "", 6));
    ASSERT_EQ(result.count, 5);
    EXPECT_EQ(std::string(result.records[0].description), exact);
    EXPECT_EQ(std::string(result.records[1].description), longer.substr(0, 255));
    // Served without its NUL and followed by other bytes: the text ends at its length.
    EXPECT_STREQ(result.records[2].description, "no terminator");
    // An ifDescr that is no octet string gives no description, and the record is not named.
    EXPECT_STREQ(result.records[3].description, "");
    EXPECT_FALSE(result.records[3].answered & ANSWERED_DESCRIPTION);
    EXPECT_STREQ(result.records[4].description, "");
    EXPECT_TRUE(result.records[4].answered & ANSWERED_DESCRIPTION);
    EXPECT_EQ(named(result), Positions({0, 1, 2, 4}));
    EXPECT_EQ(result.messages, Messages());
}

TEST(Enumeration, FailuresAreShownInOrderAndTheSequenceGoesOn)
{
    struct Case {
        const char *name;
        std::string table;
        Messages messages;
        LONG count;
        long requests;
        Positions named;    // records whose index, description and type all arrived
    };
    const std::string two_rows = agent_row(1, "One", 6) + agent_row(2, "Two", 6);
    const Case cases[] = {
        // Init fails, and the agent is queried all the same.
        {"init fails", "!fail init\n" + two_rows, {AGENT_INIT_FAILED}, 2, 34, {0, 1}},
        // Refused without touching the binding: the zeroed value is no INTEGER either.
        {"count refused", "!fail count\n" + two_rows, {RECEIVE_FAILED, WRONG_TYPE}, 0, 2, {}},
        {"count of another type", "!count-type gauge\n" + two_rows, {WRONG_TYPE}, 0, 2, {}},
        // No first row: the walk stops at once, silently.
        {"first answer missing", "!walk-null\n" + two_rows, {}, 2, 2, {}},
        // The refused first request leaves the walk's own name: row 0 gets nothing, and the
        // walk goes on from the column's start, so row 1 takes the table's first row.
        {"walk's first request refused", "!refuse 2\n" + two_rows, {RECEIVE_FAILED}, 2, 34, {1}},
        // Request 5 would have answered ifDescr.2, request 20 ifInOctets.1: each costs only its
        // own field.
        {"two walk requests refused", "!refuse 5\n!refuse 20\n" + two_rows,
         {RECEIVE_FAILED, RECEIVE_FAILED}, 2, 34, {0}},
        // More rows announced than served: the extra record stays unfilled, the others are
        // whole, and no column runs past the table.
        {"fewer rows than announced", "!ifnumber 3\n" + two_rows, {}, 3, 50, {0, 1}},
        // Fewer rows announced than served: every column's first answer is the previous
        // column's next row, and one more request from the column's own name gets the one
        // expected, 15 in all.
        {"more rows than announced", "!ifnumber 1\n" + two_rows, {}, 1, 18 + 15, {0}},
        {"negative count", "!ifnumber -5\n" + two_rows, {}, 0, 2, {}},
        {"count named ifNumber, no instance", "!ifnumber-without-instance\n" + two_rows, {}, 2,
         34, {0, 1}},
        {"count named ifNumber, no instance, of another type",
         "!ifnumber-without-instance\n!count-type gauge\n" + two_rows, {WRONG_TYPE}, 0, 2, {}},
        // Wine's agent: the count request and two more along the ifIndex column, then the walk
        // and one more request at the start of each column after the first.
        {"Wine's agent", "!wine\n" + two_rows, {}, 2, 3 + 33 + 15, {0, 1}},
        // Counting along the ifIndex column stops at a refusal, with the rows seen so far.
        {"Wine's agent refusing to count on", "!wine\n!refuse 2\n" + two_rows, {RECEIVE_FAILED},
         1, 2 + 17 + 15, {0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Enumeration result = enumerate(c.table);
        EXPECT_EQ(result.messages, c.messages);
        EXPECT_EQ(result.count, c.count);
        EXPECT_EQ(result.requests, c.requests);
        EXPECT_EQ(named(result), c.named);
    }
}

TEST(Enumeration, RecordsTakeOnlyTheirOwnRowsAnswers)
{
    Enumeration unfilled = enumerate("!walk-null\n" + agent_row(1, "One", 6) + agent_row(2, "Two", 6));
    ASSERT_EQ(unfilled.records.size(), 2u);
    for (const InterfaceRecord &record : unfilled.records) {
        EXPECT_EQ(record.answered, 0);
        EXPECT_STREQ(record.description, "");
    }

    // Three rows announced, two served: the records hold their own rows, the third nothing.
    Enumeration fewer = enumerate("!ifnumber 3\n" + agent_row(1, "One", 6, 10, 11) +
                                  agent_row(2, "Two", 24, 20, 21));
    ASSERT_EQ(fewer.records.size(), 3u);
    EXPECT_STREQ(fewer.records[0].description, "One");
    EXPECT_EQ(fewer.records[0].out_octets, 11u);
    EXPECT_STREQ(fewer.records[1].description, "Two");
    EXPECT_EQ(fewer.records[1].type, 24);
    EXPECT_EQ(fewer.records[1].in_octets, 20u);
    EXPECT_EQ(fewer.records[2].answered, 0);
    EXPECT_STREQ(fewer.records[2].description, "");

    // A refused request leaves its field empty and the rest of the row whole.
    Enumeration refused = enumerate("!refuse 20\n" + agent_row(1, "One", 6, 10, 11) +
                                    agent_row(2, "Two", 6, 20, 21));
    EXPECT_EQ(refused.records[0].answered, ALL_FIELDS & ~ANSWERED_IN_OCTETS);
    EXPECT_EQ(refused.records[0].in_octets, 0u);
    EXPECT_EQ(refused.records[0].out_octets, 11u);
    EXPECT_EQ(refused.records[1].answered, ALL_FIELDS);
    EXPECT_EQ(refused.records[1].in_octets, 20u);
}

TEST(Enumeration, WineAgentsAnswersGiveEveryRecordWithItsIfIndex)
{
    // Rows in the system's order, not sorted, with ifIndex values unlike their positions: Wine's
    // agent names them 1, 2, 3.
    const unsigned long indexes[] = {7, 3, 12};
    Enumeration result = enumerate("!wine\n" + agent_row(7, "Loopback", 24, 100, 200) +
                                   agent_row(3, "Ethernet", 6, 300, 400) +
                                   agent_row(12, "Wireless", 71, 500, 600));
    EXPECT_EQ(result.messages, Messages());
    ASSERT_EQ(result.count, 3);
    const char *descriptions[] = {"Loopback", "Ethernet", "Wireless"};
    const int types[] = {24, 6, 71};
    for (int i = 0; i < 3; i++) {
        SCOPED_TRACE(i);
        const InterfaceRecord &record = result.records[i];
        EXPECT_EQ(record.answered, ALL_FIELDS);
        EXPECT_EQ(record.instance, (UINT)i + 1);
        EXPECT_EQ(record.index, indexes[i]);
        EXPECT_STREQ(record.description, descriptions[i]);
        EXPECT_EQ(record.type, types[i]);
        EXPECT_EQ(record.in_octets, 100u + 200 * i);
        EXPECT_EQ(record.out_octets, 200u + 200 * i);
    }

    // The count request answered by the first row's ifIndex, and the rows counted from there
    // until the answer leaves the column for ipForwarding. Then the walk: each column starts
    // with a request named by the column itself (the walk's first request, and after that the
    // one more request that follows ipForwarding after the previous column's last row).
    // Loopback has no physical address: Wine's agent does not serve that cell, and answers with
    // ipForwarding instead.
    auto served = [&](int column, int row) { return column != 6 || types[row - 1] != 24; };
    auto after_cell = [&](int column, int row) {
        return row < 3 && served(column, row + 1) ? cell_name(column, row + 1) : IP_FORWARDING;
    };
    auto after_column = [&](int column) {
        return served(column, 1) ? cell_name(column, 1) : IP_FORWARDING;
    };
    Log expected = {COUNT_REQUEST + " " + cell_name(1, 1)};
    for (int row = 1; row <= 3; row++)
        expected.push_back(cell_name(1, row) + " " + after_cell(1, row));
    for (int column = 1; column <= 16; column++) {
        expected.push_back(column_name(column) + " " + after_column(column));
        for (int row = 1; row <= 3; row++)
            expected.push_back(cell_name(column, row) + " " + after_cell(column, row));
    }
    EXPECT_EQ(agent_log(), expected);
    EXPECT_EQ(result.requests, (long)expected.size());
}

TEST(Enumeration, CountBeyondTheLimitIsCut)
{
    // A million requests: not counted nor logged, which would take long.
    Enumeration result = enumerate("!ifnumber 100000\n" + agent_row(1, "One", 6), false);
    EXPECT_EQ(result.count, INTERFACE_COUNT_LIMIT);
    ASSERT_EQ(result.records.size(), (size_t)INTERFACE_COUNT_LIMIT);
    EXPECT_EQ(named(result), Positions({0}));
    EXPECT_STREQ(result.records[0].description, "One");
    EXPECT_EQ(result.records[INTERFACE_COUNT_LIMIT - 1].answered, 0);
    EXPECT_STREQ(result.records[INTERFACE_COUNT_LIMIT - 1].description, "");
    // The walk goes on from the one row each column has, and never past the table.
    EXPECT_EQ(result.messages, Messages());
}

TEST(Enumeration, AnswersAreReleased)
{
    std::string table;
    for (int i = 0; i < 40; i++)
        table += agent_row(i + 1, "Adapter with a description of some length " + std::to_string(i), 6);
    // The first run loads what stays loaded; the later ones must leave the heap as they found it.
    enumerate(table, false);
    size_t before = process_heap_in_use();
    for (int run = 0; run < 3; run++)
        enumerate(table, false);
    size_t after = process_heap_in_use();
    // Each run takes 641 answers: unreleased names alone would keep some 30 KB a run.
    EXPECT_LT(after, before + 4096) << "before " << before << ", after " << after;
}

TEST(Enumeration, TheAgentTellsNamesNotFromTheAllocator)
{
    // The check the test agent makes of every name it is given, shown to work.
    HMODULE utility = LoadLibraryA("snmpapi.dll");
    HMODULE library = LoadLibraryA(system_file_path("inetmib1.dll").c_str());
    ASSERT_TRUE(utility && library);
    auto copy = reinterpret_cast<INT(WINAPI *)(AsnObjectIdentifier *, AsnObjectIdentifier *)>(
        GetProcAddress(utility, "SnmpUtilOidCpy"));
    auto release = reinterpret_cast<VOID(WINAPI *)(SnmpVarBind *)>(
        GetProcAddress(utility, "SnmpUtilVarBindFree"));
    auto init = reinterpret_cast<PFNSNMPEXTENSIONINIT>(GetProcAddress(library, "SnmpExtensionInit"));
    auto query = reinterpret_cast<PFNSNMPEXTENSIONQUERY>(GetProcAddress(library, "SnmpExtensionQuery"));
    ASSERT_TRUE(copy && release && init && query);

    use_agent_table(agent_row(1, "One", 6));
    HANDLE trap = NULL;
    AsnObjectIdentifier view = {};
    ASSERT_TRUE(init(GetTickCount(), &trap, &view));
    static const UINT request[] = {1, 3, 6, 1, 2, 1, 2, 0, 1, 1};
    AsnObjectIdentifier constant = {10, const_cast<UINT *>(request)};
    AsnInteger32 status = 0, index = 0;

    SnmpVarBind binding = {};
    SnmpVarBindList list = {&binding, 1};
    ASSERT_TRUE(copy(&binding.name, &constant));
    EXPECT_TRUE(query(SNMP_PDU_GETNEXT, &list, &status, &index));
    EXPECT_EQ(agent_faults(), Messages());
    release(&binding);

    binding = SnmpVarBind();
    binding.name = constant;
    EXPECT_TRUE(query(SNMP_PDU_GETNEXT, &list, &status, &index));
    EXPECT_EQ(agent_faults(), Messages({"request 2: a name not allocated by the SNMP utility "
                                        "allocator (1.3.6.1.2.1.2.0.1.1)"}));
    release(&binding);     // the agent's answer
    FreeLibrary(library);
    FreeLibrary(utility);
}

TEST(Enumeration, MissingLibraryOrEntryPointGivesAnEmptyListWithoutAgentCalls)
{
    {
        char variant[MAX_PATH];
        DWORD length = GetEnvironmentVariableA("KAVLIN_AGENT_NOINIT", variant, sizeof variant);
        ASSERT_TRUE(length > 0 && length < sizeof variant) << "KAVLIN_AGENT_NOINIT not set";
        SystemFileSwap without_init("inetmib1.dll", variant);
        ASSERT_TRUE(without_init.ok()) << GetLastError();
        Enumeration result = enumerate(agent_row(1, "One", 6));
        EXPECT_EQ(result.messages, Messages({ENTRY_POINTS_FAILED}));
        EXPECT_EQ(result.count, 0);
        EXPECT_EQ(result.requests, 0);
    }
    // Last: Wine keeps the agent's file open after the agent failed to load for want of the
    // utility library, so that it cannot be replaced any more.
    for (const char *name : {"inetmib1.dll", "snmpapi.dll"}) {
        SCOPED_TRACE(name);
        SystemFileSwap missing(name, "");
        ASSERT_TRUE(missing.ok()) << GetLastError();
        Enumeration result = enumerate(agent_row(1, "One", 6));
        EXPECT_EQ(result.messages, Messages({LIBRARY_FAILED, ENTRY_POINTS_FAILED}));
        EXPECT_EQ(result.count, 0);
        EXPECT_EQ(result.requests, 0);
    }
}

TEST(Enumeration, CleanUpReleasesEverythingAndUnloadsTheAgent)
{
    InterfaceEnumeration enumeration;
    use_agent_table(agent_row(1, "One", 6));
    FailureRecorder failures;
    interface_agent_open(&enumeration, FailureRecorder::record);
    interface_table_walk(&enumeration);
    ASSERT_NE(GetModuleHandleA("inetmib1.dll"), (HMODULE)NULL);
    EXPECT_NE(enumeration.utility_library, (HMODULE)NULL);
    EXPECT_NE(enumeration.sockets_library, (HMODULE)NULL);
    interface_agent_close(&enumeration);
    EXPECT_EQ(failures.texts(), Messages());
    EXPECT_EQ(GetModuleHandleA("inetmib1.dll"), (HMODULE)NULL);
    EXPECT_EQ(enumeration.interfaces, (InterfaceRecord *)NULL);
    EXPECT_EQ(enumeration.agent_mutex, (HANDLE)NULL);
    EXPECT_EQ(enumeration.agent_library, (HMODULE)NULL);
    EXPECT_EQ(enumeration.utility_library, (HMODULE)NULL);
    EXPECT_EQ(enumeration.sockets_library, (HMODULE)NULL);
    EXPECT_FALSE(enumeration.sockets_started);
    EXPECT_EQ(enumeration.interface_count, 1);
}

TEST(Enumeration, CleanUpAfterEverythingFailedShowsNothing)
{
    InterfaceEnumeration enumeration = {};
    enumeration.interfaces = (InterfaceRecord *)malloc(0);
    enumeration.report_failure = FailureRecorder::record;
    ASSERT_NE(enumeration.interfaces, (InterfaceRecord *)NULL);
    FailureRecorder failures;
    interface_agent_close(&enumeration);
    EXPECT_EQ(failures.texts(), Messages());
    EXPECT_EQ(enumeration.interfaces, (InterfaceRecord *)NULL);
}

} // namespace
