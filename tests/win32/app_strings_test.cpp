// The string loader, the message box with sound, and window centring.
#include "app/state.h"
#include "app/strings.h"
#include "app/window_position.h"
#include "tests/win32/app_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class Strings : public ::testing::Test {
protected:
    void SetUp() override
    {
        installer.module_instance = GetModuleHandleA(NULL);
    }
};

TEST(LanguageOffset, ChoosesCzechSlovakOrEnglishByTheLanguageId)
{
    EXPECT_EQ(LANGUAGE_CZECH, language_offset("0405"));
    // Windows spells the Slovak id "041B"; Wine and its locale data "041b".
    EXPECT_EQ(LANGUAGE_SLOVAK, language_offset("041B"));
    EXPECT_EQ(LANGUAGE_SLOVAK, language_offset("041b"));
    EXPECT_EQ(LANGUAGE_ENGLISH, language_offset("0409"));
    EXPECT_EQ(LANGUAGE_ENGLISH, language_offset(""));   // the locale could not be queried
}

TEST(LanguageOffset, NearMissesAreEnglish)
{
    // Only whole, exact ids select a language: no prefix, suffix or neighbour does.
    for (const char *id : {"040", "04050", "0405 ", " 0405", "041", "041B0", "0406", "041C",
                           "0415", "0809", "1B04", "o405"})
        EXPECT_EQ(LANGUAGE_ENGLISH, language_offset(id)) << '"' << id << '"';
}

TEST_F(Strings, LoadsTheTextOfTheRunsLanguage)
{
    const char *text = load_string(101);
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(ui_ansi(IDS_TITLE), text);
    text = load_string(213);
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(ui_ansi(IDS_ABORTED), text);
}

TEST_F(Strings, EveryIdTheInstallerLoadsHasAText)
{
    for (int id : {101, 102, 103, 104, 105, 201, 202, 203, 204, 205, 206, 207, 208, 209, 210,
                   211, 212, 213, 214, 301, 302, 303}) {
        const char *text = load_string(id);
        ASSERT_NE(nullptr, text) << "id " << id;
        EXPECT_GT(strlen(text), 0u) << "id " << id;
    }
}

TEST_F(Strings, AnIdWithoutAStringGivesNoText)
{
    EXPECT_EQ(nullptr, load_string(100));
    EXPECT_EQ(nullptr, load_string(215));
    EXPECT_EQ(nullptr, load_string(999));
}

TEST_F(Strings, TheNextLoadOverwritesTheLastText)
{
    const char *first = load_string(213);
    ASSERT_NE(nullptr, first);
    std::string kept = first;
    const char *second = load_string(101);
    ASSERT_NE(nullptr, second);
    // One buffer serves every load: a caller that kept the pointer now sees the title.
    EXPECT_EQ(first, second);
    EXPECT_EQ(ui_ansi(IDS_TITLE), first);
    EXPECT_NE(kept, first);
}

TEST(IconSound, NamesTheSystemSoundOfEachIcon)
{
    EXPECT_STREQ("SystemDefault", icon_sound(0x00));
    EXPECT_STREQ("SystemHand", icon_sound(0x10));
    EXPECT_STREQ("SystemQuestion", icon_sound(0x20));
    EXPECT_STREQ("SystemExclamation", icon_sound(0x30));
    EXPECT_STREQ("SystemAsterisk", icon_sound(0x40));
    for (UINT icon = 0x50; icon <= 0xF0; icon += 0x10)
        EXPECT_EQ(nullptr, icon_sound(icon)) << "icon bits 0x" << std::hex << icon;
}

TEST(IconSound, LooksAtTheIconBitsAlone)
{
    // Button, default-button and modality bits do not change the sound.
    EXPECT_STREQ("SystemExclamation", icon_sound(MB_OKCANCEL | MB_ICONEXCLAMATION));
    EXPECT_STREQ("SystemHand", icon_sound(MB_YESNO | MB_ICONHAND | MB_DEFBUTTON2 | MB_TASKMODAL));
    EXPECT_STREQ("SystemDefault", icon_sound(MB_RETRYCANCEL | MB_SYSTEMMODAL));
    EXPECT_EQ(nullptr, icon_sound(MB_OK | 0x50 | MB_APPLMODAL));
}

TEST_F(Strings, MessageBoxIsOwnedByTheWindowGivenOrByNone)
{
    {
        BoxWatcher watcher;
        int pressed = message_box(NULL, "A notice", MB_OK | MB_ICONWARNING);
        const SeenBox &seen = watcher.wait();
        ASSERT_TRUE(seen.found);
        EXPECT_EQ(NULL, seen.owner);
        EXPECT_EQ(ui_ansi(IDS_TITLE), seen.caption);
        EXPECT_EQ("A notice", seen.text);
        EXPECT_EQ(IDOK, pressed);
    }
    HWND dialog = CreateWindowExA(0, "STATIC", "main dialog stand-in", WS_POPUP, 0, 0, 100, 100,
                                  NULL, NULL, GetModuleHandleA(NULL), NULL);
    ASSERT_NE(nullptr, dialog);
    BoxWatcher watcher;
    message_box(dialog, "Owned", MB_OK | MB_ICONHAND);
    const SeenBox &seen = watcher.wait();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(dialog, seen.owner);
    DestroyWindow(dialog);
}

