// Starting Vantrel: with a host the drawing is prepared and the window shows
// the Architectural table; without one the user is told and the program ends.
#include <gtest/gtest.h>

#include "catalog/ScaleCatalog.h"
#include "e2e_user.h"

namespace vantrel::e2e {
namespace {

constexpr char kModelSpaceSheet[] = R"(document Sheet1
space model
viewport 1
viewport 1/48 on active
viewport 1/96 on
)";

TEST(Start, PreparesTheDrawingWithSevenCallsZoomingTheSheetNeverAViewport) {
    Session session(kModelSpaceSheet);
    ASSERT_TRUE(session.Up());
    ASSERT_TRUE(session.host.WaitForCall("Document.MSpace=(true)")) << session.host.CallsText();
    // The load is over before the first tick: its calls come first, alone.
    auto calls = session.host.Calls();
    calls.resize(7);
    EXPECT_EQ(calls, (std::vector<std::string>{
                         R"(Application.ActiveDocument() -> Document "Sheet1")",
                         R"(Document.ActiveSpace() -> 1 on Document "Sheet1")",
                         R"(Document.ActiveSpace=(0) -> ok on Document "Sheet1")",
                         R"(Document.MSpace=(false) -> ok on Document "Sheet1")",
                         R"(Document.Application() -> Application on Document "Sheet1")",
                         "Application.ZoomExtents() -> ok [sheet]",
                         R"(Document.MSpace=(true) -> ok on Document "Sheet1")",
                     }))
        << session.host.CallsText();
}

TEST(Start, ShowsTheArchitecturalTableUnderItsSixHeadersWithTransparentClear) {
    Session session(kModelSpaceSheet);
    ASSERT_TRUE(session.Up());
    const auto& window = *session.window;
    EXPECT_TRUE(window.IsChecked(L"Architectural"));
    for (const wchar_t* other : {L"Machine", L"Civil", L"Metric", L"Transparent"}) {
        EXPECT_FALSE(window.IsChecked(other)) << win::Utf8FromUtf16(other);
    }
    EXPECT_EQ(window.Headers(), (std::vector<std::string>{"DWG Scales", "Scale Factor", "Text Size SM", "Text Size LG",
                                                          "LTScale", "Dimension Style"}));
    std::vector<std::vector<std::string>> expected;
    for (const catalog::ScaleRow& row : catalog::GetScaleTable(catalog::ScaleType::Architectural)) {
        expected.push_back({std::string(row.Label), std::string(row.ScaleFactor), std::string(row.TextSizeSmall),
                            std::string(row.TextSizeLarge), std::string(row.LtScale), std::string(row.DimStyle)});
    }
    ASSERT_EQ(expected.size(), 12u);
    EXPECT_EQ(window.Rows(), expected);
}

TEST(Start, WithoutAHostSaysSoNeverShowsTheWindowAndEndsAfterOk) {
    // No simcad: nothing is registered under the ProgID.
    Vantrel app;
    const auto box = WaitForMessageBox(app.Process().Id(), kStartDeadline);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->title, "Vantrel");
    EXPECT_EQ(box->text, "AutoCad Not Running");
    EXPECT_FALSE(VantrelWindow::Shown(app.Process().Id()));
    PressOk(*box);
    EXPECT_TRUE(app.Process().WaitForExit(kExitDeadline));
    EXPECT_FALSE(VantrelWindow::Shown(app.Process().Id()));
}

}  // namespace
}  // namespace vantrel::e2e
