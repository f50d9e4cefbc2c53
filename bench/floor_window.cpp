// The start-up floor: the least Win32 program that does what Vantrel's load
// must do before its window shows. COM on a single-threaded apartment, the
// host found in the running-object table, the load's host calls late-bound
// in the load's order, then a window with a themed report ListView holding
// the 12 Architectural rows, shown. Built and linked like vantrel.exe, with
// its manifest, so that Vantrel's start-up above this one's is the cost of
// Vantrel's own way of doing the same work.
//
// No message boxes: the first failure ends the program with its own exit code.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <array>
#include <string>

#include "PlainWindowClass.h"
#include "catalog/ScaleCatalog.h"
#include "win/ComApartment.h"
#include "win/Utf16.h"

namespace {

using Microsoft::WRL::ComPtr;

// The title Vantrel's window has, so that one readiness check fits both.
constexpr wchar_t kTitle[] = L"Standard Scales";
constexpr wchar_t kClassName[] = L"VantrelFloorWindow";
constexpr long kPaperSpace = 0;

// Exit codes, one per step that can fail.
constexpr int kComFailed = 2;
constexpr int kHostNotFound = 3;
constexpr int kHostCallFailed = 4;
constexpr int kWindowFailed = 5;

// About Vantrel's window and list at 96 dpi, so that both paint as much.
constexpr int kWindowWidth = 530;
constexpr int kWindowHeight = 367;
constexpr int kListLeft = 8;
constexpr int kListTop = 8;
constexpr int kListWidth = 497;
constexpr int kListHeight = 217;

constexpr std::array<const wchar_t*, 6> kColumnHeaders{L"DWG Scales",   L"Scale Factor", L"Text Size SM",
                                                       L"Text Size LG", L"LTScale",      L"Dimension Style"};
constexpr std::array<int, 6> kColumnWidths{93, 93, 80, 80, 67, 93};

// A member of one object, looked up by name once and then called by DISPID.
class Member {
public:
    Member(IDispatch& object, const wchar_t* name) : object_(object) {
        std::wstring text(name);
        LPOLESTR names[] = {text.data()};
        found_ = SUCCEEDED(object_.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id_));
    }

    // A property read into `result`.
    bool Get(VARIANT& result) { return Invoke(DISPATCH_PROPERTYGET, nullptr, &result); }
    bool Put(VARIANT value) { return Invoke(DISPATCH_PROPERTYPUT, &value, nullptr); }
    bool Call() {
        VARIANT ignored;
        VariantInit(&ignored);
        const bool done = Invoke(DISPATCH_METHOD, nullptr, &ignored);
        VariantClear(&ignored);
        return done;
    }

private:
    bool Invoke(WORD flags, VARIANT* argument, VARIANT* result) {
        if (!found_) return false;
        DISPID namedPut = DISPID_PROPERTYPUT;
        DISPPARAMS parameters{};
        if (argument != nullptr) {
            parameters.rgvarg = argument;
            parameters.cArgs = 1;
        }
        if (flags == DISPATCH_PROPERTYPUT) {
            parameters.rgdispidNamedArgs = &namedPut;
            parameters.cNamedArgs = 1;
        }
        EXCEPINFO exception{};
        UINT argumentError = 0;
        const HRESULT hr =
            object_.Invoke(id_, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters, result, &exception, &argumentError);
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
        return SUCCEEDED(hr);
    }

    IDispatch& object_;
    DISPID id_ = DISPID_UNKNOWN;
    bool found_ = false;
};

// The object a property holds, or nothing.
ComPtr<IDispatch> ObjectOf(IDispatch& object, const wchar_t* name) {
    VARIANT value;
    VariantInit(&value);
    ComPtr<IDispatch> result;
    if (Member(object, name).Get(value) && value.vt == VT_DISPATCH) result = value.pdispVal;
    VariantClear(&value);
    return result;
}

VARIANT Long(long number) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = number;
    return value;
}

