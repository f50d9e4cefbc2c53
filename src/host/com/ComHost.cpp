#include "host/com/ComObjects.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/HostOperations.h"

namespace vantrel::host::com {

using Microsoft::WRL::ComPtr;

namespace {

// The object in a result, or nullptr when the result is not a (non-null) object.
ComPtr<IDispatch> ObjectIn(const Variant& value) {
    ComPtr<IDispatch> object;
    if (value.Type() == VT_DISPATCH) {
        object = value.Get().pdispVal;
    } else if (value.Type() == VT_UNKNOWN && value.Get().punkVal != nullptr) {
        value.Get().punkVal->QueryInterface(IID_PPV_ARGS(&object));
    }
    return object;
}

ComPtr<IDispatch> RequireObject(const Variant& value, const char* what) {
    ComPtr<IDispatch> object = ObjectIn(value);
    if (!object) throw Failure(DISP_E_TYPEMISMATCH, what);
    return object;
}

class ComEntity final : public Entity {
public:
    ComEntity(ComPtr<IDispatch> object, std::string type, std::shared_ptr<ComSession> session)
        : object_(std::move(object)), type_(std::move(type)), session_(std::move(session)) {}

    std::string ObjectName() override {
        std::string name = ToString(Invoke(*session_, Object(), kObjectType, L"ObjectName", CallKind::kGet));
        if (type_.empty()) type_ = name;
        return name;
    }

    double CustomScale() override {
        return ToDouble(Invoke(*session_, Object(), type_, L"CustomScale", CallKind::kGet));
    }

    bool DisplayLocked() override {
        return ToInt(Invoke(*session_, Object(), type_, L"DisplayLocked", CallKind::kGet)) != 0;
    }

    void Display(bool on) override {
        const Variant value = Variant::Bool(on);
        Invoke(*session_, Object(), type_, L"Display", CallKind::kMethod, {&value});
    }

    [[nodiscard]] IDispatch* Dispatch() const noexcept { return object_.Get(); }

private:
    IDispatch& Object() const {
        if (!object_) throw Failure(DISP_E_TYPEMISMATCH, "The paper-space item is not an object");
        return *object_.Get();
    }

    ComPtr<IDispatch> object_;
    std::string type_;  // empty until known: such calls are looked up every time
    std::shared_ptr<ComSession> session_;
};

class ComEntityEnumerator final : public EntityEnumerator {
public:
    ComEntityEnumerator(ComPtr<IEnumVARIANT> items, std::shared_ptr<ComSession> session)
        : items_(std::move(items)), session_(std::move(session)) {}

    std::shared_ptr<Entity> Next() override {
        if (next_ == batch_.size()) {
            if (ended_) return nullptr;
            Fetch();
            if (batch_.empty()) return nullptr;
        }
        const Variant item = std::move(batch_[next_++]);
        return std::make_shared<ComEntity>(ObjectIn(item), std::string(), session_);
    }

private:
    void Fetch() {
        batch_.clear();
        next_ = 0;
        batch_.reserve(kEnumerationBatch);
        VARIANT raw[kEnumerationBatch];
        for (auto& item : raw) ::VariantInit(&item);
        ULONG fetched = 0;
        const HRESULT hr = items_->Next(kEnumerationBatch, raw, &fetched);
        if (fetched > kEnumerationBatch) fetched = kEnumerationBatch;
        for (ULONG i = 0; i < fetched; ++i) batch_.push_back(Variant::Take(raw[i]));
        if (FAILED(hr)) {
            // A busy host took nothing: the same batch may be asked for again.
            batch_.clear();
            throw FailureFromStatus(hr);
        }
        // Fewer items than asked for means the collection has no more.
        if (hr != S_OK || fetched < kEnumerationBatch) ended_ = true;
    }

    ComPtr<IEnumVARIANT> items_;
    std::shared_ptr<ComSession> session_;
    std::vector<Variant> batch_;
    std::size_t next_ = 0;
    bool ended_ = false;
};

class ComEntityCollection final : public EntityCollection {
public:
    ComEntityCollection(ComPtr<IDispatch> object, std::shared_ptr<ComSession> session)
        : object_(std::move(object)), session_(std::move(session)) {}

