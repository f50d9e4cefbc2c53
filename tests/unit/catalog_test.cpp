// The catalog against the tables drafters use: every text byte for byte, and
// every zoom factor exactly one over the row's scale factor.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/ScaleCatalog.h"

namespace {

using vantrel::catalog::GetScaleTable;
using vantrel::catalog::LookupZoomFactor;
using vantrel::catalog::ScaleType;

struct ExpectedRow {
    ScaleType type;
    int row;
    const char* texts[6];
    double scaleFactor;  // the zoom factor is exactly 1.0 / this
};

// clang-format off
const std::vector<ExpectedRow> kRows = {
    {ScaleType::Architectural, 1, {"12=1'-0", "1", "0.125", "0.1875", "0.5", "(ISO)"}, 1},
    {ScaleType::Architectural, 2, {"6=1'-0", "2", "0.25", "0.375", "1", "(ISO2)"}, 2},
    {ScaleType::Architectural, 3, {"3=1'-0", "4", "0.50", "0.75", "2", "(ISO4)"}, 4},
    {ScaleType::Architectural, 4, {"1 1/2=1'-0", "8", "1.00", "1.50", "4", "(ISO8)"}, 8},
    {ScaleType::Architectural, 5, {"1=1'-0", "12", "1.50", "2.25", "6", "(ISO12)"}, 12},
    {ScaleType::Architectural, 6, {"3/4=1'-0", "16", "2.00", "3.00", "8", "(ISO16)"}, 16},
    {ScaleType::Architectural, 7, {"1/2=1'-0", "24", "3.00", "4.50", "12", "(ISO24)"}, 24},
    {ScaleType::Architectural, 8, {"3/8=1'-0", "32", "4.00", "6.00", "16", "(ISO32)"}, 32},
    {ScaleType::Architectural, 9, {"1/4=1'-0", "48", "6.00", "9.00", "24", "(ISO48)"}, 48},
    {ScaleType::Architectural, 10, {"3/16=1'-0", "64", "8.00", "12.00", "32", "(ISO64)"}, 64},
    {ScaleType::Architectural, 11, {"1/8=1'-0", "96", "12.00", "18.00", "48", "(ISO96)"}, 96},
    {ScaleType::Architectural, 12, {"1/16=1'-0", "192", "24.00", "36.00", "96", "(ISO192)"}, 192},
    {ScaleType::Machine, 1, {"4/1 ", "0.25", "0.03125", "0.0469", "0.125", "(ANSI025)"}, 0.25},
    {ScaleType::Machine, 2, {"2/1", "0.5", "0.0625", "0.0938", "0.25", "(ANSI05)"}, 0.5},
    {ScaleType::Machine, 3, {"1/1", "1", "0.125", "0.1875", "0.5", "(ANSI)"}, 1},
    {ScaleType::Machine, 4, {"1/2", "2", "0.25", "0.375", "1", "(ANSI2)"}, 2},
    {ScaleType::Machine, 5, {"1/4", "4", "0.5", "0.75", "2", "(ANSI4)"}, 4},
    {ScaleType::Machine, 6, {"1/8", "8", "1", "1.5", "4", "(ANSI8)"}, 8},
    {ScaleType::Machine, 7, {"1/10", "10", "1.25", "1.875", "5", "(ANSI10)"}, 10},
    {ScaleType::Machine, 8, {"1/20", "20", "2.50", "3.75", "10", "(ANSI20)"}, 20},
    {ScaleType::Machine, 9, {"1/30", "30", "3.75", "5.625", "15", "(ANSI30)"}, 30},
    {ScaleType::Machine, 10, {"1/40", "40", "5.00", "7.50", "20", "(ANSI40)"}, 40},
    {ScaleType::Machine, 11, {"1/50", "50", "6.25", "9.375", "25", "(ANSI50)"}, 50},
    {ScaleType::Civil, 1, {"1=10'", "120", "15", "22.5", "60", "(ISO120)"}, 120},
    {ScaleType::Civil, 2, {"1=20'", "240", "30", "45", "120", "(ISO240)"}, 240},
    {ScaleType::Civil, 3, {"1=30'", "360", "45", "67.5", "180", "(ISO360)"}, 360},
    {ScaleType::Civil, 4, {"1=40'", "480", "60", "90", "240", "(ISO480)"}, 480},
    {ScaleType::Civil, 5, {"1=50'", "600", "75", "112.5", "300", "(ISO600)"}, 600},
    {ScaleType::Civil, 6, {"1=60'", "720", "90", "135", "360", "(ISO720)"}, 720},
    {ScaleType::Civil, 7, {"1=100'", "1200", "150", "225", "600", "(ISO1200)"}, 1200},
    {ScaleType::Civil, 8, {"1=200'", "2400", "300", "450", "1200", "(ISO2400)"}, 2400},
    {ScaleType::Civil, 9, {"1=300'", "3600", "450", "675", "1800", "(ISO3600)"}, 3600},
    {ScaleType::Civil, 10, {"1=400'", "4800", "600", "900", "2400", "(ISO4800)"}, 4800},
    {ScaleType::Civil, 11, {"1=500'", "6000", "750", "1125", "3000", "(ISO6000)"}, 6000},
    {ScaleType::Metric, 1, {"5:1", ".20", "0.635", "0.952", "2.5", "(ISO02)"}, 0.2},
    {ScaleType::Metric, 2, {"2:1", ".50", "1.587", "2.381", "6.3", "(ISO05)"}, 0.5},
    {ScaleType::Metric, 3, {"1:1", "1", "3.175", "4.762", "12.7", "(ISO)"}, 1},
    {ScaleType::Metric, 4, {"1:2", "2", "6.350", "9.524", "25", "(ISO2)"}, 2},
    {ScaleType::Metric, 5, {"1:5", "5", "15.88", "23.81", "63", "(ISO5)"}, 5},
    {ScaleType::Metric, 6, {"1:10", "10", "31.75", "47.62", "127", "(ISO10)"}, 10},
    {ScaleType::Metric, 7, {"1:20", "20", "63.50", "95.24", "254", "(ISO20)"}, 20},
    {ScaleType::Metric, 8, {"1:50", "50", "158.75", "238.10", "635", "(ISO50)"}, 50},
    {ScaleType::Metric, 9, {"1:75", "75", "238.12", "357.15", "952", "(ISO75)"}, 75},
    {ScaleType::Metric, 10, {"1:100", "100", "317.50", "476.20", "1270", "(ISO100)"}, 100},
};
// clang-format on

class CatalogRow : public ::testing::TestWithParam<ExpectedRow> {};

TEST_P(CatalogRow, ShowsEveryTextExactlyAsStored) {
    const ExpectedRow& expected = GetParam();
    const auto& row = GetScaleTable(expected.type)[static_cast<std::size_t>(expected.row) - 1];
    const std::string_view actual[6] = {row.Label,         row.ScaleFactor, row.TextSizeSmall,
                                        row.TextSizeLarge, row.LtScale,     row.DimStyle};
    for (int column = 0; column < 6; ++column) {
        EXPECT_EQ(actual[column], expected.texts[column]) << "column " << column + 1;
    }
}

TEST_P(CatalogRow, ZoomsByExactlyOneOverItsScaleFactor) {
    const ExpectedRow& expected = GetParam();
    const std::optional<double> factor = LookupZoomFactor(expected.type, expected.row);
    ASSERT_TRUE(factor.has_value());
    EXPECT_EQ(*factor, 1.0 / expected.scaleFactor);
    // The factor agrees with the row's own "Scale Factor" text, too.
    const auto& row = GetScaleTable(expected.type)[static_cast<std::size_t>(expected.row) - 1];
    EXPECT_EQ(*factor, 1.0 / std::stod(std::string(row.ScaleFactor)));
}

INSTANTIATE_TEST_SUITE_P(AllRows, CatalogRow, ::testing::ValuesIn(kRows), [](const auto& test) {
    return std::string(vantrel::catalog::ScaleTypeName(test.param.type)) + std::to_string(test.param.row);
});

struct TableShape {
    ScaleType type;
    std::size_t rows;
    const char* name;
};

class CatalogTable : public ::testing::TestWithParam<TableShape> {};

TEST_P(CatalogTable, HasItsRowCountAndName) {
    EXPECT_EQ(GetScaleTable(GetParam().type).size(), GetParam().rows);
    EXPECT_EQ(vantrel::catalog::ScaleTypeName(GetParam().type), GetParam().name);
}

TEST_P(CatalogTable, GivesNoFactorOutsideItsRows) {
    const auto n = static_cast<std::int32_t>(GetParam().rows);
    for (const std::int32_t index : {0, -1, -2147483647 - 1, n + 1, n + 100, 2147483647}) {
        EXPECT_FALSE(LookupZoomFactor(GetParam().type, index).has_value()) << "index " << index;
    }
    EXPECT_TRUE(LookupZoomFactor(GetParam().type, 1).has_value());
    EXPECT_TRUE(LookupZoomFactor(GetParam().type, n).has_value());
}

INSTANTIATE_TEST_SUITE_P(AllTypes, CatalogTable,
                         ::testing::Values(TableShape{ScaleType::Architectural, 12, "Architectural"},
                                           TableShape{ScaleType::Machine, 11, "Machine"},
                                           TableShape{ScaleType::Civil, 11, "Civil"},
                                           TableShape{ScaleType::Metric, 10, "Metric"}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(CatalogData, CoversAllFortyFourRows) {
    std::size_t total = 0;
    for (int type = 0; type < vantrel::catalog::kScaleTypeCount; ++type) {
        total += GetScaleTable(static_cast<ScaleType>(type)).size();
    }
    EXPECT_EQ(total, kRows.size());
    EXPECT_EQ(total, 44u);
}

}  // namespace
