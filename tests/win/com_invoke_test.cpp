// The host model over IDispatch, against stub automation objects: how each
// call travels, how failures become vantrel::Failure, that every reference
// and every string comes back, and paper space through IEnumVARIANT.
#include <bit>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "com_stubs.h"
#include "host/Failure.h"
#include "host/com/ComObjects.h"

namespace vantrel::test {
namespace {

// Counts the task-allocator blocks not yet freed that were allocated while
// it was registered: the BSTRs, once the string cache is off.
class AllocationSpy final : public win::ComObject<IMallocSpy> {
public:
    int outstanding = 0;
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
    void* STDMETHODCALLTYPE PostAlloc(void* block) override { return outstanding += block != nullptr, block; }
    void* STDMETHODCALLTYPE PreFree(void* block, BOOL spied) override {
        return outstanding -= block != nullptr && spied, block;
    }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T size, void** newBlock, BOOL) override {
        return *newBlock = block, size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* block, BOOL) override { return block; }
    void* STDMETHODCALLTYPE PreGetSize(void* block, BOOL) override { return block; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* block, BOOL) override { return block; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}
};

// A viewport of another host model.
struct Foreign final : host::Entity {
    std::string ObjectName() override { return "AcDbViewport"; }
    double CustomScale() override { return 1; }
    bool DisplayLocked() override { return false; }
    void Display(bool) override {}
} foreign;

// A host exception: the EXCEPINFO the host fills in, now or when asked.
struct Raised {
    std::uint32_t scode;
    WORD wCode;
    const wchar_t* description;
};
Raised deferred;

HRESULT STDAPICALLTYPE Fill(EXCEPINFO* info) {
    *info = {deferred.wCode,
             0,
             ::SysAllocString(L"AutoCAD.Application"),
             deferred.description ? ::SysAllocString(deferred.description) : nullptr,
             ::SysAllocString(L"acad.chm"),
             0,
             nullptr,
             nullptr,
             static_cast<SCODE>(deferred.scode)};
    return S_OK;
}
Handler Raise(Raised raised, bool later = false) {
    return [=](const DISPPARAMS&, VARIANT*, EXCEPINFO* info) {
        deferred = raised;
        if (later) info->pfnDeferredFillIn = Fill;
        if (!later) Fill(info);
        return DISP_E_EXCEPTION;
    };
}

class ComLinkTest : public ComTest {
public:  // to the cases' lambdas
    void SetUp() override {
        ComTest::SetUp();
        calls.clear();
        application->Property("ActiveDocument", Object(document));
        application->Member("ZoomScaled", kDone);
        application->Member("ZoomExtents", kDone);
        document->Property("ActiveSpace", Value(VT_I4, 1));
        document->Property("MSpace", Value(VT_BOOL));
        document->Property("ActivePViewport", Object(viewport));
        document->Property("Application", Object(application));
        document->Property("PaperSpace", Object(paperSpace));
        document->Member("Regen", kDone);
        viewport->Member("ObjectName", Gives(L"AcDbViewport"));
        viewport->Property("CustomScale", Value(VT_R8, std::bit_cast<LONGLONG>(1.0 / 48)));
        viewport->Member("Display", kDone);
        other->Property("ActiveSpace", Value(VT_I4, 0));
        renumbered->Property("ActiveSpace", Value(VT_I4, 0), 99);
        paperSpace->Member("_NewEnum", [this](const DISPPARAMS&, VARIANT* result, EXCEPINFO*) {
            if (!noEnumerator) *result = Value(VT_UNKNOWN, reinterpret_cast<LONGLONG>(new StubEnum(items, log)));
            return S_OK;
        });
    }
    void TearDown() override {
        for (StubDispatch* stub : {application, document, viewport, paperSpace, other, renumbered}) {
            stub->ExpectAllBack();
        }
        EXPECT_EQ(log.alive, 0) << "an enumerator was not released";
        ComTest::TearDown();
    }
    std::shared_ptr<host::Application> App() { return host::com::WrapApplication(application, session); }
    std::shared_ptr<host::Document> Doc() { return host::com::WrapDocument(document, session); }
    void Zoom(Handler zoom) {
        application->Member("ZoomExtents", std::move(zoom));
        App()->ZoomExtents();
    }
    void Document(VARIANT value) {
        application->Property("ActiveDocument", value);
        App()->ActiveDocument();
    }
    void Space(Handler get) {
        document->Member("ActiveSpace", std::move(get));
        Doc()->ActiveSpace();
    }

