#include "host/HostLink.h"

#include <algorithm>
#include <string>
#include <utility>

#include "base/Failure.h"

namespace vantrel::host {
namespace {

// The real object a call goes to, and an object it answered.
template <class Object>
Object& Target(const HostCall& call) {
    return *static_cast<Object*>(call.object.get());
}
template <class Object>
std::shared_ptr<Object> Found(HostCall& call) {
    return std::static_pointer_cast<Object>(std::move(call.found));
}

// Each linked object holds the real object, which lives on the host thread:
// every call on it is made there, and the link releases it there.
template <class Object>
class Linked {
public:
    Linked(HostLink& link, std::shared_ptr<Object> object) : link_(link), object_(std::move(object)) {}
    ~Linked() { link_.Release(std::move(object_)); }
    Linked(const Linked&) = delete;
    Linked& operator=(const Linked&) = delete;

    [[nodiscard]] const std::shared_ptr<Object>& Real() const noexcept { return object_; }

protected:
    // A call to the real object, for its arguments to be set.
    [[nodiscard]] std::shared_ptr<HostCall> CallTo(void (*make)(HostCall&)) const {
        auto call = std::make_shared<HostCall>();
        call->make = make;
        call->object = object_;
        return call;
    }
    // Makes a call without arguments, and returns it answered.
    std::shared_ptr<HostCall> Make(void (*make)(HostCall&)) { return link_.Make(CallTo(make)); }

    HostLink& link_;
    std::shared_ptr<Object> object_;
};

class LinkedEntity final : public Entity, public Linked<Entity> {
public:
    using Linked::Linked;

    std::string ObjectName() override {
        return std::move(Make([](HostCall& c) { c.text = Target<Entity>(c).ObjectName(); })->text);
    }
    double CustomScale() override {
        return Make([](HostCall& c) { c.real = Target<Entity>(c).CustomScale(); })->real;
    }
    bool DisplayLocked() override {
        return Make([](HostCall& c) { c.flag = Target<Entity>(c).DisplayLocked(); })->flag;
    }
    void Display(bool on) override {
        auto call = CallTo([](HostCall& c) { Target<Entity>(c).Display(c.flag); });
        call->flag = on;
        link_.Make(std::move(call));
    }
};

// The end of an enumeration (nullptr) stays the end.
std::shared_ptr<Entity> LinkEntity(HostLink& link, std::shared_ptr<Entity> entity) {
    return entity ? std::make_shared<LinkedEntity>(link, std::move(entity)) : nullptr;
}

class LinkedEnumerator final : public EntityEnumerator, public Linked<EntityEnumerator> {
public:
    using Linked::Linked;

    std::shared_ptr<Entity> Next() override {
        const auto call = Make([](HostCall& c) { c.found = Target<EntityEnumerator>(c).Next(); });
        return LinkEntity(link_, Found<Entity>(*call));
    }
};

class LinkedCollection final : public EntityCollection, public Linked<EntityCollection> {
public:
    using Linked::Linked;

    std::unique_ptr<EntityEnumerator> Enumerate() override {
        const auto call = Make(
            [](HostCall& c) { c.found = std::shared_ptr<EntityEnumerator>(Target<EntityCollection>(c).Enumerate()); });
        return std::make_unique<LinkedEnumerator>(link_, Found<EntityEnumerator>(*call));
    }
};

std::shared_ptr<Application> LinkApplication(HostLink& link, std::shared_ptr<Application> application);
std::shared_ptr<Document> LinkDocument(HostLink& link, std::shared_ptr<Document> document);

class LinkedApplication final : public Application, public Linked<Application> {
public:
    using Linked::Linked;

