#include "ui/FrmMain.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <new>
#include <string>

#include "base/Failure.h"
#include "catalog/ScaleCatalog.h"
#include "host/HostOperations.h"
#include "ui/ErrorReport.h"
#include "ui/NumberText.h"

namespace vantrel::ui {
namespace {

using catalog::kScaleSystems;

// Thrown by the end of the program so that nothing after it runs in any
// caller; only Raise catches it. Deliberately not a std::exception, so that
// no guard does.
struct ProgramEnd {};

// Plain boxes titled Vantrel for what the program will not do to the drawing.
constexpr std::string_view kModelTabText =
    "The Model tab is active. Switch to a layout with a viewport to zoom to a scale.";
constexpr std::string_view kNoViewportOnText =
    "No viewport is switched on in this layout. Switch one on to zoom to a scale.";
constexpr std::string_view kViewportLockedText = "The active viewport is locked. Unlock it to change its scale.";
constexpr std::string_view kHostBusyText =
    "AutoCAD is busy or not answering: a command, a dialog or a long operation is running in it.\r\n\r\n"
    "Choose Retry to wait for it again, or Cancel to stop waiting.";
constexpr std::uint8_t kTranslucentWindow = 186;
constexpr std::uint8_t kTranslucentList = 100;
constexpr std::uint8_t kOpaque = 255;

// Brackets a fill's row changes; the list draws again however the fill ends,
// before any failure of it is reported.
class RowChanges {
public:
    explicit RowChanges(Controls& controls) noexcept : controls_(controls) { controls_.BeginRowChanges(); }
    ~RowChanges() { controls_.EndRowChanges(); }
    RowChanges(const RowChanges&) = delete;
    RowChanges& operator=(const RowChanges&) = delete;

private:
    Controls& controls_;
};

std::string_view RefusalText(host::ZoomOutcome outcome) noexcept {
    switch (outcome) {
        case host::ZoomOutcome::ModelTab:
            return kModelTabText;
        case host::ZoomOutcome::NoViewportOn:
            return kNoViewportOnText;
        case host::ZoomOutcome::ActiveViewportLocked:
            return kViewportLockedText;
        case host::ZoomOutcome::Zoomed:
            break;
    }
    return {};
}

// Counts the program's open message boxes, also when showing one throws.
class OpenBox {
public:
    explicit OpenBox(int& count) : count_(count) { ++count_; }
    ~OpenBox() { --count_; }
    OpenBox(const OpenBox&) = delete;
    OpenBox& operator=(const OpenBox&) = delete;

private:
    int& count_;
};

}  // namespace

FrmMain::FrmMain(Controls& controls, host::HostLink& link) : controls_(controls), link_(link) {}

void FrmMain::Raise(Event event, int index) {
    // The one event table.
    struct EventHandler {
        Event event;
        bool hostAction;
        std::string_view name;
        void (*run)(FrmMain& form, int eventIndex);
    };
    // Each row: the event, whether it starts a host action, the name a
    // failure that no guard catches is reported under, and the handler.
    static constexpr EventHandler kEventTable[] = {
        {Event::Load, true, "Form_Load", [](FrmMain& form, int) { form.Load(); }},
        {Event::ScaleSystemChosen, false, "Option1_Click",
         [](FrmMain& form, int system) { form.ShowScaleSystem(static_cast<std::size_t>(system)); }},
        {Event::OkClick, true, "CmdOK_Click", [](FrmMain& form, int) { form.ZoomAndClose(); }},
        {Event::ExitClick, false, "CmdExit_Click", [](FrmMain&, int) { Close(); }},
        {Event::CurrentScaleClick, true, "CmdGetscale_Click", [](FrmMain& form, int) { form.ShowCurrentScale(); }},
        {Event::NextViewportClick, true, "CmdNext_Click", [](FrmMain& form, int) { form.ActivateNextViewport(); }},
        {Event::TransparentClick, false, "ChkTransparent_Click", [](FrmMain& form, int) { form.ApplyTransparency(); }},
        {Event::RowApplied, true, "LVscales_DblClick", [](FrmMain& form, int) { form.ZoomToSelectedScale(); }},
        {Event::TimerTick, false, "Timer1_Timer", [](FrmMain& form, int) { form.OnTimer(); }},
        {Event::Close, false, "Form_Unload", [](FrmMain&, int) { Close(); }},
        {Event::HostAnswer, false, "Timer1_Timer", [](FrmMain& form, int) { form.TakeHostAnswers(); }},
    };
    const auto* const found = std::find_if(std::begin(kEventTable), std::end(kEventTable),
                                           [event](const EventHandler& handler) { return handler.event == event; });
    if (found == std::end(kEventTable)) {
        return;  // an event nobody handles
    }
    const EventHandler& handler = *found;
    // While an action waits on the host the window keeps dispatching. An
    // event that would start a second host action then (a click that comes
    // as a message, not as input) is ignored; the option buttons and the
    // check box, which change only the window, still take effect, as they
    // have already changed their own state.
    if (handler.hostAction && link_.InAction()) {
        return;
    }
    try {
        handler.run(*this, index);
    } catch (const ProgramEnd&) {
        // The end of the program: the host references go, then the process.
        application_.reset();
        document_.reset();
        controls_.EndProgram();
    } catch (...) {
        // A failure that no guard caught: tell the user, keep the program alive.
        try {
            ReportError(handler.name);
        } catch (...) {
            // Reporting failed too; there is no one left to tell.
        }
    }
}

void FrmMain::Load() {
    Guarded("Form_Load", [this] {
        const bool prepared = AsOneAction([this] {
            Attach();
            host::PrepareDrawing(*AttachedDocument());
        });
        if (!prepared) {
            // The host is there but busy, and the user gave up waiting for it.
            Close();
        }
        // Checking the first option from the program chooses it as a user's
        // click does; the list then shows its system once more.
        controls_.CheckOption(0);
        ShowScaleSystem(0);
        ShowScaleSystem(0);
    });
}

void FrmMain::ShowScaleSystem(std::size_t system) {
    if (system >= kScaleSystems.size()) {
        return;
    }
    const catalog::ScaleSystem& shown = kScaleSystems[system];
    shownSystem_ = system;
    Guarded(shown.name, [this, &shown] {
        const RowChanges changes(controls_);
        controls_.ClearRows();
        std::int32_t position = 0;
        for (const catalog::ScaleRow& row : shown.rows) {
            ++position;
            controls_.AddRow(position, row.Texts());
        }
    });
}

void FrmMain::ZoomAndClose() {
    if (ZoomToSelectedScale()) {
        Close();
    }
}

void FrmMain::ShowCurrentScale() {
    Guarded("CmdGetScale_Click", [this] {
        double scale = 0.0;
        if (!AsOneAction([this, &scale] { scale = host::ActiveViewportScale(*AttachedDocument()); })) {
            return;
        }
        const std::string separator = controls_.DecimalSeparator();
        const bool perFoot =
            shownSystem_ && kScaleSystems[*shownSystem_].readout == catalog::ScaleReadout::PaperInchesPerFoot;
        const std::string text =
            perFoot ? NumberText(12.0 * scale, separator) + " = 1'-0" : NumberText(scale, separator);
        ShowMessage(text, kAppTitle, MessageStyle::Plain);
    });
}

void FrmMain::ActivateNextViewport() {
    Guarded("CmdNext_Click",
            [this] { AsOneAction([this] { host::ActivateRandomViewport(*AttachedDocument(), random_); }); });
}

void FrmMain::ApplyTransparency() {
    const bool translucent = controls_.TransparentState() == kChecked;
    controls_.MakeTransparent(NativeWindow::Main, translucent ? kTranslucentWindow : kOpaque);
    controls_.MakeTransparent(NativeWindow::List, translucent ? kTranslucentList : kOpaque);
}

void FrmMain::OnTimer() {
    // Never a second box over one of ours: while "AutoCad Not Running" is
    // open the program is already on its way out, and while the busy box is
    // open the user decides. A tick never waits: while the host thread is
    // still on an earlier call, or an action is in flight, it is skipped.
    if (openMessageBoxes_ > 0 || link_.Busy()) {
        return;
    }
    link_.AttachInBackground([this](const host::AttachOutcome& outcome) {
        // An answer that arrives under one of our boxes or during an action
        // is dropped: the action holds its own references, and the next tick
        // asks again.
        if (openMessageBoxes_ == 0 && !link_.InAction()) {
            UseAttachment(outcome);
        }
    });
}

void FrmMain::TakeHostAnswers() { link_.DeliverAnswers(); }

void FrmMain::Close() { throw ProgramEnd{}; }

void FrmMain::Attach() {
    host::AttachOutcome outcome;
    try {
        outcome.attachment = host::Attach(link_.Locator());
    } catch (const std::exception&) {
        outcome.failure = std::current_exception();
    }
    UseAttachment(outcome);
}

void FrmMain::UseAttachment(const host::AttachOutcome& outcome) {
    try {
        if (outcome.failure) {
            std::rethrow_exception(outcome.failure);
        }
        application_ = outcome.attachment.application;
        document_ = outcome.attachment.document;
        return;
    } catch (const Failure& failure) {
        // A busy host is still there, never "not running": the attachment
        // stays as it is until the next tick.
        if (IsBusyStatus(failure.Number())) {
            return;
        }
    } catch (const std::exception&) {
    }
    ShowMessage(kNotRunningText, kAppTitle, MessageStyle::Critical);
    Close();
}

bool FrmMain::ZoomToSelectedScale() {
    const std::shared_ptr<host::Document> document = AttachedDocument();
    if (!shownSystem_) {
        return true;  // no scale system shown: nothing to zoom to
    }
    const std::optional<std::int32_t> row = controls_.SelectedRow();
    if (!row) {
        return true;  // nothing selected: nothing to zoom to
    }
    const std::optional<double> factor = catalog::LookupZoomFactor(*shownSystem_, *row);
    if (!factor) {
        return true;
    }
    host::ZoomOutcome outcome = host::ZoomOutcome::Zoomed;
    if (!AsOneAction([&] { outcome = host::ZoomActiveViewport(*document, *factor); })) {
        return false;
    }
    if (outcome != host::ZoomOutcome::Zoomed) {
        ShowMessage(RefusalText(outcome), kAppTitle, MessageStyle::Plain);
        return false;
    }
    return true;
}

void FrmMain::ReportError(std::string_view location) {
    std::int32_t number = status::kUnexpected;
    std::string description = "Unexpected failure";
    if (const std::exception_ptr current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
        } catch (const Failure& failure) {
            number = failure.Number();
            description = failure.Description();
        } catch (const std::bad_alloc&) {
            number = status::kOutOfMemory;
            description = "Out of memory";
        } catch (const std::exception& other) {
            description = other.what();
        } catch (...) {
        }
    }
    ShowMessage(ErrorReportText(location, number, description), kErrorBoxTitle, MessageStyle::Critical);
}

MessageAnswer FrmMain::ShowMessage(std::string_view text, std::string_view title, MessageStyle style) {
    const OpenBox open(openMessageBoxes_);
    return controls_.ShowMessage(text, title, style);
}

bool FrmMain::AskRetryWhileBusy() {
    return ShowMessage(kHostBusyText, kAppTitle, MessageStyle::RetryCancel) == MessageAnswer::Retry;
}

std::shared_ptr<host::Document> FrmMain::AttachedDocument() {
    if (!document_) {
        throw ObjectNotSet();
    }
    // A tick may replace the document while a host call waits; the caller's
    // own reference keeps the document it works on alive until it is done.
    return document_;
}

}  // namespace vantrel::ui
