// The host thread over the simulated drawing, on a simulated clock. A step
// runs as soon as it is posted, one after the other as on the real host
// thread, and its answer comes once the host's time for it has passed: a slow
// call or a hung host delays it, so the window's waits, budgets and late
// answers can be tested without any test sleeping.
#pragma once

#include <memory>
#include <vector>

#include "host/HostThread.h"
#include "sim/SimulatedHost.h"

namespace vantrel::sim {

class SimulatedHostThread final : public host::HostThread {
public:
    // Puts the host on this thread's clock.
    explicit SimulatedHostThread(SimulatedHost& host);

    host::HostClock::time_point Now() override { return now_; }
    void Post(std::shared_ptr<host::HostStep> step, host::AnswerBy answer) override;
    bool Await(const host::HostStep& step, host::HostClock::time_point deadline) override;
    void Pause(host::HostClock::duration pause) override;
    bool Idle() override;
    void ShowActionInFlight(bool inFlight) override { actionShown = inFlight; }

    // Time passes for the window (between two events, say).
    void Advance(host::HostClock::duration length);

    // Whether the window shows an action in flight (the wait cursor).
    bool actionShown = false;

private:
    struct Pending {
        std::shared_ptr<host::HostStep> step;
        host::HostClock::time_point answeredAt;
    };
    void PublishDue();

    host::HostClock::time_point now_{};
    host::HostClock::time_point hostFreeAt_{};  // when the host thread is done with what it has
    std::vector<Pending> pending_;
};

}  // namespace vantrel::sim
