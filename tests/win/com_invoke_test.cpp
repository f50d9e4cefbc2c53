// The invoke helper as the host model uses it: how arguments, puts and
// results travel, how failures become vantrel::Failure, and that every
// reference handed to the host model comes back.
#include <cstdint>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "com_stubs.h"
#include "base/Failure.h"
#include "host/com/ComObjects.h"

namespace vantrel::test {
namespace {

using host::com::ComSession;
using Microsoft::WRL::ComPtr;

constexpr DISPID kActiveSpaceId = 7;
constexpr DISPID kMSpaceId = 8;
constexpr DISPID kActivePViewportId = 9;
constexpr DISPID kRegenId = 10;
constexpr DISPID kApplicationId = 11;
constexpr DISPID kZoomScaledId = 20;
constexpr DISPID kActiveDocumentId = 21;
constexpr DISPID kZoomExtentsId = 22;
constexpr DISPID kObjectNameId = 30;
constexpr DISPID kCustomScaleId = 31;

HRESULT Succeed(const DISPPARAMS&, VARIANT*, EXCEPINFO*) { return S_OK; }

class InvokeTest : public ComTest {
protected:
    void SetUp() override {
        ComTest::SetUp();
        application.Property(L"ActiveDocument", kActiveDocumentId, Object(&document));
        application.Member(L"ZoomScaled", kZoomScaledId, Succeed);
        application.Member(L"ZoomExtents", kZoomExtentsId, Succeed);
        document.Property(L"ActiveSpace", kActiveSpaceId, Integer(1));
        document.Property(L"MSpace", kMSpaceId, Empty());
        document.Property(L"ActivePViewport", kActivePViewportId, Object(&viewport));
        document.Property(L"Application", kApplicationId, Object(&application));
        document.Member(L"Regen", kRegenId, Succeed);
        viewport.Property(L"ObjectName", kObjectNameId, Text(L"AcDbViewport"));
        viewport.Property(L"CustomScale", kCustomScaleId, Real(1.0 / 48));
        application.ClearLog();
        document.ClearLog();
    }
    void TearDown() override {
        EXPECT_EQ(application.References(), 0);
        EXPECT_EQ(document.References(), 0);
        EXPECT_EQ(viewport.References(), 0);
        ComTest::TearDown();
    }

    std::shared_ptr<host::Application> App() { return host::com::WrapApplication(&application, session); }
    std::shared_ptr<host::Document> Doc() { return host::com::WrapDocument(&document, session); }

