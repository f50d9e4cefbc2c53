// The host model over IDispatch, against stub automation objects that count
// their references with the program's own ComObject: how calls travel and
// fail, paper space through IEnumVARIANT, a busy host, the running-object
// lookup, and the readout's number text against the automation library's.
#include <windows.h>

#include <oaidl.h>

#include <bit>
#include <functional>
#include <map>
#include <memory>
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
std::string calls;  // to all stubs: "Member FLAGS(arguments, last first) named PUT -> result; ..."

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
    void Member(const std::string& name, Handler handler, DISPID id = 0) {  // ids count up unless given
        const std::wstring wide(name.begin(), name.end());
        if (id == 0) id = ids_.count(wide) != 0 ? ids_[wide] : static_cast<DISPID>(ids_.size() + 1);
        ids_[wide] = id = name == "_NewEnum" ? DISPID_NEWENUM : id;
        members_[id] = {name, std::move(handler)};
    }
    // Expects no reference but the test's, then frees the stub (one with
    // another count is left alone: someone may still use it).
    void ExpectAllBack() {
        const ULONG count = (AddRef(), Release());
        EXPECT_EQ(count, 2U) << "references besides the test's";
        for (ULONG i = 0; count == 2 && i < 2; ++i) Release();
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
        const auto member = members_.find(id);
        std::ostringstream call;
        call << (calls.empty() ? "" : "; ") << (member == members_.end() ? "?" : member->second.first) << ' '
             << kFlags[flags & 7] << '(';
        for (UINT i = 0; i < in->cArgs; ++i) {
            const VARIANT& v = in->rgvarg[i];
            call << (i == 0 ? "" : ", ");
            if (v.vt == VT_I4) call << "i4 " << v.lVal;
            if (v.vt == VT_R8) call << "r8 " << v.dblVal;
            if (v.vt == VT_BOOL) call << "bool " << v.boolVal;
            if (v.vt == VT_DISPATCH) call << "object";
        }
        call << ')' << (in->cNamedArgs == 1 && *in->rgdispidNamedArgs == DISPID_PROPERTYPUT ? " named PUT" : "")
             << (result != nullptr ? " -> result" : "") << (exception == nullptr ? " without EXCEPINFO" : "");
        calls += call.str();
        return member == members_.end() ? DISP_E_MEMBERNOTFOUND : member->second.second(*in, result, exception);
    }

private:
    ~StubDispatch() override = default;
    std::map<std::wstring, DISPID> ids_;
    std::map<DISPID, std::pair<std::string, Handler>> members_;
};

// An enumerator over items it does not hold, as a collection's _NewEnum makes
// one: Next hands out at most `most` items (with S_OK), or fails with `fail`.
class StubEnum final : public win::ComObject<IEnumVARIANT> {
public:
    struct Log {
        int alive = 0;
        std::vector<ULONG> asked;
        ULONG most = ~0UL;
        HRESULT fail = S_OK;
    };
    StubEnum(const std::vector<VARIANT>& items, Log& log) : items_(items), log_(log) { ++log_.alive; }
    HRESULT STDMETHODCALLTYPE Next(ULONG wanted, VARIANT* out, ULONG* fetched) override {
        log_.asked.push_back(wanted);
        for (*fetched = 0; *fetched < wanted && *fetched < log_.most && next_ < items_.size(); ++*fetched) {
            ::VariantInit(&out[*fetched]);
            ::VariantCopy(&out[*fetched], &items_[next_++]);
        }
        return FAILED(log_.fail) ? log_.fail : *fetched == wanted || log_.most != ~0UL ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

private:
    ~StubEnum() override { --log_.alive; }
    std::vector<VARIANT> items_;
    Log& log_;
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
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T size, void** out, BOOL) override {
        return *out = block, size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* block, BOOL) override { return block; }
    void* STDMETHODCALLTYPE PreGetSize(void* block, BOOL) override { return block; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* block, BOOL) override { return block; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}
};

