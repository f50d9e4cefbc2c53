// The host model over IDispatch against stubs that count their references with
// the program's ComObject; a busy host; the lookup; the readout's number text.
#include <windows.h>

#include <bit>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/Failure.h"
#include "host/com/ComHost.h"
#include "host/com/ComObjects.h"
#include "ui/NumberText.h"
#include "ui/win32/FrmMainWindow.h"
#include "win/ComObject.h"

namespace vantrel::test {
namespace {

using Handler = std::function<HRESULT(const DISPPARAMS&, VARIANT* result, EXCEPINFO*)>;
std::string calls;  // to every stub: "Member FLAGS(arguments, last first) named PUT -> result; ..."

VARIANT Value(VARTYPE type, LONGLONG bits = 0) {  // a scalar, or an object not held
    VARIANT v{};
    v.vt = type;
    v.llVal = bits;
    return v;
}
Handler Gives(VARIANT value) {  // a copy of the value; puts are taken
    return [value](auto&, VARIANT* result, auto*) mutable { return result ? ::VariantCopy(result, &value) : S_OK; };
}
Handler Gives(IUnknown* object) { return Gives(Value(VT_DISPATCH, reinterpret_cast<LONGLONG>(object))); }
Handler Gives(const std::wstring& text) {
    return [text](auto&, VARIANT* result, auto*) {
        return *result = Value(VT_BSTR, reinterpret_cast<LONGLONG>(::SysAllocString(text.c_str()))), S_OK;
    };
}

// IDispatch over a table of members. It starts with two references, the
// test's and a guard, so that a Release too many by the code under test
// shows as a count rather than as a deleted object.
class StubDispatch final : public win::ComObject<IDispatch> {
public:
    StubDispatch() { AddRef(); }
    void Member(const std::string& name, Handler handler) {  // ids: 1, 2, ... in the order first named
        const DISPID id = name == "_NewEnum" ? DISPID_NEWENUM : static_cast<DISPID>(ids_.size() + 1);
        members_[ids_.try_emplace(std::wstring(name.begin(), name.end()), id).first->second] = {name,
                                                                                                std::move(handler)};
    }
    void ExpectAllBack() {  // then frees the stub, unless someone may still use it
        EXPECT_EQ((AddRef(), Release()), 2U) << "references besides the test's";
        if (Release() == 1) Release();
    }
    int lookups = 0;

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override {
        const auto found = ids_.find(names[0]);
        *ids = found == ids_.end() ? DISPID_UNKNOWN : found->second;
        return ++lookups, found == ids_.end() ? DISP_E_UNKNOWNNAME : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* in, VARIANT* result,
                                     EXCEPINFO* exception, UINT*) override {
        const char* kFlags[] = {"?", "METHOD", "GET", "METHOD|GET", "PUT"};
        const auto& [name, handler] = members_.at(id);
        std::ostringstream call;
        call << (calls.empty() ? "" : "; ") << name << ' ' << kFlags[flags & 7] << '(';
        for (UINT i = 0; i < in->cArgs; ++i) {
            const VARIANT& v = in->rgvarg[i];
            const char* kTypes[] = {"", "", "", "i4 ", "", "r8 ", "", "", "", "object", "", "bool "};
            call << (i == 0 ? "" : ", ") << kTypes[v.vt % 12];
            if (v.vt != VT_DISPATCH) call << (v.vt == VT_R8 ? v.dblVal : v.vt == VT_I4 ? v.lVal : v.boolVal);
        }
        call << ')' << (in->cNamedArgs == 1 && *in->rgdispidNamedArgs == DISPID_PROPERTYPUT ? " named PUT" : "")
             << (result ? " -> result" : "") << (exception ? "" : " without EXCEPINFO");
        calls += call.str();
        return handler(*in, result, exception);
    }

private:
    ~StubDispatch() override = default;
    std::map<std::wstring, DISPID> ids_;
    std::map<DISPID, std::pair<std::string, Handler>> members_;
};

// An enumerator over items it does not hold, as a collection's _NewEnum makes
// one: Next hands out at most `most` items (with S_OK), or fails with `fail`.
struct {
    int alive = 0;
    std::vector<ULONG> asked;
    ULONG most = ~0UL;
    HRESULT fail = S_OK;
} enumLog;
class StubEnum final : public win::ComObject<IEnumVARIANT> {
public:
    explicit StubEnum(const std::vector<VARIANT>& items) : items_(items) { ++enumLog.alive; }
    HRESULT STDMETHODCALLTYPE Next(ULONG wanted, VARIANT* out, ULONG* fetched) override {
        enumLog.asked.push_back(wanted);
        for (*fetched = 0; *fetched < std::min(wanted, enumLog.most) && next_ < items_.size(); ++*fetched) {
            ::VariantCopy(&out[*fetched], &items_[next_++]);
        }
        return FAILED(enumLog.fail) ? enumLog.fail : *fetched == wanted || enumLog.most != ~0UL ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

private:
    ~StubEnum() override { --enumLog.alive; }
    std::vector<VARIANT> items_;
    std::size_t next_ = 0;
};

// Counts the task-allocator blocks allocated while it is registered and not
// yet freed: the BSTRs among them, once the string cache is off.
class AllocationSpy final : public win::ComObject<IMallocSpy> {
public:
    int outstanding = 0;
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
    void* STDMETHODCALLTYPE PostAlloc(void* block) override { return outstanding += block != nullptr, block; }
    void* STDMETHODCALLTYPE PreFree(void* block, BOOL spied) override { return outstanding -= spied, block; }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* p, SIZE_T size, void** out, BOOL) override { return *out = p, size; }
    void* STDMETHODCALLTYPE PostRealloc(void* block, BOOL) override { return block; }
    void* STDMETHODCALLTYPE PreGetSize(void* block, BOOL) override { return block; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* block, BOOL) override { return block; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}
};

// A host exception: its scode, wCode and text, filled in at once or by the deferred fill-in.
EXCEPINFO raised{};
HRESULT STDAPICALLTYPE Fill(EXCEPINFO* info) {
    *info = raised;
    info->bstrDescription = ::SysAllocString(raised.bstrDescription);
    info->bstrSource = ::SysAllocString(L"AutoCAD.Application");
    return info->bstrHelpFile = ::SysAllocString(L"acad.chm"), S_OK;
}
std::function<void(struct ComTest&)> Raises(std::uint32_t scode, WORD wCode, const wchar_t* text, bool later = false);

// Tests run on an STA, as the window's thread does.
struct ComTest : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        for (const char* member : {"ZoomScaled", "ZoomExtents"}) application->Member(member, Gives(Value(VT_EMPTY)));
        document->Member("MSpace", Gives(Value(VT_EMPTY)));
        application->Member("ActiveDocument", Gives(document));
        document->Member("ActiveSpace", Gives(Value(VT_I4, 1)));
        document->Member("ActivePViewport", Gives(viewport));
        document->Member("PaperSpace", Gives(paperSpace));
        viewport->Member("CustomScale", Gives(Value(VT_R8, std::bit_cast<LONGLONG>(1.0 / 48))));
        paperSpace->Member("_NewEnum", [this](auto&, VARIANT* result, auto*) {
            if (!noEnumerator) *result = Value(VT_UNKNOWN, reinterpret_cast<LONGLONG>(new StubEnum(items)));
            return S_OK;
        });
    }
    void TearDown() override {
        for (StubDispatch* stub : {application, document, viewport, paperSpace}) stub->ExpectAllBack();
        EXPECT_EQ(enumLog.alive, 0) << "an enumerator was not released";
        ::CoUninitialize();
    }
    std::shared_ptr<host::Application> App() { return host::com::WrapApplication(application, session); }
    std::shared_ptr<host::Document> Doc() { return host::com::WrapDocument(document, session); }
    // The number of the failure `call` throws (0: none), and its text.
    std::int32_t FailureOf(const std::function<void()>& call, std::string* text = nullptr) {
        try {
            call();
        } catch (const Failure& failure) {
            if (text) *text = failure.Description();
            return failure.Number();
        }
        return 0;
    }

