// The "Current Scale" number text against the automation library's own
// conversion of a double to text (VarBstrFromR8), in the user's locale and
// in one that writes a decimal comma.
#include <string>

#include <gtest/gtest.h>

#include "com_stubs.h"
#include "host/com/ComValues.h"
#include "ui/NumberText.h"
#include "win/Utf16.h"

namespace vantrel::test {
namespace {

std::string DecimalSeparator(const wchar_t* locale) {
    wchar_t separator[8] = {};
    const int length = ::GetLocaleInfoEx(locale, LOCALE_SDECIMAL, separator, 8);
    if (length <= 1) return ".";
    return win::Utf8FromUtf16(std::wstring_view(separator, static_cast<std::size_t>(length - 1)));
}

std::string AutomationText(double value, LCID locale) {
    BSTR text = nullptr;
    if (FAILED(::VarBstrFromR8(value, locale, 0, &text))) return "<conversion failed>";
    std::string result = host::com::Utf8FromBstr(text);
    ::SysFreeString(text);
    return result;
}

// 1/4"=1'-0" as the host reports it (15 significant digits), read as 12 x it.
const double kQuarterInchScale = 12 * 0.0208333333333333;

const double kValues[] = {0.25,   0.125,    kQuarterInchScale, 0.02,      1.0 / 3, 1e-5,
                          0.0001, 1e15,     123456789012345.0, 1e300,     1e-300,  -2.5,
                          0,      1.0 / 48, 12.0 / 96,         0.0333333, 100};

TEST(LocaleNumberText, MatchesTheAutomationTextInTheUsersLocale) {
    const std::string separator = DecimalSeparator(LOCALE_NAME_USER_DEFAULT);
    for (double value : kValues) {
        SCOPED_TRACE(value);
        EXPECT_EQ(ui::NumberText(value, separator), AutomationText(value, LOCALE_USER_DEFAULT));
    }
}

TEST(LocaleNumberText, MatchesTheAutomationTextWithADecimalComma) {
    const LCID german = ::LocaleNameToLCID(L"de-DE", 0);
    ASSERT_NE(german, 0U);
    const std::string separator = DecimalSeparator(L"de-DE");
    ASSERT_EQ(separator, ",");
    for (double value : kValues) {
        SCOPED_TRACE(value);
        EXPECT_EQ(ui::NumberText(value, separator), AutomationText(value, german));
    }
}

}  // namespace
}  // namespace vantrel::test
