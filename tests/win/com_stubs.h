// In-process automation objects for the COM host link's tests: IDispatch over
// a small member table and an IEnumVARIANT, both counting their references so
// that a test can prove every reference it handed out came back.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <objbase.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vantrel::test {

// One argument as the stub received it (objects are not held, only compared).
struct ReceivedArgument {
    VARTYPE type = VT_EMPTY;
    double real = 0;
    LONG integer = 0;
    VARIANT_BOOL boolean = VARIANT_FALSE;
    IDispatch* object = nullptr;
};

struct ReceivedCall {
    DISPID id = DISPID_UNKNOWN;
    WORD flags = 0;
    std::vector<ReceivedArgument> arguments;  // as in DISPPARAMS: last argument first
    std::vector<DISPID> named;
    bool hadExcepInfo = false;
    bool wantedResult = false;
};

// The stub's part of a call: fill the result or the exception, return the HRESULT.
using MemberHandler = std::function<HRESULT(const DISPPARAMS& params, VARIANT* result, EXCEPINFO* exception)>;

// Owned by the test (not deleted on the last Release), so a test can read
// References() after the code under test let go: 0 means no leak and no
// extra release.
class StubDispatch final : public IDispatch {
public:
    void Member(const std::wstring& name, DISPID id, MemberHandler handler) {
        ids_[name] = id;
        handlers_[id] = std::move(handler);
    }
    // A property whose get returns a copy of `value` and whose put stores the
    // value. Objects are kept borrowed, so that References() counts only the
    // references held outside the stubs.
    void Property(const std::wstring& name, DISPID id, const VARIANT& value) {
        auto stored = std::make_shared<VARIANT>();
        ::VariantInit(stored.get());
        Store(*stored, value);
        values_.push_back(stored);
        Member(name, id, [stored](const DISPPARAMS& params, VARIANT* result, EXCEPINFO*) -> HRESULT {
            if (params.cNamedArgs == 1 && params.cArgs == 1) {
                Store(*stored, params.rgvarg[0]);
                return S_OK;
            }
            if (result == nullptr) return E_POINTER;
            return ::VariantCopy(result, stored.get());
        });
    }
    // Member ids stay, but lookups by name now answer `id` for `name`.
    void Renumber(const std::wstring& name, DISPID id) {
        const DISPID old = ids_.at(name);
        handlers_[id] = handlers_.at(old);
        handlers_.erase(old);
        ids_[name] = id;
    }

    ~StubDispatch() {
        for (auto& value : values_) Unstore(*value);
    }

    [[nodiscard]] LONG References() const { return references_; }
    [[nodiscard]] int Lookups() const { return lookups_; }
    [[nodiscard]] const std::vector<ReceivedCall>& Calls() const { return calls_; }
    void ClearLog() {
        lookups_ = 0;
        calls_.clear();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch)) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references_); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        ++lookups_;
        if (count != 1) return E_INVALIDARG;
        const auto found = ids_.find(names[0]);
        if (found == ids_.end()) {
            ids[0] = DISPID_UNKNOWN;
            return DISP_E_UNKNOWNNAME;
        }
        ids[0] = found->second;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT*) override {
        ReceivedCall call;
        call.id = id;
        call.flags = flags;
        call.hadExcepInfo = exception != nullptr;
        call.wantedResult = result != nullptr;
        for (UINT i = 0; i < params->cArgs; ++i) {
            const VARIANT& v = params->rgvarg[i];
            ReceivedArgument argument;
            argument.type = v.vt;
            if (v.vt == VT_R8) argument.real = v.dblVal;
            if (v.vt == VT_I4) argument.integer = v.lVal;
            if (v.vt == VT_BOOL) argument.boolean = v.boolVal;
            if (v.vt == VT_DISPATCH) argument.object = v.pdispVal;
            call.arguments.push_back(argument);
        }
        for (UINT i = 0; i < params->cNamedArgs; ++i) call.named.push_back(params->rgdispidNamedArgs[i]);
        calls_.push_back(call);
        const auto handler = handlers_.find(id);
        if (handler == handlers_.end()) return DISP_E_MEMBERNOTFOUND;
        return handler->second(*params, result, exception);
    }

