// A busy host: the message filter's verdicts, the retry in the invoke path
// (only "retry later" is retried: a host that asks a few times, one that never
// stops; an outright rejection is final), the locator's busy wait for both,
// and that only painting runs while a call waits to be retried.
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "com_stubs.h"
#include "base/Failure.h"
#include "host/com/ComHost.h"
#include "host/com/ComObjects.h"

namespace vantrel::test {
namespace {

using host::com::BusyRetryPolicy;
using host::com::ComSession;
using host::com::kCancelCall;
using host::com::RetryRejectedCallDelay;

constexpr DISPID kZoomExtentsId = 22;

TEST(BusyFilterDecision, RetriesOnlyRetryLaterAndOnlyWithinTheBound) {
    constexpr DWORD kPatient = BusyRetryPolicy::kPatientMs;
    struct Case {
        DWORD boundMs;
        DWORD elapsedMs;
        DWORD rejectType;
        bool retry;
    };
    const Case cases[] = {
        {kPatient, 0, SERVERCALL_RETRYLATER, true},
        {kPatient, kPatient - 1, SERVERCALL_RETRYLATER, true},
        {kPatient, kPatient, SERVERCALL_RETRYLATER, false},
        {kPatient, 60000, SERVERCALL_RETRYLATER, false},
        {200, 199, SERVERCALL_RETRYLATER, true},
        {200, 200, SERVERCALL_RETRYLATER, false},
        {0, 0, SERVERCALL_RETRYLATER, false},  // a call that must not wait
        // The host refuses for good (it may be going away): never retried.
        {kPatient, 0, SERVERCALL_REJECTED, false},
        {kPatient, 0, SERVERCALL_ISHANDLED, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "bound " << c.boundMs << " ms, " << c.elapsedMs << " ms, type "
                                        << c.rejectType);
        BusyRetryPolicy policy;
        policy.boundMs = c.boundMs;
        const DWORD verdict = RetryRejectedCallDelay(c.elapsedMs, c.rejectType, policy);
        if (c.retry) {
            EXPECT_NE(verdict, kCancelCall);
            EXPECT_GT(verdict, 0U);
            EXPECT_LT(verdict, 1000U);  // a short wait, not a stall
        } else {
            EXPECT_EQ(verdict, kCancelCall);
        }
    }
}

TEST(BusyRetryDelays, StartShortGrowAndStayCapped) {
    const BusyRetryPolicy policy;
    DWORD delay = host::com::NextBusyDelay(0, policy);
    EXPECT_EQ(delay, policy.firstDelayMs);
    for (int i = 0; i < 20; ++i) {
        const DWORD next = host::com::NextBusyDelay(delay, policy);
        EXPECT_GE(next, delay);
        EXPECT_LE(next, policy.maxDelayMs);
        delay = next;
    }
    EXPECT_EQ(delay, policy.maxDelayMs);
}

class BusyHostTest : public ComTest {
protected:
    void TearDown() override {
        EXPECT_EQ(application.References(), 0);
        ComTest::TearDown();
    }

    // ZoomExtents is rejected `times` times, as `how`, then done.
    void RejectZoom(int times, HRESULT code, bool asException) {
        application.Member(L"ZoomExtents", kZoomExtentsId,
                           [this, times, code, asException](const DISPPARAMS&, VARIANT*, EXCEPINFO* info) -> HRESULT {
                               ++attempts;
                               if (onAttempt) onAttempt(attempts);
                               if (times >= 0 && attempts > times) return S_OK;
                               if (!asException) return code;
                               info->scode = code;
                               info->bstrDescription = ::SysAllocString(L"The host is busy");
                               return DISP_E_EXCEPTION;
                           });
    }

    std::shared_ptr<ComSession> session = std::make_shared<ComSession>();
    StubDispatch application;
    int attempts = 0;
    std::function<void(int)> onAttempt;
};

TEST_F(BusyHostTest, OnlyRetryLaterIsRetriedAndTheCallIsMadeOnceTheHostIsFree) {
    struct Case {
        const char* name;
        HRESULT code;
        bool asException;
        int attempts;  // 3 rejections, then the host is free
        bool made;
    };
    const Case cases[] = {
        {"retry later", RPC_E_SERVERCALL_RETRYLATER, false, 4, true},
        {"retry later in EXCEPINFO", RPC_E_SERVERCALL_RETRYLATER, true, 4, true},
        // Final: the host refused the call, or COM's filter already gave up on it.
        {"call rejected", RPC_E_CALL_REJECTED, false, 1, false},
        {"call rejected in EXCEPINFO", RPC_E_CALL_REJECTED, true, 1, false},
        {"another failure", E_FAIL, true, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        attempts = 0;
        RejectZoom(3, c.code, c.asException);
        try {
            host::com::WrapApplication(&application, session)->ZoomExtents();
            EXPECT_TRUE(c.made) << "no failure";
        } catch (const Failure& failure) {
            EXPECT_FALSE(c.made) << failure.Description();
            EXPECT_EQ(failure.Number(), static_cast<std::int32_t>(c.code));
        }
        EXPECT_EQ(attempts, c.attempts);
    }
}

TEST_F(BusyHostTest, AHostThatStaysBusyFailsWithRetryLaterAfterTheBound) {
    session->busy.boundMs = 300;
    for (const bool asException : {false, true}) {
        SCOPED_TRACE(asException);
        attempts = 0;
        RejectZoom(-1, RPC_E_SERVERCALL_RETRYLATER, asException);
        const ULONGLONG start = ::GetTickCount64();
        try {
            host::com::WrapApplication(&application, session)->ZoomExtents();
            ADD_FAILURE() << "no failure";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.Number(), status::kRetryLater);
            EXPECT_FALSE(failure.Description().empty());
        }
        EXPECT_GE(::GetTickCount64() - start, 300U);
        EXPECT_GT(attempts, 1);
    }
}

TEST_F(BusyHostTest, TheLocatorsBusyWaitSetsTheWaitOfTheInvokePathAndOfTheFilter) {
    using Microsoft::WRL::ComPtr;
    const auto locator = host::com::CreateComHostLocator(session);
    const auto registration = host::com::RegisterBusyHostRetry(session);
    ComPtr<IMessageFilter> filter;
    ASSERT_TRUE(SUCCEEDED(::CoRegisterMessageFilter(nullptr, &filter)));
    ASSERT_NE(filter, nullptr);
    ::CoRegisterMessageFilter(filter.Get(), nullptr);

    // A timer tick: a busy host fails the call at once.
    locator->SetBusyWait(host::BusyWait::Immediate);
    attempts = 0;
    RejectZoom(3, RPC_E_SERVERCALL_RETRYLATER, false);
    try {
        host::com::WrapApplication(&application, session)->ZoomExtents();
        ADD_FAILURE() << "no failure";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.Number(), status::kRetryLater);
    }
    EXPECT_EQ(attempts, 1);
    EXPECT_EQ(filter->RetryRejectedCall(nullptr, 0, SERVERCALL_RETRYLATER), kCancelCall);