VARIANT Bool(bool on) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BOOL;
    value.boolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
    return value;
}

// The objects the load leaves behind; they live as long as the window.
struct Host {
    ComPtr<IDispatch> application;
    ComPtr<IDispatch> document;
    ComPtr<IDispatch> zoomingApplication;
};

// The load's host calls, in its order: the document, paper space proper,
// the zoom to the extents of the sheet, back into the floating viewport.
int Load(Host& host) {
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(L"AutoCAD.Application", &clsid))) return kHostNotFound;
    ComPtr<IUnknown> running;
    if (FAILED(GetActiveObject(clsid, nullptr, &running)) || FAILED(running.As(&host.application))) {
        return kHostNotFound;
    }
    host.document = ObjectOf(*host.application.Get(), L"ActiveDocument");
    if (!host.document) return kHostCallFailed;
    IDispatch& document = *host.document.Get();

    Member activeSpace(document, L"ActiveSpace");
    VARIANT space;
    VariantInit(&space);
    if (!activeSpace.Get(space) || FAILED(VariantChangeType(&space, &space, 0, VT_I4))) return kHostCallFailed;
    if (space.lVal != kPaperSpace && !activeSpace.Put(Long(kPaperSpace))) return kHostCallFailed;

    Member mSpace(document, L"MSpace");
    if (!mSpace.Put(Bool(false))) return kHostCallFailed;
    host.zoomingApplication = ObjectOf(document, L"Application");
    if (!host.zoomingApplication || !Member(*host.zoomingApplication.Get(), L"ZoomExtents").Call()) {
        return kHostCallFailed;
    }
    if (!mSpace.Put(Bool(true))) return kHostCallFailed;
    return 0;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool AddRow(HWND list, int index, const vantrel::catalog::ScaleRow& row) {
    const vantrel::catalog::RowTexts texts = row.Texts();
    for (std::size_t column = 0; column < texts.size(); ++column) {
        std::wstring text = vantrel::win::Utf16FromUtf8(texts[column]);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = index;
        item.iSubItem = static_cast<int>(column);
        item.pszText = text.data();
        const bool done = column == 0 ? SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)) == index
                                      : SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(index),
                                                     reinterpret_cast<LPARAM>(&item)) != FALSE;
        if (!done) return false;
    }
    return true;
}

// The window with its list filled, still hidden; nullptr on failure.
HWND CreateFilledWindow(HINSTANCE instance) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_LISTVIEW_CLASSES;
    if (!InitCommonControlsEx(&controls)) return nullptr;
    if (!vantrel::bench::RegisterPlainWindowClass(instance, WindowProc, kClassName)) return nullptr;
    const HWND window =
        CreateWindowExW(0, kClassName, kTitle, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                        CW_USEDEFAULT, kWindowWidth, kWindowHeight, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return nullptr;
    const HWND list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT,
                                      kListLeft, kListTop, kListWidth, kListHeight, window, nullptr, instance, nullptr);
    if (list == nullptr) return nullptr;
    for (std::size_t c = 0; c < kColumnHeaders.size(); ++c) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.cx = kColumnWidths[c];
        column.pszText = const_cast<wchar_t*>(kColumnHeaders[c]);
        column.iSubItem = static_cast<int>(c);
        if (SendMessageW(list, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column)) < 0) return nullptr;
    }
    // With its redraw off the list takes the rows without invalidating itself
    // at each one: under Wine 0.5 ms for the 12 rows instead of about 10.
    // The first showing paints it whole.
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    int index = 0;
    for (const auto& row : vantrel::catalog::kScaleSystems[0].rows) {
        if (!AddRow(list, index++, row)) return nullptr;
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    return window;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Declared first, so the host's objects are released before it is left.
    const vantrel::win::ComApartment apartment;
    if (!apartment.Entered()) return kComFailed;
    Host host;
    if (const int failed = Load(host); failed != 0) return failed;
    const HWND window = CreateFilledWindow(instance);
    if (window == nullptr) return kWindowFailed;
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
