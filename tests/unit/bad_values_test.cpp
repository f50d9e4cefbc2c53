// What a host should never do but may: a paper space that loses items while
// "Next VPort" works on it, and references that hold no object. The program
// shows the rule's box and never crashes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "TestWindow.h"
#include "base/Failure.h"
#include "host/HostModel.h"

namespace {

using vantrel::StatusCode;
using vantrel::sim::JournalEntry;
using vantrel::sim::SimulatedHost;
using vantrel::testing::ErrorBox;
using vantrel::testing::HostState;
using vantrel::testing::kSheetScenario;
using vantrel::testing::NotRunningBox;
using vantrel::testing::RecordingControls;
using vantrel::testing::ShownBox;
using vantrel::testing::TestWindow;
using vantrel::ui::Event;
using vantrel::ui::EventOutcome;
using vantrel::ui::FrmMain;
using vantrel::ui::MessageStyle;
namespace host = vantrel::host;
namespace status = vantrel::status;

constexpr std::string_view kNotSetText = vantrel::error::kObjectNotSetText;
constexpr std::int32_t kNotSet = 91;
constexpr double kInf = std::numeric_limits<double>::infinity();

// ---- "Next VPort" when paper space loses an item while it works ----

class PaperSpaceShrinks : public ::testing::TestWithParam<std::size_t> {};

// The sheet's viewport, a line, one floating viewport: every draw names the
// floating viewport. An item erased after the pass, before the drawn viewport
// is checked, is never answered by activating something else.
TEST_P(PaperSpaceShrinks, SaysPaperSpaceChangedAndChangesNothing) {
    TestWindow window("space paper\nviewport 1\nentity AcDbLine\nviewport 0.5 off\n");
    window.form->Raise(Event::Load);  // MSpace refused: no floating viewport is on
    window.controls.boxes.clear();
    int names = 0;
    HostState atCheck;
    window.host->onCall = [&](const JournalEntry& entry) {
        if (entry.call == "Entity.ObjectName" && ++names == 4) {  // the three items, then the check
            auto& items = window.host->ActiveDocumentState().paperSpace;
            items.erase(items.begin() + static_cast<std::ptrdiff_t>(GetParam()));
            atCheck = HostState::Of(*window.host);
        }
    };
    EXPECT_EQ(window.form->Raise(Event::NextClick), EventOutcome::Running);
    ASSERT_EQ(names, 4);
    EXPECT_EQ(window.controls.boxes,
              (std::vector<ShownBox>{ErrorBox("CmdNext_Click", status::kUnexpected,
                                              "Paper space changed while a viewport was being chosen")}));
    EXPECT_TRUE(HostState::Of(*window.host) == atCheck);
}

INSTANTIATE_TEST_SUITE_P(Items, PaperSpaceShrinks, ::testing::Values(0, 1, 2));

// ---- references that hold no object ----

// Which of the host's answers come back empty.
struct Empty {
    bool application = false;  // the locator finds nothing
    bool activeDocument = false;
    bool documentApplication = false;
    bool activePViewport = false;
    bool paperSpace = false;
    bool enumerator = false;
};

class EmptyingCollection : public host::EntityCollection {
public:
    EmptyingCollection(std::shared_ptr<host::EntityCollection> inner, const Empty& empty)
        : inner_(std::move(inner)), empty_(empty) {}
    std::unique_ptr<host::EntityEnumerator> Enumerate() override {
        auto items = inner_->Enumerate();
        return empty_.enumerator ? nullptr : std::move(items);
    }

private:
    std::shared_ptr<host::EntityCollection> inner_;
    const Empty& empty_;
};

class EmptyingDocument : public host::Document {
public:
    EmptyingDocument(std::shared_ptr<host::Document> inner, const Empty& empty)
        : inner_(std::move(inner)), empty_(empty) {}
    int ActiveSpace() override { return inner_->ActiveSpace(); }
    void SetActiveSpace(int space) override { inner_->SetActiveSpace(space); }
    void SetMSpace(bool on) override { inner_->SetMSpace(on); }
    std::shared_ptr<host::Application> Application() override {
        auto application = inner_->Application();
        return empty_.documentApplication ? nullptr : application;
    }
    std::shared_ptr<host::Entity> ActivePViewport() override {
        auto viewport = inner_->ActivePViewport();
        return empty_.activePViewport ? nullptr : viewport;
    }
    void SetActivePViewport(host::Entity& viewport) override { inner_->SetActivePViewport(viewport); }
    std::shared_ptr<host::EntityCollection> PaperSpace() override {
        auto items = inner_->PaperSpace();
        if (empty_.paperSpace) {
            return nullptr;
        }
        return std::make_shared<EmptyingCollection>(std::move(items), empty_);
    }
    void Regen(int which) override { inner_->Regen(which); }

private:
    std::shared_ptr<host::Document> inner_;
    const Empty& empty_;
};

class EmptyingApplication : public host::Application {
public:
    EmptyingApplication(std::shared_ptr<host::Application> inner, const Empty& empty)
        : inner_(std::move(inner)), empty_(empty) {}
    std::shared_ptr<host::Document> ActiveDocument() override {
        auto document = inner_->ActiveDocument();
        if (empty_.activeDocument) {
            return nullptr;
        }
        return std::make_shared<EmptyingDocument>(std::move(document), empty_);
    }
    void ZoomExtents() override { inner_->ZoomExtents(); }
    void ZoomScaled(double scale, int scaleType) override { inner_->ZoomScaled(scale, scaleType); }

private:
    std::shared_ptr<host::Application> inner_;
    const Empty& empty_;
};

class EmptyingLocator : public host::HostLocator {
public:
    EmptyingLocator(host::HostLocator& inner, const Empty& empty) : inner_(inner), empty_(empty) {}
    std::shared_ptr<host::Application> GetRunningApplication(std::string_view progId) override {
        auto application = inner_.GetRunningApplication(progId);
        if (empty_.application) {
            return nullptr;
        }
        return std::make_shared<EmptyingApplication>(std::move(application), empty_);
    }
    void SetBusyWait(host::BusyWait wait) override { inner_.SetBusyWait(wait); }

private:
    host::HostLocator& inner_;
    const Empty& empty_;
};

struct EmptyCase {
    const char* name;
    Empty empty;
    Event event;
    std::vector<ShownBox> boxes;
    EventOutcome outcome;
};

class EmptyReference : public ::testing::TestWithParam<EmptyCase> {};

TEST_P(EmptyReference, GivesTheRulesBoxInsteadOfACrash) {
    const EmptyCase& test = GetParam();
    auto simulated = SimulatedHost::FromScenario(kSheetScenario);
    Empty empty;
    EmptyingLocator locator(simulated->Locator(), empty);
    RecordingControls controls;
    controls.selectedRow = 9;
    {
        FrmMain form(controls, locator);
        if (test.event != Event::Load) {
            ASSERT_EQ(form.Raise(Event::Load), EventOutcome::Running);
            ASSERT_TRUE(controls.boxes.empty());
        }
        empty = test.empty;
        EXPECT_EQ(form.Raise(test.event), test.outcome);
        EXPECT_EQ(controls.boxes, test.boxes);
        EXPECT_LE(controls.mostOpenBoxes, 1);
        form.ReleaseHost();  // as the program's end does
    }
    EXPECT_EQ(simulated.use_count(), 1) << "a host reference outlived the program";
}

ShownBox NotSet(const char* location) { return ErrorBox(location, kNotSet, kNotSetText); }

INSTANTIATE_TEST_SUITE_P(
    Answers, EmptyReference,
    ::testing::Values(
        EmptyCase{"LocatorAtLoad", {.application = true}, Event::Load, {NotRunningBox()}, EventOutcome::Ended},
        EmptyCase{"LocatorAtTick", {.application = true}, Event::TimerTick, {NotRunningBox()}, EventOutcome::Ended},
        EmptyCase{
            "ActiveDocumentAtLoad", {.activeDocument = true}, Event::Load, {NotRunningBox()}, EventOutcome::Ended},
        EmptyCase{
            "ActiveDocumentAtTick", {.activeDocument = true}, Event::TimerTick, {NotRunningBox()}, EventOutcome::Ended},
        EmptyCase{"ApplicationAtLoad",
                  {.documentApplication = true},
                  Event::Load,
                  {NotSet("Form_Load")},
                  EventOutcome::Running},
        EmptyCase{"ApplicationAtOk",
                  {.documentApplication = true},
                  Event::OkClick,
                  {NotSet("CmdOK_Click")},
                  EventOutcome::Running},
        EmptyCase{"ApplicationAtListApply",
                  {.documentApplication = true},
                  Event::ListApply,
                  {NotSet("LVscales_DblClick")},
                  EventOutcome::Running},
        EmptyCase{"ActivePViewport",
                  {.activePViewport = true},
                  Event::GetScaleClick,
                  {NotSet("CmdGetScale_Click")},
                  EventOutcome::Running},
        EmptyCase{
            "PaperSpace", {.paperSpace = true}, Event::NextClick, {NotSet("CmdNext_Click")}, EventOutcome::Running},
        EmptyCase{
            "Enumerator", {.enumerator = true}, Event::NextClick, {NotSet("CmdNext_Click")}, EventOutcome::Running}),
    [](const auto& test) { return std::string(test.param.name); });

}  // namespace