// A host exception, filled in at once or, `later`, by the deferred fill-in.
struct Raised {
    std::uint32_t scode;
    WORD wCode;
    const wchar_t* description;
    bool later = false;
} raised;
HRESULT STDAPICALLTYPE Fill(EXCEPINFO* info) {
    info->scode = static_cast<SCODE>(raised.scode);
    info->wCode = raised.wCode;
    info->bstrDescription = raised.description ? ::SysAllocString(raised.description) : nullptr;
    info->bstrSource = ::SysAllocString(L"AutoCAD.Application");
    info->bstrHelpFile = ::SysAllocString(L"acad.chm");
    return S_OK;
}
Handler Raise(Raised exception) {
    return [exception](auto&, auto*, EXCEPINFO* info) {
        raised = exception;
        return (raised.later ? (info->pfnDeferredFillIn = Fill, S_OK) : Fill(info)), DISP_E_EXCEPTION;
    };
}

// Tests run on an STA, as the window's thread does.
class ComTest : public ::testing::Test {
public:  // to the cases' lambdas
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        application->Member("ZoomScaled", Gives(Value(VT_EMPTY)));
        application->Member("ZoomExtents", Gives(Value(VT_EMPTY)));
        document->Member("MSpace", Gives(Value(VT_EMPTY)));
        document->Member("Regen", Gives(Value(VT_EMPTY)));
        document->Member("ActiveSpace", Gives(Value(VT_I4, 1)));
        document->Member("ActivePViewport", Gives(viewport));
        document->Member("PaperSpace", Gives(paperSpace));
        application->Member("ActiveDocument", Gives(document));
        viewport->Member("ObjectName", Gives(L"AcDbViewport"));
        viewport->Member("CustomScale", Gives(Value(VT_R8, std::bit_cast<LONGLONG>(1.0 / 48))));
        paperSpace->Member("_NewEnum", [this](auto&, VARIANT* result, auto*) {
            if (!noEnumerator) *result = Value(VT_UNKNOWN, reinterpret_cast<LONGLONG>(new StubEnum(items, log)));
            return S_OK;
        });
    }
    void TearDown() override {
        for (StubDispatch* stub : {application, document, viewport, paperSpace}) stub->ExpectAllBack();
        EXPECT_EQ(log.alive, 0) << "an enumerator was not released";
        ::CoUninitialize();
    }
    std::shared_ptr<host::Application> App() { return host::com::WrapApplication(application, session); }
    std::shared_ptr<host::Document> Doc() { return host::com::WrapDocument(document, session); }
    void Zoom(Handler zoom) {
        application->Member("ZoomExtents", std::move(zoom));
        App()->ZoomExtents();
    }

    std::shared_ptr<host::com::ComSession> session = std::make_shared<host::com::ComSession>();
    StubDispatch* application = new StubDispatch;
    StubDispatch* document = new StubDispatch;
    StubDispatch* viewport = new StubDispatch;
    StubDispatch* paperSpace = new StubDispatch;
    std::vector<VARIANT> items;
    StubEnum::Log log;
    bool noEnumerator = false;
};

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
        {[](auto& t) { t.Doc()->Regen(1); }, "Regen METHOD(i4 1) -> result"},
        {[](auto& t) { t.Doc()->SetActivePViewport(*t.Doc()->ActivePViewport()); },
         "ActivePViewport GET() -> result; ActivePViewport PUT(object) named PUT"},
        {[](auto& t) { EXPECT_EQ(t.Doc()->ActivePViewport()->CustomScale(), 1.0 / 48); },
         "ActivePViewport GET() -> result; CustomScale GET() -> result"},
        {[](auto& t) { t.Doc()->PaperSpace()->Enumerate(); },
         "PaperSpace GET() -> result; _NewEnum METHOD|GET() -> result"},
        {[](auto& t) {
             t.Zoom(Raise({0x8021003C, 0, L"No active document"}));
         },
         nullptr, status::kNoActiveDocument, "No active document"},
        {[](auto& t) {
             t.Zoom(Raise({0x80200001, 0, L"Bad \u00e9", true}));
         },
         nullptr, StatusCode(0x80200001), "Bad \xc3\xa9"},
        {[](auto& t) {
             t.Zoom(Raise({0, 1001, L"Custom"}));
         },
         nullptr, StatusCode(0x80040200 + 1001), "Custom"},
        {[](auto& t) {
             t.Zoom(Raise({0, 0, nullptr}));
         },
         nullptr, status::kDispException},
        {[](auto& t) { t.Zoom([](auto&, auto*, auto*) { return E_OUTOFMEMORY; }); }, nullptr, status::kOutOfMemory},
        {[](auto& t) { t.Doc()->ActivePViewport()->DisplayLocked(); }, nullptr, status::kUnknownName,
         "(DisplayLocked)"},
        {[](auto& t) { t.application->Member("ActiveDocument", Gives(Value(VT_I4, 5))), t.App()->ActiveDocument(); },
         nullptr, status::kTypeMismatch, "is not a document"},
        {[](auto& t) { t.document->Member("ActiveSpace", Gives(t.viewport)), t.Doc()->ActiveSpace(); }, nullptr,
         status::kTypeMismatch},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        calls.clear();
        Microsoft::WRL::ComPtr<AllocationSpy> spy;
        spy.Attach(new AllocationSpy);
        ASSERT_TRUE(SUCCEEDED(::CoRegisterMallocSpy(spy.Get())));
        std::int32_t failure = 0;
        try {
            c.call(*this);
        } catch (const Failure& f) {
            const std::string& text = f.Description();
            failure = f.Number();
            EXPECT_TRUE(c.text ? text.ends_with(c.text) : text == "Automation error" || text.ends_with('.')) << text;
        }
        ::CoRevokeMallocSpy();
        EXPECT_EQ(failure, c.failure) << calls;
        EXPECT_EQ(calls, c.calls ? c.calls : calls);
        EXPECT_EQ(spy->outstanding, 0) << "strings left by " << calls;
    }
    EXPECT_EQ(document->lookups, 5) << "one per member of a type, however many objects";
}

