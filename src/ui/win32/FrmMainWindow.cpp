#include "ui/win32/FrmMainWindow.h"

#include <commctrl.h>

#include <optional>
#include <string>

#include "base/Failure.h"
#include "resource.h"
#include "ui/win32/Transparency.h"
#include "win/Utf16.h"

namespace vantrel::ui::win32 {
namespace {

constexpr wchar_t kClassName[] = L"VantrelFrmMain";
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kWindowExStyle = WS_EX_CONTROLPARENT;
std::int32_t LastErrorStatus() {
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? status::kFail : StatusCode(static_cast<std::uint32_t>(HRESULT_FROM_WIN32(error)));
}

void RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance, kClassName, &existing)) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = kClassName;
    if (!RegisterClassExW(&wc)) throw Failure(LastErrorStatus(), "The main window's class could not be registered.");
}

// The icon at the size a metric asks for at a DPI: the icon file carries an
// image for each common size, so none is scaled.
HICON LoadIconFor(HINSTANCE instance, int widthMetric, int heightMetric, UINT dpi) {
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_VANTREL), IMAGE_ICON,
                                         GetSystemMetricsForDpi(widthMetric, dpi),
                                         GetSystemMetricsForDpi(heightMetric, dpi), LR_SHARED));
}

}  // namespace

