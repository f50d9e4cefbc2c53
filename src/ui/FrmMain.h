// The main window's behaviour: the load sequence, every event handler, the
// guards and the messages. It owns the host references and talks to the native
// window only through Controls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "base/Failure.h"
#include "catalog/ScaleCatalog.h"
#include "host/HostLink.h"
#include "host/HostModel.h"
#include "host/RandomSource.h"
#include "ui/Controls.h"

namespace vantrel::ui {

inline constexpr std::string_view kAppTitle = "Vantrel";
inline constexpr std::string_view kWindowTitle = "Standard Scales";
inline constexpr std::string_view kNotRunningText = "AutoCad Not Running";

// The events the native window delivers; FrmMain's event table gives each its
// handler.
enum class Event {
    Load,              // Form_Load
    OptionClick,       // Option1_Click(index)
    OkClick,           // CmdOK_Click
    ExitClick,         // CmdExit_Click
    GetScaleClick,     // CmdGetscale_Click
    NextClick,         // CmdNext_Click
    TransparentClick,  // ChkTransparent_Click
    ListApply,         // LVscales_DblClick (double-click of a row)
    TimerTick,         // Timer1_Timer
    Close,             // the frame or the system closes the window: Form_Unload
    HostAnswer,        // a tick's attach was answered on the host thread
};
inline constexpr std::size_t kEventCount = 11;

enum class EventOutcome {
    Running,  // the program goes on
    Ended,    // the program's end was reached: release and exit at once
};

// Thrown by the program's end; no guard catches it, so nothing after the end
// runs in any caller. Deliberately not a std::exception.
struct ProgramEnd {};

class FrmMain {
public:
    FrmMain(Controls& controls, host::HostLink& link);

    // The event loop's entry: runs the event's handler from the event table. A
    // failure that no guard catches is reported under the handler's own name
    // and the program goes on.
    EventOutcome Raise(Event event, int index = 0);

    // Releases AcadApp and AcadDoc: the program's owner does, at its end.
    void ReleaseHost() noexcept;

    // Handlers, as the event table names them.
    void Form_Load();
    void Option1_Click(std::int16_t index);
    void CmdOK_Click();
    void CmdExit_Click();
    void CmdGetscale_Click();
    void CmdNext_Click();
    void ChkTransparent_Click();
    void LVscales_DblClick();
    void Timer1_Timer();
    void Form_Unload(int& cancel);
    void HostAnswered();

    // The window's procedures.
    void AcadProj();
    void Architectural();
    void Machine();
    void Civil();
    void Metric();
    // Zooms the active viewport to the selected row's scale. False when the
    // zoom was refused or the user gave up on a busy host: "Ok" then leaves
    // the window open.
    bool scales();
    // Shows the "App Error" box for the failure being handled; call only
    // from inside a catch block.
    void ReportError(std::string_view location);

    [[nodiscard]] const std::shared_ptr<host::Application>& AcadApp() const noexcept { return acadApp_; }
    [[nodiscard]] const std::shared_ptr<host::Document>& AcadDoc() const noexcept { return acadDoc_; }

private:
    void Fill(catalog::ScaleType type);
    void SelectOption(int index);
    void Unload();
    [[noreturn]] void End();
    MessageAnswer ShowMessage(std::string_view text, std::string_view title, MessageStyle style);
    // AcadDoc, or failure 91 when no attach has filled it.
    std::shared_ptr<host::Document> Doc();
    // The host stayed busy or silent for the action's whole budget: Retry or Cancel.
    bool AskRetryWhileBusy();
    // Runs host calls as one action, with one budget for all of them. False
    // when the user gave up on a busy or silent host: nothing more was sent.
    template <class Body>
    bool AsOneAction(Body&& body) {
        const host::HostLink::Action action(link_, [this] { return AskRetryWhileBusy(); });
        try {
            body();
            return true;
        } catch (const host::ActionCancelled&) {
            return false;
        }
    }
    // Keeps an attach's application and document; a busy host keeps the
    // previous ones, any other failure is "AutoCad Not Running" and the end.
    void UseAttachment(const host::AttachOutcome& outcome);

    Controls& controls_;
    host::HostLink& link_;
    host::RandomSource random_;
    std::shared_ptr<host::Application> acadApp_;
    std::shared_ptr<host::Document> acadDoc_;
    int openMessageBoxes_ = 0;  // ticks do not attach while one of our boxes is open
};

}  // namespace vantrel::ui
