// The interface setup dialog, opened as the main dialog opens it (texts loaded in the user's
// language, the reminder through the installer's message box) and driven by the robot from a
// second thread while the dialog's modal loop runs on this one. The test agent serves the
// interfaces. KAVLIN_TEST_LANGUAGE (cs, sk or en) names the language the locale selects.
#include "netif/setup_dialog.h"
#include "app/state.h"
#include "app/strings.h"
#include "app/window_position.h"
#include "res/resource.h"
#include "tests/win32/netif_support.h"
#include "tests/win32/ui_texts.h"
#include "tools/robot/robot.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// What the robot does with the open dialog before it presses OK.
struct Script {
    bool failure_box_first = false;     // a failure message comes before the dialog
    int select_line = -1;               // line to select; -1 leaves the selection alone
    bool remind = false;                // press Esc, then the close box
};

// What the robot saw, and what the dialog left behind.
struct Seen {
    bool found = false;
    std::vector<SeenBox> failure_boxes;
    std::wstring title, request, button;
    std::vector<std::wstring> lines;
    LRESULT selected = -2;
    std::vector<SeenBox> reminders;
    bool open_after_reminders = false;
    LRESULT selected_after_reminders = -2;
    bool closed = false;                // the dialog was gone once run_setup_dialog returned
    SetupDialogRequest choice = {};     // the request, with the choice the dialog left
};

struct Run {
    Script script;
    Seen seen;
};

SeenBox find_box(DWORD timeout_ms)
{
    HWND box = robot_find(NULL, ROBOT_MESSAGE_BOX, timeout_ms);
    return box ? take_box(box) : SeenBox();
}

DWORD WINAPI drive(void *parameter)
{
    Run *run = static_cast<Run *>(parameter);
    Seen &seen = run->seen;

    if (run->script.failure_box_first)
        seen.failure_boxes.push_back(find_box(20000));
    HWND dialog = robot_find(NULL, ROBOT_DIALOG, 20000);
    if (!dialog)
        return 0;
    seen.found = true;
    seen.title = window_text(dialog);
    seen.request = window_text(GetDlgItem(dialog, IDC_SETUP_TEXT));
    seen.button = window_text(GetDlgItem(dialog, IDC_SETUP_OK));
    HWND list = GetDlgItem(dialog, IDC_INTERFACES);
    LRESULT lines = SendMessageW(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < lines; i++) {
        wchar_t line[300] = L"";
        if (SendMessageW(list, CB_GETLBTEXTLEN, i, 0) < 300)
            SendMessageW(list, CB_GETLBTEXT, i, (LPARAM)line);
        seen.lines.push_back(line);
    }
    seen.selected = SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (run->script.select_line >= 0)
        SendMessageW(list, CB_SETCURSEL, run->script.select_line, 0);
    if (run->script.remind) {
        // Esc reaches the dialog through its focused control, the OK button; the close box as
        // the system command a click on it sends.
        PostMessageW(GetDlgItem(dialog, IDC_SETUP_OK), WM_KEYDOWN, VK_ESCAPE, 0);
        seen.reminders.push_back(find_box(10000));
        PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        seen.reminders.push_back(find_box(10000));
        seen.open_after_reminders = IsWindow(dialog) && IsWindowVisible(dialog);
        seen.selected_after_reminders = SendMessageW(list, CB_GETCURSEL, 0, 0);
    }
    robot_click(dialog, IDC_SETUP_OK);
    return 0;
}

void remind_as_installer()
{
    message_box(NULL, load_string(IDS_SETUP_REMINDER), MB_OK | MB_ICONWARNING);
}

// Opens the setup dialog as the main dialog does, with the test agent serving `table`.
Seen open_dialog(const std::string &table, const Script &script = Script())
{
    Run run;
    run.script = script;
    use_agent_table(table);
    installer.module_instance = GetModuleHandleA(NULL);
    std::string title = load_string(IDS_SETUP_TITLE);
    std::string request_text = load_string(IDS_SETUP_REQUEST);
    SetupDialogRequest &request = run.seen.choice;
    request.title = title.c_str();
    request.request = request_text.c_str();
    request.remind = remind_as_installer;
    request.place = center_window;
    request.chosen = true;                  // the dialog must say so itself
    request.chosen_interface = 12345;
    request.chosen_index = 12345;
    HANDLE robot = CreateThread(NULL, 0, drive, &run, 0, NULL);
    run_setup_dialog(GetModuleHandleA(NULL), &request);
    run.seen.closed = robot_find(NULL, ROBOT_DIALOG, 0) == NULL;
    WaitForSingleObject(robot, 30000);
    CloseHandle(robot);
    EXPECT_EQ(agent_faults(), std::vector<std::string>());
    return run.seen;
}

