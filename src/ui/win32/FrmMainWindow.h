// The native window of FrmMain: creates the controls of the window's design
// at the window's DPI, implements Controls over them and forwards every event
// to FrmMain::Raise.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "ui/Controls.h"
#include "ui/FrmMain.h"
#include "ui/win32/Layout.h"
#include "ui/win32/WindowDesign.h"

namespace vantrel::ui::win32 {

inline constexpr UINT_PTR kTimerId = 1;
inline constexpr UINT kTimerIntervalMs = 1000;
// Posted to the window when the host thread has answered a tick's attach.
inline constexpr UINT kHostAnswerMessage = WM_APP + 1;

// Control ids. None is IDOK or IDCANCEL, so Enter and Escape, which the dialog
// manager turns into those ids, press nothing.
inline constexpr int kFirstControlId = 100;

// Not final: a test's window keeps its process at the end.
class FrmMainWindow : public Controls {
public:
    FrmMainWindow() = default;
    ~FrmMainWindow() override;
    FrmMainWindow(const FrmMainWindow&) = delete;
    FrmMainWindow& operator=(const FrmMainWindow&) = delete;

    // Creates the window, hidden, with every control and the timer running.
    // Throws vantrel::Failure when the system refuses.
    void Create(HINSTANCE instance);

    // Events go to `form` from now on; without one they are dropped.
    void Attach(FrmMain* form) noexcept { form_ = form; }

    void Raise(Event event, int index = 0) {
        if (form_) form_->Raise(event, index);
    }

    void Show();

    // While the window's thread waits on the host thread: the input the
    // window still takes (the Exit button, the system keys of the close
    // box), and the wait cursor over it while a user action is in flight.
    // Input that came during an action is dropped when it ends, so that no
    // click fires afterwards.
    [[nodiscard]] bool AdmitsWhileWaiting(const MSG& message) const noexcept;
    void ShowActionInFlight(bool inFlight) noexcept;

    [[nodiscard]] HWND Handle() const noexcept { return window_; }
    // The control that raises `event` (an option button: with its index).
    [[nodiscard]] HWND Control(Event event, int index = 0) const noexcept;
    [[nodiscard]] UINT Dpi() const noexcept { return dpi_; }
    [[nodiscard]] HFONT Font() const noexcept { return font_.get(); }

    // Controls
    void ClearRows() override;
    void AddRow(std::int32_t position, const RowTexts& texts) override;
    std::optional<std::int32_t> SelectedRow() override;
    void BeginRowChanges() noexcept override;
    void EndRowChanges() noexcept override;
    void CheckOption(int index) override;
    int TransparentState() override;
    void MakeTransparent(NativeWindow window, std::uint8_t alpha) override;
    MessageAnswer ShowMessage(std::string_view text, std::string_view title, MessageStyle style) override;
    std::string DecimalSeparator() override;
    // Stops the timer and exits the process.
    void EndProgram() noexcept override;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(int id, int code);
    LRESULT OnNotify(const NMHDR& header);
    void OnDpiChanged(UINT dpi, const RECT& suggested);

    void CreateControls();
    void ApplyLayout();
    void ApplyFont();
    void StopTimer() noexcept;
    void SetIcons();
    HWND List() const noexcept { return Control(Event::RowApplied); }

    HWND window_ = nullptr;
    std::array<HWND, kControlCount> controls_{};
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    struct FontDeleter {
        void operator()(HFONT font) const noexcept { DeleteObject(font); }
    };
    std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter> font_;
    HWND lastFocus_ = nullptr;
    bool timerRunning_ = false;
    bool actionInFlight_ = false;
    FrmMain* form_ = nullptr;
};

}  // namespace vantrel::ui::win32
