// The host model over IDispatch against stubs counting references with the program's ComObject, and the host thread
// with the host link over it. The texts the system gives are Wine's, where these tests run: it has none for the COM
// codes, which then read "Automation error".
#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/Failure.h"
#include "host/HostLink.h"
#include "host/com/ComHostLocator.h"
#include "host/com/ComHostModel.h"
#include "host/com/ComHostThread.h"
#include "win/ComApartment.h"
#include "win/ComObject.h"
#include "win/UniqueHandle.h"

namespace vantrel::test {
namespace {

using namespace std::chrono_literals;

using Handler = std::function<HRESULT(VARIANT* result, EXCEPINFO*)>;

// Every stub's calls: "ids(Member)" for a lookup, "Member FLAGS(arguments, last first) named PUT -> result" for a
// call, "DISPID n not found" for a call by an id the stub does not know, "Next(n)" for a batch of items.
std::string calls;

void Log(const std::string& call) {
    if (!calls.empty()) calls += "; ";
    calls += call;
}

VARIANT Value(VARTYPE type, LONGLONG bits = 0) {  // a scalar, or an object not held
    VARIANT value{};
    value.vt = type;
    value.llVal = bits;
    return value;
}

VARIANT Object(IDispatch* object, VARTYPE type = VT_DISPATCH) {  // not held
    return Value(type, reinterpret_cast<LONGLONG>(object));
}

Handler Gives(VARIANT value) {  // a copy of the value; puts are taken
    return [value](VARIANT* result, EXCEPINFO*) mutable {
        if (result == nullptr) return S_OK;
        return ::VariantCopy(result, &value);
    };
}

Handler Gives(const std::wstring& text) {
    return [text](VARIANT* result, EXCEPINFO*) {
        *result = Value(VT_BSTR, reinterpret_cast<LONGLONG>(::SysAllocString(text.c_str())));
        return S_OK;
    };
}

const std::map<WORD, std::string> kFlags{{DISPATCH_METHOD, "METHOD"},
                                         {DISPATCH_PROPERTYGET, "GET"},
                                         {DISPATCH_METHOD | DISPATCH_PROPERTYGET, "METHOD|GET"},
                                         {DISPATCH_PROPERTYPUT, "PUT"}};
const std::map<VARTYPE, std::string> kTypes{
    {VT_I4, "i4 "}, {VT_R8, "r8 "}, {VT_BOOL, "bool "}, {VT_DISPATCH, "object"}};

// IDispatch over a table of members, and IEnumVARIANT over `items`: at most `most` a Next, answering `shortAnswer`
// when it hands out fewer than asked for. It starts with a guard reference beside the test's: a Release too many
// shows as a count.
class Stub final : public win::ComObject<IDispatch, IEnumVARIANT> {
public:
    explicit Stub(bool logged = true) : logged_(logged) { AddRef(); }
    // DISPIDs 1, 2, ... in the order first named; _NewEnum has its own.
    void Member(const std::string& name, Handler handler) {
        const std::wstring wide(name.begin(), name.end());
        if (!ids_.contains(wide)) ids_[wide] = name == "_NewEnum" ? DISPID_NEWENUM : ++lastId_;
        members_[ids_[wide]] = {name, std::move(handler)};
    }
    // The member under a new DISPID, as another build of the host may number it: its old one is not found.
    void Renumber(const std::string& name) {
        const std::wstring wide(name.begin(), name.end());
        const DISPID old = ids_.at(wide);
        ids_[wide] = ++lastId_;
        members_[lastId_] = members_.at(old);
        members_.erase(old);
    }
    void ExpectAllBack() {  // then frees the stub, unless someone may still use it
        AddRef();
        const ULONG held = Release();
        EXPECT_EQ(held, 2U) << "references besides the test's";
        if (Release() == 1) Release();
    }
    std::vector<VARIANT> items;  // not held
    ULONG most = ~0UL;
    HRESULT shortAnswer = S_FALSE;
    std::atomic<DWORD> callThread{0};     // of the last call
    std::atomic<DWORD> releaseThread{0};  // of the last release

