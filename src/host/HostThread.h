// Where host calls run: one thread of its own that owns the attachment and
// every host object. The window's thread hands it steps and keeps the window
// alive while it waits for their answers; it never makes a host call itself.
// On Windows this is a COM apartment of its own (host/com); the unit tests
// run steps against the simulated drawing on a clock of their own.
#pragma once

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <utility>

namespace vantrel::host {

using HostClock = std::chrono::steady_clock;

// One step handed to the host thread, and its answer. The host thread runs the
// work, then publishes the answer; the window's thread reads the failure only
// once it has seen the answer published.
class HostStep {
public:
    explicit HostStep(std::function<void()> work) : work_(std::move(work)) {}

    // On the host thread: runs the work and keeps its failure. What the work
    // holds (host objects among it) is released here, on this thread.
    void Run() noexcept {
        try {
            work_();
        } catch (...) {
            failure_ = std::current_exception();
        }
        work_ = nullptr;
    }
    void Publish() noexcept { answered_.store(true, std::memory_order_release); }

    [[nodiscard]] bool Answered() const noexcept { return answered_.load(std::memory_order_acquire); }
    // Rethrows the step's failure; call only once it has answered.
    void ThrowFailure() const {
        if (failure_) {
            std::rethrow_exception(failure_);
        }
    }

private:
    std::function<void()> work_;
    std::exception_ptr failure_;
    std::atomic<bool> answered_{false};
};

// How the window's thread learns of a step's answer.
enum class AnswerBy {
    Await,    // the caller awaits it
    Message,  // it arrives later as a message to the window (Event::HostAnswer)
    Nobody,   // nobody: a release of host objects
};

class HostThread {
public:
    virtual ~HostThread() = default;

    [[nodiscard]] virtual HostClock::time_point Now() = 0;
    // Hands the step over and returns at once. Steps run one at a time, in
    // the order they were posted.
    virtual void Post(std::shared_ptr<HostStep> step, AnswerBy answer) = 0;
    // Keeps the window going (painting, moving, Exit and the close box) until
    // the step has answered (true) or the deadline has passed (false).
    virtual bool Await(const HostStep& step, HostClock::time_point deadline) = 0;
    // Keeps the window going for this long.
    virtual void Pause(HostClock::duration pause) = 0;
    // No posted call waits or runs (a release of host objects is no call:
    // nobody waits for it).
    [[nodiscard]] virtual bool Idle() = 0;
    // While a user action is in flight the window shows the wait cursor and
    // takes no input but Exit and the close box.
    virtual void ShowActionInFlight(bool inFlight) = 0;
};

}  // namespace vantrel::host