// Every item once, in order, 64 to a Next, until a batch comes short or fails.
TEST_F(ComTest, PaperSpaceComesInBatchesOf64UntilAShortOrFailedOne) {
    const struct {
        int lines;
        bool oddItems;  // an empty item, a number and a null object after the first line
        ULONG most;
        HRESULT fail;
        std::size_t names, nextCalls;
        std::int32_t failure;
    } cases[] = {
        {0, false, ~0UL, S_OK, 0, 1, 0},
        {63, false, ~0UL, S_OK, 63, 1, 0},
        {64, false, ~0UL, S_OK, 64, 2, 0},
        {130, false, ~0UL, S_OK, 130, 3, 0},
        {10, false, 4, S_OK, 4, 1, 0},  // fewer than asked for, with S_OK: the end
        {2, true, ~0UL, S_OK, 5, 1, 0},
        {3, false, ~0UL, E_OUTOFMEMORY, 0, 1, status::kOutOfMemory},
        {3, false, ~0UL, S_OK, 0, 0, status::kTypeMismatch},  // _NewEnum gives no enumerator
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        std::vector<StubDispatch*> lines;
        std::vector<std::string> expected, names;
        items.clear();
        for (int i = 0; i < c.lines; ++i) {
            lines.push_back(new StubDispatch);
            lines.back()->Member("ObjectName", Gives(L"AcDbLine" + std::to_wstring(i)));
            // The second as a plain IUnknown, as an enumerator may hand items out.
            items.push_back(Value(i == 1 ? VT_UNKNOWN : VT_DISPATCH, reinterpret_cast<LONGLONG>(lines.back())));
            expected.push_back("AcDbLine" + std::to_string(i));
            if (i > 0 || !c.oddItems) continue;
            items.insert(items.end(), {Value(VT_EMPTY), Value(VT_I4, 42), Value(VT_DISPATCH)});
            expected.insert(expected.end(), 3, "not an object");
        }
        expected.resize(c.names);
        log = {0, {}, c.most, c.fail};
        noEnumerator = c.failure == status::kTypeMismatch;
        std::int32_t failure = 0;
        try {
            auto all = host::com::WrapEntityCollection(paperSpace, session)->Enumerate();
            for (auto entity = all->Next(); entity != nullptr; entity = all->Next()) {
                try {
                    names.push_back(entity->ObjectName());
                } catch (const Failure& f) {
                    names.push_back(f.Number() == status::kTypeMismatch ? "not an object" : f.Description());
                }
            }
        } catch (const Failure& f) {
            failure = f.Number();
        }
        EXPECT_EQ(names, expected);
        EXPECT_EQ(failure, c.failure);
        EXPECT_EQ(log.asked, std::vector<ULONG>(c.nextCalls, host::com::kEnumerationBatch));
        int lookups = 0;
        for (StubDispatch* line : lines) lookups += line->lookups;
        EXPECT_LE(lookups, 1) << "ObjectName is looked up once for all entities";
        for (StubDispatch* line : lines) line->ExpectAllBack();
    }
}

