// The controls of the real window, driven through the Controls interface and
// through FrmMain with the simulated host behind it.
#include <gtest/gtest.h>

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <string>

#include "base/Failure.h"
#include "catalog/ScaleCatalog.h"
#include "sim/SimulatedHost.h"
#include "ui/FrmMain.h"
#include "ui/win32/FrmMainWindow.h"
#include "ui_support.h"
#include "win/Utf16.h"

namespace vantrel::ui::win32 {
namespace {

using testing::ListCount;
using testing::ListText;
using testing::PumpPending;
using testing::PumpUntil;

constexpr char kSheet[] = "space paper\nviewport 1\nviewport 1/48 active\n";

// The window with FrmMain over the simulated host; the end of the program
// is recorded instead of exiting the test.
class RealWindow : public ::testing::Test {
protected:
    RealWindow() {
        window.Create(GetModuleHandleW(nullptr));
        host = sim::SimulatedHost::FromScenario(kSheet);
        form = std::make_unique<FrmMain>(window, host->Locator());
        window.Attach(form.get());
        window.SetEndAction([this] { ++ends; });
    }

    void Load() {
        window.Raise(Event::Load);
        ASSERT_TRUE(watch.Seen().empty()) << "the load showed a message";
    }

    HWND List() const { return window.Control(Slot::LVscales); }
    HWND Option(std::size_t i) const { return window.Control(OptionSlot(i)); }

    int Calls(std::string_view call) const {
        const auto& journal = host->Journal();
        return static_cast<int>(
            std::count_if(journal.begin(), journal.end(), [&](const auto& e) { return e.call == call; }));
    }

    // Where a double-click lands: the middle of a row, or below the last row.
    LPARAM RowPoint(int row) const {
        RECT rect{};
        rect.left = LVIR_BOUNDS;
        SendMessageW(List(), LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect));
        return MAKELPARAM(30, (rect.top + rect.bottom) / 2);
    }

