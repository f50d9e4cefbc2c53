// Automation objects for the COM link's tests, counting their references
// with the program's own ComObject. Each call they receive is logged as one
// line, "stub.Member FLAGS(arguments, last first) named PROPERTYPUT -> result".
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "win/ComObject.h"

namespace vantrel::test {

using Handler = std::function<HRESULT(const DISPPARAMS&, VARIANT* result, EXCEPINFO*)>;
inline const Handler kDone = [](const DISPPARAMS&, VARIANT*, EXCEPINFO*) { return S_OK; };
inline std::vector<std::string> calls;  // of all stubs

inline VARIANT Value(VARTYPE type, LONGLONG bits = 0) {  // a scalar or a borrowed object
    VARIANT v{};
    v.vt = type;
    v.llVal = bits;
    return v;
}
inline VARIANT Object(IDispatch* object) { return Value(VT_DISPATCH, reinterpret_cast<LONGLONG>(object)); }
inline Handler Gives(VARIANT value) {
    return [value](const DISPPARAMS&, VARIANT* result, EXCEPINFO*) mutable { return ::VariantCopy(result, &value); };
}
inline Handler Gives(const std::wstring& text) {
    return [text](const DISPPARAMS&, VARIANT* result, EXCEPINFO*) {
        *result = Value(VT_BSTR, reinterpret_cast<LONGLONG>(::SysAllocString(text.c_str())));
        return S_OK;
    };
}

// Answered by stubs only, so that a stub can name the stubs it is passed.
inline constexpr IID kStubIid = {0x5f1c8a3e, 0x2b7d, 0x4e90, {0x9a, 0x61, 0x3c, 0x0e, 0x7b, 0x52, 0xd4, 0x18}};

// IDispatch over a table of members. It starts with two references, the
// test's and a guard, so that a Release too many by the code under test
// shows as a count instead of a deleted object.
class StubDispatch final : public win::ComObject<IDispatch> {
public:
    explicit StubDispatch(std::string name) : name_(std::move(name)) { AddRef(); }

    // Ids count up in the order members are first given, unless `id` is set.
    void Member(const std::string& member, Handler handler, DISPID id = 0) {
        const std::wstring wide(member.begin(), member.end());
        if (id == 0) id = ids_.count(wide) != 0 ? ids_[wide] : static_cast<DISPID>(ids_.size() + 1);
        ids_[wide] = id = member == "_NewEnum" ? DISPID_NEWENUM : id;
        members_[id] = {member, std::move(handler)};
    }
    // Get gives a copy of the value, put keeps the new one.
    void Property(const std::string& member, VARIANT value, DISPID id = 0) {
        auto kept = std::make_shared<VARIANT>(value);
        Member(
            member,
            [kept](const DISPPARAMS& in, VARIANT* result, EXCEPINFO*) {
                if (in.cNamedArgs == 0) return ::VariantCopy(result, kept.get());
                *kept = in.rgvarg[0];
                return S_OK;
            },
            id);
    }
    int lookups = 0;

    // Expects the code under test to hold no reference any more, then frees
    // the stub (one with another count is left: someone may still use it).
    void ExpectAllBack() {
        const ULONG count = (AddRef(), Release());
        EXPECT_EQ(count, 2U) << name_ << " has references besides the test's";
        if (count == 2) Release(), Release();
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override {
        ++lookups;
        const auto found = ids_.find(names[0]);
        ids[0] = found == ids_.end() ? DISPID_UNKNOWN : found->second;
        return found == ids_.end() ? DISP_E_UNKNOWNNAME : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* in, VARIANT* result,
                                     EXCEPINFO* exception, UINT*) override {
        const char* kFlags[] = {"", "METHOD", "GET", "METHOD|GET", "PUT"};
        const auto member = members_.find(id);
        std::ostringstream call;
        call << name_ << '.' << (member == members_.end() ? "unknown" : member->second.first) << ' '
             << kFlags[flags & 7] << '(';
        for (UINT i = 0; i < in->cArgs; ++i) {
            const VARIANT& v = in->rgvarg[i];
            StubDispatch* stub = nullptr;
            call << (i == 0 ? "" : ", ");
            if (v.vt == VT_I4) call << "i4 " << v.lVal;
            if (v.vt == VT_R8) call << "r8 " << v.dblVal;
            if (v.vt == VT_BOOL) call << "bool " << v.boolVal;
            if (v.vt == VT_DISPATCH &&
                SUCCEEDED(v.pdispVal->QueryInterface(kStubIid, reinterpret_cast<void**>(&stub)))) {
                call << stub->name_;
                stub->Release();
            }
        }
        call << ')'
             << (in->cNamedArgs == 1 && in->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT ? " named PROPERTYPUT" : "")
             << (result != nullptr ? " -> result" : "") << (exception == nullptr ? " without EXCEPINFO" : "");
        calls.push_back(call.str());
        return member == members_.end() ? DISP_E_MEMBERNOTFOUND : member->second.second(*in, result, exception);
    }

private:
    ~StubDispatch() override = default;
    void* FindInterface(REFIID iid) noexcept override { return iid == kStubIid ? this : ComObject::FindInterface(iid); }

    std::string name_;
    std::map<std::wstring, DISPID> ids_;
    std::map<DISPID, std::pair<std::string, Handler>> members_;
};

// An enumerator over borrowed items, as a collection's _NewEnum makes one.
class StubEnum final : public win::ComObject<IEnumVARIANT> {
public:
    struct Log {
        int alive = 0;
        std::vector<ULONG> asked;
        ULONG most = ~0UL;    // Next hands out at most this many, with S_OK
        HRESULT fail = S_OK;  // Next fails with this
    };
    StubEnum(const std::vector<VARIANT>& items, Log& log) : items_(items), log_(log) { ++log_.alive; }

    HRESULT STDMETHODCALLTYPE Next(ULONG wanted, VARIANT* out, ULONG* fetched) override {
        log_.asked.push_back(wanted);
        for (*fetched = 0; *fetched < wanted && *fetched < log_.most && next_ < items_.size(); ++*fetched) {
            ::VariantInit(&out[*fetched]);
            ::VariantCopy(&out[*fetched], &items_[next_++]);
        }
        return FAILED(log_.fail) ? log_.fail : *fetched == wanted || log_.most != ~0UL ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

private:
    ~StubEnum() override { --log_.alive; }
    std::vector<VARIANT> items_;
    Log& log_;
    std::size_t next_ = 0;
};

inline std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const auto& line : lines) all += (all.empty() ? "" : "; ") + line;
    return all;
}

// Tests run on an STA, as the window's thread does.
class ComTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override { ::CoUninitialize(); }
};

}  // namespace vantrel::test