std::string row(unsigned long index, const std::string &description, unsigned long type)
{
    return agent_row(index, description, type);
}

using Lines = std::vector<std::wstring>;

TEST(SetupDialog, TextsFollowTheLanguageAndTheButtonReadsOK)
{
    Seen seen = open_dialog(row(1, "Ethernet", 6));
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.title, ui_wide(IDS_SETUP_TITLE));
    EXPECT_EQ(seen.request, ui_wide(IDS_SETUP_REQUEST));
    EXPECT_EQ(seen.button, L"OK");
    EXPECT_TRUE(seen.closed);
    EXPECT_TRUE(seen.choice.chosen);
}

TEST(SetupDialog, LoopbackFirstThenTwoAdapters)
{
    const std::string table = row(1, "Loopback", 24) + row(2, "Adapter A", 6) +
                              row(3, "Adapter B", 6);
    // OK without touching the list chooses the first adapter; its index is kept past the
    // release of the list.
    Seen seen = open_dialog(table);
    EXPECT_EQ(seen.lines, Lines({L"Adapter A", L"Adapter B"}));
    EXPECT_EQ(seen.selected, 0);
    EXPECT_TRUE(seen.choice.chosen);
    EXPECT_EQ(seen.choice.chosen_interface, 1);
    EXPECT_EQ(seen.choice.chosen_index, 2);

    Script second;
    second.select_line = 1;
    seen = open_dialog(table, second);
    EXPECT_EQ(seen.choice.chosen_interface, 2);
    EXPECT_EQ(seen.choice.chosen_index, 3);
}

TEST(SetupDialog, LinesLeadToTheirRecordsAroundLoopbacks)
{
    Script second;
    second.select_line = 1;
    Seen seen = open_dialog(row(1, "Ethernet", 6) + row(2, "Loopback", 24) +
                            row(3, "Dial-up", 23), second);
    EXPECT_EQ(seen.lines, Lines({L"Ethernet", L"Dial-up"}));
    EXPECT_EQ(seen.choice.chosen_interface, 2);
    EXPECT_EQ(seen.choice.chosen_index, 3);

    // Two loopbacks, one of them known by the low byte of its type (280).
    const std::string two_loopbacks = row(1, "Loop one", 24) + row(2, "Ethernet", 6) +
                                      row(3, "Loop two", 280) + row(4, "Dial-up", 23);
    for (int line = 0; line < 2; line++) {
        Script script;
        script.select_line = line;
        seen = open_dialog(two_loopbacks, script);
        EXPECT_EQ(seen.lines, Lines({L"Ethernet", L"Dial-up"}));
        EXPECT_EQ(seen.choice.chosen_interface, line == 0 ? 1 : 3);
        EXPECT_EQ(seen.choice.chosen_index, line == 0 ? 2 : 4);
    }
}

TEST(SetupDialog, OnlyLoopbacksGiveNoLineAndTheFirstRecord)
{
    Seen seen = open_dialog(row(5, "Loop one", 24) + row(6, "Loop two", 24));
    EXPECT_EQ(seen.lines, Lines());
    EXPECT_EQ(seen.selected, CB_ERR);
    EXPECT_TRUE(seen.closed);
    EXPECT_TRUE(seen.choice.chosen);
    EXPECT_EQ(seen.choice.chosen_interface, 0);
    EXPECT_EQ(seen.choice.chosen_index, 5);
}

TEST(SetupDialog, NoRecordLeavesNoChoice)
{
    // No rows at all, and rows the walk could not fill.
    const std::string tables[] = {"", "!walk-null\n" + row(1, "Ethernet", 6)};
    for (const std::string &table : tables) {
        SCOPED_TRACE(table);
        Seen seen = open_dialog(table);
        EXPECT_EQ(seen.lines, Lines());
        EXPECT_TRUE(seen.closed);
        EXPECT_FALSE(seen.choice.chosen);
        EXPECT_EQ(seen.choice.chosen_interface, -1);
    }
}

