// The window's behaviour over a simulated drawing and recording controls, as
// the fault, bad-value and model tests drive it.
#pragma once

#include <algorithm>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "RecordingControls.h"
#include "catalog/ScaleCatalog.h"
#include "sim/SimulatedHost.h"
#include "ui/ErrorReport.h"
#include "ui/FrmMain.h"

namespace vantrel::testing {

// A layout as drafters have it: the sheet's own viewport, a title block, two
// floating viewports (1/4" = 1'-0" active) and a note.
inline constexpr const char* kSheetScenario =
    "document Sheet1\n"
    "space model\n"
    "viewport 1\n"
    "entity AcDbLine\n"
    "viewport 1/48 active\n"
    "entity AcDbText\n"
    "viewport 1/96\n";

struct TestWindow {
    explicit TestWindow(const std::string& scenario)
        : host(sim::SimulatedHost::FromScenario(scenario)),
          form(std::make_unique<ui::FrmMain>(controls, host->Locator())) {}

    // The journal's calls, with their arguments where they have any.
    [[nodiscard]] std::vector<std::string> Calls() const {
        std::vector<std::string> calls;
        for (const auto& entry : host->Journal()) {
            calls.push_back(entry.call + (entry.arguments.empty() ? "" : "(" + entry.arguments + ")"));
        }
        return calls;
    }
    [[nodiscard]] int Count(const std::string& call) const {
        return static_cast<int>(std::count_if(host->Journal().begin(), host->Journal().end(),
                                              [&](const auto& entry) { return entry.call == call; }));
    }
    void Inject(const std::string& call, std::int32_t number, const std::string& description) {
        host->InjectFault({.call = call, .number = number, .description = description});
    }

    std::shared_ptr<sim::SimulatedHost> host;
    RecordingControls controls;
    std::unique_ptr<ui::FrmMain> form;
};

// What the host holds: compared before and after a failure.
struct HostState {
    std::vector<sim::SimDocument> documents;
    std::optional<std::size_t> activeDocument;
    bool running = true;

    static HostState Of(const sim::SimulatedHost& host) { return {host.documents, host.activeDocument, host.running}; }
    friend bool operator==(const HostState&, const HostState&) = default;
};

inline std::vector<std::vector<std::string>> TableRows(catalog::ScaleType type) {
    std::vector<std::vector<std::string>> rows;
    for (const auto& row : catalog::GetScaleTable(type)) {
        rows.push_back({std::string(row.Label), std::string(row.ScaleFactor), std::string(row.TextSizeSmall),
                        std::string(row.TextSizeLarge), std::string(row.LtScale), std::string(row.DimStyle)});
    }
    return rows;
}

inline ShownBox NotRunningBox() { return {"AutoCad Not Running", "Vantrel", ui::MessageStyle::Critical}; }

// What the program will not do to the drawing, and a host that stays busy.
inline const ShownBox kModelTabBox{"The Model tab is active. Switch to a layout with a viewport to zoom to a scale.",
                                   "Vantrel", ui::MessageStyle::Plain};
inline const ShownBox kNoViewportOnBox{"No viewport is switched on in this layout. Switch one on to zoom to a scale.",
                                       "Vantrel", ui::MessageStyle::Plain};
inline const ShownBox kLockedBox{"The active viewport is locked. Unlock it to change its scale.", "Vantrel",
                                 ui::MessageStyle::Plain};
inline const ShownBox kBusyBox{
    "AutoCAD is busy: a command or a dialog is open in it.\r\n\r\nFinish it there, then choose Retry; or choose "
    "Cancel.",
    "Vantrel", ui::MessageStyle::RetryCancel};

inline ShownBox ErrorBox(std::string_view location, std::int32_t number, std::string_view description) {
    return {ui::ErrorReportText(location, number, description), "App Error", ui::MessageStyle::Critical};
}

inline bool operator==(const ShownBox& a, const ShownBox& b) {
    return a.text == b.text && a.title == b.title && a.style == b.style;
}

inline std::ostream& operator<<(std::ostream& out, const ShownBox& box) {
    return out << "[" << box.title << "|" << static_cast<int>(box.style) << "] " << box.text;
}

}  // namespace vantrel::testing