    // The user's own action waits for the host.
    locator->SetBusyWait(host::BusyWait::Patient);
    attempts = 0;
    RejectZoom(3, RPC_E_SERVERCALL_RETRYLATER, false);
    EXPECT_NO_THROW(host::com::WrapApplication(&application, session)->ZoomExtents());
    EXPECT_EQ(attempts, 4);
    EXPECT_NE(filter->RetryRejectedCall(nullptr, BusyRetryPolicy::kPatientMs - 1, SERVERCALL_RETRYLATER), kCancelCall);
}

// A window that counts what it is sent.
struct Counted {
    int paints = 0;
    int commands = 0;
};

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* counted = reinterpret_cast<Counted*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_PAINT && counted != nullptr) {
        ++counted->paints;
        PAINTSTRUCT paint;
        ::BeginPaint(window, &paint);
        ::EndPaint(window, &paint);
        return 0;
    }
    if (message == WM_APP && counted != nullptr) {
        ++counted->commands;
        return 0;
    }
    return ::DefWindowProcW(window, message, w, l);
}

TEST_F(BusyHostTest, WhileACallWaitsOnlyPaintingRuns) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = CountingProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VantrelBusyTestWindow";
    ::RegisterClassW(&windowClass);
    HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, L"busy", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                                    100, nullptr, nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    Counted counted;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&counted));
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    counted = Counted{};

    int paintsWhenRetried = -1;
    int commandsWhenRetried = -1;
    onAttempt = [&](int attempt) {
        if (attempt == 1) {
            // The host is busy; meanwhile the window needs painting and the
            // user presses a button.
            ::InvalidateRect(window, nullptr, TRUE);
            ::PostMessageW(window, WM_APP, 0, 0);
        } else if (attempt == 2) {
            paintsWhenRetried = counted.paints;
            commandsWhenRetried = counted.commands;
        }
    };
    RejectZoom(1, RPC_E_SERVERCALL_RETRYLATER, false);
    host::com::WrapApplication(&application, session)->ZoomExtents();

    EXPECT_GE(paintsWhenRetried, 1);
    EXPECT_EQ(commandsWhenRetried, 0);
    EXPECT_EQ(counted.commands, 0);
    // The button press is still queued, handled after the call.
    ASSERT_TRUE(::PeekMessageW(&message, window, WM_APP, WM_APP, PM_REMOVE));
    ::DispatchMessageW(&message);
    EXPECT_EQ(counted.commands, 1);
    ::DestroyWindow(window);
    ::UnregisterClassW(windowClass.lpszClassName, windowClass.hInstance);
}

TEST_F(BusyHostTest, TheFilterIsRegisteredOnTheThreadWhileItsRegistrationLives) {
    using Microsoft::WRL::ComPtr;
    {
        const auto registration = host::com::RegisterBusyHostRetry(session);
        ComPtr<IMessageFilter> current;
        ASSERT_TRUE(SUCCEEDED(::CoRegisterMessageFilter(nullptr, &current)));
        ASSERT_NE(current, nullptr);
        EXPECT_NE(current->RetryRejectedCall(nullptr, 0, SERVERCALL_RETRYLATER), kCancelCall);
        EXPECT_EQ(current->RetryRejectedCall(nullptr, 0, SERVERCALL_REJECTED), kCancelCall);
        EXPECT_EQ(current->MessagePending(nullptr, 0, PENDINGTYPE_TOPLEVEL),
                  static_cast<DWORD>(PENDINGMSG_WAITDEFPROCESS));
        EXPECT_EQ(current->HandleInComingCall(CALLTYPE_TOPLEVEL, nullptr, 0, nullptr),
                  static_cast<DWORD>(SERVERCALL_ISHANDLED));
        ::CoRegisterMessageFilter(current.Get(), nullptr);
    }
    ComPtr<IMessageFilter> after;
    ASSERT_TRUE(SUCCEEDED(::CoRegisterMessageFilter(nullptr, &after)));
    EXPECT_EQ(after, nullptr);
}

TEST(BusyHostRegistration, FailsOnAThreadThatIsNotAnSta) {
    bool failed = false;
    std::thread worker([&failed] {
        if (FAILED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return;
        try {
            host::com::RegisterBusyHostRetry(std::make_shared<ComSession>());
        } catch (const Failure&) {
            failed = true;
        }
        ::CoUninitialize();
    });
    worker.join();
    EXPECT_TRUE(failed);
}

}  // namespace
}  // namespace vantrel::test