TEST(SetupDialog, WinesAgentListsEveryInterfaceAndTheChoiceKeepsItsIfIndex)
{
    // Wine's own agent numbers the rows by position (here 1, 2, 3 for ifIndex 7, 3 and 12),
    // answers the count request with the first ifIndex and leaves the table after every
    // column's last row: no message, and each line leads to its record and its ifIndex.
    const std::string table = "!wine\n" + row(7, "Ethernet", 6) + row(3, "Loopback", 24) +
                              row(12, "Wireless", 71);
    for (int line = 0; line < 2; line++) {
        Script script;
        script.select_line = line;
        Seen seen = open_dialog(table, script);
        EXPECT_EQ(seen.lines, Lines({L"Ethernet", L"Wireless"}));
        EXPECT_TRUE(seen.choice.chosen);
        EXPECT_EQ(seen.choice.chosen_interface, line == 0 ? 0 : 2);
        EXPECT_EQ(seen.choice.chosen_index, line == 0 ? 7 : 12);
    }
}

TEST(SetupDialog, OnlyWholeRecordsAreListed)
{
    // Four rows announced and three served; and a refused request 6, which would have answered
    // Ethernet's ifDescr (after the count, the walk's first, ifIndex.2, ifIndex.3, ifDescr.1):
    // no line is blank, and each leads to its record.
    const std::string rows = row(1, "Loopback", 24) + row(2, "Ethernet", 6) + row(3, "Wireless", 71);
    Script second;
    second.select_line = 1;
    Seen seen = open_dialog("!ifnumber 4\n" + rows, second);
    EXPECT_EQ(seen.lines, Lines({L"Ethernet", L"Wireless"}));
    EXPECT_EQ(seen.choice.chosen_interface, 2);
    EXPECT_EQ(seen.choice.chosen_index, 3);

    Script refused;
    refused.failure_box_first = true;
    seen = open_dialog("!refuse 6\n" + rows, refused);
    ASSERT_EQ(seen.failure_boxes.size(), 1u);
    EXPECT_EQ(seen.failure_boxes[0].ansi_text, RECEIVE_FAILED);
    EXPECT_EQ(seen.lines, Lines({L"Wireless"}));
    EXPECT_EQ(seen.choice.chosen_interface, 2);
    EXPECT_EQ(seen.choice.chosen_index, 3);
}

TEST(SetupDialog, EscAndTheCloseBoxRemindAndKeepTheDialogOpen)
{
    Script script;
    script.select_line = 1;
    script.remind = true;
    Seen seen = open_dialog(row(1, "Ethernet", 6) + row(2, "Wireless", 71), script);
    ASSERT_EQ(seen.reminders.size(), 2u);
    for (const SeenBox &box : seen.reminders) {
        EXPECT_EQ(box.text, ui_wide(IDS_SETUP_REMINDER));
        EXPECT_EQ(box.caption, ui_wide(IDS_TITLE));
    }
    EXPECT_TRUE(seen.open_after_reminders);
    EXPECT_EQ(seen.selected_after_reminders, 1);
    EXPECT_EQ(seen.choice.chosen_interface, 1);
    EXPECT_EQ(seen.choice.chosen_index, 2);
}

TEST(SetupDialog, EnumerationFailuresComeBeforeTheDialogShows)
{
    Script script;
    script.failure_box_first = true;
    Seen seen = open_dialog("!count-type gauge\n" + row(1, "Ethernet", 6), script);
    ASSERT_EQ(seen.failure_boxes.size(), 1u);
    EXPECT_EQ(seen.failure_boxes[0].ansi_text, WRONG_TYPE);
    EXPECT_EQ(seen.failure_boxes[0].caption, L"Chyba");
    EXPECT_FALSE(seen.failure_boxes[0].owned);
    EXPECT_FALSE(seen.failure_boxes[0].dialog_visible);
    EXPECT_EQ(seen.lines, Lines());
    EXPECT_FALSE(seen.choice.chosen);
}

} // namespace
