// The host operations against the simulated drawing: which calls, in which
// order, and what they leave in the drawing.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/Failure.h"
#include "host/HostOperations.h"
#include "host/RandomSource.h"
#include "sim/SimulatedHost.h"

namespace {

using vantrel::Failure;
using vantrel::host::RandomSource;
using vantrel::sim::SimulatedHost;

std::vector<std::string> Calls(const SimulatedHost& host) {
    std::vector<std::string> calls;
    for (const auto& entry : host.Journal()) {
        calls.push_back(entry.call + (entry.arguments.empty() ? "" : "(" + entry.arguments + ")"));
    }
    return calls;
}

// ---- attach ----

class NullDocumentApplication : public vantrel::host::Application {
public:
    std::shared_ptr<vantrel::host::Document> ActiveDocument() override { return nullptr; }
    void ZoomExtents() override {}
    void ZoomScaled(double, int) override {}
};

class FixedLocator : public vantrel::host::HostLocator {
public:
    explicit FixedLocator(std::shared_ptr<vantrel::host::Application> application)
        : application_(std::move(application)) {}
    std::shared_ptr<vantrel::host::Application> GetRunningApplication(std::string_view) override {
        return application_;
    }
    void SetBusyWait(vantrel::host::BusyWait) override {}

private:
    std::shared_ptr<vantrel::host::Application> application_;
};

TEST(Attach, AResultThatIsNotADocumentIsAFailure) {
    FixedLocator noApplication(nullptr);
    EXPECT_THROW(vantrel::host::Attach(noApplication), Failure);
    FixedLocator noDocument(std::make_shared<NullDocumentApplication>());
    EXPECT_THROW(vantrel::host::Attach(noDocument), Failure);
}

// A document whose object answers come back empty, as a late-bound host's
// may: every operation fails with error 91 instead of using them.
class EmptyAnswers : public vantrel::host::Document, public vantrel::host::EntityCollection {
public:
    int ActiveSpace() override { return vantrel::host::kPaperSpace; }
    void SetActiveSpace(int) override {}
    void SetMSpace(bool) override {}
    std::shared_ptr<vantrel::host::Application> Application() override { return nullptr; }
    std::shared_ptr<vantrel::host::Entity> ActivePViewport() override { return nullptr; }
    void SetActivePViewport(vantrel::host::Entity&) override {}
    std::shared_ptr<vantrel::host::EntityCollection> PaperSpace() override {
        return paperSpace ? std::shared_ptr<vantrel::host::EntityCollection>(std::shared_ptr<void>(), this) : nullptr;
    }
    std::unique_ptr<vantrel::host::EntityEnumerator> Enumerate() override { return nullptr; }
    void Regen(int) override {}
    bool paperSpace = false;  // a collection that gives no enumerator, else none
};

TEST(EmptyAnswer, FailsEveryOperationWithError91) {
    EmptyAnswers document;
    RandomSource random;
    const std::vector<std::function<void()>> operations = {
        [&] { vantrel::host::PrepareDrawing(document); },
        [&] { vantrel::host::ZoomActiveViewport(document, 0.5); },
        [&] { vantrel::host::ActiveViewportScale(document); },
        [&] { vantrel::host::ActivateRandomViewport(document, random); },
        [&] {
            document.paperSpace = true;
            vantrel::host::ActivateRandomViewport(document, random);
        },
    };
    for (std::size_t i = 0; i < operations.size(); ++i) {
        try {
            operations[i]();
            ADD_FAILURE() << "operation " << i << " used an empty answer";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.Number(), vantrel::error::kObjectNotSet) << "operation " << i;
        }
    }
}

// ---- next viewport ----

// Which paper-space item (1-based) each click activated, 0 for none.
std::vector<std::size_t> Click(SimulatedHost& host, vantrel::host::Document& document, RandomSource& random,
                               int clicks) {
    std::vector<std::size_t> chosen;
    for (int i = 0; i < clicks; ++i) {
        host.ClearJournal();
        vantrel::host::ActivateRandomViewport(document, random);
        std::size_t item = 0;
        for (const auto& entry : host.Journal()) {
            if (entry.call == "Document.ActivePViewport=") {
                item = std::stoul(entry.arguments.substr(5));  // "item N"
            }
        }
        chosen.push_back(item);
    }
    return chosen;
}

