// The running-object lookup by ProgID, against the real running-object table:
// a ProgID that is not registered, one whose program does not run, and one
// whose object is registered as running in this process.
#include <string>

#include <gtest/gtest.h>

#include "com_stubs.h"
#include "base/Failure.h"
#include "host/com/ComHost.h"
#include "host/com/ComValues.h"
#include "win/Utf16.h"

namespace vantrel::test {
namespace {

constexpr DISPID kActiveDocumentId = 21;
constexpr DISPID kActiveSpaceId = 7;

// A ProgID of this test run only, mapped to a fresh CLSID under the user's
// classes, and removed again at the end. Wine's ProgID lookup reads only the
// machine-wide classes, so there (inside the test's throwaway prefix) the
// mapping goes to HKEY_CLASSES_ROOT instead.
class TestProgId {
public:
    TestProgId() : name_(L"Vantrel.TestHost." + std::to_wstring(::GetCurrentProcessId())) {
        ::CoCreateGuid(&clsid_);
        CLSID found{};
        root_ = HKEY_CURRENT_USER;
        base_ = L"Software\\Classes\\";
        registered_ = Write() && SUCCEEDED(::CLSIDFromProgID(name_.c_str(), &found));
        if (!registered_) {
            Remove();
            root_ = HKEY_CLASSES_ROOT;
            base_.clear();
            registered_ = Write() && SUCCEEDED(::CLSIDFromProgID(name_.c_str(), &found));
        }
        registered_ = registered_ && ::IsEqualGUID(found, clsid_);
    }
    ~TestProgId() { Remove(); }
    TestProgId(const TestProgId&) = delete;
    TestProgId& operator=(const TestProgId&) = delete;

    [[nodiscard]] bool Registered() const { return registered_; }
    [[nodiscard]] const CLSID& Clsid() const { return clsid_; }
    [[nodiscard]] std::string Utf8() const { return win::Utf8FromUtf16(name_); }

private:
    bool Write() const {
        wchar_t text[64] = {};
        ::StringFromGUID2(clsid_, text, 64);
        const std::wstring key = base_ + name_ + L"\\CLSID";
        HKEY handle = nullptr;
        if (::RegCreateKeyExW(root_, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) !=
            ERROR_SUCCESS) {
            return false;
        }
        const auto bytes = static_cast<DWORD>((::wcslen(text) + 1) * sizeof(wchar_t));
        const bool written =
            ::RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes) == ERROR_SUCCESS;
        ::RegCloseKey(handle);
        return written;
    }
    void Remove() const { ::RegDeleteTreeW(root_, (base_ + name_).c_str()); }

    std::wstring name_;
    CLSID clsid_{};
    HKEY root_ = HKEY_CURRENT_USER;
    std::wstring base_;
    bool registered_ = false;
};

std::int32_t LookupFailure(const std::string& progId) {
    try {
        host::com::CreateComHostLocator()->GetRunningApplication(progId);
    } catch (const Failure& failure) {
        EXPECT_FALSE(failure.Description().empty());
        return failure.Number();
    }
    return 0;
}

using LocatorTest = ComTest;

TEST_F(LocatorTest, AProgIdThatIsNotRegisteredIsAClassStringFailure) {
    EXPECT_EQ(LookupFailure("Vantrel.NoSuchHost." + std::to_string(::GetCurrentProcessId())), status::kClassString);
}

TEST_F(LocatorTest, ARegisteredProgIdWithNothingRunningIsUnavailable) {
    const TestProgId progId;
    ASSERT_TRUE(progId.Registered());
    EXPECT_EQ(LookupFailure(progId.Utf8()), status::kUnavailable);
}

TEST_F(LocatorTest, TheRunningObjectIsFoundAndUsedAndNeverAnotherOne) {
    const TestProgId progId;
    ASSERT_TRUE(progId.Registered());
    StubDispatch application;
    StubDispatch document;
    application.Property(L"ActiveDocument", kActiveDocumentId, Object(&document));
    document.Property(L"ActiveSpace", kActiveSpaceId, Integer(1));

    DWORD cookie = 0;
    // The running-object table can take seconds to answer on a new Wine
    // prefix: ask again until a deadline rather than sleeping.
    const ULONGLONG deadline = ::GetTickCount64() + 30000;
    HRESULT registered = ::RegisterActiveObject(&application, progId.Clsid(), ACTIVEOBJECT_STRONG, &cookie);
    while (FAILED(registered) && ::GetTickCount64() < deadline) {
        ::Sleep(100);
        registered = ::RegisterActiveObject(&application, progId.Clsid(), ACTIVEOBJECT_STRONG, &cookie);
    }
    ASSERT_TRUE(SUCCEEDED(registered)) << std::hex << registered;
    {
        auto locator = host::com::CreateComHostLocator();
        std::shared_ptr<host::Application> found;
        while (!found) {
            try {
                found = locator->GetRunningApplication(progId.Utf8());
            } catch (const Failure& failure) {
                if (failure.Number() != status::kUnavailable || ::GetTickCount64() > deadline) {
                    ADD_FAILURE() << std::hex << failure.Number() << " " << failure.Description();
                    break;
                }
                ::Sleep(50);
            }
        }
        if (found) {
            EXPECT_EQ(found->ActiveDocument()->ActiveSpace(), 1);
        }
    }
    EXPECT_TRUE(SUCCEEDED(::RevokeActiveObject(cookie, nullptr)));
    ::CoDisconnectObject(&application, 0);
    EXPECT_EQ(document.References(), 0);
}

}  // namespace
}  // namespace vantrel::test