// A busy host is retried, in the invoke path and by the message filter, only
// while it asks to be called later and the call may wait; meanwhile only
// painting runs, and the user's input waits for the call to end.
TEST_F(ComTest, OnlyRetryLaterIsRetriedOnlyWhileTheCallMayWaitAndOnlyPaintingRunsMeanwhile) {
    using enum host::BusyWait;
    const struct {
        HRESULT code;
        bool asException;
        host::BusyWait wait;
        int refusals;  // then the host is free; -1: never
        int attempts;  // 0: a few, until the bound
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
    const HWND window =
        ::CreateWindowW(L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr);
    Microsoft::WRL::ComPtr<IMessageFilter> filter;
    auto registration = host::com::RegisterBusyHostRetry(session);
    ::CoRegisterMessageFilter(nullptr, &filter);
    ::CoRegisterMessageFilter(filter.Get(), nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        locator->SetBusyWait(c.wait);
        session->busy.boundMs = c.refusals < 0 ? 300 : session->busy.boundMs;
        int attempts = 0;
        application->Member("ZoomExtents", [&](auto&, auto*, EXCEPINFO* info) {
            if (++attempts > c.refusals && c.refusals >= 0) return S_OK;
            if (attempts == 1) {  // meanwhile the window needs painting and the user presses a key
                ::UpdateWindow(window);
                ::InvalidateRect(window, nullptr, TRUE);
                ::PostThreadMessageW(::GetCurrentThreadId(), WM_APP, 0, 0);
            }
            return c.asException ? (info->scode = c.code, DISP_E_EXCEPTION) : c.code;
        });
        const ULONGLONG start = ::GetTickCount64();
        std::int32_t failure = 0;
        try {
            App()->ZoomExtents();
        } catch (const Failure& f) {
            failure = f.Number();
        }
        EXPECT_EQ(failure, c.failure);
        EXPECT_TRUE(c.attempts ? attempts == c.attempts
                               : attempts > 1 && attempts < 9 && ::GetTickCount64() >= start + 300)
            << attempts << " attempts";
        const bool retried = c.attempts != 1;
        MSG message{};
        EXPECT_EQ(::GetUpdateRect(window, nullptr, FALSE), !retried) << "painted while waiting";
        EXPECT_TRUE(::PeekMessageW(&message, nullptr, WM_APP, WM_APP, PM_REMOVE)) << "the key press is queued";
        for (const DWORD elapsed : {0UL, session->busy.boundMs - 1, session->busy.boundMs}) {
            EXPECT_EQ(filter->RetryRejectedCall(nullptr, elapsed, c.filterRejectType) != host::com::kCancelCall,
                      retried && elapsed < session->busy.boundMs);
        }
    }
    registration.reset();
    ::CoRegisterMessageFilter(nullptr, &filter);
    EXPECT_EQ(filter, nullptr) << "the filter outlived its registration";
    ::DestroyWindow(window);
}

TEST_F(ComTest, TheLocatorFindsOnlyARunningHost) {
    for (const auto& [progId, number] : {std::pair{"Vantrel.NotRegistered", status::kClassString},
                                         {"Scripting.Dictionary", status::kUnavailable}}) {  // never running
        try {
            host::com::CreateComHostLocator()->GetRunningApplication(progId);
            ADD_FAILURE() << progId << " was found";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.Number(), number) << progId;
        }
    }
}

TEST(LocaleNumberText, IsTheAutomationLibrarysTextInTheUsersLocaleAndWithADecimalComma) {
    // 1/4"=1'-0" as the host reports it (15 significant digits), read as 12 x it.
    const double values[] = {0.25,   0.125,    12 * 0.0208333333333333,
                             0.02,   1.0 / 3,  1e-5,
                             0.0001, 1e15,     123456789012345.0,
                             1e300,  1e-300,   -2.5,
                             0,      1.0 / 48, 0.0333333,
                             100};
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