FrmMainWindow::~FrmMainWindow() {
    if (window_) {
        StopTimer();
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

void FrmMainWindow::Create(HINSTANCE instance) {
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&icc);
    RegisterWindowClass(instance, &FrmMainWindow::WindowProc);

    // The design fixes the client area; the frame around it is the system's.
    // The window is made at its size for the system's DPI, which is the DPI
    // it gets on the primary monitor; only elsewhere is it sized again.
    const auto frameFor = [](UINT dpi) {
        const WindowLayout layout = ComputeLayout(dpi);
        RECT frame{0, 0, layout.clientWidth, layout.clientHeight};
        AdjustWindowRectExForDpi(&frame, kWindowStyle, FALSE, kWindowExStyle, dpi);
        return frame;
    };
    const UINT systemDpi = GetDpiForSystem();
    const RECT frame = frameFor(systemDpi);
    const std::wstring title = win::Utf16FromUtf8(kWindowTitle);
    const HWND window =
        CreateWindowExW(kWindowExStyle, kClassName, title.c_str(), kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                        frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, this);
    if (!window) throw Failure(LastErrorStatus(), "The main window could not be created.");
    if (dpi_ != systemDpi) {
        const RECT own = frameFor(dpi_);
        SetWindowPos(window_, nullptr, 0, 0, own.right - own.left, own.bottom - own.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void FrmMainWindow::Show() {
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
}

bool FrmMainWindow::AdmitsWhileWaiting(const MSG& message) const noexcept {
    const bool systemKey = message.message == WM_SYSKEYDOWN || message.message == WM_SYSKEYUP ||
                           message.message == WM_SYSCHAR || message.message == WM_SYSDEADCHAR;
    return systemKey || (message.hwnd != nullptr && message.hwnd == Control(Event::ExitClick));
}

void FrmMainWindow::ShowActionInFlight(bool inFlight) noexcept {
    actionInFlight_ = inFlight;
    // Hidden (the load), the window has no cursor to show and takes no input.
    if (window_ == nullptr || !IsWindowVisible(window_)) return;
    POINT cursor{};
    const HWND under = GetCursorPos(&cursor) ? WindowFromPoint(cursor) : nullptr;
    if (under == window_ || IsChild(window_, under)) SetCursor(LoadCursorW(nullptr, inFlight ? IDC_WAIT : IDC_ARROW));
    if (!inFlight) {
        MSG dropped;
        while (PeekMessageW(&dropped, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
        }
        while (PeekMessageW(&dropped, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
        }
    }
}

void FrmMainWindow::StopTimer() noexcept {
    if (timerRunning_) {
        KillTimer(window_, kTimerId);
        timerRunning_ = false;
    }
}

void FrmMainWindow::EndProgram() noexcept {
    StopTimer();
    ExitProcess(0);
}

HWND FrmMainWindow::Control(Event event, int index) const noexcept {
    const std::size_t control = ControlRaising(event, index);
    return control < controls_.size() ? controls_[control] : nullptr;
}

void FrmMainWindow::SetIcons() {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window_, GWLP_HINSTANCE));
    const HICON big = LoadIconFor(instance, SM_CXICON, SM_CYICON, dpi_);
    const HICON small = LoadIconFor(instance, SM_CXSMICON, SM_CYSMICON, dpi_);
    if (big) SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    if (small) SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

LRESULT CALLBACK FrmMainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    FrmMainWindow* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<FrmMainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<FrmMainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    }
    if (self) return self->OnMessage(message, wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT FrmMainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            try {
                dpi_ = GetDpiForWindow(window_);
                CreateControls();
            } catch (const Failure&) {
                return -1;
            }
            SetIcons();
            timerRunning_ = SetTimer(window_, kTimerId, kTimerIntervalMs, nullptr) != 0;
            return 0;
        case WM_COMMAND:
            if (lParam != 0) OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_NOTIFY:
            return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
        case WM_TIMER:
            if (wParam == kTimerId) Raise(Event::TimerTick);
            return 0;
        case kHostAnswerMessage:
            Raise(Event::HostAnswer);
            return 0;
        case WM_SETCURSOR:
            // Over every control too: a child passes the question to its parent first.
            if (actionInFlight_ && LOWORD(lParam) == HTCLIENT) {
                SetCursor(LoadCursorW(nullptr, IDC_WAIT));
                return TRUE;
            }
            break;
        case WM_CLOSE:
            // The unload ends the program; the window is never just destroyed.
            Raise(Event::Close);
            return 0;
        case WM_DPICHANGED:
            OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                const HWND focus = GetFocus();
                if (focus && IsChild(window_, focus)) lastFocus_ = focus;
            }
            break;
        case WM_SETFOCUS:
            // Back to the control that had the focus, as a dialog does.
            SetFocus(lastFocus_ && IsWindow(lastFocus_) ? lastFocus_ : List());
            return 0;
        case WM_DESTROY:
            StopTimer();
            break;
        case WM_NCDESTROY: {
            const HWND window = window_;
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            window_ = nullptr;
            controls_.fill(nullptr);
            return DefWindowProcW(window, message, wParam, lParam);
        }
        default:
            break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

void FrmMainWindow::OnCommand(int id, int code) {
    // Enter and Escape arrive as IDOK and IDCANCEL, which no control has.
    const int control = id - kFirstControlId;
    if (code != BN_CLICKED || control < 0 || control >= static_cast<int>(kControlCount)) return;
    const ControlDesign& design = kControls[static_cast<std::size_t>(control)];
    // Only buttons send BN_CLICKED; the list raises its event by a notification.
    if (design.event) Raise(*design.event, design.eventIndex);
}

LRESULT FrmMainWindow::OnNotify(const NMHDR& header) {
    // A double-click applies the row under it; a single click only selects,
    // and a double-click beside the rows does nothing.
    if (header.hwndFrom == List() && header.code == static_cast<UINT>(NM_DBLCLK)) {
        const auto& activate = reinterpret_cast<const NMITEMACTIVATE&>(header);
        if (activate.iItem >= 0) Raise(Event::RowApplied);
    }
    return 0;
}

void FrmMainWindow::OnDpiChanged(UINT dpi, const RECT& suggested) {
    dpi_ = dpi;
    SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    ApplyFont();
    ApplyLayout();
    SetIcons();
}

void FrmMainWindow::CreateControls() {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window_, GWLP_HINSTANCE));
    // Each control is made in its place: moving it there afterwards would cost
    // a round of window-manager work per control at every start.
    const WindowLayout layout = ComputeLayout(dpi_);
    for (std::size_t i = 0; i < kControlCount; ++i) {
        const ControlDesign& design = kControls[i];
        const Box& box = layout.controls[i];
        const INT_PTR id = kFirstControlId + static_cast<INT_PTR>(i);
        const std::wstring caption = win::Utf16FromUtf8(design.caption);
        controls_[i] =
            CreateWindowExW(design.exStyle, design.windowClass, caption.c_str(), design.style, box.left, box.top,
                            box.width, box.height, window_, reinterpret_cast<HMENU>(id), instance, nullptr);
        if (!controls_[i]) throw Failure(LastErrorStatus(), "A control of the main window could not be created.");
    }
    SendMessageW(List(), LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    for (std::size_t c = 0; c < kColumns.size(); ++c) {
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM | LVCF_WIDTH;
        column.fmt = kColumns[c].format;
        column.cx = layout.columnWidths[c];
        column.pszText = const_cast<wchar_t*>(kColumns[c].header);
        column.iSubItem = static_cast<int>(c);
        if (SendMessageW(List(), LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column)) < 0) {
            throw Failure(status::kFail, "A column of the scale list could not be created.");
        }
    }
    ApplyFont();
}

void FrmMainWindow::ApplyLayout() {
    const WindowLayout layout = ComputeLayout(dpi_);
    for (std::size_t i = 0; i < kControlCount; ++i) {
        const Box& box = layout.controls[i];
        SetWindowPos(controls_[i], nullptr, box.left, box.top, box.width, box.height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    for (std::size_t c = 0; c < kColumns.size(); ++c) {
        SendMessageW(List(), LVM_SETCOLUMNWIDTH, c, MAKELPARAM(layout.columnWidths[c], 0));
    }
}

namespace {
constexpr int kDesignFontPoints = 8;
constexpr int kPointsPerInch = 72;
}  // namespace

void FrmMainWindow::ApplyFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0, dpi_)) return;
    // The system's message face at the 8 points the window's sizes were
    // designed for: at 9 points "Architectural" and "Transparent" are clipped.
    metrics.lfMessageFont.lfHeight = -MulDiv(kDesignFontPoints, static_cast<int>(dpi_), kPointsPerInch);
    metrics.lfMessageFont.lfWidth = 0;
    const HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    if (!font) return;  // the controls keep the font they have
    for (const HWND control : controls_) {
        if (control) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    font_.reset(font);
}

void FrmMainWindow::ClearRows() {
    if (!SendMessageW(List(), LVM_DELETEALLITEMS, 0, 0)) {
        throw Failure(status::kFail, "The scale list could not be cleared.");
    }
}

void FrmMainWindow::AddRow(std::int32_t position, const RowTexts& texts) {
    std::wstring label = win::Utf16FromUtf8(texts[0]);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = position - 1;
    item.pszText = label.data();
    // The position travels with the row, so the selection reads back the
    // same number whatever order the list shows its rows in.
    item.lParam = position;
    const LRESULT index = SendMessageW(List(), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    if (index < 0) throw Failure(status::kFail, "The scale list refused row " + std::to_string(position) + ".");
    for (std::size_t column = 1; column < kColumns.size(); ++column) {
        std::wstring text = win::Utf16FromUtf8(texts[column]);
        LVITEMW cell{};
        cell.iSubItem = static_cast<int>(column);
        cell.pszText = text.data();
        if (!SendMessageW(List(), LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&cell))) {
            throw Failure(status::kFail, "The scale list refused a column of row " + std::to_string(position) + ".");
        }
    }
}

std::optional<std::int32_t> FrmMainWindow::SelectedRow() {
    const LRESULT index = SendMessageW(List(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    if (index < 0) return std::nullopt;
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = static_cast<int>(index);
    if (!SendMessageW(List(), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) {
        throw Failure(status::kFail, "The selected row of the scale list could not be read.");
    }
    return static_cast<std::int32_t>(item.lParam);
}

// While the list does not redraw, a change costs no invalidation round trip
// to the window system; 24 rows of 6 texts at the load took 10 to 40 ms
// under Wine, most of it that.
void FrmMainWindow::BeginRowChanges() noexcept { SendMessageW(List(), WM_SETREDRAW, FALSE, 0); }

void FrmMainWindow::EndRowChanges() noexcept {
    SendMessageW(List(), WM_SETREDRAW, TRUE, 0);
    RedrawWindow(List(), nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void FrmMainWindow::CheckOption(int index) {
    // BM_SETCHECK raises no click: FrmMain shows the system itself.
    for (std::size_t i = 0; i < kControlCount; ++i) {
        if (kControls[i].event != Event::ScaleSystemChosen) continue;
        const bool chosen = kControls[i].eventIndex == index;
        SendMessageW(controls_[i], BM_SETCHECK, chosen ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

int FrmMainWindow::TransparentState() {
    return static_cast<int>(SendMessageW(Control(Event::TransparentClick), BM_GETCHECK, 0, 0));
}

void FrmMainWindow::MakeTransparent(NativeWindow window, std::uint8_t alpha) {
    win32::MakeTransparent(window == NativeWindow::Main ? window_ : List(), alpha);
}

MessageAnswer FrmMainWindow::ShowMessage(std::string_view text, std::string_view title, MessageStyle style) {
    static_assert(static_cast<UINT>(MessageStyle::Critical) == (MB_OK | MB_ICONHAND));
    static_assert(static_cast<UINT>(MessageStyle::RetryCancel) == (MB_RETRYCANCEL | MB_ICONWARNING));
    const std::wstring wideText = win::Utf16FromUtf8(text);
    const std::wstring wideTitle = win::Utf16FromUtf8(title);
    // Owned by the window, which is disabled while it is open, and in front:
    // also at the load, before the window is shown, it must not open behind
    // the CAD program.
    switch (MessageBoxW(window_, wideText.c_str(), wideTitle.c_str(), static_cast<UINT>(style) | MB_SETFOREGROUND)) {
        case 0:
            throw Failure(LastErrorStatus(), "The message could not be shown.");
        case IDRETRY:
            return MessageAnswer::Retry;
        case IDCANCEL:
            return MessageAnswer::Cancel;
        default:
            return MessageAnswer::Ok;
    }
}

std::string FrmMainWindow::DecimalSeparator() {
    wchar_t separator[LOCALE_NAME_MAX_LENGTH]{};
    const int length = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, LOCALE_NAME_MAX_LENGTH);
    if (length <= 1) throw Failure(LastErrorStatus(), "The decimal separator of the user's locale could not be read.");
    return win::Utf8FromUtf16(std::wstring_view(separator, static_cast<std::size_t>(length - 1)));
}

}  // namespace vantrel::ui::win32
