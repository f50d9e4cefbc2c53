// The main window's behaviour: the load sequence, every event handler, the
// guards and the messages, and the end of the program. It owns the host
// references and talks to the native window only through Controls.
#pragma once

#include <cstddef>
#include <exception>
#include <memory>
#include <optional>
#include <string_view>

#include "host/HostLink.h"
#include "host/HostModel.h"
#include "host/RandomSource.h"
#include "ui/Controls.h"

namespace vantrel::ui {

inline constexpr std::string_view kAppTitle = "Vantrel";
inline constexpr std::string_view kWindowTitle = "Standard Scales";
inline constexpr std::string_view kNotRunningText = "AutoCad Not Running";

// The events the native window delivers; the event table in FrmMain.cpp gives
// each its handler and the name a failure under it is reported by.
enum class Event {
    Load,               // the window loads, before it is first shown
    ScaleSystemChosen,  // an option button; its index is the scale system
    OkClick,            // "Ok": zoom to the selected scale, then end
    ExitClick,          // "Exit"
    CurrentScaleClick,  // "Current Scale"
    NextViewportClick,  // "Next VPort"
    TransparentClick,   // "Transparent" changed its check state
    RowApplied,         // a row of the list double-clicked: zoom, stay open
    TimerTick,          // the timer, every second
    Close,              // the frame or the system closes the window
    HostAnswer,         // a tick's attach was answered on the host thread
};

class FrmMain {
public:
    FrmMain(Controls& controls, host::HostLink& link);

    // The event loop's entry: runs the event's handler. A failure that no
    // guard catches is reported under the event's name and the program goes
    // on. When a handler reaches the end of the program, the host references
    // are released and Controls::EndProgram ends it.
    void Raise(Event event, int index = 0);

    [[nodiscard]] const std::shared_ptr<host::Application>& Application() const noexcept { return application_; }
    [[nodiscard]] const std::shared_ptr<host::Document>& Document() const noexcept { return document_; }

private:
    void Load();
    void ShowScaleSystem(std::size_t system);
    void ZoomAndClose();
    void ShowCurrentScale();
    void ActivateNextViewport();
    void ApplyTransparency();
    void OnTimer();
    void TakeHostAnswers();
    // Every way out: Exit, Ok, the frame, a host that cannot be reached.
    // Nothing after it runs in any caller.
    [[noreturn]] static void Close();

    // Attaches to the host in front and keeps its application and document.
    void Attach();
    // Keeps an attach's application and document; a busy host keeps the
    // previous ones, any other failure is "AutoCad Not Running" and the end.
    void UseAttachment(const host::AttachOutcome& outcome);
    // Zooms the active viewport to the selected row's scale. False when the
    // zoom was refused or the user gave up on a busy host: "Ok" then leaves
    // the window open.
    bool ZoomToSelectedScale();
    // Shows the "App Error" box for the failure being handled; call only
    // from inside a catch block.
    void ReportError(std::string_view location);
    MessageAnswer ShowMessage(std::string_view text, std::string_view title, MessageStyle style);
    // The document, or failure 91 when no attach has given one.
    std::shared_ptr<host::Document> AttachedDocument();
    // The host stayed busy or silent for the action's whole budget: Retry or Cancel.
    bool AskRetryWhileBusy();
    // A guarded procedure: a failure anywhere in the body is reported under
    // the procedure's location and the procedure returns normally. The end
    // of the program is no std::exception and passes through.
    template <class Body>
    void Guarded(std::string_view location, Body&& body) {
        try {
            body();
        } catch (const std::exception&) {
            ReportError(location);
        }
    }
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

    Controls& controls_;
    host::HostLink& link_;
    host::RandomSource random_;
    std::shared_ptr<host::Application> application_;
    std::shared_ptr<host::Document> document_;
    std::optional<std::size_t> shownSystem_;  // the scale system whose rows the list shows
    int openMessageBoxes_ = 0;                // ticks do not attach while one of our boxes is open
};

}  // namespace vantrel::ui
