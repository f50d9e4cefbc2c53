#include "host/HostOperations.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace vantrel::host {
namespace {

bool IsViewport(Entity& item) { return item.ObjectName() == kViewportObjectName; }

}  // namespace

Attachment Attach(HostLocator& locator) {
    Attachment attachment;
    attachment.application = locator.GetRunningApplication(kHostProgId);
    attachment.document = attachment.application->ActiveDocument();
    return attachment;
}

std::optional<std::size_t> FrontInstance(const std::vector<std::optional<std::uint64_t>>& mainWindows,
                                         const std::vector<std::uint64_t>& zOrder) {
    for (const std::uint64_t window : zOrder) {
        for (std::size_t instance = 0; instance < mainWindows.size(); ++instance) {
            if (mainWindows[instance] == window) {
                return instance;
            }
        }
    }
    return std::nullopt;
}

void PrepareDrawing(Document& document) {
    // ActiveSpace is the drawing's TILEMODE: it reads paper space also while
    // model space is active inside a floating viewport, and writing it can
    // leave that on. Zooms act on the current view, so the zoom to the
    // extents is made in paper space proper, on the sheet, never on a viewport.
    if (document.ActiveSpace() != kPaperSpace) {
        document.SetActiveSpace(kPaperSpace);
    }
    document.SetMSpace(false);
    document.Application()->ZoomExtents();
    // Back to the viewport last active.
    document.SetMSpace(true);
}

ZoomOutcome ZoomActiveViewport(Document& document, double factor) {
    // A zoom goes to the current view: on the Model tab the model view, in
    // paper space proper the sheet, in a display-locked viewport the sheet too.
    // None of those is ever zoomed by a scale factor.
    if (document.ActiveSpace() != kPaperSpace) {
        return ZoomOutcome::ModelTab;
    }
    try {
        // Returns to the viewport last active; the host refuses it when no
        // floating viewport is switched on.
        document.SetMSpace(true);
    } catch (const Failure& failure) {
        if (IsHostRefusal(failure.Number())) {
            return ZoomOutcome::NoViewportOn;
        }
        throw;
    }
    if (document.ActivePViewport()->DisplayLocked()) {
        return ZoomOutcome::ActiveViewportLocked;
    }
    document.Application()->ZoomScaled(factor, kScaledRelativeToPaper);
    return ZoomOutcome::Zoomed;
}

double ActiveViewportScale(Document& document) { return document.ActivePViewport()->CustomScale(); }

void ActivateRandomViewport(Document& document, RandomSource& random) {
    // One pass over paper space: it also holds title-block lines, text and
    // blocks, and every call is a round trip to the host, so each item's name
    // is asked once and the viewports are kept for the activation.
    std::vector<std::shared_ptr<Entity>> viewports;
    {
        const std::shared_ptr<EntityCollection> paperSpace = document.PaperSpace();
        const std::unique_ptr<EntityEnumerator> items = paperSpace->Enumerate();
        while (std::shared_ptr<Entity> item = items->Next()) {
            if (IsViewport(*item)) {
                viewports.push_back(std::move(item));
            }
        }
    }
    const double r = random.Next();
    if (viewports.size() < 2) {
        return;  // only the sheet's own viewport (or none): nothing to switch to
    }
    // The first viewport is the sheet's own and is never chosen; every draw
    // names one of the others.
    const auto m = static_cast<double>(viewports.size());
    const double drawn = std::min(m, 2.0 + std::floor((m - 1.0) * r));
    Entity& viewport = *viewports[static_cast<std::size_t>(drawn) - 1];
    bool stillThere = false;
    try {
        stillThere = IsViewport(viewport);
    } catch (const Failure& failure) {
        if (!IsHostRefusal(failure.Number())) {
            throw;  // the host itself is in trouble, not the item
        }
    }
    if (!stillThere) {
        // Erased (or replaced) since the pass: say so rather than activate something else.
        throw Failure(status::kUnexpected, "Paper space changed while a viewport was being chosen");
    }
    viewport.Display(true);
    document.SetMSpace(true);
    document.SetActivePViewport(viewport);
    document.Regen(kRegenAllViewports);
}

}  // namespace vantrel::host