    ULONG STDMETHODCALLTYPE Release() override {
        releaseThread = ::GetCurrentThreadId();
        return ComObject::Release();
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override {
        const std::wstring name(names[0]);
        Log("ids(" + std::string(name.begin(), name.end()) + ")");
        const auto found = ids_.find(name);
        if (found == ids_.end()) {
            *ids = DISPID_UNKNOWN;
            return DISP_E_UNKNOWNNAME;
        }
        *ids = found->second;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* in, VARIANT* result,
                                     EXCEPINFO* exception, UINT*) override {
        callThread = ::GetCurrentThreadId();
        const auto found = members_.find(id);
        if (found == members_.end()) {
            Log("DISPID " + std::to_string(id) + " not found");
            return DISP_E_MEMBERNOTFOUND;
        }
        const auto& [name, handler] = found->second;
        std::ostringstream call;
        call << name << ' ' << kFlags.at(flags) << '(';
        for (UINT i = 0; i < in->cArgs; ++i) {
            const VARIANT& argument = in->rgvarg[i];
            if (i > 0) call << ", ";
            call << kTypes.at(argument.vt);
            if (argument.vt == VT_I4) call << argument.lVal;
            if (argument.vt == VT_R8) call << argument.dblVal;
            if (argument.vt == VT_BOOL) call << argument.boolVal;
        }
        call << ')';
        if (in->cNamedArgs == 1 && in->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT) call << " named PUT";
        if (result != nullptr) call << " -> result";
        if (exception == nullptr) call << " without EXCEPINFO";
        if (logged_) Log(call.str());
        return handler(result, exception);
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG wanted, VARIANT* out, ULONG* fetched) override {
        Log("Next(" + std::to_string(wanted) + ")");
        *fetched = 0;
        while (*fetched < std::min(wanted, most) && next_ < items.size()) {
            ::VariantCopy(&out[*fetched], &items[next_]);
            ++next_;
            ++*fetched;
        }
        return *fetched == wanted ? S_OK : shortAnswer;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

private:
    ~Stub() override = default;
    bool logged_;
    DISPID lastId_ = 0;
    std::size_t next_ = 0;
    std::map<std::wstring, DISPID> ids_;
    std::map<DISPID, std::pair<std::string, Handler>> members_;
};

// Counts the task-allocator blocks (BSTRs, with the string cache off) allocated while registered, not freed.
class AllocationSpy final : public win::ComObject<IMallocSpy> {
public:
    int outstanding = 0;
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
    void* STDMETHODCALLTYPE PostAlloc(void* block) override {
        if (block != nullptr) ++outstanding;
        return block;
    }
    void* STDMETHODCALLTYPE PreFree(void* block, BOOL spied) override {
        if (spied) --outstanding;
        return block;
    }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T size, void** out, BOOL) override {
        *out = block;
        return size;
    }
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
    info->wCode = raised.wCode;
    info->scode = raised.scode;
    info->bstrDescription = ::SysAllocString(raised.bstrDescription);
    info->bstrSource = ::SysAllocString(L"AutoCAD.Application");
    info->bstrHelpFile = ::SysAllocString(L"acad.chm");
    return S_OK;
}

constexpr char kZoomExtents[] = "ids(ZoomExtents); ZoomExtents METHOD() -> result";
constexpr char kNotAnObject[] = "The paper-space item is not an object";

// The host's objects as the program meets them, with a DISPID cache of their own: the application, its active
// document, the document's active viewport and paper space. Every reference is expected back at the end.
struct Host {
    Host() {
        application->Member("ZoomScaled", Gives(Value(VT_EMPTY)));
        application->Member("ZoomExtents", Gives(Value(VT_EMPTY)));
        document->Member("ActiveSpace", Gives(Value(VT_I4, 1)));
        document->Member("MSpace", Gives(Value(VT_EMPTY)));
        document->Member("ActivePViewport", Gives(Object(viewport)));
        viewport->Member("DisplayLocked", Gives(Value(VT_BOOL, 0xFFFF)));  // VARIANT_TRUE
        IEnumVARIANT* items = paperSpace;
        paperSpace->Member("_NewEnum", Gives(Value(VT_UNKNOWN, reinterpret_cast<LONGLONG>(items))));
    }
    ~Host() {
        for (Stub* stub : {application, document, viewport, paperSpace}) stub->ExpectAllBack();
        for (Stub* line : lines) line->ExpectAllBack();
    }
    std::shared_ptr<host::Application> App() { return host::com::WrapApplication(application, session); }
    std::shared_ptr<host::Document> Doc() { return host::com::WrapDocument(document, session); }

