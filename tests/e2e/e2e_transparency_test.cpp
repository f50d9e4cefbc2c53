// "Transparent" makes the window and, more so, its list translucent; clearing
// it makes both opaque again.
#include <gtest/gtest.h>

#include "e2e_user.h"

namespace vantrel::e2e {
namespace {

TEST(Transparency, CheckingGives186AndTheList100ClearingGivesBoth255) {
    Session session("document Sheet1\nviewport 1\nviewport 1/48 on active\n");
    ASSERT_TRUE(session.Up());
    auto& window = *session.window;
    const auto alphas = [&] {
        return std::pair{VantrelWindow::Alpha(window.Handle()), VantrelWindow::Alpha(window.List())};
    };
    const std::pair<std::optional<BYTE>, std::optional<BYTE>> translucent{BYTE{186}, BYTE{100}};
    const std::pair<std::optional<BYTE>, std::optional<BYTE>> opaque{BYTE{255}, BYTE{255}};

    window.Click(L"Transparent");
    EXPECT_TRUE(WaitUntil([&] { return alphas() == translucent; }, kActionDeadline));
    EXPECT_TRUE(window.IsChecked(L"Transparent"));

    window.Click(L"Transparent");
    EXPECT_TRUE(WaitUntil([&] { return alphas() == opaque && !window.IsChecked(L"Transparent"); }, kActionDeadline));
    // Stays layered once made so.
    EXPECT_NE(GetWindowLongW(window.Handle(), GWL_EXSTYLE) & WS_EX_LAYERED, 0);
}

}  // namespace
}  // namespace vantrel::e2e
