// The host operations the window performs, built on the host model.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "base/Failure.h"
#include "host/HostModel.h"
#include "host/RandomSource.h"

namespace vantrel::host {

inline constexpr std::string_view kHostProgId = "AutoCAD.Application";

struct Attachment {
    std::shared_ptr<Application> application;
    std::shared_ptr<Document> document;
};

// The attach: the running application by ProgID, then its ActiveDocument.
// Throws Failure (no running instance, no active document, not a document).
Attachment Attach(HostLocator& locator);

// Of several instances of the host running, the one the drafter works in: the
// one whose main window is highest in the z-order, that is the one used last.
// `mainWindows` holds each instance's main window, or nothing for one that
// could not say (busy, not answering); `zOrder` the top-level windows, the
// topmost first. Nothing when no instance's window is among them.
std::optional<std::size_t> FrontInstance(const std::vector<std::optional<std::uint64_t>>& mainWindows,
                                         const std::vector<std::uint64_t>& zOrder);

// Paper space (written only when not already), paper space proper, zoom to
// the extents of the sheet through the document's application, model space
// active inside the viewport last active. No viewport's scale changes.
void PrepareDrawing(Document& document);

// Why a zoom to a scale was not made.
enum class ZoomOutcome {
    Zoomed,
    ModelTab,              // the Model tab is active: no viewport to zoom
    NoViewportOn,          // the layout has no floating viewport switched on
    ActiveViewportLocked,  // the active viewport is display-locked
};

// Zooms the active floating viewport to `factor` relative to paper-space
// units. Only ever a floating viewport: from paper space proper it first
// returns to the viewport last active; the Model tab, a layout without a
// viewport on and a locked viewport are refused, with nothing zoomed.
ZoomOutcome ZoomActiveViewport(Document& document, double factor);

// The active viewport's CustomScale (paper units per model unit).
double ActiveViewportScale(Document& document);

// "Next VPort": one pass over paper space collects its viewports (other items
// skipped), draws one of them other than the first (the sheet's own), checks
// that it is still a viewport and activates it: Display(true), MSpace = true,
// ActivePViewport, Regen(all). With fewer than two viewports nothing changes.
void ActivateRandomViewport(Document& document, RandomSource& random);

}  // namespace vantrel::host
