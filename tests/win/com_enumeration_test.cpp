// Paper space through _NewEnum / IEnumVARIANT: every item once, in order,
// fetched in batches, with odd items and failing enumerators handled cleanly.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "com_stubs.h"
#include "base/Failure.h"
#include "host/com/ComObjects.h"

namespace vantrel::test {
namespace {

using host::com::ComSession;

constexpr DISPID kObjectNameId = 30;

class EnumerationTest : public ComTest {
protected:
    void SetUp() override {
        ComTest::SetUp();
        paperSpace.Member(L"_NewEnum", DISPID_NEWENUM,
                          [this](const DISPPARAMS&, VARIANT* result, EXCEPINFO*) -> HRESULT {
                              if (result == nullptr) return E_POINTER;
                              if (newEnumGivesNothing) return S_OK;
                              result->vt = VT_UNKNOWN;
                              result->punkVal = new StubEnum(items, log);
                              return S_OK;
                          });
    }
    void TearDown() override {
        for (auto& item : items) {
            if (item.vt != VT_DISPATCH) ::VariantClear(&item);
        }
        EXPECT_EQ(log.alive, 0) << "an enumerator was not released";
        EXPECT_EQ(paperSpace.References(), 0);
        for (const auto& entity : entities) EXPECT_EQ(entity->References(), 0);
        ComTest::TearDown();
    }

    // Adds n entities named by `name(i)` to the collection.
    void AddEntities(int n, const std::function<std::wstring(int)>& name) {
        for (int i = 0; i < n; ++i) {
            auto entity = std::make_unique<StubDispatch>();
            const std::wstring text = name(i);
            entity->Property(L"ObjectName", kObjectNameId, Text(text.c_str()));
            items.push_back(Object(entity.get()));
            entities.push_back(std::move(entity));
        }
    }

    std::vector<std::string> Names() {
        std::vector<std::string> names;
        auto all = host::com::WrapEntityCollection(&paperSpace, session)->Enumerate();
        while (auto entity = all->Next()) names.push_back(entity->ObjectName());
        return names;
    }

    std::shared_ptr<ComSession> session = std::make_shared<ComSession>();
    StubDispatch paperSpace;
    StubEnum::Log log;
    std::vector<VARIANT> items;
    std::vector<std::unique_ptr<StubDispatch>> entities;
    bool newEnumGivesNothing = false;
};

std::wstring Numbered(int i) { return L"AcDbLine" + std::to_wstring(i); }

TEST_F(EnumerationTest, EveryItemArrivesOnceInOrderFetchedInBatches) {
    struct Case {
        int items;
        std::size_t nextCalls;
    };
    const Case cases[] = {{0, 1}, {1, 1}, {63, 1}, {64, 2}, {65, 2}, {130, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.items);
        items.clear();
        entities.clear();
        log.asked.clear();
        AddEntities(c.items, Numbered);
        std::vector<std::string> expected;
        for (int i = 0; i < c.items; ++i) expected.push_back("AcDbLine" + std::to_string(i));
        EXPECT_EQ(Names(), expected);
        EXPECT_EQ(log.asked.size(), c.nextCalls);
        for (ULONG asked : log.asked) EXPECT_EQ(asked, host::com::kEnumerationBatch);
        EXPECT_EQ(log.alive, 0);
        for (const auto& entity : entities) EXPECT_EQ(entity->References(), 0);
    }
}

TEST_F(EnumerationTest, AnEnumeratorThatGivesFewerThanAskedHasEnded) {
    AddEntities(10, Numbered);
    log.shortBatch = 4;
    const std::vector<std::string> names = Names();
    ASSERT_EQ(names.size(), 4U);
    EXPECT_EQ(names[3], "AcDbLine3");
    EXPECT_EQ(log.asked.size(), 1U);
}

TEST_F(EnumerationTest, AnItemThatIsNotAnObjectFailsCleanlyAndTheRestFollow) {
    AddEntities(1, [](int) { return std::wstring(L"AcDbViewport"); });
    items.push_back(Integer(42));
    items.push_back(Empty());
    items.push_back(Object(nullptr));
    AddEntities(1, [](int) { return std::wstring(L"AcDbText"); });

    auto all = host::com::WrapEntityCollection(&paperSpace, session)->Enumerate();
    EXPECT_EQ(all->Next()->ObjectName(), "AcDbViewport");
    for (int i = 0; i < 3; ++i) {
        auto odd = all->Next();
        ASSERT_NE(odd, nullptr);
        try {
            odd->ObjectName();
            ADD_FAILURE() << "item " << i << " gave a name";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.Number(), status::kTypeMismatch);
        }
        EXPECT_THROW(odd->Display(true), Failure);
    }
    EXPECT_EQ(all->Next()->ObjectName(), "AcDbText");
    EXPECT_EQ(all->Next(), nullptr);
}

TEST_F(EnumerationTest, ItemsNotYetTakenAreReleasedWithTheEnumerator) {
    AddEntities(100, Numbered);
    {
        auto all = host::com::WrapEntityCollection(&paperSpace, session)->Enumerate();
        auto first = all->Next();
        EXPECT_EQ(first->ObjectName(), "AcDbLine0");
        EXPECT_GT(entities[10]->References(), 0);  // fetched, not yet taken
    }
    // TearDown: every entity and the enumerator back to no reference.
}

TEST_F(EnumerationTest, ObjectNameIsLookedUpOnceForAllItems) {
    AddEntities(5, Numbered);
    Names();
    int lookups = 0;
    for (const auto& entity : entities) lookups += entity->Lookups();
    EXPECT_EQ(lookups, 1);
}

TEST_F(EnumerationTest, ACollectionWithoutAnEnumeratorFails) {
    newEnumGivesNothing = true;
    EXPECT_THROW(host::com::WrapEntityCollection(&paperSpace, session)->Enumerate(), Failure);
}

TEST_F(EnumerationTest, AFailingNextFailsWithItsCode) {
    AddEntities(3, Numbered);
    log.failWith = E_OUTOFMEMORY;
    auto all = host::com::WrapEntityCollection(&paperSpace, session)->Enumerate();
    try {
        all->Next();
        FAIL() << "no failure";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.Number(), status::kOutOfMemory);
    }
}

TEST_F(EnumerationTest, TheNewEnumCallIsAPropertyGetOrMethodByItsFixedId) {
    Names();
    ASSERT_EQ(paperSpace.Calls().size(), 1U);
    EXPECT_EQ(paperSpace.Calls()[0].id, DISPID_NEWENUM);
    EXPECT_EQ(paperSpace.Calls()[0].flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    EXPECT_EQ(paperSpace.Lookups(), 0);
}

}  // namespace
}  // namespace vantrel::test
