// simcad as an automation server, seen by a COM client of its own: what the
// end-to-end scenarios rely on (the ProgID, batches, failures as the real
// host reports them, a busy host) and that it leaves nothing behind.
#include <windows.h>

#include <gtest/gtest.h>
#include <oleauto.h>
#include <wrl/client.h>

#include "SimcadProtocol.h"
#include "e2e_user.h"

namespace vantrel::e2e {
namespace {

using Microsoft::WRL::ComPtr;

class ComApartment {
public:
    ComApartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComApartment() { CoUninitialize(); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
};

struct Outcome {
    HRESULT result = E_FAIL;
    std::wstring source;
    std::wstring description;
    SCODE scode = 0;
};

// One late-bound call: arguments in call order.
Outcome Call(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT> arguments = {},
             VARIANT* result = nullptr) {
    Outcome outcome;
    DISPID id = DISPID_UNKNOWN;
    auto* names = const_cast<LPOLESTR>(name);
    outcome.result = object->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(outcome.result)) return outcome;
    std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS parameters{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if ((flags & DISPATCH_PROPERTYPUT) != 0) {
        parameters.rgdispidNamedArgs = &named;
        parameters.cNamedArgs = 1;
    }
    EXCEPINFO exception{};
    outcome.result = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters, result, &exception, nullptr);
    if (exception.bstrSource != nullptr) outcome.source = exception.bstrSource;
    if (exception.bstrDescription != nullptr) outcome.description = exception.bstrDescription;
    outcome.scode = exception.scode;
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return outcome;
}

ComPtr<IDispatch> Get(IDispatch* object, const wchar_t* name) {
    VARIANT value;
    VariantInit(&value);
    ComPtr<IDispatch> found;
    if (SUCCEEDED(Call(object, name, DISPATCH_PROPERTYGET, {}, &value).result) && value.vt == VT_DISPATCH) {
        found.Attach(value.pdispVal);
    } else {
        VariantClear(&value);
    }
    return found;
}

VARIANT Int(int value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

// The running application, as Vantrel finds it.
ComPtr<IDispatch> RunningApplication() {
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(L"autocad.application", &clsid))) return nullptr;
    ComPtr<IUnknown> unknown;
    WaitUntil([&] { return SUCCEEDED(GetActiveObject(clsid, nullptr, unknown.ReleaseAndGetAddressOf())); },
              kStartDeadline);
    ComPtr<IDispatch> application;
    if (unknown) unknown.As(&application);
    return application;
}

constexpr char kSheet[] = R"(document Sheet1
space paper
viewport 1
viewport 1/48 on active
viewport 1/96 on
entity AcDbLine
viewport 1/50 off
entity AcDbText
)";

TEST(Simcad, HandsOutPaperSpaceInBatchesOfTheSizeAskedOneJournalLineARoundTrip) {
    ComApartment apartment;
    Simcad host(kSheet);
    ASSERT_TRUE(host.Ready());
    const auto application = RunningApplication();
    ASSERT_TRUE(application);
    const auto document = Get(application.Get(), L"ActiveDocument");
    ASSERT_TRUE(document);
    const auto paperSpace = Get(document.Get(), L"PaperSpace");
    ASSERT_TRUE(paperSpace);
    VARIANT enumerator;
    VariantInit(&enumerator);
    ASSERT_EQ(Call(paperSpace.Get(), L"_NewEnum", DISPATCH_PROPERTYGET, {}, &enumerator).result, S_OK);
    ComPtr<IEnumVARIANT> items;
    ASSERT_EQ(enumerator.punkVal->QueryInterface(IID_PPV_ARGS(&items)), S_OK);
    VariantClear(&enumerator);

    std::vector<std::wstring> names;
    std::vector<ULONG> batches;
    HRESULT result = S_OK;
    while (result == S_OK) {
        VARIANT batch[4];
        ULONG fetched = 0;
        result = items->Next(4, batch, &fetched);
        batches.push_back(fetched);
        for (ULONG i = 0; i < fetched; ++i) {
            VARIANT name;
            VariantInit(&name);
            Call(batch[i].pdispVal, L"ObjectName", DISPATCH_PROPERTYGET, {}, &name);
            names.emplace_back(name.vt == VT_BSTR ? name.bstrVal : L"?");
            VariantClear(&name);
            VariantClear(&batch[i]);
        }
    }
    EXPECT_EQ(result, S_FALSE);
    EXPECT_EQ(batches, (std::vector<ULONG>{4, 2}));
    EXPECT_EQ(names, (std::vector<std::wstring>{L"AcDbViewport", L"AcDbViewport", L"AcDbViewport", L"AcDbLine",
                                                L"AcDbViewport", L"AcDbText"}));
    const auto next = Matching(host.Calls(), "PaperSpace.Next(");
    EXPECT_EQ(next,
              (std::vector<std::string>{"PaperSpace.Next(celt=4) -> 4 items", "PaperSpace.Next(celt=4) -> 2 items"}));
}