    std::shared_ptr<Document> ActiveDocument() override {
        const auto call = Make([](HostCall& c) { c.found = Target<Application>(c).ActiveDocument(); });
        return LinkDocument(link_, Found<Document>(*call));
    }
    void ZoomExtents() override {
        Make([](HostCall& c) { Target<Application>(c).ZoomExtents(); });
    }
    void ZoomScaled(double scale, int scaleType) override {
        auto call = CallTo([](HostCall& c) { Target<Application>(c).ZoomScaled(c.real, c.number); });
        call->real = scale;
        call->number = scaleType;
        link_.Make(std::move(call));
    }
};

class LinkedDocument final : public Document, public Linked<Document> {
public:
    using Linked::Linked;

    int ActiveSpace() override {
        return Make([](HostCall& c) { c.number = Target<Document>(c).ActiveSpace(); })->number;
    }
    void SetActiveSpace(int space) override {
        auto call = CallTo([](HostCall& c) { Target<Document>(c).SetActiveSpace(c.number); });
        call->number = space;
        link_.Make(std::move(call));
    }
    void SetMSpace(bool on) override {
        auto call = CallTo([](HostCall& c) { Target<Document>(c).SetMSpace(c.flag); });
        call->flag = on;
        link_.Make(std::move(call));
    }
    std::shared_ptr<host::Application> Application() override {
        const auto call = Make([](HostCall& c) { c.found = Target<Document>(c).Application(); });
        return LinkApplication(link_, Found<host::Application>(*call));
    }
    std::shared_ptr<Entity> ActivePViewport() override {
        const auto call = Make([](HostCall& c) { c.found = Target<Document>(c).ActivePViewport(); });
        return LinkEntity(link_, Found<Entity>(*call));
    }
    void SetActivePViewport(Entity& viewport) override {
        const auto* linked = dynamic_cast<const LinkedEntity*>(&viewport);
        if (linked == nullptr) {
            throw Failure(status::kInvalidArgument, "The viewport is not an object of this drawing");
        }
        auto call = CallTo(
            [](HostCall& c) { Target<Document>(c).SetActivePViewport(*static_cast<Entity*>(c.argument.get())); });
        call->argument = linked->Real();
        link_.Make(std::move(call));
    }
    std::shared_ptr<EntityCollection> PaperSpace() override {
        const auto call = Make([](HostCall& c) { c.found = Target<Document>(c).PaperSpace(); });
        return std::make_shared<LinkedCollection>(link_, Found<EntityCollection>(*call));
    }
    void Regen(int which) override {
        auto call = CallTo([](HostCall& c) { Target<Document>(c).Regen(c.number); });
        call->number = which;
        link_.Make(std::move(call));
    }
};

std::shared_ptr<Application> LinkApplication(HostLink& link, std::shared_ptr<Application> application) {
    return std::make_shared<LinkedApplication>(link, std::move(application));
}

std::shared_ptr<Document> LinkDocument(HostLink& link, std::shared_ptr<Document> document) {
    return std::make_shared<LinkedDocument>(link, std::move(document));
}

class LinkedLocator final : public HostLocator {
public:
    // The real locator lives as long as the link; the calls do not own it.
    LinkedLocator(HostLink& link, HostLocator& locator) : link_(link), locator_(std::shared_ptr<void>(), &locator) {}