    std::shared_ptr<host::com::ComSession> session = std::make_shared<host::com::ComSession>();
    StubDispatch* application = new StubDispatch;
    StubDispatch* document = new StubDispatch;
    StubDispatch* viewport = new StubDispatch;
    StubDispatch* paperSpace = new StubDispatch;
    std::vector<VARIANT> items;
    bool noEnumerator = false;
};

std::function<void(ComTest&)> Raises(std::uint32_t scode, WORD wCode, const wchar_t* text, bool later) {
    return [=](ComTest& t) {
        t.application->Member("ZoomExtents", [=](auto&, auto*, EXCEPINFO* info) {
            raised = {wCode, 0,       nullptr, const_cast<BSTR>(text),   nullptr,
                      0,     nullptr, nullptr, static_cast<SCODE>(scode)};
            return (later ? (info->pfnDeferredFillIn = Fill, S_OK) : Fill(info)), DISP_E_EXCEPTION;
        });
        t.App()->ZoomExtents();
    };
}

// Each call is one Invoke with the arguments last to first, DISPID_PROPERTYPUT
// named on puts and an EXCEPINFO; a failure carries the host's number and text,
// else the system's text (a whole sentence) or a fixed one; no string is left.
TEST_F(ComTest, CallsTravelAsTheHostExpectsAndFailWithItsNumberAndText) {
    using SetOaNoCache = void(WINAPI*)();
    reinterpret_cast<SetOaNoCache>(::GetProcAddress(::GetModuleHandleW(L"oleaut32.dll"), "SetOaNoCache"))();
    const struct {
        std::function<void(ComTest&)> call;
        const char* calls;
        std::int32_t failure = 0;
        const char* text = nullptr;
    } cases[] = {
        {[](auto& t) { t.App()->ZoomScaled(0.02, 2); }, "ZoomScaled METHOD(i4 2, r8 0.02) -> result"},
        {[](auto& t) { t.Doc()->SetActiveSpace(0); }, "ActiveSpace PUT(i4 0) named PUT"},
        {[](auto& t) { t.Doc()->SetMSpace(true); }, "MSpace PUT(bool -1) named PUT"},
        {[](auto& t) { t.Doc()->SetActivePViewport(*t.Doc()->ActivePViewport()); },
         "ActivePViewport GET() -> result; ActivePViewport PUT(object) named PUT"},
        {[](auto& t) { EXPECT_EQ(t.Doc()->ActivePViewport()->CustomScale(), 1.0 / 48); },
         "ActivePViewport GET() -> result; CustomScale GET() -> result"},
        {Raises(0x8021003C, 0, L"No active document"), nullptr, status::kNoActiveDocument, "No active document"},
        {Raises(0x80200001, 0, L"Bad \u00e9", true), nullptr, StatusCode(0x80200001), "Bad \xc3\xa9"},
        {Raises(0, 1001, L"Custom"), nullptr, StatusCode(0x80040200 + 1001), "Custom"},
        {Raises(0, 0, nullptr), nullptr, status::kDispException},
        {Raises(0x8007000E, 0, nullptr), nullptr, status::kOutOfMemory},
        {[](auto& t) { t.Doc()->ActivePViewport()->DisplayLocked(); }, nullptr, status::kUnknownName,
         "(DisplayLocked)"},
        {[](auto& t) { t.document->Member("ActiveSpace", Gives(t.viewport)), t.Doc()->ActiveSpace(); }, nullptr,
         status::kTypeMismatch},
    };
    for (const auto& c : cases) {
        calls.clear();
        Microsoft::WRL::ComPtr<AllocationSpy> spy;
        spy.Attach(new AllocationSpy);
        ASSERT_TRUE(SUCCEEDED(::CoRegisterMallocSpy(spy.Get())));
        std::string text;
        EXPECT_EQ(FailureOf([&] { c.call(*this); }, &text), c.failure) << &c - cases;
        ::CoRevokeMallocSpy();
        EXPECT_TRUE(c.text ? text.ends_with(c.text) : !c.failure || text == "Automation error" || text.ends_with('.'))
            << text;
        EXPECT_EQ(calls, c.calls ? c.calls : calls);
        EXPECT_EQ(spy->outstanding, 0) << "strings left by " << calls;
    }
    EXPECT_EQ(document->lookups, 3) << "one per member of a type, however many objects";
}