    std::unique_ptr<EntityEnumerator> Enumerate() override {
        const Variant result = InvokeId(*object_.Get(), DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
        IUnknown* unknown = nullptr;
        if (result.Type() == VT_UNKNOWN) unknown = result.Get().punkVal;
        if (result.Type() == VT_DISPATCH) unknown = result.Get().pdispVal;
        if (unknown == nullptr) throw Failure(DISP_E_TYPEMISMATCH, "The collection gave no enumerator");
        ComPtr<IEnumVARIANT> items;
        const HRESULT hr = unknown->QueryInterface(IID_PPV_ARGS(&items));
        if (FAILED(hr)) throw FailureFromStatus(hr);
        return std::make_unique<ComEntityEnumerator>(std::move(items), session_);
    }

private:
    ComPtr<IDispatch> object_;
    std::shared_ptr<ComSession> session_;
};

class ComDocument final : public Document {
public:
    ComDocument(ComPtr<IDispatch> object, std::shared_ptr<ComSession> session)
        : object_(std::move(object)), session_(std::move(session)) {}

    int ActiveSpace() override { return ToInt(Get(L"ActiveSpace")); }

    void SetActiveSpace(int space) override { Put(L"ActiveSpace", Variant::Int(space)); }

    void SetMSpace(bool on) override { Put(L"MSpace", Variant::Bool(on)); }

    std::shared_ptr<host::Application> Application() override {
        return WrapApplication(RequireObject(Get(L"Application"), "Application is not an application"), session_);
    }

    std::shared_ptr<Entity> ActivePViewport() override {
        return std::make_shared<ComEntity>(RequireObject(Get(L"ActivePViewport"), "ActivePViewport is not a viewport"),
                                           std::string(kViewportObjectName), session_);
    }

    void SetActivePViewport(Entity& viewport) override {
        IDispatch* object = DispatchOf(viewport);
        if (object == nullptr) throw FailureFromStatus(E_INVALIDARG);
        Put(L"ActivePViewport", Variant::Dispatch(object));
    }

    std::shared_ptr<EntityCollection> PaperSpace() override {
        return WrapEntityCollection(RequireObject(Get(L"PaperSpace"), "PaperSpace is not a collection"), session_);
    }

    void Regen(int which) override {
        const Variant value = Variant::Int(which);
        Invoke(*session_, *object_.Get(), kDocumentType, L"Regen", CallKind::kMethod, {&value});
    }

private:
    Variant Get(std::wstring_view member) {
        return Invoke(*session_, *object_.Get(), kDocumentType, member, CallKind::kGet);
    }
    void Put(std::wstring_view member, const Variant& value) {
        Invoke(*session_, *object_.Get(), kDocumentType, member, CallKind::kPut, {&value});
    }

    ComPtr<IDispatch> object_;
    std::shared_ptr<ComSession> session_;
};

class ComApplication final : public Application {
public:
    ComApplication(ComPtr<IDispatch> object, std::shared_ptr<ComSession> session)
        : object_(std::move(object)), session_(std::move(session)) {}

    std::shared_ptr<Document> ActiveDocument() override {
        const Variant result = Invoke(*session_, *object_.Get(), kApplicationType, L"ActiveDocument", CallKind::kGet);
        return WrapDocument(RequireObject(result, "ActiveDocument is not a document"), session_);
    }

    void ZoomExtents() override {
        Invoke(*session_, *object_.Get(), kApplicationType, L"ZoomExtents", CallKind::kMethod);
    }

