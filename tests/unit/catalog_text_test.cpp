// The texts the user reads: the tables drafters use, byte for byte, with each
// row's zoom factor exactly one over its scale factor; numbers in "Current
// Scale"; the "App Error" box.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "catalog/ScaleCatalog.h"
#include "ui/ErrorReport.h"
#include "ui/NumberText.h"

namespace {

using vantrel::catalog::kScaleSystems;
using vantrel::catalog::LookupZoomFactor;

// The four tables as the list shows them, a row a line, "|" between columns.
constexpr const char* kListing = R"(Architectural
12=1'-0|1|0.125|0.1875|0.5|(ISO)
6=1'-0|2|0.25|0.375|1|(ISO2)
3=1'-0|4|0.50|0.75|2|(ISO4)
1 1/2=1'-0|8|1.00|1.50|4|(ISO8)
1=1'-0|12|1.50|2.25|6|(ISO12)
3/4=1'-0|16|2.00|3.00|8|(ISO16)
1/2=1'-0|24|3.00|4.50|12|(ISO24)
3/8=1'-0|32|4.00|6.00|16|(ISO32)
1/4=1'-0|48|6.00|9.00|24|(ISO48)
3/16=1'-0|64|8.00|12.00|32|(ISO64)
1/8=1'-0|96|12.00|18.00|48|(ISO96)
1/16=1'-0|192|24.00|36.00|96|(ISO192)
Machine
4/1 |0.25|0.03125|0.0469|0.125|(ANSI025)
2/1|0.5|0.0625|0.0938|0.25|(ANSI05)
1/1|1|0.125|0.1875|0.5|(ANSI)
1/2|2|0.25|0.375|1|(ANSI2)
1/4|4|0.5|0.75|2|(ANSI4)
1/8|8|1|1.5|4|(ANSI8)
1/10|10|1.25|1.875|5|(ANSI10)
1/20|20|2.50|3.75|10|(ANSI20)
1/30|30|3.75|5.625|15|(ANSI30)
1/40|40|5.00|7.50|20|(ANSI40)
1/50|50|6.25|9.375|25|(ANSI50)
Civil
1=10'|120|15|22.5|60|(ISO120)
1=20'|240|30|45|120|(ISO240)
1=30'|360|45|67.5|180|(ISO360)
1=40'|480|60|90|240|(ISO480)
1=50'|600|75|112.5|300|(ISO600)
1=60'|720|90|135|360|(ISO720)
1=100'|1200|150|225|600|(ISO1200)
1=200'|2400|300|450|1200|(ISO2400)
1=300'|3600|450|675|1800|(ISO3600)
1=400'|4800|600|900|2400|(ISO4800)
1=500'|6000|750|1125|3000|(ISO6000)
Metric
5:1|.20|0.635|0.952|2.5|(ISO02)
2:1|.50|1.587|2.381|6.3|(ISO05)
1:1|1|3.175|4.762|12.7|(ISO)
1:2|2|6.350|9.524|25|(ISO2)
1:5|5|15.88|23.81|63|(ISO5)
1:10|10|31.75|47.62|127|(ISO10)
1:20|20|63.50|95.24|254|(ISO20)
1:50|50|158.75|238.10|635|(ISO50)
1:75|75|238.12|357.15|952|(ISO75)
1:100|100|317.50|476.20|1270|(ISO100)
)";

TEST(Catalog, ListsEveryTableExactlyAsStored) {
    std::string listing;
    for (const vantrel::catalog::ScaleSystem& system : kScaleSystems) {
        listing += std::string(system.name) + "\n";
        for (const auto& row : system.rows) {
            for (const std::string_view text : row.Texts()) listing += std::string(text) + "|";
            listing.back() = '\n';
        }
    }
    EXPECT_EQ(listing, kListing);
}

// Row i of a table zooms by exactly 1.0 / its "Scale Factor"; outside 1..n
// there is no factor.
TEST(Catalog, ZoomsEveryRowByOneOverItsScaleFactorAndNothingOutside) {
    for (std::size_t system = 0; system < kScaleSystems.size(); ++system) {
        const auto& table = kScaleSystems[system].rows;
        const auto n = static_cast<std::int32_t>(table.size());
        for (std::int32_t i = 1; i <= n; ++i) {
            const double scaleFactor = std::stod(std::string(table[static_cast<std::size_t>(i) - 1].scaleFactor));
            EXPECT_EQ(LookupZoomFactor(system, i), 1.0 / scaleFactor) << system << " row " << i;
        }
        for (const std::int32_t i : {0, -1, -2147483647 - 1, n + 1, 2147483647}) {
            EXPECT_FALSE(LookupZoomFactor(system, i).has_value()) << system << " row " << i;
        }
    }
    EXPECT_FALSE(LookupZoomFactor(kScaleSystems.size(), 1).has_value());
}

TEST(NumberText, ShowsAtMostFifteenSignificantDigitsWithTheUsersSeparator) {
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        const char* separator;
        const char* text;
    } cases[] = {
        {0.25, ".", "0.25"},
        {12 * 0.0208333333333333, ".", "0.25"},
        {1.0 / 600, ".", "0.00166666666666667"},
        {1.0 / 3, ".", "0.333333333333333"},
        {1e-5, ".", "1E-05"},
        {0.0001, ".", "0.0001"},
        {1e15, ".", "1E+15"},
        {999999999999999.0, ".", "999999999999999"},
        {123456789012345678.0, ".", "1.23456789012346E+17"},
        {1.5e-100, ".", "1.5E-100"},
        {-0.5, ".", "-0.5"},
        {-1e-5, ".", "-1E-05"},
        {48, ".", "48"},
        {-0.0, ".", "0"},
        {0.02, ",", "0,02"},
        {2.5e-7, ",", "2,5E-07"},
        {2.5, "||", "2||5"},
        {std::numeric_limits<double>::quiet_NaN(), ".", "NaN"},
        {kInfinity, ".", "Infinity"},
        {-kInfinity, ".", "-Infinity"},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(vantrel::ui::NumberText(test.value, test.separator), test.text);
    }
}

TEST(ErrorReport, GivesTheLocationTheNumberInHexAndDecimalAndTheDescription) {
    EXPECT_EQ(vantrel::ui::ErrorReportText("CmdNext_Click", 91, "Object variable not set"),
              "Location:\t\tCmdNext_Click\r\nSource:\t\t5Bh   (91)\r\nDescription:\tObject variable not set");
    EXPECT_EQ(vantrel::ui::ErrorReportText("Metric", std::numeric_limits<std::int32_t>::min(), "x"),
              "Location:\t\tMetric\r\nSource:\t\t80000000h   (-2147483648)\r\nDescription:\tx");
    EXPECT_EQ(vantrel::ui::ErrorReportText("Civil", 0, "y"),
              "Location:\t\tCivil\r\nSource:\t\t0h   (0)\r\nDescription:\ty");
}

}  // namespace
