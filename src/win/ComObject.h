// Reference counting and QueryInterface for the COM objects the program and
// its tools implement themselves. Derive from ComObject<Interfaces...> and
// implement the interfaces' own methods; make the object with `new` and hand
// it over with ComPtr::Attach: the count starts at 1, and the object deletes
// itself when the last reference goes. The count is atomic because COM may
// release an object on another thread (the running-object table does).
#pragma once

#include <unknwn.h>

#include <atomic>
#include <tuple>

namespace vantrel::win {

// Release deletes the object through this class: its destructor is virtual,
// and protected so that nothing else deletes it.
template <typename... Interfaces>
class ComObject : public Interfaces... {  // NOLINT(cppcoreguidelines-virtual-class-destructor)
    static_assert(sizeof...(Interfaces) > 0, "a COM object implements at least one interface");
    using FirstInterface = std::tuple_element_t<0, std::tuple<Interfaces...>>;

public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = FindInterface(iid);
        if (*object == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return references_.fetch_add(1) + 1; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = references_.fetch_sub(1) - 1;
        if (left == 0) delete this;
        return left;
    }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;

    // The pointer QueryInterface hands out for `iid`, or nullptr: IUnknown and
    // each listed interface. Override it to answer more, such as a base
    // interface of a listed one or a private IID by which a server knows its
    // own objects when they come back as arguments; call this one for the rest.
    virtual void* FindInterface(REFIID iid) noexcept {
        if (iid == __uuidof(IUnknown)) return static_cast<IUnknown*>(static_cast<FirstInterface*>(this));
        void* found = nullptr;
        static_cast<void>(
            ((iid == __uuidof(Interfaces) && (found = static_cast<Interfaces*>(this)) != nullptr) || ...));
        return found;
    }

private:
    std::atomic<ULONG> references_{1};
};

}  // namespace vantrel::win