    // ZoomExtents raises a host exception: its scode, wCode and text, filled in at once or by the deferred fill-in.
    void Raise(std::uint32_t scode, WORD wCode, const wchar_t* text, bool later = false) {
        raised.scode = static_cast<SCODE>(scode);
        raised.wCode = wCode;
        raised.bstrDescription = const_cast<BSTR>(text);
        application->Member("ZoomExtents", [later](VARIANT*, EXCEPINFO* info) {
            if (later) {
                info->pfnDeferredFillIn = Fill;
            } else {
                Fill(info);
            }
            return DISP_E_EXCEPTION;
        });
        App()->ZoomExtents();
    }

    // A pass over `count` paper-space items named AcDbLine0, AcDbLine1, ... (the second handed out as a plain
    // IUnknown, the last of several a number), each asked its name: how many it took, once every name read
    // is checked to be its item's, in order.
    std::string Walk(std::size_t count, HRESULT shortAnswer = S_FALSE, ULONG most = ~0UL) {
        paperSpace->shortAnswer = shortAnswer;
        paperSpace->most = most;
        std::vector<std::string> given;
        for (std::size_t i = 0; i < count; ++i) {
            lines.push_back(new Stub(false));
            lines.back()->Member("ObjectName", Gives(L"AcDbLine" + std::to_wstring(i)));
            if (i > 0 && i == count - 1) {
                // A number, its VARIANT's other bytes still holding an object, as a reused VARIANT may.
                paperSpace->items.push_back(Value(VT_I4, reinterpret_cast<LONGLONG>(lines.back())));
                given.push_back(kNotAnObject);
            } else {
                paperSpace->items.push_back(Object(lines.back(), i == 1 ? VT_UNKNOWN : VT_DISPATCH));
                given.push_back("AcDbLine" + std::to_string(i));
            }
        }
        std::vector<std::string> names;
        const auto all = host::com::WrapEntityCollection(paperSpace, session)->Enumerate();
        for (auto item = all->Next(); item != nullptr; item = all->Next()) {
            try {
                names.push_back(item->ObjectName());
            } catch (const Failure& failure) {
                names.push_back(failure.Description());
            }
        }
        given.resize(names.size());
        EXPECT_EQ(names, given);
        return std::to_string(names.size()) + " items";
    }

