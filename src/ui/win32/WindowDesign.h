// The main window as designed, described once: each control's window class,
// caption, styles, place and size in twips, and the event it raises, in tab
// order (also the order of creation); and the scale list's columns. The
// layout, the creation of the controls and the mapping of their
// notifications to events all read this table.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "catalog/ScaleCatalog.h"
#include "ui/FrmMain.h"

namespace vantrel::ui::win32 {

struct Box {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Box&, const Box&) = default;
};

struct ControlDesign {
    const wchar_t* windowClass = nullptr;
    std::string_view caption;  // UTF-8
    DWORD style = 0;
    DWORD exStyle = 0;
    Box place;  // twips, relative to the window's client area
    // What the control raises: a button its click (an option button with its
    // index as the event's index), the list a double-click on a row.
    std::optional<Event> event;
    int eventIndex = 0;
};

inline constexpr int kClientWidthTwips = 7710;
inline constexpr int kClientHeightTwips = 4920;

namespace design {

inline constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
// Every tab stop that starts a group has WS_GROUP, so the arrow keys move only
// among the option buttons. Auto radio buttons keep WS_TABSTOP on the checked
// one themselves.
inline constexpr DWORD kPushButton = kChild | WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON;
inline constexpr DWORD kOptionButton = kChild | WS_TABSTOP | BS_AUTORADIOBUTTON;

inline constexpr Box kScaleSystemFrame{180, 3480, 5775, 735};
// Room in the frame for the scale systems' option buttons, left to right, in
// twips relative to the frame; a scale system needs a place here.
inline constexpr std::array<Box, 4> kOptionPlaces{{
    {240, 360, 1215, 255},
    {2040, 360, 1215, 255},
    {3480, 360, 1215, 255},
    {4560, 360, 975, 255},
}};
static_assert(catalog::kScaleSystems.size() <= kOptionPlaces.size(),
              "every scale system needs a place in the frame for its option button");

// The controls in tab order. The row whose event is ScaleSystemChosen stands
// for the option buttons: one per scale system, captioned with its name.
inline constexpr ControlDesign kRows[] = {
    {WC_LISTVIEWW,
     "",
     kChild | WS_TABSTOP | WS_GROUP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL,
     WS_EX_CLIENTEDGE,
     {120, 120, 7455, 3255},
     Event::RowApplied},
    {WC_BUTTONW, "Scale Type:", kChild | WS_GROUP | BS_GROUPBOX, 0, kScaleSystemFrame, std::nullopt},
    {WC_BUTTONW, "Exit", kPushButton, 0, {6240, 4440, 1335, 375}, Event::ExitClick},
    {WC_BUTTONW, "Ok", kPushButton, 0, {240, 4440, 1575, 375}, Event::OkClick},
    {WC_BUTTONW, "Current Scale", kPushButton, 0, {3480, 4440, 1455, 375}, Event::CurrentScaleClick},
    {WC_BUTTONW, "", kOptionButton, 0, {}, Event::ScaleSystemChosen},
    {WC_BUTTONW, "Next VPort", kPushButton, 0, {2160, 4440, 1215, 375}, Event::NextViewportClick},
    {WC_BUTTONW,
     "Transparent",
     kChild | WS_TABSTOP | WS_GROUP | BS_AUTOCHECKBOX,
     0,
     {6240, 3720, 1215, 375},
     Event::TransparentClick},
};

constexpr auto ExpandOptionButtons() {
    std::array<ControlDesign, std::size(kRows) - 1 + catalog::kScaleSystems.size()> controls{};
    std::size_t next = 0;
    for (const ControlDesign& row : kRows) {
        if (row.event != Event::ScaleSystemChosen) {
            controls[next++] = row;
            continue;
        }
        for (std::size_t system = 0; system < catalog::kScaleSystems.size(); ++system) {
            ControlDesign option = row;
            option.caption = catalog::kScaleSystems[system].name;
            // The first button starts the group the arrow keys move in.
            option.style |= system == 0 ? WS_GROUP : 0;
            const Box& place = kOptionPlaces[system];
            option.place = {kScaleSystemFrame.left + place.left, kScaleSystemFrame.top + place.top, place.width,
                            place.height};
            option.eventIndex = static_cast<int>(system);
            controls[next++] = option;
        }
    }
    return controls;
}

}  // namespace design

// Every control, the option buttons expanded, in tab order. The window owns
// the option buttons, so their notifications reach it; the frame only draws
// around them.
inline constexpr auto kControls = design::ExpandOptionButtons();
inline constexpr std::size_t kControlCount = kControls.size();

// The index in kControls of the control that raises `event` (with `index`).
constexpr std::size_t ControlRaising(Event event, int index = 0) {
    for (std::size_t i = 0; i < kControls.size(); ++i) {
        if (kControls[i].event == event && kControls[i].eventIndex == index) return i;
    }
    return kControls.size();
}

struct ColumnDesign {
    const wchar_t* header;
    int widthTwips;
    int format;  // LVCFMT_*
};

// The scale list's columns, one per display text of a scale row.
inline constexpr std::array<ColumnDesign, std::tuple_size_v<catalog::RowTexts>> kColumns{{
    {L"DWG Scales", 1400, LVCFMT_LEFT},
    {L"Scale Factor", 1400, LVCFMT_CENTER},
    {L"Text Size SM", 1200, LVCFMT_CENTER},
    {L"Text Size LG", 1200, LVCFMT_CENTER},
    {L"LTScale", 1000, LVCFMT_CENTER},
    {L"Dimension Style", 1400, LVCFMT_CENTER},
}};

}  // namespace vantrel::ui::win32