// A failure names the system's reason on a line of its own under the message.
TEST_F(Strings, FailureAddsTheSystemsReasonOnALineOfItsOwn)
{
    char reason[200] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                   ERROR_DISK_FULL, 0, reason, sizeof reason, NULL);
    std::string expected_reason = reason;
    while (!expected_reason.empty() && (unsigned char)expected_reason.back() <= ' ')
        expected_reason.pop_back();
    ASSERT_FALSE(expected_reason.empty());
    BoxWatcher watcher;
    show_failure(NULL, IDS_EXTRACTION_ERROR, "C:\\Dest\\big.bin", ERROR_DISK_FULL);
    const SeenBox &seen = watcher.wait();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(ui_ansi(IDS_EXTRACTION_ERROR) + " C:\\Dest\\big.bin\r\n" + expected_reason, seen.text);
}

TEST_F(Strings, MessageBoxCopiesALoadedTextBeforeLoadingItsCaption)
{
    // The text lives in the loader's buffer, which loading the caption (101) overwrites.
    BoxWatcher watcher;
    message_box(NULL, load_string(213), MB_OK | MB_ICONWARNING);
    const SeenBox &seen = watcher.wait();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(ui_ansi(IDS_ABORTED), seen.text);
    EXPECT_EQ(ui_ansi(IDS_TITLE), seen.caption);
}

TEST_F(Strings, MessageBoxShowsEveryIconChoiceAndReturnsThePressedButton)
{
    // Flags without a named sound only beep; the box still shows and returns as usual.
    for (UINT flags : {0x00u, 0x10u, 0x20u, 0x30u, 0x40u, 0x50u}) {
        BoxWatcher watcher;
        int pressed = message_box(NULL, "Sound", MB_OK | flags);
        const SeenBox &seen = watcher.wait();
        EXPECT_TRUE(seen.found) << "flags 0x" << std::hex << flags;
        EXPECT_EQ(IDOK, pressed) << "flags 0x" << std::hex << flags;
    }
}

TEST_F(Strings, MessageBoxCutsATextTooLongForItsBuffer)
{
    std::string longer(MESSAGE_TEXT_SIZE + 44, 'x');
    BoxWatcher watcher;
    message_box(NULL, longer.c_str(), MB_OK);
    const SeenBox &seen = watcher.wait();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(std::string(MESSAGE_TEXT_SIZE - 1, 'x'), seen.text);
}

// A popup window of the given outer size somewhere off centre.
static HWND popup(int width, int height)
{
    return CreateWindowExA(0, "STATIC", "centred", WS_POPUP | WS_BORDER, 7, 13, width, height,
                           NULL, NULL, GetModuleHandleA(NULL), NULL);
}

static POINT top_left(HWND window)
{
    RECT outer;
    GetWindowRect(window, &outer);
    return POINT{outer.left, outer.top};
}

class Centring : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (GetSystemMetrics(SM_CXSCREEN) != 1024 || GetSystemMetrics(SM_CYSCREEN) != 768)
            GTEST_SKIP() << "needs a 1024 x 768 screen";
    }
};

TEST_F(Centring, Places300By200At362And284)
{
    HWND window = popup(300, 200);
    ASSERT_NE(nullptr, window);
    center_window(window);
    POINT at = top_left(window);
    EXPECT_EQ(362, at.x);
    EXPECT_EQ(284, at.y);
    // Centring again, from anywhere, gives the same place and keeps the size.
    SetWindowPos(window, NULL, 900, 700, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    center_window(window);
    RECT outer;
    GetWindowRect(window, &outer);
    EXPECT_EQ(362, outer.left);
    EXPECT_EQ(284, outer.top);
    EXPECT_EQ(300, outer.right - outer.left);
    EXPECT_EQ(200, outer.bottom - outer.top);
    DestroyWindow(window);
}

TEST_F(Centring, TruncatesHalfPixelsTowardZero)
{
    HWND window = popup(301, 201);   // (1024 - 301) / 2 = 361.5, (768 - 201) / 2 = 283.5
    ASSERT_NE(nullptr, window);
    center_window(window);
    POINT at = top_left(window);
    EXPECT_EQ(361, at.x);
    EXPECT_EQ(283, at.y);
    DestroyWindow(window);
}

TEST_F(Centring, AWindowLargerThanTheScreenGetsANegativePlace)
{
    HWND window = popup(1027, 770);  // -3 / 2 and -2 / 2: truncation gives -1 and -1
    ASSERT_NE(nullptr, window);
    RECT outer;
    GetWindowRect(window, &outer);
    if (outer.right - outer.left != 1027 || outer.bottom - outer.top != 770)
        GTEST_SKIP() << "the window system limited the window to the screen";
    center_window(window);
    POINT at = top_left(window);
    EXPECT_EQ(-1, at.x);
    EXPECT_EQ(-1, at.y);
    DestroyWindow(window);
}

}  // namespace
