// The interface list read through the SNMP extension agent, against the project's test agent
// installed as the system folder's inetmib1.dll: the records, the requests sent, and the
// failure messages in the order the user sees them.
#include "netif/interfaces.h"
#include "tests/win32/netif_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Enumeration {
    LONG count;
    std::vector<InterfaceRecord> records;
    std::vector<std::string> messages;
    long requests;
};

// Runs the set-up and the walk against `table`, then the clean-up. Without `recorded` the
// agent keeps neither its request count nor its log.
Enumeration enumerate(const std::string &table, bool recorded = true)
{
    Enumeration result;
    InterfaceAgent agent;
    use_agent_table(table);
    if (!recorded) {
        SetEnvironmentVariableA("KAVLIN_AGENT_COUNT", NULL);
        SetEnvironmentVariableA("KAVLIN_AGENT_LOG", NULL);
    }
    BoxWatcher watcher;
    interface_agent_open(&agent);
    interface_table_walk(&agent);
    result.messages = watcher.texts();
    result.count = agent.interface_count;
    if (agent.interfaces)
        result.records.assign(agent.interfaces, agent.interfaces + agent.interface_count);
    result.requests = agent_requests();
    interface_agent_close(&agent);
    return result;
}

std::string row(unsigned long index, const std::string &description, unsigned long type,
                unsigned long in_octets = 0, unsigned long out_octets = 0,
                const char *kind = NULL)
{
    return agent_row(index, description, type, in_octets, out_octets, kind);
}

using Messages = std::vector<std::string>;

TEST(Enumeration, RowsGiveRecordsInRowOrderWithOneRequestPerCell)
{
    for (int rows = 0; rows <= 4; rows++) {
        SCOPED_TRACE("rows: " + std::to_string(rows));
        std::string table;
        for (int i = 0; i < rows; i++)
            table += row(10 + i * 7, "Adapter " + std::to_string(i), i == 1 ? 24 : 6,
                         1000u * i + 1, 4000000000u - i);
        Enumeration result = enumerate(table);
        EXPECT_EQ(result.messages, Messages());
        ASSERT_EQ(result.count, rows);
        // The count request, then 1 + 16 per row for the walk.
        EXPECT_EQ(result.requests, 2 + 16 * rows);
        for (int i = 0; i < rows; i++) {
            const InterfaceRecord &record = result.records[i];
            EXPECT_TRUE(record.filled);
            EXPECT_EQ(record.index, 10 + i * 7);
            EXPECT_STREQ(record.description, ("Adapter " + std::to_string(i)).c_str());
            EXPECT_EQ(record.type, i == 1 ? 24 : 6);
            EXPECT_EQ(record.in_octets, 1000u * i + 1);
            EXPECT_EQ(record.out_octets, 4000000000u - i);
        }
    }
}

TEST(Enumeration, TwoRowsAreWalkedColumnByColumnFromTheAgentsLastAnswer)
{
    Enumeration result = enumerate(row(1, "First", 6) + row(2, "Second", 6));
    std::vector<std::string> log = agent_log();
    ASSERT_EQ(log.size(), 34u);
    EXPECT_EQ(log[0], "1.3.6.1.2.1.2.0.1.1 1.3.6.1.2.1.2.1.0");
    EXPECT_EQ(log[1], "1.3.6.1.2.1.2.2.1.1 1.3.6.1.2.1.2.2.1.1.1");
    // Every later request asks for the name of the previous answer, and the answers run
    // ifIndex.1, ifIndex.2, ifDescr.1, ifDescr.2 ... ifOutOctets.2, ifOutUcastPkts.1.
    for (size_t i = 1; i < log.size(); i++) {
        int column = 1 + (int)(i - 1) / 2;
        int instance = 1 + (int)(i - 1) % 2;
        std::string answered = "1.3.6.1.2.1.2.2.1." + std::to_string(column) + "." +
                               std::to_string(instance);
        EXPECT_EQ(log[i].substr(log[i].find(' ') + 1), answered) << "request " << i;
        if (i > 1) {
            std::string previous = log[i - 1].substr(log[i - 1].find(' ') + 1);
            EXPECT_EQ(log[i].substr(0, log[i].find(' ')), previous) << "request " << i;
        }
    }
    EXPECT_EQ(log.back(), "1.3.6.1.2.1.2.2.1.16.2 1.3.6.1.2.1.2.2.1.17.1");
    ASSERT_EQ(result.records.size(), 2u);
    EXPECT_STREQ(result.records[0].description, "First");
    EXPECT_STREQ(result.records[1].description, "Second");
}