    testing::MessageBoxWatch watch;
    FrmMainWindow window;
    std::shared_ptr<sim::SimulatedHost> host;
    std::unique_ptr<FrmMain> form;
    int ends = 0;
};

TEST_F(RealWindow, RowsAreAddedInOrderWithTheirSubItems) {
    window.AddRow(1, "1/8=1'-0\"");
    window.AddRow(2, "1:50");
    for (const char* text : {"96", "0.125", "0.25", "96", "1-8"}) window.AddSubItem(1, text);
    window.AddSubItem(2, "50");
    window.AddSubItem(2, "Maßstab ½");

    ASSERT_EQ(ListCount(List()), 2);
    const wchar_t* first[] = {L"1/8=1'-0\"", L"96", L"0.125", L"0.25", L"96", L"1-8"};
    for (int column = 0; column < 6; ++column) EXPECT_EQ(ListText(List(), 0, column), first[column]);
    EXPECT_EQ(ListText(List(), 1, 0), L"1:50");
    EXPECT_EQ(ListText(List(), 1, 1), L"50");
    EXPECT_EQ(ListText(List(), 1, 2), L"Ma\u00dfstab \u00bd");
    EXPECT_EQ(ListText(List(), 1, 3), L"");
}

TEST_F(RealWindow, SelectedRowIsThePositionItWasAddedAtWhateverTheDisplayOrder) {
    EXPECT_EQ(window.SelectedRow(), std::nullopt);
    for (int position = 1; position <= 3; ++position) window.AddRow(position, "row " + std::to_string(position));
    // Show them in reverse: the first row on screen is the one added third.
    SendMessageW(List(), LVM_SORTITEMS, 0,
                 reinterpret_cast<LPARAM>(+[](LPARAM a, LPARAM b, LPARAM) -> int { return static_cast<int>(b - a); }));
    ASSERT_EQ(ListText(List(), 0, 0), L"row 3");

    struct Pick {
        int shownAt;
        std::int32_t position;
    };
    for (const Pick pick : {Pick{0, 3}, Pick{2, 1}, Pick{1, 2}}) {
        ListView_SetItemState(List(), pick.shownAt, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        EXPECT_EQ(window.SelectedRow(), pick.position) << "shown at " << pick.shownAt;
    }
    ListView_SetItemState(List(), -1, 0, LVIS_SELECTED);
    EXPECT_EQ(window.SelectedRow(), std::nullopt);
}

TEST_F(RealWindow, ClearRowsEmptiesTheListAndForgetsItsRows) {
    window.AddRow(1, "a");
    window.AddSubItem(1, "b");
    window.ClearRows();
    EXPECT_EQ(ListCount(List()), 0);
    try {
        window.AddSubItem(1, "c");
        FAIL() << "a sub-item of a cleared row was accepted";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.Number(), status::kInvalidArgument);
        EXPECT_FALSE(failure.Description().empty());
    }
}

TEST_F(RealWindow, ARowTakesNoMoreSubItemsThanTheListHasColumns) {
    window.AddRow(1, "a");
    for (int i = 0; i < 5; ++i) window.AddSubItem(1, "x");
    EXPECT_THROW(window.AddSubItem(1, "one too many"), Failure);
    EXPECT_THROW(window.AddRow(0, "position 0"), Failure);
}

TEST_F(RealWindow, CheckOptionChecksOneClearsTheOthersAndRaisesNoClick) {
    for (const int chosen : {2, 0, 3}) {
        window.CheckOption(chosen);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(window.IsOptionChecked(i), i == chosen) << "chose " << chosen;
    }
    PumpPending();
    EXPECT_EQ(ListCount(List()), 0) << "a click reached Option1_Click";
    EXPECT_THROW(window.CheckOption(4), Failure);
    EXPECT_THROW(window.IsOptionChecked(-1), Failure);
}

TEST_F(RealWindow, TheLoadSelectsArchitecturalThroughFrmMainAndFillsTheList) {
    Load();
    EXPECT_TRUE(window.IsOptionChecked(0));
    for (int i = 1; i < 4; ++i) EXPECT_FALSE(window.IsOptionChecked(i));
    ASSERT_EQ(ListCount(List()), 12);
    for (int row = 0; row < 12; ++row) {
        for (int column = 0; column < 6; ++column)
            EXPECT_NE(ListText(List(), row, column), L"") << row << "," << column;
    }
    EXPECT_EQ(window.TransparentState(), kCheckClear);
}

TEST_F(RealWindow, AClickOnAnOptionButtonRaisesItsEvent) {
    Load();
    SendMessageW(Option(3), BM_CLICK, 0, 0);
    EXPECT_TRUE(window.IsOptionChecked(3));
    EXPECT_FALSE(window.IsOptionChecked(0));
    EXPECT_EQ(ListCount(List()), 10);  // the Metric table
    SendMessageW(Option(0), BM_CLICK, 0, 0);
    EXPECT_EQ(ListCount(List()), 12);
}

TEST_F(RealWindow, AFillOnTheShownWindowLeavesTheListVisibleAndDueToDrawItsNewRows) {
    Load();
    ShowWindow(window.Handle(), SW_SHOWNOACTIVATE);
    UpdateWindow(window.Handle());
    RECT due{};
    ASSERT_FALSE(GetUpdateRect(List(), &due, FALSE));
    SendMessageW(Option(2), BM_CLICK, 0, 0);
    EXPECT_EQ(ListCount(List()), 11);  // the Civil table
    EXPECT_TRUE(IsWindowVisible(List()));
    EXPECT_TRUE(GetUpdateRect(List(), &due, FALSE));
    // And it draws again at the next change of its own.
    UpdateWindow(window.Handle());
    ASSERT_FALSE(GetUpdateRect(List(), &due, FALSE));
    ListView_SetItemState(List(), 3, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_TRUE(GetUpdateRect(List(), &due, FALSE));
}

TEST_F(RealWindow, ADoubleClickOnARowAppliesItsScaleAndOneBesideTheRowsDoesNothing) {
    Load();
    ShowWindow(window.Handle(), SW_SHOWNOACTIVATE);
    window.ClearRows();
    window.AddRow(1, "1/16=1'-0\"");
    window.AddRow(2, "3/32=1'-0\"");
    RECT last{};
    last.left = LVIR_BOUNDS;
    SendMessageW(List(), LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&last));
    ListView_SetItemState(List(), 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    host->ClearJournal();

    // With a row selected, so that an apply would zoom.
    PostMessageW(List(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(30, last.bottom + 20));
    PumpPending();
    EXPECT_EQ(Calls("Application.ZoomScaled"), 0) << host->JournalText();

    PostMessageW(List(), WM_LBUTTONDBLCLK, MK_LBUTTON, RowPoint(1));
    EXPECT_TRUE(PumpUntil([&] { return Calls("Application.ZoomScaled") == 1; }));
    EXPECT_EQ(ends, 0) << "the apply event leaves the window open";
    EXPECT_TRUE(watch.Seen().empty());
}

TEST_F(RealWindow, TheCheckBoxMakesTheWindowAndTheListTranslucentAndOpaqueAgain) {
    Load();
    const HWND check = window.Control(Slot::ChkTransparent);
    struct Look {
        int state;
        BYTE main;
        BYTE list;
    };
    for (const Look look : {Look{kChecked, 186, 100}, Look{kCheckClear, 255, 255}, Look{kChecked, 186, 100}}) {
        SendMessageW(check, BM_CLICK, 0, 0);
        EXPECT_EQ(window.TransparentState(), look.state);
        BYTE alpha = 0;
        ASSERT_TRUE(GetLayeredWindowAttributes(window.Handle(), nullptr, &alpha, nullptr));
        EXPECT_EQ(alpha, look.main);
        ASSERT_TRUE(GetLayeredWindowAttributes(List(), nullptr, &alpha, nullptr));
        EXPECT_EQ(alpha, look.list);
    }
}

TEST_F(RealWindow, ClosingTheWindowEndsTheProgram) {
    Load();
    SendMessageW(window.Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(IsWindow(window.Handle()));
    window.StopTimer();
    EXPECT_FALSE(KillTimer(window.Handle(), kTimer1Id)) << "Timer1 still runs";
}

TEST_F(RealWindow, ExitEndsTheProgram) {
    Load();
    SendMessageW(window.Control(Slot::CmdExit), BM_CLICK, 0, 0);
    EXPECT_EQ(ends, 1);
}

TEST_F(RealWindow, Timer1AttachesAgainWhileNothingElseHappens) {
    Load();
    host->ClearJournal();
    EXPECT_TRUE(PumpUntil([&] { return Calls("Locator.GetActiveObject") >= 2; }, std::chrono::seconds(20)));
    EXPECT_EQ(ends, 0);
}

TEST_F(RealWindow, EnterAndEscapePressNothingOnTheListOrAnOptionButton) {
    Load();
    ShowWindow(window.Handle(), SW_SHOW);
    SetForegroundWindow(window.Handle());
    ListView_SetItemState(List(), 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    host->ClearJournal();
    for (const HWND target : {List(), Option(0)}) {
        for (const WPARAM key : {WPARAM{VK_RETURN}, WPARAM{VK_ESCAPE}}) {
            PostMessageW(target, WM_KEYDOWN, key, 1);
            PostMessageW(target, WM_KEYUP, key, 0xC0000001);
            PumpPending(window.Handle());
        }
    }
    EXPECT_EQ(Calls("Application.ZoomScaled"), 0);
    EXPECT_EQ(ends, 0);
    EXPECT_EQ(ListCount(List()), 12);
    EXPECT_TRUE(watch.Seen().empty());
}

// Keys go through the dialog manager as in the program's event loop.
void PressKey(HWND target, WPARAM key, HWND dialog) {
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001));
    PumpPending(dialog);
}

TEST_F(RealWindow, TabMovesInTabOrderAndArrowsMoveAmongTheOptionButtonsChoosingThem) {
    Load();
    ShowWindow(window.Handle(), SW_SHOW);
    SetForegroundWindow(window.Handle());
    SetFocus(List());
    ASSERT_EQ(GetFocus(), List());

    // The frame is no stop; Exit, Ok and Current Scale come next, then the
    // checked option button.
    const Slot order[] = {Slot::CmdExit, Slot::CmdOK,          Slot::CmdGetscale, Slot::Option0,
                          Slot::CmdNext, Slot::ChkTransparent, Slot::LVscales};
    for (const Slot next : order) {
        PressKey(GetFocus(), VK_TAB, window.Handle());
        EXPECT_EQ(GetFocus(), window.Control(next)) << "expected slot " << Index(next);
    }

    SetFocus(Option(0));
    PressKey(Option(0), VK_RIGHT, window.Handle());
    EXPECT_EQ(GetFocus(), Option(1));
    EXPECT_TRUE(window.IsOptionChecked(1));
    EXPECT_FALSE(window.IsOptionChecked(0));
    EXPECT_EQ(ListCount(List()), static_cast<int>(catalog::GetScaleTable(catalog::ScaleType::Machine).size()));
    EXPECT_EQ(ends, 0);
}

struct BoxCase {
    MessageStyle style;
    const char* title;
    bool icon;
};

class RealMessageBox : public RealWindow, public ::testing::WithParamInterface<BoxCase> {};

TEST_P(RealMessageBox, IsOwnedByTheWindowWithItsTitleTextAndIcon) {
    window.ShowMessage("Location:\t\tMaßstab\r\nnext line", GetParam().title, GetParam().style);
    const auto seen = watch.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].owner, window.Handle());
    EXPECT_EQ(seen[0].title,
              std::wstring(GetParam().title, GetParam().title + std::string_view(GetParam().title).size()));
    EXPECT_NE(seen[0].text.find(L"Ma\u00dfstab"), std::wstring::npos);
    EXPECT_NE(seen[0].text.find(L"next line"), std::wstring::npos);
    EXPECT_EQ(seen[0].hasIcon, GetParam().icon);
}

INSTANTIATE_TEST_SUITE_P(Styles, RealMessageBox,
                         ::testing::Values(BoxCase{MessageStyle::Plain, "Vantrel", false},
                                           BoxCase{MessageStyle::Critical, "App Error", true}),
                         [](const auto& tested) { return tested.param.icon ? "Critical" : "Plain"; });

TEST_F(RealWindow, TheDecimalSeparatorIsTheUsersOwn) {
    wchar_t expected[8]{};
    ASSERT_GT(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, expected, 8), 0);
    const std::string separator = window.DecimalSeparator();
    EXPECT_EQ(win::Utf16FromUtf8(separator), expected);
}

}  // namespace
}  // namespace vantrel::ui::win32
