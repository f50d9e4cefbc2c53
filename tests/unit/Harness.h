// The window's behaviour over a simulated drawing and a recording set of
// controls: what the window shows (rows, option, opacity, boxes), controls
// that can fail any call, and the handlers that call the host.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/SimulatedHost.h"
#include "sim/SimulatedHostThread.h"
#include "ui/Controls.h"
#include "ui/FrmMain.h"

namespace vantrel::testing {

using ui::Event;
using ui::MessageStyle;

struct ShownBox {
    std::string text;
    std::string title = "Vantrel";
    MessageStyle style = MessageStyle::Plain;
    friend bool operator==(const ShownBox&, const ShownBox&) = default;
    friend std::ostream& operator<<(std::ostream& out, const ShownBox& box) {
        return out << "[" << box.title << "|" << static_cast<int>(box.style) << "] " << box.text;
    }
};

class RecordingControls : public ui::Controls {
public:
    std::vector<std::vector<std::string>> rows;  // each row's label, then its sub-items
    std::optional<std::int32_t> selectedRow;
    std::optional<int> checkedOption;
    int transparentState = ui::kCheckClear;
    std::string decimalSeparator = ".";
    std::vector<std::pair<ui::NativeWindow, std::uint8_t>> opacity;
    std::vector<ShownBox> boxes;
    int openBoxes = 0;
    int ends = 0;  // EndProgram calls
    // A fill's changes are drawn once it is over: none outside the brackets,
    // and no box while they are open.
    bool rowChangesOpen = false;
    int rowChangesOutsideBrackets = 0;
    int boxesWhileRowChangesOpen = 0;
    std::function<void()> whileBoxOpen;                        // e.g. a timer tick meanwhile
    ui::MessageAnswer busyAnswer = ui::MessageAnswer::Cancel;  // the user's answer to a Retry/Cancel box

    // The `occurrence`-th call (1-based) of `call` from now on, and every later one, runs `thrower`.
    void FailFrom(const std::string& call, int occurrence, std::function<void()> thrower) {
        faults_[call] = {calls_[call] + occurrence, std::move(thrower)};
    }

    void ClearRows() override {
        RowChange("ClearRows");
        rows.clear();
    }
    void AddRow(std::int32_t position, const ui::RowTexts& texts) override {
        RowChange("AddRow");
        if (static_cast<std::size_t>(position) != rows.size() + 1) throw std::logic_error("row added out of order");
        rows.emplace_back(texts.begin(), texts.end());
    }
    void BeginRowChanges() noexcept override { rowChangesOpen = true; }
    void EndRowChanges() noexcept override { rowChangesOpen = false; }
    std::optional<std::int32_t> SelectedRow() override {
        Enter("SelectedRow");
        return selectedRow;
    }
    void CheckOption(int index) override {
        Enter("CheckOption");
        checkedOption = index;
    }
    int TransparentState() override {
        Enter("TransparentState");
        return transparentState;
    }
    void MakeTransparent(ui::NativeWindow window, std::uint8_t alpha) override {
        Enter("MakeTransparent");
        opacity.emplace_back(window, alpha);
    }
    ui::MessageAnswer ShowMessage(std::string_view text, std::string_view title, MessageStyle style) override {
        Enter("ShowMessage");
        boxesWhileRowChangesOpen += rowChangesOpen ? 1 : 0;
        boxes.push_back({std::string(text), std::string(title), style});
        ++openBoxes;
        if (whileBoxOpen) whileBoxOpen();
        --openBoxes;
        return style == MessageStyle::RetryCancel ? busyAnswer : ui::MessageAnswer::Ok;
    }
    std::string DecimalSeparator() override {
        Enter("DecimalSeparator");
        return decimalSeparator;
    }
    void EndProgram() noexcept override { ++ends; }

private:
    void RowChange(const std::string& call) {
        Enter(call);
        rowChangesOutsideBrackets += rowChangesOpen ? 0 : 1;
    }
    void Enter(const std::string& call) {
        const int seen = ++calls_[call];
        if (const auto fault = faults_.find(call); fault != faults_.end() && seen >= fault->second.first) {
            fault->second.second();
        }
    }
    std::map<std::string, int> calls_;
    std::map<std::string, std::pair<int, std::function<void()>>> faults_;
};

// A layout as drafters have it: 1 the sheet's own viewport, 2 a title-block
// line, 3 a floating viewport at 1/4" = 1'-0" (active), 4 a note, 5 a floating
// viewport at 1/8" = 1'-0".
inline constexpr const char* kSheetScenario =
    "document Sheet1\nspace model\nviewport 1\nentity AcDbLine\nviewport 1/48 active\nentity AcDbText\n"
    "viewport 1/96\n";

struct TestWindow {
    explicit TestWindow(const std::string& scenario = kSheetScenario)
        : host(sim::SimulatedHost::FromScenario(scenario)),
          thread(*host),
          link(host->Locator(), thread),
          form(std::make_unique<ui::FrmMain>(controls, link)) {}
    // Loaded, with the journal and the boxes of the load cleared.
    TestWindow& Loaded() {
        form->Raise(Event::Load);
        host->ClearJournal();
        controls.boxes.clear();
        return *this;
    }
    // Raises the event alone.
    void RaiseAlone(Event event, int index = 0) { form->Raise(event, index); }
    // Raises the event as the native window does. A tick's attach, once the
    // host thread has answered it, comes back as an event of its own.
    void Raise(Event event, int index = 0) {
        form->Raise(event, index);
        if (event == Event::TimerTick && !Ended() && thread.Idle()) {
            form->Raise(Event::HostAnswer);
        }
    }
    // Whether the program reached its end: in the product the process would
    // be gone.
    bool Ended() const { return controls.ends > 0; }

