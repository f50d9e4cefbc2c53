// The host operations that choose: which viewport "Next VPort" activates (against
// the simulated drawing), which of several running instances the attach takes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/HostOperations.h"
#include "host/RandomSource.h"
#include "sim/SimulatedHost.h"

namespace vantrel::host {
namespace {

// Which paper-space item (1-based) each click activated, 0 for none; each
// click asks every item its name once, and the drawn viewport once more.
std::vector<std::size_t> Click(const std::string& scenario, int clicks, std::size_t items) {
    auto host = sim::SimulatedHost::FromScenario(scenario);
    auto document = host->ApplicationObject()->ActiveDocument();
    RandomSource random;
    std::vector<std::size_t> chosen;
    for (int i = 0; i < clicks; ++i) {
        host->ClearJournal();
        const int regens = host->ActiveDocumentState().regenCount;
        ActivateRandomViewport(*document, random);
        std::size_t names = 0;
        std::size_t item = 0;
        for (const auto& entry : host->Journal()) {
            if (entry.call == "Entity.ObjectName") {
                ++names;
            }
            if (entry.call == "Document.ActivePViewport=") {
                item = std::stoul(entry.arguments.substr(5));  // "item N"
            }
        }
        chosen.push_back(item);
        const auto& state = host->ActiveDocumentState();
        if (item == 0) {
            EXPECT_EQ(names, items);
            EXPECT_EQ(state.regenCount, regens);
            continue;
        }
        // Every item named once, the drawn one again; switched on, even one
        // that was off, entered, and drawn anew.
        EXPECT_EQ(names, items + 1);
        EXPECT_EQ(state.regenCount, regens + 1);
        EXPECT_TRUE(state.mspace);
        EXPECT_EQ(state.activeViewport, item - 1);
        EXPECT_TRUE(state.paperSpace[item - 1].display);
    }
    return chosen;
}

TEST(NextViewport, ActivatesEveryFloatingViewportInTurnSkippingOtherItems) {
    const auto chosen = Click(
        "space paper\nentity AcDbLine\nviewport 1\nentity AcDbText\nviewport 0.5\nentity AcDbBlockReference\n"
        "viewport 0.25\nviewport 0.125 off\n",
        60, 7);
    EXPECT_EQ(std::set<std::size_t>(chosen.begin(), chosen.end()), (std::set<std::size_t>{4, 6, 7}));
    EXPECT_EQ(Click("space paper\nviewport 1\nentity AcDbLine\nviewport 0.5 off\n", 2, 3),
              (std::vector<std::size_t>{3, 3}));  // the only floating viewport, switched on
}

TEST(NextViewport, WithoutAFloatingViewportChangesNothingAndSucceeds) {
    for (const char* layout : {"space paper\n", "space paper\nentity AcDbLine\nentity AcDbText\n",
                               "space paper\nentity AcDbLine\nviewport 1\n"}) {
        const auto items = static_cast<std::size_t>(std::count(layout, layout + std::strlen(layout), '\n')) - 1;
        EXPECT_EQ(Click(layout, 1, items), std::vector<std::size_t>{0});
    }
}

// Every run draws the same sequence: the first draws are pinned, and so are
// the viewports they activate (items 2 to 5 floating, so item 2 + floor(4r)).
TEST(NextViewport, TheFirstDrawsOfEveryRunArePinned) {
    RandomSource random;
    for (const std::uint32_t state : {11837123u, 8949370u, 9722709u, 4858052u, 5065847u, 12997982u}) {
        EXPECT_EQ(random.Next(), static_cast<float>(state) / 16777216.0f);
    }
    EXPECT_EQ(Click("space paper\nviewport 1\nviewport 0.5\nviewport 0.25\nviewport 0.2\nviewport 0.1\n", 6, 5),
              (std::vector<std::size_t>{4, 4, 4, 3, 3, 5}));
}

TEST(NextViewport, CountsBeyondSixteenBits) {
    std::string scenario = "space paper\n";
    for (int i = 0; i < 20000; ++i) scenario += "viewport 1\nentity AcDbLine\n";
    for (const std::size_t item : Click(scenario + "viewport 0.5\nviewport 0.25\n", 3, 40002)) {
        EXPECT_GT(item, 1u);
    }
}

// The instance whose main window is highest among the top-level windows wins;
// one that could not say its window (busy) is left out, one that quit is no
// longer in the z-order.
TEST(FrontInstance, IsTheOneWhoseMainWindowIsHighestInTheZOrder) {
    const struct {
        const char* name;
        std::vector<std::optional<std::uint64_t>> mainWindows;
        std::vector<std::uint64_t> zOrder;  // topmost first
        std::optional<std::size_t> front;
    } cases[] = {
        {"second in front", {0x10, 0x20}, {0x30, 0x20, 0x10}, 1},
        {"first in front", {0x10, 0x20}, {0x10, 0x30, 0x20}, 0},
        {"third of three", {0x10, 0x20, 0x30}, {0x5, 0x30, 0x10, 0x20}, 2},
        {"the busy one left out", {std::nullopt, 0x20}, {0x10, 0x20}, 1},
        {"one quit, its window gone", {0x10, 0x20}, {0x30, 0x20}, 1},
        {"none could say", {std::nullopt, std::nullopt}, {0x10, 0x20}, std::nullopt},
        {"no window of theirs", {0x10, 0x20}, {0x30}, std::nullopt},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(FrontInstance(test.mainWindows, test.zOrder), test.front) << test.name;
    }
}

}  // namespace
}  // namespace vantrel::host
