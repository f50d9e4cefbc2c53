#include "host/com/ComHostThread.h"

#include <objbase.h>

#include <algorithm>
#include <chrono>
#include <utility>

#include "host/com/ComFailures.h"
#include "win/ComApartment.h"
#include "win/ComObject.h"

namespace vantrel::host::com {
namespace {

constexpr DWORD kCancelCall = 0xFFFFFFFF;  // IMessageFilter::RetryRejectedCall: give up at once
// How long the end of the thread is waited for: a call without an answer
// holds it for good, and the process's end ends it.
constexpr DWORD kEndWaitMs = 2000;
// Most calls answer within a few milliseconds: that long the window's thread
// waits for the answer alone, before it also looks at its messages (which,
// for a thread with windows, costs a round trip to the window system).
constexpr DWORD kQuickAnswerMs = 4;

class HostThreadFilter final : public win::ComObject<IMessageFilter> {
public:
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
        return SERVERCALL_ISHANDLED;
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override { return kCancelCall; }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_WAITDEFPROCESS; }
};

// Keyboard and mouse input in a window's client area: what an action in
// flight does not take, unless the window admits it.
bool IsClientInput(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST);
}

class Lock {
public:
    explicit Lock(SRWLOCK& lock) noexcept : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
    ~Lock() { ::ReleaseSRWLockExclusive(&lock_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    SRWLOCK& lock_;
};

}  // namespace

Microsoft::WRL::ComPtr<IMessageFilter> CreateHostThreadFilter() {
    Microsoft::WRL::ComPtr<IMessageFilter> filter;
    filter.Attach(new HostThreadFilter);
    return filter;
}

ComHostThread::ComHostThread() {
    workPosted_ = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    answered_ = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (workPosted_ == nullptr || answered_ == nullptr) {
        throw FailureFromStatus(HRESULT_FROM_WIN32(::GetLastError()));
    }
    // The thread's apartment starts while the window is being made.
    thread_ = ::CreateThread(nullptr, 0, &ComHostThread::ThreadMain, this, 0, &threadId_);
    if (thread_ == nullptr) {
        throw FailureFromStatus(HRESULT_FROM_WIN32(::GetLastError()));
    }
}

ComHostThread::~ComHostThread() {
    if (thread_ != nullptr) {
        {
            const Lock lock(lock_);
            ending_ = true;
        }
        ::SetEvent(workPosted_);
        if (::WaitForSingleObject(thread_, kEndWaitMs) != WAIT_OBJECT_0) {
            return;  // still held by a call: its handles stay with it
        }
        ::CloseHandle(thread_);
    }
    for (const HANDLE event : {workPosted_, answered_}) {
        if (event != nullptr) ::CloseHandle(event);
    }
}

void ComHostThread::AnswerTo(HWND window, UINT message) noexcept {
    answerMessage_.store(message);
    answerWindow_.store(window);
}

void ComHostThread::SetWaitingWindow(std::function<bool(const MSG&)> admits,
                                     std::function<void(bool)> showActionInFlight) {
    admits_ = std::move(admits);
    showActionInFlight_ = std::move(showActionInFlight);
}

void ComHostThread::Post(std::shared_ptr<HostStep> step, AnswerBy answer) {
    if (answer != AnswerBy::Nobody) ++unanswered_;
    {
        const Lock lock(lock_);
        queue_.push_back({std::move(step), answer});
    }
    ::SetEvent(workPosted_);
}

bool ComHostThread::Await(const HostStep& step, HostClock::time_point deadline) {
    return WaitDispatching(&step, deadline);
}

void ComHostThread::Pause(HostClock::duration pause) { WaitDispatching(nullptr, HostClock::now() + pause); }

void ComHostThread::ShowActionInFlight(bool inFlight) {
    if (showActionInFlight_) showActionInFlight_(inFlight);
}

bool ComHostThread::WaitDispatching(const HostStep* step, HostClock::time_point deadline) {
    if (step != nullptr && !step->Answered()) {
        ::WaitForSingleObject(answered_, kQuickAnswerMs);
    }
    for (;;) {
        if (step != nullptr && step->Answered()) return true;
        const HostClock::time_point now = HostClock::now();
        if (now >= deadline) return false;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        const auto timeout = static_cast<DWORD>(std::min<long long>(left, 60'000));
        ::MsgWaitForMultipleObjectsEx(1, &answered_, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        DispatchWhileWaiting();
    }
}

void ComHostThread::DispatchWhileWaiting() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam));  // for the event loop
            return;
        }
        if (IsClientInput(message.message) && !(admits_ && admits_(message))) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

DWORD WINAPI ComHostThread::ThreadMain(void* self) { return static_cast<ComHostThread*>(self)->Serve(); }

DWORD ComHostThread::Serve() {
    // Should COM not start here, the steps still run: their calls fail as
    // COM's do without an apartment, and the attach says the host is not
    // running.
    const win::ComApartment apartment;
    Microsoft::WRL::ComPtr<IMessageFilter> previous;
    if (apartment.Entered()) ::CoRegisterMessageFilter(CreateHostThreadFilter().Get(), &previous);

    for (;;) {
        for (;;) {
            Queued next;
            {
                const Lock lock(lock_);
                if (queue_.empty()) break;
                next = std::move(queue_.front());
                queue_.pop_front();
            }
            next.step->Run();
            next.step->Publish();
            if (next.answer == AnswerBy::Nobody) continue;
            --unanswered_;
            ::SetEvent(answered_);
            const HWND window = answerWindow_.load();
            if (next.answer == AnswerBy::Message && window != nullptr) {
                ::PostMessageW(window, answerMessage_.load(), 0, 0);
            }
        }
        {
            const Lock lock(lock_);
            if (ending_) break;
        }
        // An apartment's thread pumps its messages while it waits for work.
        ::MsgWaitForMultipleObjectsEx(1, &workPosted_, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    if (apartment.Entered()) ::CoRegisterMessageFilter(previous.Get(), nullptr);
    return 0;
}

}  // namespace vantrel::host::com