    std::shared_ptr<sim::SimulatedHost> host;
    RecordingControls controls;
    sim::SimulatedHostThread thread;
    host::HostLink link;
    std::unique_ptr<ui::FrmMain> form;
};

// Every handler that calls the host, where a failure under it is reported
// (none: no "App Error" box), and the calls it makes on the sheet of
// kSheetScenario (left on the Model tab; "Ok" and the double-click with
// 1/4" = 1'-0" selected), each a round trip to the host.
struct Handler {
    const char* name;
    Event event;
    const char* location;
    const char* calls;
};

inline constexpr Handler kHandlers[] = {
    {"Load", Event::Load, "Form_Load",
     "Locator.GetActiveObject Application.ActiveDocument Document.ActiveSpace Document.ActiveSpace= "
     "Document.MSpace= Document.Application Application.ZoomExtents Document.MSpace="},
    {"Tick", Event::TimerTick, nullptr, "Locator.GetActiveObject Application.ActiveDocument"},
    {"Ok", Event::OkClick, "CmdOK_Click",
     "Document.ActiveSpace Document.MSpace= Document.ActivePViewport Entity.DisplayLocked Document.Application "
     "Application.ZoomScaled"},
    {"DoubleClick", Event::RowApplied, "LVscales_DblClick",
     "Document.ActiveSpace Document.MSpace= Document.ActivePViewport Entity.DisplayLocked Document.Application "
     "Application.ZoomScaled"},
    {"CurrentScale", Event::CurrentScaleClick, "CmdGetScale_Click", "Document.ActivePViewport Entity.CustomScale"},
    // Each of the five items asked its name once, the drawn one again before it is switched on.
    {"NextVPort", Event::NextViewportClick, "CmdNext_Click",
     "Document.PaperSpace PaperSpace._NewEnum PaperSpace.Next Entity.ObjectName PaperSpace.Next Entity.ObjectName "
     "PaperSpace.Next Entity.ObjectName PaperSpace.Next Entity.ObjectName PaperSpace.Next Entity.ObjectName "
     "Entity.ObjectName Entity.Display Document.MSpace= Document.ActivePViewport= Document.Regen"},
};

inline const Handler& HandlerOf(Event event) {
    for (const Handler& handler : kHandlers) {
        if (handler.event == event) return handler;
    }
    throw std::logic_error("no handler");
}

// The "App Error" box as drafters see it: the location, the number in
// hexadecimal (a negative one as its 32-bit two's complement) and decimal,
// and the description.
inline ShownBox ErrorBox(std::string_view location, std::int32_t number, std::string_view description) {
    char hex[16]{};
    std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(number));
    const std::string text = "Location:\t\t" + std::string(location) + "\r\nSource:\t\t" + hex + "h   (" +
                             std::to_string(number) + ")\r\nDescription:\t" + std::string(description);
    return {text, "App Error", MessageStyle::Critical};
}

inline const ShownBox kNotRunningBox{"AutoCad Not Running", "Vantrel", MessageStyle::Critical};
inline const ShownBox kModelTabBox{"The Model tab is active. Switch to a layout with a viewport to zoom to a scale."};
inline const ShownBox kNoViewportOnBox{"No viewport is switched on in this layout. Switch one on to zoom to a scale."};
inline const ShownBox kLockedBox{"The active viewport is locked. Unlock it to change its scale."};
inline const ShownBox kBusyBox{
    "AutoCAD is busy or not answering: a command, a dialog or a long operation is running in it.\r\n\r\n"
    "Choose Retry to wait for it again, or Cancel to stop waiting.",
    "Vantrel", MessageStyle::RetryCancel};

}  // namespace vantrel::testing
