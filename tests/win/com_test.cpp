// The host model over IDispatch against stubs counting references with the program's ComObject.
#include <windows.h>

#include <bit>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/Failure.h"
#include "host/HostOperations.h"
#include "host/com/ComHostLocator.h"
#include "host/com/ComHostModel.h"
#include "win/ComObject.h"

namespace vantrel::test {
namespace {

using Handler = std::function<HRESULT(const DISPPARAMS&, VARIANT* result, EXCEPINFO*)>;
std::string calls;  // to every stub: "Member FLAGS(arguments, last first) named PUT -> result; ..."

VARIANT Value(VARTYPE type, LONGLONG bits = 0) {  // a scalar, or an object not held
    VARIANT v{};
    return v.vt = type, v.llVal = bits, v;
}
Handler Gives(VARIANT value) {  // a copy of the value; puts are taken
    return [value](auto&, VARIANT* result, auto*) mutable { return result ? ::VariantCopy(result, &value) : S_OK; };
}
Handler Gives(IDispatch* object) { return Gives(Value(VT_DISPATCH, reinterpret_cast<LONGLONG>(object))); }
Handler Gives(const std::wstring& text) {
    return [text](auto&, VARIANT* result, auto*) {
        return *result = Value(VT_BSTR, reinterpret_cast<LONGLONG>(::SysAllocString(text.c_str()))), S_OK;
    };
}

// IDispatch over a table of members, and IEnumVARIANT over `items`: at most `most` a Next (with S_OK), or
// `fail`. It starts with a guard reference beside the test's: a Release too many shows as a count.
class Stub final : public win::ComObject<IDispatch, IEnumVARIANT> {
public:
    explicit Stub(bool logged = true) : logged_(logged) { AddRef(); }
    void Member(const std::string& name, Handler handler) {  // ids: 1, 2, ... in the order first named
        const DISPID id = name == "_NewEnum" ? DISPID_NEWENUM : static_cast<DISPID>(ids_.size() + 1);
        members_[ids_.try_emplace(std::wstring(name.begin(), name.end()), id).first->second] = {name, handler};
    }
    void ExpectAllBack() {  // then frees the stub, unless someone may still use it
        EXPECT_EQ((AddRef(), Release()), 2U) << "references besides the test's";
        if (Release() == 1) Release();
    }
    int lookups = 0;
    std::vector<VARIANT> items;  // not held
    std::size_t next = 0;
    ULONG most = ~0UL;
    HRESULT fail = S_OK;

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
        call << name << ' ' << kFlags[flags & 7] << '(';
        for (UINT i = 0; i < in->cArgs; ++i) {
            const VARIANT& v = in->rgvarg[i];
            const char* kTypes[] = {"", "", "", "i4 ", "", "r8 ", "", "", "", "object", "", "bool "};
            call << (i == 0 ? "" : ", ") << kTypes[v.vt % 12];
            if (v.vt != VT_DISPATCH) call << (v.vt == VT_R8 ? v.dblVal : v.vt == VT_I4 ? v.lVal : v.boolVal);
        }
        call << ')' << (in->cNamedArgs == 1 && *in->rgdispidNamedArgs == DISPID_PROPERTYPUT ? " named PUT" : "")
             << (result ? " -> result" : "") << (exception ? "" : " without EXCEPINFO");
        if (logged_) calls += (calls.empty() ? "" : "; ") + call.str();
        return handler(*in, result, exception);
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG wanted, VARIANT* out, ULONG* fetched) override {
        calls += std::string(calls.empty() ? "" : "; ") + "Next(" + std::to_string(wanted) + ")";
        for (*fetched = 0; *fetched < std::min(wanted, most) && next < items.size(); ++*fetched) {
            ::VariantCopy(&out[*fetched], &items[next++]);
        }
        return FAILED(fail) ? fail : *fetched == wanted || most != ~0UL ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

private:
    ~Stub() override = default;
    bool logged_;
    std::map<std::wstring, DISPID> ids_;
    std::map<DISPID, std::pair<std::string, Handler>> members_;
};

// Counts the task-allocator blocks (BSTRs, with the string cache off) allocated while registered, not freed.
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

EXCEPINFO raised{};  // the host exception that Fill fills in
HRESULT STDAPICALLTYPE Fill(EXCEPINFO* info) {
    *info = raised;
    info->bstrDescription = ::SysAllocString(raised.bstrDescription);
    info->bstrSource = ::SysAllocString(L"AutoCAD.Application");
    return info->bstrHelpFile = ::SysAllocString(L"acad.chm"), S_OK;
}

struct ComTest : ::testing::Test {
    void SetUp() override {  // an STA, as the window's thread is
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        for (const char* member : {"ZoomScaled", "ZoomExtents"}) application->Member(member, Gives(Value(VT_EMPTY)));
        document->Member("MSpace", Gives(Value(VT_EMPTY)));
        application->Member("ActiveDocument", Gives(document));
        document->Member("ActiveSpace", Gives(Value(VT_I4, 1)));
        document->Member("ActivePViewport", Gives(viewport));
        paperSpace->Member("_NewEnum", [this](auto&, VARIANT* result, auto*) {
            *result = Value(VT_UNKNOWN, reinterpret_cast<LONGLONG>(static_cast<IEnumVARIANT*>(paperSpace)));
            return paperSpace->AddRef(), S_OK;
        });
    }
    void TearDown() override {
        for (Stub* stub : {application, document, viewport, paperSpace}) stub->ExpectAllBack();
        for (Stub* line : lines) line->ExpectAllBack();
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

    // A pass over `count` items (the second a plain IUnknown, the last of several not an object); `taken` expected.
    void Enumerate(int count, std::size_t taken, HRESULT fail = S_OK, ULONG most = ~0UL) {
        std::vector<std::string> expected, names;
        paperSpace->items.clear(), paperSpace->next = 0, paperSpace->most = most, paperSpace->fail = fail;
        for (int i = 0; i < count; ++i) {
            lines.push_back(new Stub(false));
            lines.back()->Member("ObjectName", Gives(L"AcDbLine" + std::to_wstring(i)));
            const bool odd = i > 0 && i == count - 1;
            paperSpace->items.push_back(odd ? Value(VT_I4)
                                            : Value(i == 1 ? VT_UNKNOWN : VT_DISPATCH,
                                                    std::bit_cast<LONGLONG>(static_cast<IDispatch*>(lines.back()))));
            expected.push_back(odd ? "not an object" : "AcDbLine" + std::to_string(i));
        }
        auto all = host::com::WrapEntityCollection(paperSpace, session)->Enumerate();
        calls.clear();  // the pass's own calls
        for (auto entity = all->Next(); entity != nullptr; entity = all->Next()) {
            names.push_back("not an object");
            FailureOf([&] { names.back() = entity->ObjectName(); });
        }
        expected.resize(taken);
        EXPECT_EQ(names, expected);
    }

    // ZoomExtents raises a host exception: its scode, wCode and text, filled in at once or by the deferred fill-in.
    void Raise(std::uint32_t scode, WORD wCode, const wchar_t* text, bool later = false) {
        application->Member("ZoomExtents", [=](auto&, auto*, EXCEPINFO* info) {
            raised = {wCode, 0,       nullptr, const_cast<BSTR>(text),   nullptr,
                      0,     nullptr, nullptr, static_cast<SCODE>(scode)};
            return (later ? (info->pfnDeferredFillIn = Fill, S_OK) : Fill(info)), DISP_E_EXCEPTION;
        });
        App()->ZoomExtents();
    }

    std::shared_ptr<host::com::ComSession> session = std::make_shared<host::com::ComSession>();
    std::unique_ptr<host::HostLocator> locator = host::com::CreateComHostLocator(session);
    Stub* application = new Stub;
    Stub* document = new Stub;
    Stub* viewport = new Stub;
    Stub* paperSpace = new Stub;
    std::vector<Stub*> lines;
};

// Each call is one Invoke, arguments last to first, DISPID_PROPERTYPUT named on puts, with an EXCEPINFO; a
// failure carries the host's number and text, else the system's (a whole sentence) or a fixed one.
TEST_F(ComTest, CallsTravelAsTheHostExpectsAndFailWithItsNumberAndText) {
    reinterpret_cast<void(WINAPI*)()>(::GetProcAddress(::GetModuleHandleW(L"oleaut32.dll"), "SetOaNoCache"))();
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
        {[](auto& t) { t.Raise(0x8021003C, 0, L"No active document"); }, nullptr, status::kNoActiveDocument,
         "No active document"},
        {[](auto& t) { t.Raise(0x80200001, 0, L"Bad \u00e9", true); }, nullptr, StatusCode(0x80200001), "Bad \xc3\xa9"},
        {[](auto& t) { t.Raise(0, 1001, L"Custom"); }, nullptr, StatusCode(0x80040200 + 1001), "Custom"},
        {[](auto& t) { t.Raise(0, 0, nullptr); }, nullptr, status::kDispException},
        {[](auto& t) { t.Raise(0x8007000E, 0, nullptr); }, nullptr, status::kOutOfMemory,
         "."},  // the system's sentence
        // Paper space: every item once, in order, 64 to a Next, until a batch comes short (also with S_OK) or fails.
        {[](auto& t) { t.Enumerate(0, 0); }, "Next(64)"},
        {[](auto& t) { t.Enumerate(130, 130); }, "Next(64); Next(64); Next(64)"},
        {[](auto& t) { t.Enumerate(10, 4, S_OK, 4); }, "Next(64)"},
        {[](auto& t) { t.Enumerate(3, 0, E_OUTOFMEMORY); }, "Next(64)", status::kOutOfMemory},
        {[](auto& t) { t.paperSpace->Member("_NewEnum", Gives(Value(VT_EMPTY))), t.Enumerate(3, 0); },
         "_NewEnum METHOD|GET() -> result", status::kTypeMismatch, "no enumerator"},
        // A call the host rejects is made once: the host link sends it again.
        {[](auto& t) { t.Raise(0x8001010A, 0, nullptr); }, "ZoomExtents METHOD() -> result", status::kRetryLater},
        {[](auto& t) { t.locator->GetRunningApplication("Vantrel.NotRegistered"); }, "", status::kClassString},
        {[](auto& t) { t.locator->GetRunningApplication("Scripting.Dictionary"); }, "", status::kUnavailable},  // idle
        {[](auto& t) { t.document->Member("ActiveSpace", Gives(t.viewport)), t.Doc()->ActiveSpace(); }, nullptr,
         status::kTypeMismatch},
        // An answer that holds no object where one is wanted is a type mismatch, never a null to use.
        {[](auto& t) {
             t.document->Member("ActiveSpace", Gives(Value(VT_I4, 0)));
             t.document->Member("Application", Gives(Value(VT_EMPTY))), host::PrepareDrawing(*t.Doc());
         },
         nullptr, status::kTypeMismatch, "Application is not an application"},
        {[](auto& t) { t.document->Member("ActivePViewport", Gives(Value(VT_DISPATCH))), t.Doc()->ActivePViewport(); },
         nullptr, status::kTypeMismatch, "ActivePViewport is not a viewport"},
        {[](auto& t) { t.document->Member("PaperSpace", Gives(Value(VT_EMPTY))), t.Doc()->PaperSpace(); }, nullptr,
         status::kTypeMismatch, "PaperSpace is not a collection"},
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
    EXPECT_EQ(document->lookups, 5) << "one per member of a type, however many objects";
}

}  // namespace
}  // namespace vantrel::test
