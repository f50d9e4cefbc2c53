// The host thread on Windows: a thread of its own, in a single-threaded COM
// apartment of its own, that runs every host call. The window's thread posts
// it steps and, while it waits for one, keeps dispatching its messages:
// painting, moving the window, Exit and the close box. A call the host does
// not answer holds this thread only.
#pragma once

#include <windows.h>

#include <objidl.h>
#include <wrl/client.h>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>

#include "host/HostThread.h"

namespace vantrel::host::com {

// The host thread's message filter. It serves nothing, so every incoming call
// is handled; a call the host rejects comes back at once as
// RPC_E_CALL_REJECTED, and the host link sends it again within the action's
// budget: the same wait whether COM would ask the filter or not (Wine never
// does).
Microsoft::WRL::ComPtr<IMessageFilter> CreateHostThreadFilter();

class ComHostThread final : public HostThread {
public:
    // Starts the thread, which starts its apartment and its filter. Throws
    // vantrel::Failure when the thread cannot start.
    ComHostThread();
    // Ends the thread once it has run what was posted. A thread still held
    // by a call that gets no answer is left to the end of the process.
    ~ComHostThread() override;
    ComHostThread(const ComHostThread&) = delete;
    ComHostThread& operator=(const ComHostThread&) = delete;

    // The window that is told of background answers, with this message.
    void AnswerTo(HWND window, UINT message) noexcept;
    // How the window behaves while the window's thread waits: the input it
    // still takes (Exit, the close box), and how it shows an action in flight.
    void SetWaitingWindow(std::function<bool(const MSG&)> admits, std::function<void(bool)> showActionInFlight);

    [[nodiscard]] DWORD ThreadId() const noexcept { return threadId_; }

    HostClock::time_point Now() override { return HostClock::now(); }
    void Post(std::shared_ptr<HostStep> step, AnswerBy answer) override;
    bool Await(const HostStep& step, HostClock::time_point deadline) override;
    void Pause(HostClock::duration pause) override;
    bool Idle() override { return unanswered_.load() == 0; }
    void ShowActionInFlight(bool inFlight) override;

private:
    struct Queued {
        std::shared_ptr<HostStep> step;
        AnswerBy answer = AnswerBy::Nobody;
    };
    static DWORD WINAPI ThreadMain(void* self);
    DWORD Serve();
    // Waits, dispatching the window's messages, until the step (if any)
    // has answered or the deadline has passed.
    bool WaitDispatching(const HostStep* step, HostClock::time_point deadline);
    void DispatchWhileWaiting();

    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    HANDLE workPosted_ = nullptr;  // auto-reset: steps are waiting
    HANDLE answered_ = nullptr;    // auto-reset: a step has answered
    SRWLOCK lock_ = SRWLOCK_INIT;
    std::deque<Queued> queue_;  // under lock_
    bool ending_ = false;       // under lock_
    std::atomic<int> unanswered_{0};
    std::atomic<HWND> answerWindow_{nullptr};
    std::atomic<UINT> answerMessage_{0};
    std::function<bool(const MSG&)> admits_;
    std::function<void(bool)> showActionInFlight_;
};

}  // namespace vantrel::host::com