TEST(Enumeration, NumbersAreCutToTheirFieldsWidth)
{
    // ifIndex 65537 and ifType 280 (24 in the low byte) keep their low 16 and 8 bits.
    Enumeration result = enumerate(row(3, "A", 6) + row(65537, "B", 280) + row(4294967295u, "C", 262));
    ASSERT_EQ(result.count, 3);
    EXPECT_EQ(result.records[0].index, 3);
    EXPECT_EQ(result.records[1].index, 1);
    EXPECT_EQ(result.records[1].type, INTERFACE_LOOPBACK_TYPE);
    EXPECT_EQ(result.records[2].index, 65535);
    EXPECT_EQ(result.records[2].type, 6);
    EXPECT_EQ(result.messages, Messages());
}

TEST(Enumeration, DescriptionsAreCutAtNulLengthAnd255Characters)
{
    std::string exact(255, 'e');
    std::string longer(300, 'l');
    Enumeration result = enumerate(row(1, exact, 6) + row(2, longer, 6) +
                                   row(3, "no terminator", 6, 0, 0, "nonul") +
                                   row(4, "not a string", 6, 0, 0, "integer") +
                                   row(5, "", 6));
    ASSERT_EQ(result.count, 5);
    EXPECT_EQ(std::string(result.records[0].description), exact);
    EXPECT_EQ(std::string(result.records[1].description), longer.substr(0, 255));
    // Served without its NUL and followed by other bytes: the text ends at its length.
    EXPECT_STREQ(result.records[2].description, "no terminator");
    EXPECT_STREQ(result.records[3].description, "");
    EXPECT_STREQ(result.records[4].description, "");
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
    };
    const std::string two_rows = row(1, "One", 6) + row(2, "Two", 6);
    const Case cases[] = {
        // Init fails, and the agent is queried all the same.
        {"init fails", "!fail init\n" + two_rows, {AGENT_INIT_FAILED}, 2, 34},
        // Refused without touching the binding: the zeroed value is no INTEGER either.
        {"count refused", "!fail count\n" + two_rows, {RECEIVE_FAILED, WRONG_TYPE}, 0, 2},
        {"count of another type", "!count-type gauge\n" + two_rows, {WRONG_TYPE}, 0, 2},
        // No first row: the walk stops at once, silently.
        {"first answer missing", "!walk-null\n" + two_rows, {}, 2, 2},
        {"walk's first request refused", "!refuse 2\n" + two_rows, {RECEIVE_FAILED}, 2, 34},
        {"two walk requests refused", "!refuse 5\n!refuse 20\n" + two_rows,
         {RECEIVE_FAILED, RECEIVE_FAILED}, 2, 34},
        // More rows announced than served: the columns slide, and the last two end past the
        // table, once per column.
        {"fewer rows than announced", "!ifnumber 3\n" + two_rows,
         {RECEIVE_FAILED, RECEIVE_FAILED}, 3, 50},
        {"more rows than announced", "!ifnumber 1\n" + two_rows, {}, 1, 18},
        {"negative count", "!ifnumber -5\n" + two_rows, {}, 0, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Enumeration result = enumerate(c.table);
        EXPECT_EQ(result.messages, c.messages);
        EXPECT_EQ(result.count, c.count);
        EXPECT_EQ(result.requests, c.requests);
    }
}