private:
    static void Unstore(VARIANT& stored) {
        if (stored.vt == VT_DISPATCH) {
            ::VariantInit(&stored);
        } else {
            ::VariantClear(&stored);
        }
    }
    static void Store(VARIANT& stored, const VARIANT& value) {
        Unstore(stored);
        if (value.vt == VT_DISPATCH) {
            stored = value;
        } else {
            ::VariantCopy(&stored, const_cast<VARIANT*>(&value));
        }
    }

    LONG references_ = 0;
    int lookups_ = 0;
    std::map<std::wstring, DISPID> ids_;
    std::map<DISPID, MemberHandler> handlers_;
    std::vector<std::shared_ptr<VARIANT>> values_;
    std::vector<ReceivedCall> calls_;
};

// An enumerator over copies of the given items, made by a collection stub's
// _NewEnum; it deletes itself on its last Release like a real one, and counts
// live instances and the sizes asked of Next.
class StubEnum final : public IEnumVARIANT {
public:
    struct Log {
        int alive = 0;
        std::vector<ULONG> asked;
        HRESULT failWith = S_OK;  // Next fails with this when set
        ULONG shortBatch = 0;     // when set, Next hands out at most this many, with S_OK
    };

    StubEnum(const std::vector<VARIANT>& items, Log& log) : log_(log) {
        for (const auto& item : items) {
            VARIANT copy;
            ::VariantInit(&copy);
            ::VariantCopy(&copy, const_cast<VARIANT*>(&item));
            items_.push_back(copy);
        }
        ++log_.alive;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IEnumVARIANT)) {
            *object = static_cast<IEnumVARIANT*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = --references_;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG wanted, VARIANT* out, ULONG* fetched) override {
        log_.asked.push_back(wanted);
        if (fetched != nullptr) *fetched = 0;
        if (log_.failWith != S_OK) return log_.failWith;
        ULONG limit = wanted;
        if (log_.shortBatch != 0 && log_.shortBatch < limit) limit = log_.shortBatch;
        ULONG given = 0;
        while (given < limit && next_ < items_.size()) {
            ::VariantInit(&out[given]);
            ::VariantCopy(&out[given], &items_[next_]);
            ++given;
            ++next_;
        }
        if (fetched != nullptr) *fetched = given;
        if (log_.shortBatch != 0) return S_OK;
        return given == wanted ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override {
        next_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

private:
    ~StubEnum() {
        for (auto& item : items_) ::VariantClear(&item);
        --log_.alive;
    }

    LONG references_ = 1;
    Log& log_;
    std::vector<VARIANT> items_;
    std::size_t next_ = 0;
};

// Plain VARIANT values for stub properties (no ownership: scalars and
// borrowed objects only, copied by the stub).
inline VARIANT Real(double value) {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = value;
    return v;
}
inline VARIANT Integer(LONG value) {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}
inline VARIANT Object(IDispatch* value) {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = value;
    return v;
}
inline VARIANT Empty() {
    VARIANT v;
    ::VariantInit(&v);
    return v;
}

// A BSTR VARIANT that frees its string at scope end.
class Text {
public:
    explicit Text(const wchar_t* text) {
        ::VariantInit(&value_);
        value_.vt = VT_BSTR;
        value_.bstrVal = ::SysAllocString(text);
    }
    ~Text() { ::VariantClear(&value_); }
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    operator const VARIANT&() const { return value_; }

private:
    VARIANT value_;
};

// Tests run on an STA, as the window's thread does.
class ComTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override { ::CoUninitialize(); }
};

}  // namespace vantrel::test