    std::shared_ptr<ComSession> session = std::make_shared<ComSession>();
    StubDispatch application;
    StubDispatch document;
    StubDispatch viewport;
};

TEST_F(InvokeTest, MethodArgumentsArriveLastFirstWithoutNamedArguments) {
    App()->ZoomScaled(0.02, 2);
    ASSERT_EQ(application.Calls().size(), 1U);
    const ReceivedCall& call = application.Calls()[0];
    EXPECT_EQ(call.id, kZoomScaledId);
    EXPECT_EQ(call.flags, DISPATCH_METHOD);
    ASSERT_EQ(call.arguments.size(), 2U);
    EXPECT_EQ(call.arguments[0].type, VT_I4);
    EXPECT_EQ(call.arguments[0].integer, 2);
    EXPECT_EQ(call.arguments[1].type, VT_R8);
    EXPECT_EQ(call.arguments[1].real, 0.02);
    EXPECT_TRUE(call.named.empty());
    EXPECT_TRUE(call.hadExcepInfo);
}

TEST_F(InvokeTest, PutsCarryThePropertyPutNamedArgument) {
    struct Case {
        const char* name;
        std::function<void(host::Document&)> put;
        DISPID id;
        ReceivedArgument expected;
    };
    const Case cases[] = {
        {"ActiveSpace = 0", [](host::Document& d) { d.SetActiveSpace(0); }, kActiveSpaceId, {VT_I4, 0, 0, 0, nullptr}},
        {"MSpace = true",
         [](host::Document& d) { d.SetMSpace(true); },
         kMSpaceId,
         {VT_BOOL, 0, 0, VARIANT_TRUE, nullptr}},
        {"MSpace = false",
         [](host::Document& d) { d.SetMSpace(false); },
         kMSpaceId,
         {VT_BOOL, 0, 0, VARIANT_FALSE, nullptr}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        document.ClearLog();
        c.put(*Doc());
        ASSERT_EQ(document.Calls().size(), 1U);
        const ReceivedCall& call = document.Calls()[0];
        EXPECT_EQ(call.id, c.id);
        EXPECT_EQ(call.flags, DISPATCH_PROPERTYPUT);
        ASSERT_EQ(call.named.size(), 1U);
        EXPECT_EQ(call.named[0], DISPID_PROPERTYPUT);
        ASSERT_EQ(call.arguments.size(), 1U);
        EXPECT_EQ(call.arguments[0].type, c.expected.type);
        EXPECT_EQ(call.arguments[0].integer, c.expected.integer);
        EXPECT_EQ(call.arguments[0].boolean, c.expected.boolean);
        EXPECT_FALSE(call.wantedResult);
    }
}

TEST_F(InvokeTest, ActivatingAViewportPassesTheViewportObject) {
    {
        auto doc = Doc();
        auto active = doc->ActivePViewport();
        document.ClearLog();
        doc->SetActivePViewport(*active);
        ASSERT_EQ(document.Calls().size(), 1U);
        const ReceivedCall& call = document.Calls()[0];
        EXPECT_EQ(call.flags, DISPATCH_PROPERTYPUT);
        ASSERT_EQ(call.arguments.size(), 1U);
        EXPECT_EQ(call.arguments[0].type, VT_DISPATCH);
        EXPECT_EQ(call.arguments[0].object, static_cast<IDispatch*>(&viewport));
        ASSERT_EQ(call.named.size(), 1U);
        EXPECT_EQ(call.named[0], DISPID_PROPERTYPUT);
    }
    EXPECT_EQ(viewport.References(), 0);
}

class ForeignEntity final : public host::Entity {
public:
    std::string ObjectName() override { return std::string(host::kViewportObjectName); }
    double CustomScale() override { return 1; }
    bool DisplayLocked() override { return false; }
    void Display(bool) override {}
};

TEST_F(InvokeTest, ActivatingAnEntityOfAnotherHostFailsWithoutCallingTheHost) {
    ForeignEntity foreign;
    try {
        Doc()->SetActivePViewport(foreign);
        FAIL() << "no failure";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.Number(), status::kInvalidArgument);
        EXPECT_FALSE(failure.Description().empty());
    }
    EXPECT_TRUE(document.Calls().empty());
}

TEST_F(InvokeTest, ResultsConvertToTheTypeTheModelPromises) {
    viewport.Property(L"CustomScale", kCustomScaleId, Integer(2));
    document.Property(L"ActiveSpace", kActiveSpaceId, Real(1.0));
    EXPECT_EQ(Doc()->ActivePViewport()->CustomScale(), 2.0);
    EXPECT_EQ(Doc()->ActiveSpace(), 1);
    EXPECT_EQ(Doc()->ActivePViewport()->ObjectName(), "AcDbViewport");
}

TEST_F(InvokeTest, ResultsThatDoNotConvertAreTypeMismatchFailures) {
    const Text notANumber(L"not a number");
    const VARIANT values[] = {Empty(), Object(&application), notANumber};
    for (const VARIANT& value : values) {
        SCOPED_TRACE(value.vt);
        viewport.Property(L"CustomScale", kCustomScaleId, value);
        document.Property(L"ActiveSpace", kActiveSpaceId, value);
        try {
            Doc()->ActivePViewport()->CustomScale();
            ADD_FAILURE() << "CustomScale did not fail";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.Number(), status::kTypeMismatch);
        }
        try {
            Doc()->ActiveSpace();
            ADD_FAILURE() << "ActiveSpace did not fail";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.Number(), status::kTypeMismatch);
        }
    }
    viewport.Property(L"CustomScale", kCustomScaleId, Empty());
    document.Property(L"ActiveSpace", kActiveSpaceId, Empty());
}

TEST_F(InvokeTest, AnActiveDocumentThatIsNotAnObjectIsNotADocument) {
    const VARIANT values[] = {Empty(), Integer(5), Object(nullptr)};
    for (const VARIANT& value : values) {
        SCOPED_TRACE(value.vt);
        application.Property(L"ActiveDocument", kActiveDocumentId, value);
        try {
            App()->ActiveDocument();
            ADD_FAILURE() << "no failure";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.Number(), status::kTypeMismatch);
            EXPECT_NE(failure.Description().find("not a document"), std::string::npos);
        }
    }
}

// Host exceptions, as the host raises them, and what the program must show.
struct ExceptionCase {
    const char* name;
    HRESULT returned;
    SCODE scode;
    WORD wCode;
    const wchar_t* description;
    bool deferred;
    std::int32_t number;
    std::string text;  // empty: any non-empty text
};