    std::shared_ptr<host::com::ComSession> session = std::make_shared<host::com::ComSession>();
    StubDispatch* application = new StubDispatch("application");
    StubDispatch* document = new StubDispatch("document");
    StubDispatch* viewport = new StubDispatch("viewport");
    StubDispatch* paperSpace = new StubDispatch("paperSpace");
    StubDispatch* other = new StubDispatch("other");            // a second document
    StubDispatch* renumbered = new StubDispatch("renumbered");  // one whose ids differ
    std::vector<VARIANT> items;
    StubEnum::Log log;
    bool noEnumerator = false;
};

// Each call is one Invoke with the arguments last to first, DISPID_PROPERTYPUT
// named on puts and an EXCEPINFO; a failure carries the host's number and text.
TEST_F(ComLinkTest, CallsTravelAsTheHostExpectsAndFailWithItsNumberAndText) {
    using SetOaNoCache = void(WINAPI*)();
    reinterpret_cast<SetOaNoCache>(::GetProcAddress(::GetModuleHandleW(L"oleaut32.dll"), "SetOaNoCache"))();
    const struct {
        std::function<void(ComLinkTest&)> call;
        const char* calls;
        std::int32_t failure = 0;
        const char* text = nullptr;
    } cases[] = {
        {[](auto& t) { t.App()->ZoomScaled(0.02, 2); }, "application.ZoomScaled METHOD(i4 2, r8 0.02) -> result"},
        {[](auto& t) { EXPECT_EQ(t.Doc()->ActiveSpace(), 1); }, "document.ActiveSpace GET() -> result"},
        {[](auto& t) { t.Doc()->SetActiveSpace(0); }, "document.ActiveSpace PUT(i4 0) named PROPERTYPUT"},
        {[](auto& t) { t.Doc()->SetMSpace(true); }, "document.MSpace PUT(bool -1) named PROPERTYPUT"},
        {[](auto& t) { t.Doc()->Regen(1); }, "document.Regen METHOD(i4 1) -> result"},
        {[](auto& t) { t.Doc()->SetActivePViewport(*t.Doc()->ActivePViewport()); },
         "document.ActivePViewport GET() -> result; document.ActivePViewport PUT(viewport) named PROPERTYPUT"},
        {[](auto& t) { EXPECT_EQ(t.Doc()->ActivePViewport()->CustomScale(), 1.0 / 48); },
         "document.ActivePViewport GET() -> result; viewport.CustomScale GET() -> result"},
        {[](auto& t) { t.Doc()->Application()->ZoomExtents(); },
         "document.Application GET() -> result; application.ZoomExtents METHOD() -> result"},
        {[](auto& t) { t.Doc()->PaperSpace()->Enumerate(); },
         "document.PaperSpace GET() -> result; paperSpace._NewEnum METHOD|GET() -> result"},
        // Objects of one type share their member ids; a new session looks them up again.
        {[](auto& t) { host::com::WrapDocument(t.other, t.session)->ActiveSpace(); },
         "other.ActiveSpace GET() -> result"},
        {[](auto& t) { host::com::WrapDocument(t.other, std::make_shared<host::com::ComSession>())->ActiveSpace(); },
         "other.ActiveSpace GET() -> result"},
        // Failures: the host's number and text, else the system's text (a whole sentence) or a fixed one.
        {[](auto& t) {
             t.Zoom(Raise({0x8021003C, 0, L"No active document"}));
         },
         nullptr, status::kNoActiveDocument, "No active document"},
        {[](auto& t) {
             t.Zoom(Raise({0x80200001, 0, L"Invalid input \u00e9"}, true));
         },
         nullptr, StatusCode(0x80200001), "Invalid input \xc3\xa9"},
        {[](auto& t) {
             t.Zoom(Raise({0, 1001, L"Custom"}));
         },
         nullptr, StatusCode(0x80040200 + 1001), "Custom"},
        {[](auto& t) {
             t.Zoom(Raise({0, 0, nullptr}));
         },
         nullptr, status::kDispException},
        {[](auto& t) { t.Zoom([](auto&, auto*, auto*) { return E_OUTOFMEMORY; }); }, nullptr, status::kOutOfMemory},
        {[](auto& t) { t.Doc()->ActivePViewport()->DisplayLocked(); }, nullptr, status::kUnknownName,
         "(DisplayLocked)"},
        {[](auto& t) { t.Document(Value(VT_I4, 5)); }, nullptr, status::kTypeMismatch, "is not a document"},
        {[](auto& t) { t.Document(Object(nullptr)); }, nullptr, status::kTypeMismatch, "is not a document"},
        {[](auto& t) { t.Space(Gives(Value(VT_EMPTY))); }, nullptr, status::kTypeMismatch},
        {[](auto& t) { t.Space(Gives(Object(t.viewport))); }, nullptr, status::kTypeMismatch},
        {[](auto& t) { t.Space(Gives(L"paper")); }, nullptr, status::kTypeMismatch},
        {[](auto& t) { t.Doc()->SetActivePViewport(foreign); }, "", status::kInvalidArgument},
        // A cached id this object does not know: looked up again (last, as it changes the cache).
        {[](auto& t) { host::com::WrapDocument(t.renumbered, t.session)->ActiveSpace(); },
         "renumbered.unknown GET() -> result; renumbered.ActiveSpace GET() -> result"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        calls.clear();
        Microsoft::WRL::ComPtr<AllocationSpy> spy;
        spy.Attach(new AllocationSpy);
        ASSERT_TRUE(SUCCEEDED(::CoRegisterMallocSpy(spy.Get())));
        std::int32_t failure = 0;
        try {
            c.call(*this);
        } catch (const Failure& f) {
            failure = f.Number();
            const std::string& text = f.Description();
            EXPECT_TRUE(c.text != nullptr ? text.ends_with(c.text) : text == "Automation error" || text.ends_with('.'))
                << text;
        }
        ::CoRevokeMallocSpy();
        EXPECT_EQ(failure, c.failure) << Joined(calls);
        EXPECT_EQ(Joined(calls), c.calls != nullptr ? c.calls : Joined(calls));
        EXPECT_EQ(spy->outstanding, 0) << "strings left by " << Joined(calls);
    }
    EXPECT_EQ(document->lookups, 6) << "one per member and type";
    EXPECT_EQ(other->lookups, 1) << "only in the new session";
    EXPECT_EQ(renumbered->lookups, 1);
}

TEST_F(ComLinkTest, PaperSpaceComesInBatchesOf64UntilAShortOrFailedOne) {
    const std::string odd = "not an object";
    const struct {
        const char* name;
        int lines;
        bool oddItems;  // an empty item, a number and a null object after the first line
        ULONG most;
        HRESULT fail;
        std::size_t take;
        std::size_t names;
        std::size_t nextCalls;
        std::int32_t failure;
    } cases[] = {
        {"none", 0, false, ~0UL, S_OK, 999, 0, 1, 0},
        {"63", 63, false, ~0UL, S_OK, 999, 63, 1, 0},
        {"64", 64, false, ~0UL, S_OK, 999, 64, 2, 0},
        {"130", 130, false, ~0UL, S_OK, 999, 130, 3, 0},
        {"fewer than asked with S_OK", 10, false, 4, S_OK, 999, 4, 1, 0},
        {"the rest not taken", 100, false, ~0UL, S_OK, 1, 1, 1, 0},
        {"items that are not objects", 2, true, ~0UL, S_OK, 999, 5, 1, 0},
        {"a failing Next", 3, false, ~0UL, E_OUTOFMEMORY, 999, 0, 1, status::kOutOfMemory},
        {"no enumerator", 3, false, ~0UL, S_OK, 999, 0, 0, status::kTypeMismatch},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<StubDispatch*> lines;
        std::vector<std::string> expected;
        items.clear();
        for (int i = 0; i < c.lines; ++i) {
            lines.push_back(new StubDispatch("line"));
            lines.back()->Member("ObjectName", Gives(L"AcDbLine" + std::to_wstring(i)));
            // The second one as a plain IUnknown, as an enumerator may hand out items.
            items.push_back(Value(i == 1 ? VT_UNKNOWN : VT_DISPATCH, reinterpret_cast<LONGLONG>(lines.back())));
            expected.push_back("AcDbLine" + std::to_string(i));
            if (i == 0 && c.oddItems) items.insert(items.end(), {Value(VT_EMPTY), Value(VT_I4, 42), Object(nullptr)});
            if (i == 0 && c.oddItems) expected.insert(expected.end(), {odd, odd, odd});
        }
        expected.resize(c.names);
        log = {0, {}, c.most, c.fail};
        noEnumerator = c.failure == status::kTypeMismatch;
        std::vector<std::string> names;
        std::int32_t failure = 0;
        try {
            auto all = host::com::WrapEntityCollection(paperSpace, session)->Enumerate();
            for (auto entity = all->Next(); entity != nullptr && names.size() < c.take; entity = all->Next()) {
                try {
                    names.push_back(entity->ObjectName());
                } catch (const Failure& f) {
                    names.push_back(f.Number() == status::kTypeMismatch ? odd : f.Description());
                    EXPECT_THROW(entity->Display(true), Failure);
                }
            }
        } catch (const Failure& f) {
            failure = f.Number();
        }
        EXPECT_EQ(names, expected);
        EXPECT_EQ(failure, c.failure);
        EXPECT_EQ(log.asked, std::vector<ULONG>(c.nextCalls, host::com::kEnumerationBatch));
        int lookups = 0;
        for (StubDispatch* line : lines) lookups += line->lookups;
        EXPECT_LE(lookups, 1) << "ObjectName is looked up once for all entities";
        for (StubDispatch* line : lines) line->ExpectAllBack();
    }
}

}  // namespace
}  // namespace vantrel::test