    void ZoomScaled(double scale, int scaleType) override {
        const Variant value = Variant::Double(scale);
        const Variant type = Variant::Int(scaleType);
        Invoke(*session_, *object_.Get(), kApplicationType, L"ZoomScaled", CallKind::kMethod, {&value, &type});
    }

private:
    ComPtr<IDispatch> object_;
    std::shared_ptr<ComSession> session_;
};

// The class of a running-object table entry that an application registered
// for itself ("!{CLSID}", as RegisterActiveObject names it), if it is one.
std::optional<CLSID> RegisteredClass(IMoniker& moniker, IBindCtx& context) {
    LPOLESTR name = nullptr;
    if (FAILED(moniker.GetDisplayName(&context, nullptr, &name)) || name == nullptr) return std::nullopt;
    CLSID clsid{};
    const bool registered = name[0] == L'!' && name[1] == L'{' && SUCCEEDED(::CLSIDFromString(name + 1, &clsid));
    ::CoTaskMemFree(name);
    if (!registered) return std::nullopt;
    return clsid;
}

// Whether the class is the host's: the one its ProgID names, or one whose own
// ProgID is a release of it ("AutoCAD.Application.25").
bool IsHostClass(const CLSID& clsid, const std::optional<CLSID>& current, const std::wstring& progId) {
    if (current && ::IsEqualCLSID(clsid, *current)) return true;
    LPOLESTR name = nullptr;
    if (FAILED(::ProgIDFromCLSID(clsid, &name)) || name == nullptr) return false;
    const std::wstring own(name);
    ::CoTaskMemFree(name);
    return own.size() > progId.size() && own[progId.size()] == L'.' &&
           ::CompareStringOrdinal(own.c_str(), static_cast<int>(progId.size()), progId.c_str(),
                                  static_cast<int>(progId.size()), TRUE) == CSTR_EQUAL;
}

// The host's entries in the running-object table, one per class, not yet
// bound. A second session of one release registers under the same name as the
// first, and the table hands out the first for both: only releases side by
// side can be told apart.
struct HostEntry {
    CLSID clsid;
    ComPtr<IMoniker> name;
};

std::vector<HostEntry> HostEntries(const std::optional<CLSID>& current, const std::wstring& progId) {
    std::vector<HostEntry> found;
    ComPtr<IRunningObjectTable> table;
    ComPtr<IEnumMoniker> entries;
    ComPtr<IBindCtx> context;
    if (FAILED(::GetRunningObjectTable(0, &table)) || FAILED(table->EnumRunning(&entries)) ||
        FAILED(::CreateBindCtx(0, &context))) {
        return found;
    }
    for (ComPtr<IMoniker> entry; entries->Next(1, &entry, nullptr) == S_OK; entry.Reset()) {
        const std::optional<CLSID> clsid = RegisteredClass(*entry.Get(), *context.Get());
        if (!clsid || !IsHostClass(*clsid, current, progId)) continue;
        const auto same = [&](const HostEntry& seen) { return ::IsEqualCLSID(seen.clsid, *clsid) != FALSE; };
        if (std::none_of(found.begin(), found.end(), same)) found.push_back({*clsid, entry});
    }
    return found;
}

// The object of an entry, as the table hands it out.
ComPtr<IUnknown> Bind(const HostEntry& entry) {
    ComPtr<IRunningObjectTable> table;
    ComPtr<IUnknown> object;
    if (SUCCEEDED(::GetRunningObjectTable(0, &table))) table->GetObject(entry.name.Get(), &object);
    return object;
}

// The top-level windows, the topmost first, by the low 32 bits that identify a
// window handle whatever the width the host gives it in.
std::vector<std::uint64_t> WindowsInZOrder() {
    std::vector<std::uint64_t> windows;
    ::EnumWindows(
        [](HWND window, LPARAM list) -> BOOL {
            reinterpret_cast<std::vector<std::uint64_t>*>(list)->push_back(
                static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(window)));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

class ComHostLocator final : public HostLocator {
public:
    explicit ComHostLocator(std::shared_ptr<ComSession> session) : session_(std::move(session)) {}

    std::shared_ptr<Application> GetRunningApplication(std::string_view progId) override {
        const std::wstring name = win::Utf16FromUtf8(progId);
        CLSID clsid{};
        const HRESULT named = ::CLSIDFromProgID(name.c_str(), &clsid);
        const std::optional<CLSID> current = SUCCEEDED(named) ? std::optional(clsid) : std::nullopt;
        const std::vector<HostEntry> entries = HostEntries(current, name);
        ComPtr<IDispatch> object;
        if (entries.size() > 1) {
            object = InstanceInFront(entries);
        } else {
            known_.clear();
            // The one release left running need not be the one the ProgID names.
            if (entries.size() == 1 && !(current && ::IsEqualCLSID(entries.front().clsid, *current))) {
                Bind(entries.front()).As(&object);
            }
        }
        if (!object) {
            if (FAILED(named)) throw FailureFromStatus(named);
            // A running instance only, from the running-object table, never
            // CoCreateInstance.
            ComPtr<IUnknown> running;
            HRESULT hr = ::GetActiveObject(clsid, nullptr, &running);
            if (FAILED(hr)) throw FailureFromStatus(hr);
            hr = running.As(&object);
            if (FAILED(hr)) throw FailureFromStatus(hr);
        }
        return WrapApplication(std::move(object), session_);
    }

private:
    // An instance and its main window, asked once: it does not change while
    // the instance runs.
    struct KnownInstance {
        ComPtr<IUnknown> identity;
        ComPtr<IDispatch> object;
        std::uint64_t mainWindow = 0;
    };

    // Of several instances running, the one whose main window is in front;
    // nothing when none could say where its window is.
    ComPtr<IDispatch> InstanceInFront(const std::vector<HostEntry>& entries) {
        std::vector<KnownInstance> known;
        std::vector<std::optional<std::uint64_t>> windows;
        for (const HostEntry& entry : entries) {
            std::optional<KnownInstance> seen = Known(Bind(entry));
            windows.push_back(seen ? std::optional(seen->mainWindow) : std::nullopt);
            if (seen) known.push_back(std::move(*seen));
        }
        // Instances that quit drop out here.
        known_ = std::move(known);
        const std::optional<std::size_t> front = host::FrontInstance(windows, WindowsInZOrder());
        if (!front) return nullptr;
        for (const KnownInstance& instance : known_) {
            if (instance.mainWindow == *windows[*front]) return instance.object;
        }
        return nullptr;
    }

    // The instance with its main window; an instance met for the first time
    // is asked for it (one round trip), and one that is busy or refuses is
    // left out this time.
    std::optional<KnownInstance> Known(const ComPtr<IUnknown>& instance) {
        ComPtr<IUnknown> identity;
        if (!instance || FAILED(instance.As(&identity))) return std::nullopt;
        for (const KnownInstance& known : known_) {
            // The objects' identities, by pointer: the same instance gives the
            // same IUnknown.
            if (known.identity.Get() == identity.Get()) return known;
        }
        KnownInstance fresh{identity, nullptr, 0};
        if (FAILED(instance.As(&fresh.object))) return std::nullopt;
        try {
            const std::int64_t window =
                ToInt64(Invoke(*session_, *fresh.object.Get(), kApplicationType, L"HWND", CallKind::kGet));
            fresh.mainWindow = static_cast<std::uint32_t>(window);
        } catch (const Failure&) {
            return std::nullopt;
        }
        return fresh;
    }

    std::shared_ptr<ComSession> session_;
    std::vector<KnownInstance> known_;
};

}  // namespace

std::shared_ptr<Application> WrapApplication(ComPtr<IDispatch> object, std::shared_ptr<ComSession> session) {
    return std::make_shared<ComApplication>(std::move(object), std::move(session));
}

std::shared_ptr<Document> WrapDocument(ComPtr<IDispatch> object, std::shared_ptr<ComSession> session) {
    return std::make_shared<ComDocument>(std::move(object), std::move(session));
}

std::shared_ptr<EntityCollection> WrapEntityCollection(ComPtr<IDispatch> object, std::shared_ptr<ComSession> session) {
    return std::make_shared<ComEntityCollection>(std::move(object), std::move(session));
}

std::unique_ptr<HostLocator> CreateComHostLocator(std::shared_ptr<ComSession> session) {
    return std::make_unique<ComHostLocator>(std::move(session));
}

IDispatch* DispatchOf(Entity& entity) noexcept {
    const auto* com = dynamic_cast<const ComEntity*>(&entity);
    return com == nullptr ? nullptr : com->Dispatch();
}

}  // namespace vantrel::host::com
