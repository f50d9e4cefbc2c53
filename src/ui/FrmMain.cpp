#include "ui/FrmMain.h"

#include <array>
#include <exception>
#include <new>
#include <string>

#include "base/Failure.h"
#include "host/HostOperations.h"
#include "ui/ErrorReport.h"
#include "ui/NumberText.h"

namespace vantrel::ui {
namespace {

using catalog::ScaleType;

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

// The one event table: each event's handler and the name under which a
// failure that no guard catches is reported. In the order of Event.
struct EventHandler {
    Event event;
    std::string_view name;
    void (*run)(FrmMain& form, int index);
};

constexpr std::array<EventHandler, kEventCount> kEventHandlers{{
    {Event::Load, "Form_Load", [](FrmMain& form, int) { form.Form_Load(); }},
    {Event::OptionClick, "Option1_Click",
     [](FrmMain& form, int index) { form.Option1_Click(static_cast<std::int16_t>(index)); }},
    {Event::OkClick, "CmdOK_Click", [](FrmMain& form, int) { form.CmdOK_Click(); }},
    {Event::ExitClick, "CmdExit_Click", [](FrmMain& form, int) { form.CmdExit_Click(); }},
    {Event::GetScaleClick, "CmdGetscale_Click", [](FrmMain& form, int) { form.CmdGetscale_Click(); }},
    {Event::NextClick, "CmdNext_Click", [](FrmMain& form, int) { form.CmdNext_Click(); }},
    {Event::TransparentClick, "ChkTransparent_Click", [](FrmMain& form, int) { form.ChkTransparent_Click(); }},
    {Event::ListApply, "LVscales_DblClick", [](FrmMain& form, int) { form.LVscales_DblClick(); }},
    {Event::TimerTick, "Timer1_Timer", [](FrmMain& form, int) { form.Timer1_Timer(); }},
    {Event::Close, "Form_Unload",
     [](FrmMain& form, int) {
         int cancel = 0;
         form.Form_Unload(cancel);
     }},
    {Event::HostAnswer, "Timer1_Timer", [](FrmMain& form, int) { form.HostAnswered(); }},
}};

constexpr bool InEventOrder() {
    for (std::size_t i = 0; i < kEventHandlers.size(); ++i) {
        if (static_cast<std::size_t>(kEventHandlers[i].event) != i) return false;
    }
    return true;
}
static_assert(InEventOrder(), "kEventHandlers must list the events in the order of Event");

// A guarded procedure: a failure anywhere in the body is reported under the
// procedure's location and the procedure returns normally. ProgramEnd is not
// a std::exception, so the end of the program passes through.
template <class Body>
void Guarded(FrmMain& form, std::string_view location, Body&& body) {
    try {
        body();
    } catch (const std::exception&) {
        form.ReportError(location);
    }
}

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

EventOutcome FrmMain::Raise(Event event, int index) {
    // While an action waits on the host the window keeps dispatching. An
    // event that would start a second host action then (a click that comes
    // as a message, not as input) is ignored; the option buttons and the
    // check box, which change only the window, still take effect, as they
    // have already changed their own state.
    const bool hostAction = event == Event::Load || event == Event::OkClick || event == Event::ListApply ||
                            event == Event::GetScaleClick || event == Event::NextClick;
    if (hostAction && link_.InAction()) {
        return EventOutcome::Running;
    }
    const EventHandler& handler = kEventHandlers[static_cast<std::size_t>(event)];
    try {
        handler.run(*this, index);
        return EventOutcome::Running;
    } catch (const ProgramEnd&) {
        return EventOutcome::Ended;
    } catch (...) {
        // A failure that no guard caught: tell the user, keep the program alive.
        try {
            ReportError(handler.name);
        } catch (const ProgramEnd&) {
            return EventOutcome::Ended;
        } catch (...) {
            // Reporting failed too; there is no one left to tell.
        }
        return EventOutcome::Running;
    }
}

void FrmMain::ReleaseHost() noexcept {
    acadApp_.reset();
    acadDoc_.reset();
}

void FrmMain::Form_Load() {
    Guarded(*this, "Form_Load", [this] {
        const bool prepared = AsOneAction([this] {
            AcadProj();
            host::PrepareDrawing(*Doc());
        });
        if (!prepared) {
            // The host is there but busy, and the user gave up waiting for it.
            Unload();
        }
        SelectOption(0);
        Architectural();
    });
}

void FrmMain::Option1_Click(std::int16_t index) {
    switch (index) {
        case 0:
            Architectural();
            break;
        case 1:
            Machine();
            break;
        case 2:
            Civil();
            break;
        case 3:
            Metric();
            break;
        default:
            break;
    }
}

void FrmMain::CmdOK_Click() {
    if (scales()) {
        Unload();
    }
}

void FrmMain::CmdExit_Click() {
    Unload();
    End();
}

void FrmMain::CmdGetscale_Click() {
    Guarded(*this, "CmdGetScale_Click", [this] {
        double scale = 0.0;
        if (!AsOneAction([this, &scale] { scale = host::ActiveViewportScale(*Doc()); })) {
            return;
        }
        const bool architectural = controls_.IsOptionChecked(static_cast<int>(ScaleType::Architectural));
        const std::string separator = controls_.DecimalSeparator();
        // Architectural: the paper inches that stand for one foot of the model.
        const std::string text =
            architectural ? NumberText(12.0 * scale, separator) + " = 1'-0" : NumberText(scale, separator);
        ShowMessage(text, kAppTitle, MessageStyle::Plain);
    });
}

void FrmMain::CmdNext_Click() {
    Guarded(*this, "CmdNext_Click", [this] { AsOneAction([this] { host::ActivateRandomViewport(*Doc(), random_); }); });
}

void FrmMain::ChkTransparent_Click() {
    if (controls_.TransparentState() == kChecked) {
        controls_.MakeTransparent(NativeWindow::Main, kTranslucentWindow);
        controls_.MakeTransparent(NativeWindow::List, kTranslucentList);
    } else {
        controls_.MakeTransparent(NativeWindow::Main, kOpaque);
        controls_.MakeTransparent(NativeWindow::List, kOpaque);
    }
}

void FrmMain::LVscales_DblClick() { scales(); }

void FrmMain::Timer1_Timer() {
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

void FrmMain::HostAnswered() { link_.DeliverAnswers(); }

void FrmMain::Form_Unload(int& cancel) {
    cancel = 0;  // an unload is never refused
    End();
}

void FrmMain::AcadProj() {
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
        acadApp_ = outcome.attachment.application;
        acadDoc_ = outcome.attachment.document;
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
    Unload();
}

void FrmMain::Architectural() { Fill(ScaleType::Architectural); }
void FrmMain::Machine() { Fill(ScaleType::Machine); }
void FrmMain::Civil() { Fill(ScaleType::Civil); }
void FrmMain::Metric() { Fill(ScaleType::Metric); }

bool FrmMain::scales() {
    const std::shared_ptr<host::Document> document = Doc();
    for (int type = 0; type < catalog::kScaleTypeCount; ++type) {
        if (!controls_.IsOptionChecked(type)) {
            continue;
        }
        const std::optional<std::int32_t> row = controls_.SelectedRow();
        if (!row) {
            continue;  // nothing selected: nothing to zoom to
        }
        const std::optional<double> factor = catalog::LookupZoomFactor(static_cast<ScaleType>(type), *row);
        if (!factor) {
            continue;
        }
        host::ZoomOutcome outcome = host::ZoomOutcome::Zoomed;
        if (!AsOneAction([&] { outcome = host::ZoomActiveViewport(*document, *factor); })) {
            return false;
        }
        if (outcome != host::ZoomOutcome::Zoomed) {
            ShowMessage(RefusalText(outcome), kAppTitle, MessageStyle::Plain);
            return false;
        }
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

void FrmMain::Fill(catalog::ScaleType type) {
    Guarded(*this, catalog::ScaleTypeName(type), [this, type] {
        const RowChanges changes(controls_);
        controls_.ClearRows();
        std::int32_t position = 0;
        for (const catalog::ScaleRow& row : catalog::GetScaleTable(type)) {
            ++position;
            controls_.AddRow(position, row.Texts());
        }
    });
}

void FrmMain::SelectOption(int index) {
    // Setting the option from the program raises its click event, as a user's click does.
    controls_.CheckOption(index);
    Option1_Click(static_cast<std::int16_t>(index));
}

void FrmMain::Unload() {
    int cancel = 0;
    Form_Unload(cancel);
}

void FrmMain::End() { throw ProgramEnd{}; }

MessageAnswer FrmMain::ShowMessage(std::string_view text, std::string_view title, MessageStyle style) {
    const OpenBox open(openMessageBoxes_);
    return controls_.ShowMessage(text, title, style);
}

bool FrmMain::AskRetryWhileBusy() {
    return ShowMessage(kHostBusyText, kAppTitle, MessageStyle::RetryCancel) == MessageAnswer::Retry;
}

std::shared_ptr<host::Document> FrmMain::Doc() {
    if (!acadDoc_) {
        throw ObjectNotSet();
    }
    // A tick may replace AcadDoc while a host call waits; the caller's own
    // reference keeps the document it works on alive until it is done.
    return acadDoc_;
}

}  // namespace vantrel::ui
