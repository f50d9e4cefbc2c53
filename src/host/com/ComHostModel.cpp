#include "host/com/ComHostModel.h"

#include <string>
#include <utility>
#include <vector>

#include "host/com/ComFailures.h"

namespace vantrel::host::com {

using Microsoft::WRL::ComPtr;

namespace {

// Items fetched from the host per IEnumVARIANT::Next call.
constexpr ULONG kEnumerationBatch = 64;

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
        std::string name = ToString(Invoke(*session_, Object(), kObjectType, L"ObjectName", CallKind::Get));
        if (type_.empty()) type_ = name;
        return name;
    }

    double CustomScale() override {
        return ToDouble(Invoke(*session_, Object(), type_, L"CustomScale", CallKind::Get));
    }

    bool DisplayLocked() override {
        return ToInt(Invoke(*session_, Object(), type_, L"DisplayLocked", CallKind::Get)) != 0;
    }

    void Display(bool on) override {
        const Variant value = Variant::Bool(on);
        Invoke(*session_, Object(), type_, L"Display", CallKind::Method, {&value});
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

// The host object behind an entity of this model; nullptr for an entity of
// another host model or an item that was not an object.
IDispatch* DispatchOf(Entity& entity) noexcept {
    const auto* com = dynamic_cast<const ComEntity*>(&entity);
    return com == nullptr ? nullptr : com->Dispatch();
}

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
        Invoke(*session_, *object_.Get(), kDocumentType, L"Regen", CallKind::Method, {&value});
    }

private:
    Variant Get(std::wstring_view member) {
        return Invoke(*session_, *object_.Get(), kDocumentType, member, CallKind::Get);
    }
    void Put(std::wstring_view member, const Variant& value) {
        Invoke(*session_, *object_.Get(), kDocumentType, member, CallKind::Put, {&value});
    }

    ComPtr<IDispatch> object_;
    std::shared_ptr<ComSession> session_;
};

class ComApplication final : public Application {
public:
    ComApplication(ComPtr<IDispatch> object, std::shared_ptr<ComSession> session)
        : object_(std::move(object)), session_(std::move(session)) {}

    std::shared_ptr<Document> ActiveDocument() override {
        const Variant result = Invoke(*session_, *object_.Get(), kApplicationType, L"ActiveDocument", CallKind::Get);
        return WrapDocument(RequireObject(result, "ActiveDocument is not a document"), session_);
    }

    void ZoomExtents() override {
        Invoke(*session_, *object_.Get(), kApplicationType, L"ZoomExtents", CallKind::Method);
    }

    void ZoomScaled(double scale, int scaleType) override {
        const Variant value = Variant::Double(scale);
        const Variant type = Variant::Int(scaleType);
        Invoke(*session_, *object_.Get(), kApplicationType, L"ZoomScaled", CallKind::Method, {&value, &type});
    }

private:
    ComPtr<IDispatch> object_;
    std::shared_ptr<ComSession> session_;
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

}  // namespace vantrel::host::com