TEST(Simcad, ReportsTheHostsFailuresAsDispExceptionWithItsScodeAndDescription) {
    ComApartment apartment;
    Simcad host("document Sheet1\nviewport 1\nviewport 1/48 on\n");
    ASSERT_TRUE(host.Ready());
    const auto application = RunningApplication();
    ASSERT_TRUE(application);
    const auto document = Get(application.Get(), L"ActiveDocument");
    ASSERT_TRUE(document);

    // Model space: no active paper-space viewport.
    const Outcome failed = Call(document.Get(), L"ActivePViewport", DISPATCH_PROPERTYGET);
    EXPECT_EQ(failed.result, DISP_E_EXCEPTION);
    EXPECT_EQ(failed.source, L"AutoCAD");
    EXPECT_EQ(static_cast<std::uint32_t>(failed.scode), 0x80210051u);
    EXPECT_EQ(failed.description, L"No active paper space viewport");

    // A call it never answers would make a fault that never fires: refused.
    EXPECT_FALSE(host.Send("fault Document.Regenerate 0x80210064 once Invalid input"));
    EXPECT_FALSE(host.Send("busy Document.Mspace= 500"));
    EXPECT_FALSE(host.Send("slow Document.Regenerate 500"));
    EXPECT_FALSE(host.Send("user lock 9"));  // no such item
    ASSERT_TRUE(host.Send("fault Document.Regen 0x80210064 once Invalid input"));
    const Outcome injected = Call(document.Get(), L"Regen", DISPATCH_METHOD, {Int(1)});
    EXPECT_EQ(injected.result, DISP_E_EXCEPTION);
    EXPECT_EQ(static_cast<std::uint32_t>(injected.scode), 0x80210064u);
    EXPECT_EQ(injected.description, L"Invalid input");
    EXPECT_EQ(Call(document.Get(), L"Regen", DISPATCH_METHOD, {Int(1)}).result, S_OK);  // once

    EXPECT_EQ(Call(document.Get(), L"NoSuchMember", DISPATCH_METHOD).result, DISP_E_UNKNOWNNAME);
}

TEST(Simcad, ABusyOrRefusedCallIsRejectedFromInvokeUntilItsTimeIsUp) {
    ComApartment apartment;
    Simcad host("document Sheet1\nspace paper\nviewport 1\nviewport 1/48 on active\n");
    ASSERT_TRUE(host.Ready());
    const auto application = RunningApplication();
    ASSERT_TRUE(application);
    struct Case {
        const char* command;
        HRESULT rejection;
        const char* journaled;
    };
    for (const Case& c : {Case{"busy", RPC_E_SERVERCALL_RETRYLATER, "rejected 0x8001010A"},
                          Case{"refuse", RPC_E_CALL_REJECTED, "rejected 0x80010001"}}) {
        SCOPED_TRACE(c.command);
        ASSERT_TRUE(host.Send(std::string(c.command) + " Application.ZoomExtents 500"));
        EXPECT_EQ(Call(application.Get(), L"ZoomExtents", DISPATCH_METHOD).result, c.rejection);
        EXPECT_TRUE(WaitUntil([&] { return Call(application.Get(), L"ZoomExtents", DISPATCH_METHOD).result == S_OK; },
                              kActionDeadline));
        EXPECT_FALSE(Matching(host.Calls(), std::string("Application.ZoomExtents() -> ") + c.journaled).empty());
    }
}

TEST(Simcad, QuitRemovesTheProgIdItRegistered) {
    ComApartment apartment;
    {
        Simcad host("document Sheet1\n");
        ASSERT_TRUE(host.Ready());
        CLSID registered{};
        CLSID simcad{};
        ASSERT_EQ(CLSIDFromProgID(L"AutoCAD.Application", &registered), S_OK);
        CLSIDFromString(simcad::kClsidText, &simcad);
        EXPECT_TRUE(IsEqualCLSID(registered, simcad));
    }  // quit
    CLSID none{};
    EXPECT_EQ(CLSIDFromProgID(L"AutoCAD.Application", &none), CO_E_CLASSSTRING);
}

TEST(Simcad, RefusesToStartOverAnotherRegistrationOfTheProgId) {
    constexpr wchar_t kKey[] = L"Software\\Classes\\AutoCAD.Application\\CLSID";
    constexpr wchar_t kOther[] = L"{11111111-2222-3333-4444-555555555555}";
    HKEY existing = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Classes\\AutoCAD.Application", 0, KEY_READ, &existing) ==
        ERROR_SUCCESS) {
        RegCloseKey(existing);
        GTEST_SKIP() << "the ProgID is registered here already; not touched";
    }
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kKey, nullptr, REG_SZ, kOther, static_cast<DWORD>(sizeof(kOther))),
              ERROR_SUCCESS);
    ChildProcess simcad(WindowsPath(VANTREL_SIMCAD_EXE), L"\"" + WindowsPath(VANTREL_SAMPLE_SHEET) + L"\"");
    const bool ended = simcad.WaitForExit(kStartDeadline);
    wchar_t value[64] = {};
    DWORD size = sizeof(value);
    RegGetValueW(HKEY_CURRENT_USER, kKey, nullptr, RRF_RT_REG_SZ, nullptr, value, &size);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes\\AutoCAD.Application");
    ASSERT_TRUE(ended);
    EXPECT_NE(simcad.ExitCode().value_or(0), 0u);
    EXPECT_STREQ(value, kOther);
}

}  // namespace
}  // namespace vantrel::e2e