TEST(Enumeration, UnfilledAndSlidRecordsHoldDefinedText)
{
    Enumeration unfilled = enumerate("!walk-null\n" + row(1, "One", 6) + row(2, "Two", 6));
    ASSERT_EQ(unfilled.records.size(), 2u);
    for (const InterfaceRecord &record : unfilled.records) {
        EXPECT_FALSE(record.filled);
        EXPECT_STREQ(record.description, "");
    }

    // Announcing three rows of two: the descriptions come from ifDescr.2, ifType.1, ifType.2.
    Enumeration slid = enumerate("!ifnumber 3\n" + row(1, "One", 6) + row(2, "Two", 6));
    ASSERT_EQ(slid.records.size(), 3u);
    EXPECT_STREQ(slid.records[0].description, "Two");
    EXPECT_STREQ(slid.records[1].description, "");
    EXPECT_STREQ(slid.records[2].description, "");
}

TEST(Enumeration, CountBeyondTheLimitIsCut)
{
    // A million requests: not counted nor logged, which would take long.
    Enumeration result = enumerate("!ifnumber 100000\n" + row(1, "One", 6), false);
    EXPECT_EQ(result.count, INTERFACE_COUNT_LIMIT);
    ASSERT_EQ(result.records.size(), (size_t)INTERFACE_COUNT_LIMIT);
    EXPECT_EQ(result.records[0].index, 1);
    EXPECT_STREQ(result.records[INTERFACE_COUNT_LIMIT - 1].description, "");
    // Every column ends past the table.
    EXPECT_EQ(result.messages, Messages(16, RECEIVE_FAILED));
}

TEST(Enumeration, MissingAgentOrEntryPointGivesAnEmptyListWithoutAgentCalls)
{
    {
        AgentSwap missing("");
        ASSERT_TRUE(missing.ok());
        Enumeration result = enumerate(row(1, "One", 6));
        EXPECT_EQ(result.messages, Messages({LIBRARY_FAILED, ENTRY_POINTS_FAILED}));
        EXPECT_EQ(result.count, 0);
    }
    {
        char variant[MAX_PATH];
        DWORD length = GetEnvironmentVariableA("KAVLIN_AGENT_NOINIT", variant, sizeof variant);
        ASSERT_TRUE(length > 0 && length < sizeof variant) << "KAVLIN_AGENT_NOINIT not set";
        AgentSwap without_init(variant);
        ASSERT_TRUE(without_init.ok());
        Enumeration result = enumerate(row(1, "One", 6));
        EXPECT_EQ(result.messages, Messages({ENTRY_POINTS_FAILED}));
        EXPECT_EQ(result.count, 0);
        EXPECT_EQ(result.requests, 0);
    }
}

TEST(Enumeration, CleanUpReleasesEverythingAndUnloadsTheAgent)
{
    InterfaceAgent agent;
    use_agent_table(row(1, "One", 6));
    BoxWatcher watcher;
    interface_agent_open(&agent);
    interface_table_walk(&agent);
    ASSERT_NE(GetModuleHandleA("inetmib1.dll"), (HMODULE)NULL);
    interface_agent_close(&agent);
    EXPECT_EQ(watcher.texts(), Messages());
    EXPECT_EQ(GetModuleHandleA("inetmib1.dll"), (HMODULE)NULL);
    EXPECT_EQ(agent.interfaces, (InterfaceRecord *)NULL);
    EXPECT_EQ(agent.agent_mutex, (HANDLE)NULL);
    EXPECT_EQ(agent.agent_library, (HMODULE)NULL);
    EXPECT_FALSE(agent.sockets_started);
    EXPECT_EQ(agent.interface_count, 1);
}

TEST(Enumeration, CleanUpAfterEverythingFailedShowsNothing)
{
    InterfaceAgent agent = {};
    agent.interfaces = (InterfaceRecord *)malloc(0);
    ASSERT_NE(agent.interfaces, (InterfaceRecord *)NULL);
    BoxWatcher watcher;
    interface_agent_close(&agent);
    EXPECT_EQ(watcher.texts(), Messages());
    EXPECT_EQ(agent.interfaces, (InterfaceRecord *)NULL);
}

} // namespace
