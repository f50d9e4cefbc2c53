// The host operations the window performs, built on the host model.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "host/Failure.h"
#include "host/HostModel.h"
#include "host/RandomSource.h"

namespace vantrel::host {

inline constexpr std::string_view kHostProgId = "autocad.application";

struct Attachment {
    std::shared_ptr<Application> application;
    std::shared_ptr<Document> document;
};

// The attach: the running application by ProgID, then its ActiveDocument.
// Throws Failure (no running instance, no active document, not a document).
Attachment Attach(HostLocator& locator);

// Paper space (written only when not already), zoom to extents through the
// document's application, model space active inside the viewport.
void PrepareDrawing(Document& document);

// "Current Scale": 12 x CustomScale followed by " = 1'-0" when Architectural
// is chosen, the bare CustomScale otherwise, in the given decimal separator.
std::string CurrentScaleText(Document& document, bool architectural, std::string_view decimalSeparator);

// "Next VPort": counts the viewports of paper space (other items skipped),
// draws one of them other than the first (the sheet's own) and activates it:
// Display(true), MSpace = true, ActivePViewport, Regen(all). With fewer than
// two viewports nothing changes.
void ActivateRandomViewport(Document& document, RandomSource& random);

}  // namespace vantrel::host