    std::shared_ptr<host::com::ComSession> session = std::make_shared<host::com::ComSession>();
    Stub* application = new Stub;
    Stub* document = new Stub;
    Stub* viewport = new Stub;
    Stub* paperSpace = new Stub;
    std::vector<Stub*> lines;
};

// Each call is one Invoke, arguments last to first, DISPID_PROPERTYPUT named on puts, with an EXCEPINFO; a member
// is looked up once for all objects of its type, and again when its cached DISPID is not found. A failure carries
// the host's number and text, else the system's; a result that is no object where one is wanted, or no value where
// one is, is a type mismatch. Paper space comes 64 items to a Next, until a batch comes short (also with S_OK) or
// fails. No string is left behind.
TEST(ComHostModel, CallsTravelAsTheHostExpectsAndFailWithItsNumberAndText) {
    const win::ComApartment apartment(COINIT_APARTMENTTHREADED);  // as the host thread's
    ASSERT_TRUE(apartment.Entered());
    reinterpret_cast<void(WINAPI*)()>(::GetProcAddress(::GetModuleHandleW(L"oleaut32.dll"), "SetOaNoCache"))();
    const struct {
        std::function<void(Host&, std::string& read)> call;
        const char* calls;
        std::int32_t failure = 0;
        const char* outcome = "";  // what the call read, or the failure's text
    } rows[] = {
        {[](Host& t, auto&) { t.App()->ZoomScaled(0.02, 2); },
         "ids(ZoomScaled); ZoomScaled METHOD(i4 2, r8 0.02) -> result"},
        {[](Host& t, auto&) { t.Doc()->SetMSpace(true); }, "ids(MSpace); MSpace PUT(bool -1) named PUT"},
        {[](Host& t, auto& read) { read = std::to_string(t.Doc()->ActiveSpace()); },
         "ids(ActiveSpace); ActiveSpace GET() -> result", 0, "1"},
        {[](Host& t, auto&) { t.Doc()->SetActivePViewport(*t.Doc()->ActivePViewport()); },
         "ids(ActivePViewport); ActivePViewport GET() -> result; ActivePViewport PUT(object) named PUT"},
        {[](Host& t, auto&) {
             t.App()->ZoomExtents();
             t.application->Renumber("ZoomExtents");
             t.App()->ZoomExtents();
         },
         "ids(ZoomExtents); ZoomExtents METHOD() -> result; DISPID 2 not found; ids(ZoomExtents); "
         "ZoomExtents METHOD() -> result"},
        {[](Host& t, auto& read) { read = std::to_string(t.Doc()->ActivePViewport()->DisplayLocked()); },
         "ids(ActivePViewport); ActivePViewport GET() -> result; ids(DisplayLocked); DisplayLocked GET() -> result", 0,
         "1"},
        {[](Host& t, auto&) { t.Doc()->ActivePViewport()->CustomScale(); },
         "ids(ActivePViewport); ActivePViewport GET() -> result; ids(CustomScale)", status::kUnknownName,
         "Automation error (CustomScale)"},
        {[](Host& t, auto&) { t.Raise(0x8021003C, 0, L"No active document"); }, kZoomExtents, status::kNoActiveDocument,
         "No active document"},
        {[](Host& t, auto&) { t.Raise(0x80200001, 0, L"Bad \u00e9", true); }, kZoomExtents, StatusCode(0x80200001),
         "Bad \xc3\xa9"},
        // A wCode alone stands for FACILITY_ITF's 0x80040200 + wCode.
        {[](Host& t, auto&) { t.Raise(0, 1001, L"Custom"); }, kZoomExtents, StatusCode(0x800405E9), "Custom"},
        {[](Host& t, auto&) { t.Raise(0, 0, nullptr); }, kZoomExtents, status::kDispException, "Automation error"},
        {[](Host& t, auto&) { t.Raise(0x8007000E, 0, nullptr); }, kZoomExtents, status::kOutOfMemory, "Out of memory."},
        // An empty paper space, whose enumerator is handed out as an IDispatch.
        {[](Host& t, auto& read) {
             t.paperSpace->Member("_NewEnum", Gives(Object(t.paperSpace)));
             read = t.Walk(0);
         },
         "_NewEnum METHOD|GET() -> result; Next(64)", 0, "0 items"},
        {[](Host& t, auto& read) { read = t.Walk(130); },
         "_NewEnum METHOD|GET() -> result; Next(64); ids(ObjectName); Next(64); Next(64)", 0, "130 items"},
        {[](Host& t, auto& read) { read = t.Walk(10, S_OK, 4); },
         "_NewEnum METHOD|GET() -> result; Next(64); ids(ObjectName)", 0, "4 items"},
        {[](Host& t, auto& read) { read = t.Walk(3, E_OUTOFMEMORY); }, "_NewEnum METHOD|GET() -> result; Next(64)",
         status::kOutOfMemory, "Out of memory."},
        // A collection without an enumerator, and one whose _NewEnum gives none.
        {[](Host& t, auto& read) {
             t.paperSpace->Renumber("_NewEnum");
             read = t.Walk(3);
         },
         "DISPID -4 not found", status::kMemberNotFound, "Automation error"},
        {[](Host& t, auto& read) {
             t.paperSpace->Member("_NewEnum", Gives(Value(VT_EMPTY)));
             read = t.Walk(3);
         },
         "_NewEnum METHOD|GET() -> result", status::kTypeMismatch, "The collection gave no enumerator"},
        {[](Host& t, auto&) {
             t.document->Member("ActiveSpace", Gives(Value(VT_EMPTY)));
             t.Doc()->ActiveSpace();
         },
         "ids(ActiveSpace); ActiveSpace GET() -> result", status::kTypeMismatch, "Automation error"},
        {[](Host& t, auto&) {
             t.document->Member("Application", Gives(Value(VT_EMPTY)));
             t.Doc()->Application();
         },
         "ids(Application); Application GET() -> result", status::kTypeMismatch, "Application is not an application"},
        {[](Host& t, auto&) {
             t.document->Member("ActivePViewport", Gives(Value(VT_DISPATCH)));
             t.Doc()->ActivePViewport();
         },
         "ids(ActivePViewport); ActivePViewport GET() -> result", status::kTypeMismatch,
         "ActivePViewport is not a viewport"},
        {[](Host& t, auto&) { host::com::CreateComHostLocator(t.session)->GetRunningApplication("Vantrel.Unknown"); },
         "", status::kClassString, "Automation error"},
        // Registered, and not running.
        {[](Host& t, auto&) {
             host::com::CreateComHostLocator(t.session)->GetRunningApplication("Scripting.Dictionary");
         },
         "", status::kUnavailable, "Automation error"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.calls);
        calls.clear();
        Microsoft::WRL::ComPtr<AllocationSpy> spy;
        spy.Attach(new AllocationSpy);
        ASSERT_TRUE(SUCCEEDED(::CoRegisterMallocSpy(spy.Get())));
        std::int32_t failure = 0;
        std::string outcome;
        {
            Host host;
            try {
                row.call(host, outcome);
            } catch (const Failure& thrown) {
                failure = thrown.Number();
                outcome = thrown.Description();
            }
        }
        ::CoRevokeMallocSpy();
        EXPECT_EQ(failure, row.failure);
        EXPECT_EQ(outcome, row.outcome);
        EXPECT_EQ(calls, row.calls);
        EXPECT_EQ(spy->outstanding, 0) << "strings left behind";
    }
}

// Hands out the stub as the running application.
class StubLocator final : public host::HostLocator {
public:
    explicit StubLocator(IDispatch* application) : application_(application) {}
    std::shared_ptr<host::Application> GetRunningApplication(std::string_view) override {
        return host::com::WrapApplication(application_, session_);
    }

private:
    IDispatch* application_;
    std::shared_ptr<host::com::ComSession> session_ = std::make_shared<host::com::ComSession>();
};

// Whether the stub's last release came from the thread, within a second.
bool ReleasedOn(const Stub& stub, DWORD threadId) {
    for (int waited = 0; waited < 50; ++waited) {
        if (stub.releaseThread.load() == threadId) return true;
        Sleep(20);
    }
    return false;
}

// What the test's window was handed by its thread's dispatch.
struct Received {
    int posted = 0;  // WM_APP and after
    int ends = 0;    // the first and last keyboard and mouse messages
    int clicks = 0;  // WM_LBUTTONDOWN
};

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* received = reinterpret_cast<Received*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (received == nullptr) return DefWindowProcW(window, message, wParam, lParam);  // while it is made
    if (message >= WM_APP) ++received->posted;
    if (message == WM_KEYFIRST || message == WM_KEYLAST || message == WM_MOUSEFIRST || message == WM_MOUSELAST) {
        ++received->ends;
    }
    if (message == WM_LBUTTONDOWN) ++received->clicks;
    return DefWindowProcW(window, message, wParam, lParam);
}

// The stub application, whose ActiveDocument answers its document once the test lets it go; freed last, once the
// host thread has ended.
struct HeldHost {
    HeldHost() {
        application->Member("ZoomExtents", Gives(Value(VT_EMPTY)));
        application->Member("ActiveDocument", [this](VARIANT* result, EXCEPINFO* exception) {
            ::WaitForSingleObject(letGo.get(), INFINITE);
            return Gives(Object(document))(result, exception);
        });
    }
    ~HeldHost() {
        application->ExpectAllBack();
        document->ExpectAllBack();
    }
    Stub* application = new Stub;
    Stub* document = new Stub;
    win::UniqueHandle letGo{::CreateEventW(nullptr, TRUE, TRUE, nullptr)};  // set: calls answer at once
};

class HostThreadTest : public ::testing::Test {
protected:
    HostThreadTest() {
        calls.clear();
        WNDCLASSW counting{};
        counting.lpfnWndProc = CountingProc;
        counting.hInstance = GetModuleHandleW(nullptr);
        counting.lpszClassName = L"VantrelHostThreadTest";
        RegisterClassW(&counting);
        window = CreateWindowExW(0, counting.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 counting.hInstance, nullptr);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&received));
    }
    ~HostThreadTest() override {
        ::SetEvent(stubs.letGo.get());
        DestroyWindow(window);
    }

