// The host thread on Windows, with the host link over it: every host call runs on that thread; while a call is stuck
// the window's thread keeps dispatching, but drops the user's input that the window does not admit; a late answer
// after Cancel is dropped and its objects are released on the host thread; a tick's answer arrives as a message; and
// the filter's verdicts.
#include <gtest/gtest.h>

#include <windows.h>

#include <objbase.h>

#include <atomic>
#include <chrono>
#include <memory>

#include "host/HostLink.h"
#include "host/com/ComHostThread.h"
#include "host/com/ComObjects.h"
#include "win/ComObject.h"

namespace vantrel::host::com {
namespace {

using namespace std::chrono_literals;

// An application object whose every member answers `answer`: the thread of
// each call is kept, and a call can be held until the test lets it go.
class StubApplication final : public win::ComObject<IDispatch> {
public:
    StubApplication() : release_(::CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}

    void Hold() { ::ResetEvent(release_); }
    void LetGo() { ::SetEvent(release_); }

    std::atomic<DWORD> callThread{0};
    std::atomic<DWORD> lastReleaseThread{0};
    std::atomic<int> calls{0};
    IDispatch* answer = nullptr;  // handed out with a reference of its own, if any

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID* ids) override {
        *ids = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                     UINT*) override {
        callThread = ::GetCurrentThreadId();
        ++calls;
        ::WaitForSingleObject(release_, INFINITE);
        if (result != nullptr && answer != nullptr) {
            answer->AddRef();
            result->vt = VT_DISPATCH;
            result->pdispVal = answer;
        }
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        lastReleaseThread = ::GetCurrentThreadId();
        return ComObject::Release();
    }

private:
    ~StubApplication() override { ::CloseHandle(release_); }
    HANDLE release_;
};

Microsoft::WRL::ComPtr<StubApplication> NewStub() {
    Microsoft::WRL::ComPtr<StubApplication> stub;
    stub.Attach(new StubApplication);
    return stub;
}

// Hands out the stub as the running application.
class StubLocator final : public HostLocator {
public:
    explicit StubLocator(IDispatch* application) : application_(application) {}
    std::shared_ptr<Application> GetRunningApplication(std::string_view) override {
        return WrapApplication(application_, session_);
    }

private:
    IDispatch* application_;
    std::shared_ptr<ComSession> session_ = std::make_shared<ComSession>();
};

// Whether the stub's last release came from the thread, within a second.
bool ReleasedOn(const StubApplication& stub, DWORD threadId) {
    for (int waited = 0; waited < 50; ++waited) {
        if (stub.lastReleaseThread.load() == threadId) return true;
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

class HostThreadTest : public ::testing::Test {
protected:
    HostThreadTest() {
        WNDCLASSW counting{};
        counting.lpfnWndProc = CountingProc;
        counting.hInstance = GetModuleHandleW(nullptr);
        counting.lpszClassName = L"VantrelHostThreadTest";
        RegisterClassW(&counting);
        window = CreateWindowExW(0, counting.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 counting.hInstance, nullptr);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&received));
        application->answer = document.Get();
    }
    ~HostThreadTest() override {
        application->LetGo();
        DestroyWindow(window);
    }

    Microsoft::WRL::ComPtr<StubApplication> application = NewStub();
    Microsoft::WRL::ComPtr<StubApplication> document = NewStub();
    StubLocator locator{application.Get()};
    ComHostThread thread;
    HostLink link{locator, thread};
    HWND window = nullptr;
    Received received;
};

// The calls of an action run on the host thread, never on the window's.
TEST_F(HostThreadTest, CallsRunOnTheHostThreadAndItsObjectsAreReleasedThere) {
    {
        const HostLink::Action action(link, [] { return false; });
        const std::shared_ptr<Application> running = link.Locator().GetRunningApplication("AutoCAD.Application");
        running->ZoomExtents();
        const std::shared_ptr<Document> active = running->ActiveDocument();
        ASSERT_NE(active, nullptr);
    }
    EXPECT_NE(thread.ThreadId(), GetCurrentThreadId());
    EXPECT_EQ(application->callThread.load(), thread.ThreadId());
    EXPECT_EQ(application->calls.load(), 2);
    EXPECT_TRUE(ReleasedOn(*document.Get(), thread.ThreadId())) << "a host object released on the window's thread";
}

// While a call is stuck the window's thread dispatches its messages, but the user's input only where the window
// admits it (here the mouse) and the rest is dropped; when the budget is spent the user is asked, and Cancel leaves
// the call behind. Its late answer is dropped: the object it hands out goes back on the host thread.
TEST_F(HostThreadTest, WhileACallIsStuckTheWindowDispatchesAndCancelDropsTheLateAnswer) {
    std::shared_ptr<Application> running;
    {
        const HostLink::Action action(link, [] { return false; });
        running = link.Locator().GetRunningApplication("AutoCAD.Application");
    }
    application->Hold();
    thread.SetWaitingWindow([](const MSG& message) { return message.message == WM_LBUTTONDOWN; }, nullptr);
    const UINT dropped[] = {WM_KEYFIRST, WM_KEYLAST, WM_MOUSEFIRST, WM_MOUSELAST};
    for (const UINT input : dropped) PostMessageW(window, input, 0, 0);
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    SetTimer(window, 1, 200, [](HWND target, UINT, UINT_PTR, DWORD) { PostMessageW(target, WM_APP, 0, 0); });
    int asked = 0;
    Received beforeAsked;
    bool cancelled = false;
    try {
        const HostLink::Action action(link, [&] {
            ++asked;
            beforeAsked = received;
            return false;
        });
        running->ActiveDocument();
    } catch (const ActionCancelled&) {
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

    application->LetGo();
    EXPECT_TRUE(ReleasedOn(*document.Get(), thread.ThreadId())) << "the late answer's object";
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
    link.AttachInBackground([&](const AttachOutcome& outcome) {
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
    HANDLE handle = nullptr;
    {
        const ComHostThread thread;
        handle = OpenThread(SYNCHRONIZE, FALSE, thread.ThreadId());
    }
    EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_OBJECT_0);
    CloseHandle(handle);
}

// The filter's verdicts, as IMessageFilter documents their values: every
// incoming call handled (SERVERCALL_ISHANDLED 0), a rejected outgoing call
// given up at once (-1) whatever the host said, pending messages left to the
// default processing (PENDINGMSG_WAITDEFPROCESS 2).
TEST(HostThreadFilter, HandlesIncomingCallsAndGivesUpRejectedOnesAtOnce) {
    const Microsoft::WRL::ComPtr<IMessageFilter> filter = CreateHostThreadFilter();
    EXPECT_EQ(filter->HandleInComingCall(0, nullptr, 0, nullptr), 0U);
    EXPECT_EQ(filter->RetryRejectedCall(nullptr, 0, SERVERCALL_RETRYLATER), 0xFFFFFFFFU);
    EXPECT_EQ(filter->RetryRejectedCall(nullptr, 4000, SERVERCALL_REJECTED), 0xFFFFFFFFU);
    EXPECT_EQ(filter->MessagePending(nullptr, 0, 0), 2U);
}

}  // namespace
}  // namespace vantrel::host::com
