// The texts the user reads: numbers in "Current Scale" and the "App Error" box.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "ui/ErrorReport.h"
#include "ui/NumberText.h"

namespace {

using vantrel::ui::ErrorReportText;
using vantrel::ui::NumberText;

struct NumberCase {
    double value;
    const char* separator;
    const char* expected;
};

class NumberTextCase : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberTextCase, ShowsAtMostFifteenDigitsWithoutTrailingZeros) {
    EXPECT_EQ(NumberText(GetParam().value, GetParam().separator), GetParam().expected);
}

constexpr double kQuarterInchCut = 0.0208333333333333;  // 1/48 cut to 15 significant digits

INSTANTIATE_TEST_SUITE_P(
    Values, NumberTextCase,
    ::testing::Values(NumberCase{0.25, ".", "0.25"}, NumberCase{0.125, ".", "0.125"},
                      NumberCase{12 * kQuarterInchCut, ".", "0.25"}, NumberCase{12 * (1.0 / 48), ".", "0.25"},
                      NumberCase{0.02, ".", "0.02"}, NumberCase{1.0 / 600, ".", "0.00166666666666667"},
                      NumberCase{1.0 / 3, ".", "0.333333333333333"}, NumberCase{1e-5, ".", "1E-05"},
                      NumberCase{0.0001, ".", "0.0001"}, NumberCase{1e15, ".", "1E+15"},
                      NumberCase{999999999999999.0, ".", "999999999999999"},
                      NumberCase{123456789012345678.0, ".", "1.23456789012346E+17"},
                      NumberCase{1.5e-100, ".", "1.5E-100"}, NumberCase{-0.5, ".", "-0.5"},
                      NumberCase{-1e-5, ".", "-1E-05"}, NumberCase{48, ".", "48"}, NumberCase{0.0, ".", "0"},
                      NumberCase{-0.0, ".", "0"}, NumberCase{0.02, ",", "0,02"}, NumberCase{2.5e-7, ",", "2,5E-07"},
                      NumberCase{2.5, "||", "2||5"}, NumberCase{std::numeric_limits<double>::quiet_NaN(), ".", "NaN"},
                      NumberCase{std::numeric_limits<double>::infinity(), ".", "Infinity"},
                      NumberCase{-std::numeric_limits<double>::infinity(), ".", "-Infinity"}));

struct ReportCase {
    const char* location;
    std::int32_t number;
    const char* description;
    const char* expected;
};

class ErrorReportCase : public ::testing::TestWithParam<ReportCase> {};

TEST_P(ErrorReportCase, BuildsTheThreeLines) {
    EXPECT_EQ(ErrorReportText(GetParam().location, GetParam().number, GetParam().description), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, ErrorReportCase,
    ::testing::Values(
        ReportCase{"Form_Load", 6, "Overflow",
                   "Location:\t\tForm_Load\r\nSource:\t\t6h   (6)\r\nDescription:\tOverflow"},
        ReportCase{"CmdNext_Click", 91, "Object variable or With block variable not set",
                   "Location:\t\tCmdNext_Click\r\nSource:\t\t5Bh   (91)\r\n"
                   "Description:\tObject variable or With block variable not set"},
        ReportCase{"CmdGetScale_Click", static_cast<std::int32_t>(0x8021003Cu), "No document is open",
                   "Location:\t\tCmdGetScale_Click\r\nSource:\t\t8021003Ch   (-2145320900)\r\n"
                   "Description:\tNo document is open"},
        ReportCase{"Civil", -1, "", "Location:\t\tCivil\r\nSource:\t\tFFFFFFFFh   (-1)\r\nDescription:\t"},
        ReportCase{"Metric", std::numeric_limits<std::int32_t>::min(), "x",
                   "Location:\t\tMetric\r\nSource:\t\t80000000h   (-2147483648)\r\nDescription:\tx"},
        ReportCase{"Machine", 0, "", "Location:\t\tMachine\r\nSource:\t\t0h   (0)\r\nDescription:\t"},
        ReportCase{"CmdOK_Click", 0x7FFFFFFF, "big",
                   "Location:\t\tCmdOK_Click\r\nSource:\t\t7FFFFFFFh   (2147483647)\r\nDescription:\tbig"}));

}  // namespace