    HeldHost stubs;  // first: freed after the thread
    StubLocator locator{stubs.application};
    host::com::ComHostThread thread;
    host::HostLink link{locator, thread};
    HWND window = nullptr;
    Received received;
};

// The calls of an action run on the host thread, never on the window's.
TEST_F(HostThreadTest, CallsRunOnTheHostThreadAndItsObjectsAreReleasedThere) {
    {
        const host::HostLink::Action action(link, [] { return false; });
        const std::shared_ptr<host::Application> running = link.Locator().GetRunningApplication("AutoCAD.Application");
        running->ZoomExtents();
        const std::shared_ptr<host::Document> active = running->ActiveDocument();
        ASSERT_NE(active, nullptr);
    }
    EXPECT_NE(thread.ThreadId(), GetCurrentThreadId());
    EXPECT_EQ(stubs.application->callThread.load(), thread.ThreadId());
    EXPECT_EQ(calls,
              "ids(ZoomExtents); ZoomExtents METHOD() -> result; ids(ActiveDocument); ActiveDocument GET() -> result");
    EXPECT_TRUE(ReleasedOn(*stubs.document, thread.ThreadId())) << "a host object released on the window's thread";
}

// While a call is stuck the window's thread dispatches its messages, but the user's input only where the window
// admits it (here the mouse) and the rest is dropped; when the budget is spent the user is asked, and Cancel leaves
// the call behind. Its late answer is dropped: the object it hands out goes back on the host thread.
TEST_F(HostThreadTest, WhileACallIsStuckTheWindowDispatchesAndCancelDropsTheLateAnswer) {
    std::shared_ptr<host::Application> running;
    {
        const host::HostLink::Action action(link, [] { return false; });
        running = link.Locator().GetRunningApplication("AutoCAD.Application");
    }
    ::ResetEvent(stubs.letGo.get());
    thread.SetWaitingWindow([](const MSG& message) { return message.message == WM_LBUTTONDOWN; }, nullptr);
    const UINT dropped[] = {WM_KEYFIRST, WM_KEYLAST, WM_MOUSEFIRST, WM_MOUSELAST};
    for (const UINT input : dropped) PostMessageW(window, input, 0, 0);
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    SetTimer(window, 1, 200, [](HWND target, UINT, UINT_PTR, DWORD) { PostMessageW(target, WM_APP, 0, 0); });
    int asked = 0;
    Received beforeAsked;
    bool cancelled = false;
    try {
        const host::HostLink::Action action(link, [&] {
            ++asked;
            beforeAsked = received;
            return false;
        });
        running->ActiveDocument();
    } catch (const host::ActionCancelled&) {
        cancelled = true;
    }
    KillTimer(window, 1);
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(asked, 1);
    EXPECT_GE(beforeAsked.posted, 15) << "the window's thread did not dispatch while the call was stuck";
    EXPECT_EQ(beforeAsked.clicks, 1);
    EXPECT_EQ(beforeAsked.ends, 0);
    EXPECT_FALSE(thread.Idle());
    EXPECT_TRUE(link.Busy());

    ::SetEvent(stubs.letGo.get());
    EXPECT_TRUE(ReleasedOn(*stubs.document, thread.ThreadId())) << "the late answer's object";
    EXPECT_TRUE(thread.Idle());
    EXPECT_FALSE(link.Busy());
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    EXPECT_EQ(received.ends, 0) << "input held back for later instead of dropped";
}