    std::shared_ptr<Application> GetRunningApplication(std::string_view progId) override {
        auto call = std::make_shared<HostCall>();
        call->make = [](HostCall& c) { c.found = Target<HostLocator>(c).GetRunningApplication(c.text); };
        call->object = locator_;
        call->text = progId;
        return LinkApplication(link_, Found<Application>(*link_.Make(std::move(call))));
    }

private:
    HostLink& link_;
    std::shared_ptr<void> locator_;
};

HostClock::duration NextResendPause(HostClock::duration previous) {
    if (previous == HostClock::duration::zero()) {
        return kFirstResendPause;
    }
    return std::min<HostClock::duration>(previous + previous / 2, kLongestResendPause);
}

}  // namespace

HostLink::HostLink(HostLocator& locator, HostThread& thread)
    : locator_(locator), thread_(thread), linkedLocator_(std::make_unique<LinkedLocator>(*this, locator)) {}

HostLink::~HostLink() {
    for (BackgroundAttach& attach : background_) {
        Release(std::move(attach.found));
    }
}

HostLink::Action::Action(HostLink& link, std::function<bool()> askRetry)
    : link_(link),
      previousAsk_(std::exchange(link.askRetry_, std::move(askRetry))),
      previousLeft_(std::exchange(link.budgetLeft_, kActionBudget)),
      outermost_(link.actions_++ == 0) {
    if (outermost_) {
        link_.thread_.ShowActionInFlight(true);
    }
}

HostLink::Action::~Action() {
    --link_.actions_;
    link_.askRetry_ = std::move(previousAsk_);
    link_.budgetLeft_ = previousLeft_;
    if (outermost_) {
        link_.thread_.ShowActionInFlight(false);
    }
}

bool HostLink::Busy() { return actions_ > 0 || !background_.empty() || !thread_.Idle(); }

std::shared_ptr<HostCall> HostLink::Make(std::shared_ptr<HostCall> call) {
    HostClock::duration pause = HostClock::duration::zero();
    for (;;) {
        auto step = std::make_shared<HostStep>([call] { call->make(*call); });
        HostClock::time_point waitingSince = thread_.Now();
        thread_.Post(step, AnswerBy::Await);
        // A call that gets no answer uses the budget up.
        while (!thread_.Await(*step, waitingSince + budgetLeft_)) {
            RetryOrCancel(call);
            waitingSince = thread_.Now();
        }
        try {
            step->ThrowFailure();
            return call;
        } catch (const Failure& failure) {
            if (!IsBusyStatus(failure.Number())) {
                throw;
            }
        }
        // Rejected: nothing was done, so the call is sent again after a
        // pause; the rejection and the pause are charged to the budget.
        budgetLeft_ -= std::min(budgetLeft_, thread_.Now() - waitingSince);
        pause = NextResendPause(pause);
        if (budgetLeft_ <= pause) {
            RetryOrCancel(call);
            pause = HostClock::duration::zero();
            continue;
        }
        thread_.Pause(pause);
        budgetLeft_ -= pause;
    }
}

void HostLink::RetryOrCancel(const std::shared_ptr<HostCall>& call) {
    if (askRetry_) {
        thread_.ShowActionInFlight(false);
        const bool retry = askRetry_();
        thread_.ShowActionInFlight(true);
        if (retry) {
            budgetLeft_ = kActionBudget;
            return;
        }
    }
    // The call's objects go with its late answer, on the host thread.
    Release(call);
    throw ActionCancelled{};
}

void HostLink::Release(std::shared_ptr<void> object) {
    thread_.Post(std::make_shared<HostStep>([object = std::move(object)] {}), AnswerBy::Nobody);
}

void HostLink::AttachInBackground(std::function<void(const AttachOutcome&)> answered) {
    auto found = std::make_shared<Attachment>();
    auto step = std::make_shared<HostStep>([&locator = locator_, found] {
        try {
            *found = Attach(locator);
        } catch (const Failure& failure) {
            if (IsBusyStatus(failure.Number())) {
                throw;
            }
            // Of several instances, the one in front may be going away: it
            // leaves the running-object table before its objects stop
            // answering. Looked up once more, the attach finds the one left,
            // or fails the same way when none is.
            *found = Attach(locator);
        }
    });
    background_.push_back({step, found, std::move(answered)});
    thread_.Post(std::move(step), AnswerBy::Message);
}

void HostLink::DeliverAnswers() {
    while (!background_.empty() && background_.front().step->Answered()) {
        BackgroundAttach attach = std::move(background_.front());
        background_.erase(background_.begin());
        AttachOutcome outcome;
        try {
            attach.step->ThrowFailure();
            outcome.attachment.application = LinkApplication(*this, std::move(attach.found->application));
            outcome.attachment.document = LinkDocument(*this, std::move(attach.found->document));
        } catch (...) {
            outcome.failure = std::current_exception();
        }
        attach.answered(outcome);
    }
}

}  // namespace vantrel::host