// Every item once, in order, 64 to a Next, until a batch comes short or fails.
TEST_F(ComTest, PaperSpaceComesInBatchesOf64UntilAShortOrFailedOne) {
    const struct {
        int items;
        ULONG most;
        HRESULT fail;
        std::size_t names, nextCalls;
        std::int32_t failure;
    } cases[] = {
        {0, ~0UL, S_OK, 0, 1, 0},
        {63, ~0UL, S_OK, 63, 1, 0},
        {64, ~0UL, S_OK, 64, 2, 0},
        {130, ~0UL, S_OK, 130, 3, 0},
        {10, 4, S_OK, 4, 1, 0},  // fewer than asked for, with S_OK: the end
        {3, ~0UL, E_OUTOFMEMORY, 0, 1, status::kOutOfMemory},
        {3, ~0UL, S_OK, 0, 0, status::kTypeMismatch},  // _NewEnum gives no enumerator
    };
    for (const auto& c : cases) {
        std::vector<StubDispatch*> lines;
        std::vector<std::string> expected, names;
        items.clear();
        for (int i = 0; i < c.items; ++i) {  // the last of several not an object, the second a plain IUnknown
            lines.push_back(new StubDispatch);
            lines.back()->Member("ObjectName", Gives(L"AcDbLine" + std::to_wstring(i)));
            const bool odd = i > 0 && i == c.items - 1;
            items.push_back(odd ? Value(VT_I4)
                                : Value(i == 1 ? VT_UNKNOWN : VT_DISPATCH, std::bit_cast<LONGLONG>(lines.back())));
            expected.push_back(odd ? "not an object" : "AcDbLine" + std::to_string(i));
        }
        expected.resize(c.names);
        enumLog = {0, {}, c.most, c.fail};
        noEnumerator = c.failure == status::kTypeMismatch;
        EXPECT_EQ(FailureOf([&] {
                      auto all = host::com::WrapEntityCollection(paperSpace, session)->Enumerate();
                      for (auto entity = all->Next(); entity != nullptr; entity = all->Next()) {
                          std::string name = "not an object";
                          FailureOf([&] { name = entity->ObjectName(); });
                          names.push_back(name);
                      }
                  }),
                  c.failure);
        EXPECT_EQ(names, expected);
        EXPECT_EQ(enumLog.asked, std::vector<ULONG>(c.nextCalls, host::com::kEnumerationBatch)) << &c - cases;
        for (StubDispatch* line : lines) line->ExpectAllBack();
    }
}