// A tick's attach answers by a message to the window; then the outcome is delivered.
TEST_F(HostThreadTest, ABackgroundAttachAnswersByAMessageToTheWindow) {
    constexpr UINT kAnswer = WM_APP + 7;
    thread.AnswerTo(window, kAnswer);
    bool delivered = false;
    link.AttachInBackground([&](const host::AttachOutcome& outcome) {
        delivered = outcome.failure == nullptr && outcome.attachment.document != nullptr;
    });
    MSG message{};
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (received.posted == 0 && std::chrono::steady_clock::now() < deadline) {
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        } else {
            Sleep(5);
        }
    }
    EXPECT_EQ(received.posted, 1);
    EXPECT_FALSE(delivered) << "delivered before the window asked";
    link.DeliverAnswers();
    EXPECT_TRUE(delivered);
    EXPECT_FALSE(link.Busy());
}

// The thread ends with its owner once it has run what was posted.
TEST(ComHostThreadEnd, TheThreadEndsWithItsOwner) {
    win::UniqueHandle handle;
    {
        const host::com::ComHostThread thread;
        handle.reset(OpenThread(SYNCHRONIZE, FALSE, thread.ThreadId()));
    }
    const DWORD state = WaitForSingleObject(handle.get(), 0);
    EXPECT_EQ(state, WAIT_OBJECT_0) << "still running";
}

// The filter's verdicts, as IMessageFilter documents their values: every
// incoming call handled (SERVERCALL_ISHANDLED 0), a rejected outgoing call
// given up at once (-1) whatever the host said, pending messages left to the
// default processing (PENDINGMSG_WAITDEFPROCESS 2).
TEST(HostThreadFilter, HandlesIncomingCallsAndGivesUpRejectedOnesAtOnce) {
    const Microsoft::WRL::ComPtr<IMessageFilter> filter = host::com::CreateHostThreadFilter();
    EXPECT_EQ(filter->HandleInComingCall(0, nullptr, 0, nullptr), 0U);
    EXPECT_EQ(filter->RetryRejectedCall(nullptr, 0, SERVERCALL_RETRYLATER), 0xFFFFFFFFU);
    EXPECT_EQ(filter->RetryRejectedCall(nullptr, 4000, SERVERCALL_REJECTED), 0xFFFFFFFFU);
    EXPECT_EQ(filter->MessagePending(nullptr, 0, 0), 2U);
}

}  // namespace
}  // namespace vantrel::test
