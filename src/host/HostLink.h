// The window's link to the host thread. The host objects the window holds are
// handles: each call on one is a step that runs on the host thread, where the
// real objects live and are released. The calls of one user action share one
// budget of waiting; a rejected call is sent again quietly within it; when it
// is spent the user is asked whether to wait on. A tick's attach is posted and
// answered later, so a tick never waits.
#pragma once

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/HostModel.h"
#include "host/HostOperations.h"
#include "host/HostThread.h"

namespace vantrel::host {

// How long one action may wait on a host that rejects its calls or does not
// answer before the user is asked. Rejections and the pauses after them are
// charged to it, and a call waits at most what is left of it; the time of a
// call that does answer is not charged, so a long action whose calls each
// answer in time never asks.
inline constexpr std::chrono::milliseconds kActionBudget{5000};
// A rejected call is sent again after a pause: the first, then half as long
// again each time, up to the longest.
inline constexpr std::chrono::milliseconds kFirstResendPause{50};
inline constexpr std::chrono::milliseconds kLongestResendPause{400};

// The user gave up on a busy or silent host: the action ends with nothing
// more sent for it, and a late answer is dropped. Deliberately not a
// std::exception, so that no guard reports it.
struct ActionCancelled {};

// One host call as data, so that every call travels the same way: the real
// object it goes to, its arguments and, once made, its answer. `make` makes
// the call on the host thread.
struct HostCall {
    void (*make)(HostCall& call) = nullptr;
    std::shared_ptr<void> object;
    std::shared_ptr<void> argument;  // an object passed to the call
    int number = 0;                  // an argument or the answer, as the call has it
    double real = 0.0;
    bool flag = false;
    std::string text;
    std::shared_ptr<void> found;  // an object the call answered
};

// A background attach's answer: the attachment, or the failure that kept it.
struct AttachOutcome {
    Attachment attachment;
    std::exception_ptr failure;
};

class HostLink {
public:
    // `locator` is used on the host thread only.
    HostLink(HostLocator& locator, HostThread& thread);
    ~HostLink();
    HostLink(const HostLink&) = delete;
    HostLink& operator=(const HostLink&) = delete;

    // The running-object lookup through the host thread; the objects it gives
    // make every call there.
    HostLocator& Locator() noexcept { return *linkedLocator_; }

    // One user action: its host calls share one budget. When it is spent,
    // `askRetry` asks the user: true waits on with a fresh budget (for a
    // call still pending, on that call), false cancels (ActionCancelled).
    class Action {
    public:
        Action(HostLink& link, std::function<bool()> askRetry);
        ~Action();
        Action(const Action&) = delete;
        Action& operator=(const Action&) = delete;

    private:
        HostLink& link_;
        std::function<bool()> previousAsk_;
        HostClock::duration previousLeft_;
        bool outermost_;
    };

    [[nodiscard]] bool InAction() const noexcept { return actions_ > 0; }
    // An action in flight, a step of the host thread not yet answered, or a
    // background answer not yet delivered.
    [[nodiscard]] bool Busy();

    // Posts an attach and returns at once; DeliverAnswers hands its outcome
    // to `answered` once the host thread has answered.
    void AttachInBackground(std::function<void(const AttachOutcome&)> answered);
    // Gives every background answer that has arrived to its receiver, in the
    // order the attaches were posted.
    void DeliverAnswers();

    // For the linked objects: makes the call on the host thread within the
    // budget of the action in flight, and returns it answered. Throws the
    // call's failure, or ActionCancelled when the user gave up waiting.
    std::shared_ptr<HostCall> Make(std::shared_ptr<HostCall> call);
    // Releases a host object on the host thread, without waiting.
    void Release(std::shared_ptr<void> object);

private:
    // Asks the user after the budget was spent; returns with a fresh budget
    // or throws ActionCancelled (the call goes to the host thread, to be
    // released there with its late answer).
    void RetryOrCancel(const std::shared_ptr<HostCall>& call);

    struct BackgroundAttach {
        std::shared_ptr<HostStep> step;
        std::shared_ptr<Attachment> found;  // host objects, filled on the host thread
        std::function<void(const AttachOutcome&)> answered;
    };

    HostLocator& locator_;
    HostThread& thread_;
    std::unique_ptr<HostLocator> linkedLocator_;
    int actions_ = 0;
    std::function<bool()> askRetry_;
    HostClock::duration budgetLeft_ = kActionBudget;
    std::vector<BackgroundAttach> background_;
};

}  // namespace vantrel::host
