#include "sim/SimulatedHostThread.h"

#include <algorithm>

namespace vantrel::sim {

SimulatedHostThread::SimulatedHostThread(SimulatedHost& host) {
    host.time.now = [this] { return std::max(hostFreeAt_, now_); };
    host.time.pass = [this](host::HostClock::duration length) { hostFreeAt_ += length; };
}

void SimulatedHostThread::Post(std::shared_ptr<host::HostStep> step, host::AnswerBy answer) {
    // It starts once the host thread is done with the steps before it.
    hostFreeAt_ = std::max(hostFreeAt_, now_);
    step->Run();
    if (answer == host::AnswerBy::Nobody) {
        step->Publish();
        return;
    }
    pending_.push_back({std::move(step), hostFreeAt_});
    PublishDue();
}

bool SimulatedHostThread::Await(const host::HostStep& step, host::HostClock::time_point deadline) {
    const auto found =
        std::find_if(pending_.begin(), pending_.end(), [&](const Pending& p) { return p.step.get() == &step; });
    if (found == pending_.end()) {
        return step.Answered();
    }
    const bool answers = found->answeredAt <= deadline;
    now_ = std::max(now_, answers ? found->answeredAt : deadline);
    PublishDue();
    return answers;
}

void SimulatedHostThread::Pause(host::HostClock::duration pause) { Advance(pause); }

bool SimulatedHostThread::Idle() {
    PublishDue();
    return pending_.empty();
}

void SimulatedHostThread::Advance(host::HostClock::duration length) {
    now_ += length;
    PublishDue();
}

void SimulatedHostThread::PublishDue() {
    std::erase_if(pending_, [this](const Pending& p) {
        if (p.answeredAt > now_) {
            return false;
        }
        p.step->Publish();
        return true;
    });
}

}  // namespace vantrel::sim