// The lookup finds a running host only; a busy host is retried, in the invoke
// path and by the message filter, only while it asks to be called later and
// the call may wait.
TEST_F(ComTest, TheLocatorFindsOnlyARunningHostAndOnlyRetryLaterIsRetriedWhileTheCallMayWait) {
    using enum host::BusyWait;
    const struct {
        HRESULT code;
        bool asException;
        host::BusyWait wait;
        int refusals, attempts;  // refusals -1: never free; attempts 0: a few, until the bound
        std::int32_t failure;
        DWORD filterRejectType;
    } cases[] = {
        {RPC_E_SERVERCALL_RETRYLATER, false, Patient, 3, 4, 0, SERVERCALL_RETRYLATER},
        {RPC_E_SERVERCALL_RETRYLATER, true, Patient, 3, 4, 0, SERVERCALL_RETRYLATER},
        {RPC_E_CALL_REJECTED, false, Patient, 3, 1, status::kCallRejected, SERVERCALL_REJECTED},
        {RPC_E_CALL_REJECTED, true, Patient, 3, 1, status::kCallRejected, SERVERCALL_REJECTED},
        {E_FAIL, true, Patient, 3, 1, status::kFail, SERVERCALL_ISHANDLED},
        {RPC_E_SERVERCALL_RETRYLATER, false, Immediate, 3, 1, status::kRetryLater, SERVERCALL_RETRYLATER},
        {RPC_E_SERVERCALL_RETRYLATER, true, Patient, -1, 0, status::kRetryLater, SERVERCALL_RETRYLATER},
    };
    const auto locator = host::com::CreateComHostLocator(session);
    EXPECT_EQ(FailureOf([&] { locator->GetRunningApplication("Vantrel.NotRegistered"); }), status::kClassString);
    EXPECT_EQ(FailureOf([&] { locator->GetRunningApplication("Scripting.Dictionary"); }), status::kUnavailable);
    const auto registration = host::com::RegisterBusyHostRetry(session);
    Microsoft::WRL::ComPtr<IMessageFilter> filter;
    ::CoRegisterMessageFilter(nullptr, &filter);
    ::CoRegisterMessageFilter(filter.Get(), nullptr);
    for (const auto& c : cases) {
        locator->SetBusyWait(c.wait);
        session->busy.boundMs = c.refusals < 0 ? 300 : session->busy.boundMs;
        int attempts = 0;
        application->Member("ZoomExtents", [&](auto&, auto*, EXCEPINFO* info) {
            if (++attempts > c.refusals && c.refusals >= 0) return S_OK;
            return c.asException ? (info->scode = c.code, DISP_E_EXCEPTION) : c.code;
        });
        const ULONGLONG start = ::GetTickCount64();
        EXPECT_EQ(FailureOf([&] { App()->ZoomExtents(); }), c.failure) << &c - cases;
        EXPECT_TRUE(c.attempts ? attempts == c.attempts
                               : attempts > 1 && attempts < 9 && ::GetTickCount64() >= start + 300)
            << attempts << " attempts, case " << &c - cases;
        for (const DWORD elapsed : {0UL, session->busy.boundMs - 1, session->busy.boundMs}) {
            EXPECT_EQ(filter->RetryRejectedCall(nullptr, elapsed, c.filterRejectType) != host::com::kCancelCall,
                      c.attempts != 1 && elapsed < session->busy.boundMs);
        }
    }
}

TEST(LocaleNumberText, IsTheAutomationLibrarysTextInTheUsersLocaleAndWithADecimalComma) {
    // 1/4"=1'-0" as the host reports it (15 significant digits), read as 12 x it.
    const double values[] = {0.25, 12 * 0.0208333333333333, 0.02, 1.0 / 3, 1e-5, 123456789012345.0, 1e300, -2.5, 0};
    for (const auto& [locale, separator] :
         {std::pair{LOCALE_USER_DEFAULT, ui::win32::FrmMainWindow().DecimalSeparator()},
          {::LocaleNameToLCID(L"de-DE", 0), std::string(",")}}) {
        for (const double value : values) {
            BSTR text = nullptr;
            ASSERT_TRUE(SUCCEEDED(::VarBstrFromR8(value, locale, 0, &text)));
            EXPECT_EQ(ui::NumberText(value, separator), host::com::Utf8FromBstr(text)) << value << " in " << locale;
            ::SysFreeString(text);
        }
    }
}

}  // namespace
}  // namespace vantrel::test
