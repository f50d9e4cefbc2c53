// The COM link's edges: a busy host, the running-object lookup, and the
// readout's number text against the automation library's own.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "com_stubs.h"
#include "host/Failure.h"
#include "host/com/ComHost.h"
#include "host/com/ComObjects.h"
#include "ui/NumberText.h"
#include "ui/win32/FrmMainWindow.h"

namespace vantrel::test {
namespace {

using host::BusyWait;

// A busy host is retried, in the invoke path and by the message filter, only
// while it asks to be called later and the call may wait; meanwhile only
// painting runs, and the user's input waits for the call to end.
TEST_F(ComTest, OnlyRetryLaterIsRetriedOnlyWhileTheCallMayWaitAndOnlyPaintingRunsMeanwhile) {
    const struct {
        const char* name;
        HRESULT code;
        bool asException;
        BusyWait wait;
        int refusals;  // then the host is free; -1: never
        int attempts;  // -1: until the bound
        std::int32_t failure;
        DWORD filterRejectType;
    } cases[] = {
        {"retry later", RPC_E_SERVERCALL_RETRYLATER, false, BusyWait::Patient, 3, 4, 0, SERVERCALL_RETRYLATER},
        {"retry later as an exception", RPC_E_SERVERCALL_RETRYLATER, true, BusyWait::Patient, 3, 4, 0,
         SERVERCALL_RETRYLATER},
        {"rejected", RPC_E_CALL_REJECTED, false, BusyWait::Patient, 3, 1, status::kCallRejected, SERVERCALL_REJECTED},
        {"rejected as an exception", RPC_E_CALL_REJECTED, true, BusyWait::Patient, 3, 1, status::kCallRejected,
         SERVERCALL_REJECTED},
        {"another failure", E_FAIL, true, BusyWait::Patient, 3, 1, status::kFail, SERVERCALL_ISHANDLED},
        {"a timer tick's call", RPC_E_SERVERCALL_RETRYLATER, false, BusyWait::Immediate, 3, 1, status::kRetryLater,
         SERVERCALL_RETRYLATER},
        {"busy past the bound", RPC_E_SERVERCALL_RETRYLATER, true, BusyWait::Patient, -1, -1, status::kRetryLater,
         SERVERCALL_RETRYLATER},
    };
    const auto session = std::make_shared<host::com::ComSession>();
    const auto locator = host::com::CreateComHostLocator(session);
    auto* application = new StubDispatch("application");
    const HWND window =
        ::CreateWindowW(L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 99, 99, nullptr, nullptr, nullptr, nullptr);
    MSG message{};
    {
        const auto registration = host::com::RegisterBusyHostRetry(session);
        Microsoft::WRL::ComPtr<IMessageFilter> filter;
        ::CoRegisterMessageFilter(nullptr, &filter);
        ASSERT_NE(filter, nullptr);
        ::CoRegisterMessageFilter(filter.Get(), nullptr);
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            locator->SetBusyWait(c.wait);
            if (c.refusals < 0) session->busy.boundMs = 300;
            int attempts = 0;
            application->Member("ZoomExtents", [&](const DISPPARAMS&, VARIANT*, EXCEPINFO* info) {
                if (++attempts > c.refusals && c.refusals >= 0) return S_OK;
                if (attempts == 1) {  // meanwhile the window needs painting and the user presses a key
                    ::UpdateWindow(window);
                    ::InvalidateRect(window, nullptr, TRUE);
                    ::PostThreadMessageW(::GetCurrentThreadId(), WM_APP, 0, 0);
                }
                if (!c.asException) return c.code;
                info->scode = c.code;
                info->bstrDescription = ::SysAllocString(L"The host is busy");
                return DISP_E_EXCEPTION;
            });
            const ULONGLONG start = ::GetTickCount64();
            std::int32_t failure = 0;
            try {
                host::com::WrapApplication(application, session)->ZoomExtents();
            } catch (const Failure& f) {
                failure = f.Number();
            }
            EXPECT_EQ(failure, c.failure);
            if (c.attempts > 0) {
                EXPECT_EQ(attempts, c.attempts);
            } else {
                EXPECT_TRUE(attempts > 1 && attempts < 10 && ::GetTickCount64() - start >= 300)
                    << attempts << " attempts: the host hammered, or not waited for?";
            }
            const bool retried = c.attempts != 1;
            EXPECT_EQ(::GetUpdateRect(window, nullptr, FALSE), !retried) << "painted while waiting";
            EXPECT_TRUE(::PeekMessageW(&message, nullptr, WM_APP, WM_APP, PM_REMOVE)) << "the key press is queued";
            EXPECT_EQ(filter->RetryRejectedCall(nullptr, 0, c.filterRejectType) != host::com::kCancelCall, retried);
            EXPECT_EQ(filter->RetryRejectedCall(nullptr, session->busy.boundMs - 1, c.filterRejectType) !=
                          host::com::kCancelCall,
                      retried);
            EXPECT_EQ(filter->RetryRejectedCall(nullptr, session->busy.boundMs, c.filterRejectType),
                      host::com::kCancelCall);
        }
    }
    Microsoft::WRL::ComPtr<IMessageFilter> after;
    ::CoRegisterMessageFilter(nullptr, &after);
    EXPECT_EQ(after, nullptr) << "the filter outlived its registration";
    ::DestroyWindow(window);
    application->ExpectAllBack();
}

TEST_F(ComTest, TheLocatorFindsOnlyARunningHost) {
    const std::pair<std::string, std::int32_t> cases[] = {
        {"Vantrel.NoSuchHost", status::kClassString},    // not registered
        {"Scripting.Dictionary", status::kUnavailable},  // registered, never running
    };
    for (const auto& [progId, number] : cases) {
        try {
            host::com::CreateComHostLocator()->GetRunningApplication(progId);
            ADD_FAILURE() << progId << " was found";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.Number(), number) << progId;
        }
    }
}

TEST(LocaleNumberText, IsTheAutomationLibrarysTextInTheUsersLocaleAndWithADecimalComma) {
    const std::pair<LCID, std::string> locales[] = {
        {LOCALE_USER_DEFAULT, ui::win32::FrmMainWindow().DecimalSeparator()},
        {::LocaleNameToLCID(L"de-DE", 0), ","},
    };
    // 1/4"=1'-0" as the host reports it (15 significant digits), read as 12 x it.
    const double values[] = {0.25,   0.125,    12 * 0.0208333333333333,
                             0.02,   1.0 / 3,  1e-5,
                             0.0001, 1e15,     123456789012345.0,
                             1e300,  1e-300,   -2.5,
                             0,      1.0 / 48, 0.0333333,
                             100};
    for (const auto& [locale, separator] : locales) {
        for (const double value : values) {
            BSTR text = nullptr;
            ASSERT_TRUE(SUCCEEDED(::VarBstrFromR8(value, locale, 0, &text)));
            EXPECT_EQ(ui::NumberText(value, separator), host::com::Utf8FromBstr(text)) << value << " in " << locale;
            ::SysFreeString(text);
        }
    }
}

}  // namespace
}  // namespace vantrel::test