ExceptionCase deferredCase;  // what the deferred fill-in writes

HRESULT STDAPICALLTYPE FillDeferred(EXCEPINFO* info) {
    info->scode = deferredCase.scode;
    info->wCode = deferredCase.wCode;
    info->bstrDescription = ::SysAllocString(deferredCase.description);
    info->bstrSource = ::SysAllocString(L"AutoCAD.Application");
    return S_OK;
}

TEST_F(InvokeTest, HostExceptionsBecomeFailuresWithTheHostsNumberAndText) {
    const ExceptionCase cases[] = {
        {"scode and description", DISP_E_EXCEPTION, static_cast<SCODE>(0x8021003C), 0, L"No active document", false,
         StatusCode(0x8021003C), "No active document"},
        {"deferred fill-in", DISP_E_EXCEPTION, static_cast<SCODE>(0x80200001), 0, L"Invalid input \u00e9", true,
         StatusCode(0x80200001), "Invalid input \xc3\xa9"},
        {"wCode only", DISP_E_EXCEPTION, 0, 1001, L"Custom error", false, StatusCode(0x80040200 + 1001),
         "Custom error"},
        {"no code, no text", DISP_E_EXCEPTION, 0, 0, nullptr, false, status::kDispException, ""},
        {"scode without text", DISP_E_EXCEPTION, E_OUTOFMEMORY, 0, nullptr, false, status::kOutOfMemory, ""},
        {"plain HRESULT", RPC_E_DISCONNECTED, 0, 0, nullptr, false, status::kDisconnected, ""},
    };
    for (const ExceptionCase& c : cases) {
        SCOPED_TRACE(c.name);
        deferredCase = c;
        application.Member(L"ZoomExtents", kZoomExtentsId,
                           [&c](const DISPPARAMS&, VARIANT*, EXCEPINFO* info) -> HRESULT {
                               if (c.returned == DISP_E_EXCEPTION && info != nullptr) {
                                   if (c.deferred) {
                                       info->pfnDeferredFillIn = FillDeferred;
                                   } else {
                                       info->scode = c.scode;
                                       info->wCode = c.wCode;
                                       info->bstrSource = ::SysAllocString(L"AutoCAD.Application");
                                       if (c.description != nullptr)
                                           info->bstrDescription = ::SysAllocString(c.description);
                                       info->bstrHelpFile = ::SysAllocString(L"acad.chm");
                                   }
                               }
                               return c.returned;
                           });
        try {
            App()->ZoomExtents();
            ADD_FAILURE() << "no failure";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.Number(), c.number);
            if (c.text.empty()) {
                EXPECT_FALSE(failure.Description().empty());
            } else {
                EXPECT_EQ(failure.Description(), c.text);
            }
        }
    }
}

TEST_F(InvokeTest, AMemberTheHostDoesNotKnowFailsWithItsLookupCode) {
    StubDispatch bare;
    try {
        host::com::WrapApplication(&bare, session)->ZoomExtents();
        FAIL() << "no failure";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.Number(), status::kUnknownName);
        EXPECT_NE(failure.Description().find("ZoomExtents"), std::string::npos);
    }
    EXPECT_EQ(bare.References(), 0);
}

TEST_F(InvokeTest, EachMemberIsLookedUpOncePerTypeOfObject) {
    StubDispatch otherDocument;
    otherDocument.Property(L"ActiveSpace", kActiveSpaceId, Integer(0));
    otherDocument.ClearLog();

    EXPECT_EQ(Doc()->ActiveSpace(), 1);
    EXPECT_EQ(document.Lookups(), 1);
    EXPECT_EQ(Doc()->ActiveSpace(), 1);
    EXPECT_EQ(document.Lookups(), 1);
    // Another object of the same type, through the same host: no lookup.
    EXPECT_EQ(host::com::WrapDocument(&otherDocument, session)->ActiveSpace(), 0);
    EXPECT_EQ(otherDocument.Lookups(), 0);
    EXPECT_EQ(otherDocument.Calls().size(), 1U);
    // An object of another type looks up its own members.
    App()->ZoomExtents();
    EXPECT_EQ(application.Lookups(), 1);
    // A new host (another session) starts afresh.
    EXPECT_EQ(host::com::WrapDocument(&otherDocument, std::make_shared<ComSession>())->ActiveSpace(), 0);
    EXPECT_EQ(otherDocument.Lookups(), 1);
}