TEST(NextViewport, ActivatesOneOfTheFloatingViewportsEveryClickSkippingOtherItems) {
    auto host = SimulatedHost::FromScenario(
        "space paper\nentity AcDbLine\nviewport 1\nentity AcDbText\nviewport 0.5\nentity AcDbBlockReference\n"
        "viewport 0.25\nviewport 0.125 off\n");
    auto document = host->ApplicationObject()->ActiveDocument();
    RandomSource random;
    const auto chosen = Click(*host, *document, random, 60);
    const std::set<std::size_t> floating = {4, 6, 7};  // item 2 is the sheet's own
    std::set<std::size_t> seen;
    for (const std::size_t item : chosen) {
        EXPECT_TRUE(floating.count(item) == 1) << "item " << item;
        seen.insert(item);
    }
    EXPECT_EQ(seen, floating);  // every floating viewport can be drawn
    const auto& state = host->ActiveDocumentState();
    EXPECT_TRUE(state.mspace);
    EXPECT_EQ(state.regenCount, 60);
    ASSERT_EQ(state.activeViewport, std::optional<std::size_t>(chosen.back() - 1));
    EXPECT_TRUE(state.paperSpace[chosen.back() - 1].display);  // switched on, even the one that was off
}

TEST(NextViewport, AsksEachItemOnceThenChecksTheDrawnViewportAndActivatesIt) {
    auto host = SimulatedHost::FromScenario("space paper\nviewport 1\nentity AcDbLine\nviewport 0.5\n");
    auto document = host->ApplicationObject()->ActiveDocument();
    RandomSource random;
    host->ClearJournal();
    vantrel::host::ActivateRandomViewport(*document, random);
    EXPECT_EQ(Calls(*host), (std::vector<std::string>{"Document.PaperSpace", "PaperSpace._NewEnum", "PaperSpace.Next",
                                                      "Entity.ObjectName", "PaperSpace.Next", "Entity.ObjectName",
                                                      "PaperSpace.Next", "Entity.ObjectName", "Entity.ObjectName",
                                                      "Entity.Display(true)", "Document.MSpace=(true)",
                                                      "Document.ActivePViewport=(item 3)", "Document.Regen(1)"}));
}

struct FewCase {
    const char* name;
    const char* scenario;
};

class NextViewportTooFew : public ::testing::TestWithParam<FewCase> {};

TEST_P(NextViewportTooFew, ChangesNothingAndSucceeds) {
    auto host = SimulatedHost::FromScenario(GetParam().scenario);
    auto document = host->ApplicationObject()->ActiveDocument();
    const auto before = host->ActiveDocumentState();
    RandomSource random;
    host->ClearJournal();
    EXPECT_NO_THROW(vantrel::host::ActivateRandomViewport(*document, random));
    const auto calls = Calls(*host);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Document.PaperSpace"), 1);  // no activation pass
    const auto& after = host->ActiveDocumentState();
    EXPECT_EQ(after.mspace, before.mspace);
    EXPECT_EQ(after.activeViewport, before.activeViewport);
    EXPECT_EQ(after.regenCount, 0);
}

INSTANTIATE_TEST_SUITE_P(Layouts, NextViewportTooFew,
                         ::testing::Values(FewCase{"Empty", "space paper\n"},
                                           FewCase{"OnlyLines", "space paper\nentity AcDbLine\nentity AcDbText\n"},
                                           FewCase{"OnlyTheSheetsOwn", "space paper\nentity AcDbLine\nviewport 1\n"}),
                         [](const auto& test) { return std::string(test.param.name); });

// Every run draws the same sequence: the first draws are pinned, and so are
// the viewports they activate (items 2 to 5 floating, so item 2 + floor(4r)).
TEST(NextViewport, TheFirstDrawsOfEveryRunArePinned) {
    RandomSource random;
    for (const std::uint32_t state : {11837123u, 8949370u, 9722709u, 4858052u, 5065847u, 12997982u}) {
        EXPECT_EQ(random.Next(), static_cast<float>(state) / 16777216.0f);
    }
    auto host = SimulatedHost::FromScenario(
        "space paper\nviewport 1\nviewport 0.5\nviewport 0.25\nviewport 0.2\nviewport 0.1\n");
    auto document = host->ApplicationObject()->ActiveDocument();
    RandomSource clicks;
    EXPECT_EQ(Click(*host, *document, clicks, 6), (std::vector<std::size_t>{4, 4, 4, 3, 3, 5}));
}

TEST(NextViewport, CountsBeyondSixteenBits) {
    std::string scenario = "space paper\n";
    for (int i = 0; i < 40000; ++i) {
        scenario += i % 2 == 0 ? "viewport 1\n" : "entity AcDbLine\n";
    }
    scenario += "viewport 0.5\nviewport 0.25\n";  // 20002 viewports, 40002 items
    auto host = SimulatedHost::FromScenario(scenario);
    auto document = host->ApplicationObject()->ActiveDocument();
    RandomSource random;
    const auto chosen = Click(*host, *document, random, 3);
    for (const std::size_t item : chosen) {
        EXPECT_GT(item, 1u);
        EXPECT_LE(item, 40002u);
    }
}

}  // namespace
