#include "ui/FrmMain.h"

#include <exception>
#include <new>
#include <string>

#include "host/Failure.h"
#include "host/HostOperations.h"
#include "ui/ErrorReport.h"

namespace vantrel::ui {
namespace {

using catalog::ScaleType;

constexpr std::int32_t kObjectNotSet = 91;
constexpr std::string_view kObjectNotSetText = "Object variable or With block variable not set";
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

std::string_view HandlerName(Event event) noexcept {
    switch (event) {
        case Event::Load:
            return "Form_Load";
        case Event::OptionClick:
            return "Option1_Click";
        case Event::OkClick:
            return "CmdOK_Click";
        case Event::ExitClick:
            return "CmdExit_Click";
        case Event::GetScaleClick:
            return "CmdGetscale_Click";
        case Event::NextClick:
            return "CmdNext_Click";
        case Event::TransparentClick:
            return "ChkTransparent_Click";
        case Event::ListApply:
            return "LVscales_DblClick";
        case Event::TimerTick:
            return "Timer1_Timer";
        case Event::Close:
            return "Form_Unload";
    }
    return "FrmMain";
}

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

FrmMain::FrmMain(Controls& controls, host::HostLocator& locator) : controls_(controls), locator_(locator) {}

EventOutcome FrmMain::Raise(Event event, int index) {
    try {
        switch (event) {
            case Event::Load:
                Form_Load();
                break;
            case Event::OptionClick:
                Option1_Click(static_cast<std::int16_t>(index));
                break;
            case Event::OkClick:
                CmdOK_Click();
                break;
            case Event::ExitClick:
                CmdExit_Click();
                break;
            case Event::GetScaleClick:
                CmdGetscale_Click();
                break;
            case Event::NextClick:
                CmdNext_Click();
                break;
            case Event::TransparentClick:
                ChkTransparent_Click();
                break;
            case Event::ListApply:
                LVscales_DblClick();
                break;
            case Event::TimerTick:
                Timer1_Timer();
                break;
            case Event::Close:
                Unload();
                break;
        }
        return EventOutcome::Running;
    } catch (const ProgramEnd&) {
        ReleaseHost();
        return EventOutcome::Ended;
    } catch (...) {
        // A failure that no guard caught: tell the user, keep the program alive.
        try {
            ReportError(HandlerName(event));
        } catch (const ProgramEnd&) {
            ReleaseHost();
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
        AcadProj();
        host::PrepareDrawing(Doc());
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
    scales();
    Unload();
}

void FrmMain::CmdExit_Click() {
    Unload();
    End();
}

void FrmMain::CmdGetscale_Click() {
    Guarded(*this, "CmdGetScale_Click", [this] {
        host::Document& document = Doc();
        const bool architectural = controls_.IsOptionChecked(static_cast<int>(ScaleType::Architectural));
        const std::string separator = controls_.DecimalSeparator();
        const std::string text = host::CurrentScaleText(document, architectural, separator);
        ShowMessage(text, kAppTitle, MessageStyle::Plain);
    });
}

void FrmMain::CmdNext_Click() {
    Guarded(*this, "CmdNext_Click", [this] { host::ActivateRandomViewport(Doc(), random_); });
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
    // open the program is already on its way out.
    if (openMessageBoxes_ > 0) {
        return;
    }
    AcadProj();
}

void FrmMain::Form_Unload(int& cancel) {
    cancel = 0;  // an unload is never refused
    End();
}

void FrmMain::AcadProj() {
    try {
        host::Attachment attachment = host::Attach(locator_);
        acadApp_ = std::move(attachment.application);
        acadDoc_ = std::move(attachment.document);
        return;
    } catch (const Failure& failure) {
        // A busy host is still there: keep what we have and try at the next tick.
        if (IsBusyStatus(failure.Number()) && acadDoc_) {
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

void FrmMain::scales() {
    std::shared_ptr<host::Application> application = Doc().Application();
    if (!application) {
        throw Failure(kObjectNotSet, std::string(kObjectNotSetText));
    }
    for (int type = 0; type < catalog::kScaleTypeCount; ++type) {
        if (!controls_.IsOptionChecked(type)) {
            continue;
        }
        const std::optional<std::int32_t> row = controls_.SelectedRow();
        if (!row) {
            continue;  // nothing selected: nothing to zoom to
        }
        if (const std::optional<double> factor = catalog::LookupZoomFactor(static_cast<ScaleType>(type), *row)) {
            application->ZoomScaled(*factor, host::kScaledRelativeToPaper);
        }
    }
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
            controls_.AddRow(position, row.Label);
            controls_.AddSubItem(position, row.ScaleFactor);
            controls_.AddSubItem(position, row.TextSizeSmall);
            controls_.AddSubItem(position, row.TextSizeLarge);
            controls_.AddSubItem(position, row.LtScale);
            controls_.AddSubItem(position, row.DimStyle);
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

void FrmMain::ShowMessage(std::string_view text, std::string_view title, MessageStyle style) {
    const OpenBox open(openMessageBoxes_);
    controls_.ShowMessage(text, title, style);
}

host::Document& FrmMain::Doc() {
    if (!acadDoc_) {
        throw Failure(kObjectNotSet, std::string(kObjectNotSetText));
    }
    return *acadDoc_;
}

}  // namespace vantrel::ui