TEST_F(InvokeTest, ACachedIdThatAnObjectDoesNotKnowIsLookedUpAgain) {
    StubDispatch otherDocument;
    otherDocument.Property(L"ActiveSpace", kActiveSpaceId + 100, Integer(0));
    otherDocument.ClearLog();
    EXPECT_EQ(Doc()->ActiveSpace(), 1);
    EXPECT_EQ(host::com::WrapDocument(&otherDocument, session)->ActiveSpace(), 0);
    EXPECT_EQ(otherDocument.Lookups(), 1);
    EXPECT_EQ(otherDocument.Calls().size(), 2U);
    EXPECT_EQ(otherDocument.References(), 0);
}

TEST_F(InvokeTest, EveryReferenceComesBackAfterAWholeSequence) {
    {
        auto doc = App()->ActiveDocument();
        EXPECT_GT(document.References(), 0);
        doc->SetActiveSpace(0);
        doc->Application()->ZoomExtents();
        doc->SetMSpace(true);
        auto active = doc->ActivePViewport();
        EXPECT_EQ(active->ObjectName(), "AcDbViewport");
        EXPECT_EQ(active->CustomScale(), 1.0 / 48);
        doc->SetActivePViewport(*active);
        doc->Regen(1);
    }
    // TearDown checks that all three stubs are back to no reference.
}

}  // namespace
}  // namespace vantrel::test

namespace vantrel::test {
namespace {

// Counts the task-allocator blocks allocated while it is registered and not
// yet freed. BSTRs come from that allocator once the string cache is off.
class CountingMallocSpy final : public IMallocSpy {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IMallocSpy)) {
            *object = static_cast<IMallocSpy*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
    void* STDMETHODCALLTYPE PostAlloc(void* block) override {
        if (block != nullptr) {
            ++allocations;
            ++outstanding;
        }
        return block;
    }
    void* STDMETHODCALLTYPE PreFree(void* block, BOOL spied) override {
        if (block != nullptr && spied) --outstanding;
        return block;
    }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T size, void** newBlock, BOOL) override {
        *newBlock = block;
        return size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* block, BOOL) override { return block; }
    void* STDMETHODCALLTYPE PreGetSize(void* block, BOOL) override { return block; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* block, BOOL) override { return block; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}

    int allocations = 0;
    int outstanding = 0;
};

CountingMallocSpy spy;  // static: COM may keep it until its blocks are freed

TEST_F(InvokeTest, TheExceptionsThreeStringsAreFreed) {
    // Without the string cache every BSTR goes to and from the task allocator.
    using SetOaNoCacheFunction = void(WINAPI*)();
    const auto setOaNoCache = reinterpret_cast<SetOaNoCacheFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"oleaut32.dll"), "SetOaNoCache")));
    if (setOaNoCache == nullptr) GTEST_SKIP() << "this oleaut32 has no SetOaNoCache";
    setOaNoCache();

    deferredCase = {"deferred", DISP_E_EXCEPTION, static_cast<SCODE>(0x80200001), 0, L"Deferred text", true, 0, ""};
    for (const bool deferred : {false, true}) {
        SCOPED_TRACE(deferred);
        application.Member(L"ZoomExtents", kZoomExtentsId,
                           [deferred](const DISPPARAMS&, VARIANT*, EXCEPINFO* info) -> HRESULT {
                               if (deferred) {
                                   info->pfnDeferredFillIn = FillDeferred;
                               } else {
                                   info->scode = static_cast<SCODE>(0x8021003C);
                                   info->bstrSource = ::SysAllocString(L"AutoCAD.Application");
                                   info->bstrDescription = ::SysAllocString(L"Immediate text");
                                   info->bstrHelpFile = ::SysAllocString(L"acad.chm");
                               }
                               return DISP_E_EXCEPTION;
                           });
        auto app = App();
        spy = CountingMallocSpy{};
        ASSERT_TRUE(SUCCEEDED(::CoRegisterMallocSpy(&spy)));
        std::string text;
        try {
            app->ZoomExtents();
        } catch (const Failure& failure) {
            text = failure.Description();
        }
        const HRESULT revoked = ::CoRevokeMallocSpy();
        EXPECT_EQ(text, deferred ? "Deferred text" : "Immediate text");
        EXPECT_GE(spy.allocations, 2);
        EXPECT_EQ(spy.outstanding, 0);
        EXPECT_TRUE(SUCCEEDED(revoked));
    }
}

}  // namespace
}  // namespace vantrel::test
