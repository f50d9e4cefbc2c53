#include "Automation.h"

#include <oleauto.h>

#include <array>
#include <cstdio>
#include <exception>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/Failure.h"
#include "base/Hex.h"
#include "win/ComObject.h"
#include "win/Utf16.h"

namespace vantrel::simcad {
namespace {

using Microsoft::WRL::ComPtr;
using sim::SimDocument;
using sim::SimulatedHost;

// Lets a dispatch pointer handed back to simcad (ActivePViewport = viewport)
// be recognised as one of its own objects. {C2E5334D-54D1-4D01-BF50-C44608DA5AF2}
constexpr IID kIidSimcadObject = {0xc2e5334d, 0x54d1, 0x4d01, {0xbf, 0x50, 0xc4, 0x46, 0x08, 0xda, 0x5a, 0xf2}};

constexpr wchar_t kErrorSource[] = L"AutoCAD";

enum class Access { Get, GetPut, Method };
enum class Kind { Get, Put, Call };

struct Member {
    const wchar_t* name;
    DISPID id;
    Access access;
    UINT argumentCount;  // of a get or a call; a put takes one value
};

// A wrong argument: DISP_E_TYPEMISMATCH, with the argument's position in call order.
struct ArgumentMismatch {
    std::size_t position;
};

class DispatchObject;
std::string Describe(const VARIANT& value);

// Arguments in call order.
using Arguments = std::span<VARIANT* const>;

VARIANT Converted(const Arguments& arguments, std::size_t position, VARTYPE type) {
    VARIANT value;
    VariantInit(&value);
    if (FAILED(VariantChangeType(&value, arguments[position], 0, type))) throw ArgumentMismatch{position};
    return value;
}

double ArgumentDouble(const Arguments& arguments, std::size_t position) {
    return Converted(arguments, position, VT_R8).dblVal;
}

int ArgumentInt(const Arguments& arguments, std::size_t position) {
    return static_cast<int>(Converted(arguments, position, VT_I4).lVal);
}

bool ArgumentBool(const Arguments& arguments, std::size_t position) {
    return Converted(arguments, position, VT_BOOL).boolVal != VARIANT_FALSE;
}

void SetResult(VARIANT& result, double value) {
    result.vt = VT_R8;
    result.dblVal = value;
}
void SetResult(VARIANT& result, int value) {
    result.vt = VT_I4;
    result.lVal = value;
}
void SetResult(VARIANT& result, bool value) {
    result.vt = VT_BOOL;
    result.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}
void SetResult(VARIANT& result, std::string_view text) {
    result.vt = VT_BSTR;
    result.bstrVal = SysAllocString(win::Utf16FromUtf8(text).c_str());
}
// Takes over the reference.
void SetResult(VARIANT& result, IDispatch* object) {
    result.vt = VT_DISPATCH;
    result.pdispVal = object;
}

// IDispatch over a member table; a subclass supplies the calls.
class DispatchObject : public win::ComObject<IDispatch> {
public:
    DispatchObject(Server& server, const char* typeName, std::span<const Member> members)
        : server_(server), typeName_(typeName), members_(members) {}

    // How results and arguments that are this object read in the journal.
    [[nodiscard]] virtual std::string Label() const { return typeName_; }
    // Which object a call went to, when the call name does not say it.
    [[nodiscard]] virtual std::string Subject() const { return {}; }

    // Objects of this server are known by a private IID when they come back as arguments.
    void* FindInterface(REFIID iid) noexcept override {
        if (IsEqualIID(iid, kIidSimcadObject)) return static_cast<IDispatch*>(this);
        return ComObject::FindInterface(iid);
    }

    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 0;
        return S_OK;
    }

    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info != nullptr) *info = nullptr;
        return DISP_E_BADINDEX;
    }

    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
        // Automation names are not case-sensitive. Named arguments are not supported.
        const Member* member = FindByName(names[0]);
        ids[0] = member != nullptr ? member->id : DISPID_UNKNOWN;
        for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        return member != nullptr && count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }

    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                        EXCEPINFO* exception, UINT* argumentError) override {
        if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        const Member* member = FindById(id);
        if (member == nullptr) return Refuse(typeName_ + ".#" + std::to_string(id), DISP_E_MEMBERNOTFOUND);

        Kind kind = Kind::Get;
        if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0) {
            kind = Kind::Put;
        } else if (member->access == Access::Method) {
            kind = Kind::Call;
        }
        std::string call = typeName_ + "." + win::Utf8FromUtf16(member->name) + (kind == Kind::Put ? "=" : "");
        if ((kind == Kind::Put && member->access != Access::GetPut) ||
            (kind == Kind::Call && (flags & DISPATCH_METHOD) == 0) ||
            (kind == Kind::Get && (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) == 0)) {
            return Refuse(call, DISP_E_MEMBERNOTFOUND);
        }

        DISPPARAMS none{};
        const DISPPARAMS& given = parameters != nullptr ? *parameters : none;
        std::vector<VARIANT*> arguments;
        if (kind == Kind::Put) {
            if (given.cArgs != 1 || given.cNamedArgs != 1 || given.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
                return Refuse(call, DISP_E_BADPARAMCOUNT);
            }
            arguments.push_back(&given.rgvarg[0]);
        } else {
            if (given.cNamedArgs != 0) return Refuse(call, DISP_E_NONAMEDARGS);
            if (given.cArgs != member->argumentCount) return Refuse(call, DISP_E_BADPARAMCOUNT);
            // DISPPARAMS holds the arguments last first.
            for (UINT i = given.cArgs; i > 0; --i) arguments.push_back(&given.rgvarg[i - 1]);
        }

        std::string argumentText;
        for (const VARIANT* argument : arguments) {
            if (!argumentText.empty()) argumentText += ", ";
            argumentText += Describe(*argument);
        }

        VARIANT value;
        VariantInit(&value);
        const std::size_t journaled = Host().Journal().size();
        try {
            Dispatch(*member, kind, arguments, value);
        } catch (const Failure& failure) {
            VariantClear(&value);
            return Fail(call, argumentText, failure, exception);
        } catch (const ArgumentMismatch& mismatch) {
            VariantClear(&value);
            if (argumentError != nullptr) {
                *argumentError = static_cast<UINT>(arguments.size() - 1 - mismatch.position);
            }
            return Refuse(call, DISP_E_TYPEMISMATCH, argumentText);
        } catch (const std::exception& error) {
            VariantClear(&value);
            return Fail(call, argumentText, Failure(status::kFail, error.what()), exception);
        }
        std::string outcome = WithSubject(value.vt == VT_EMPTY ? std::string("ok") : Describe(value));
        // A zoom names the view it changed.
        const auto& hostJournal = Host().Journal();
        if (hostJournal.size() > journaled && !hostJournal.back().view.empty()) {
            outcome += " [" + hostJournal.back().view + "]";
        }
        server_.journal.Call(call, argumentText, outcome);
        if (result != nullptr) {
            *result = value;
        } else {
            VariantClear(&value);
        }
        return S_OK;
    }

protected:
    // Runs one call; arguments in call order, the result left VT_EMPTY when
    // there is none. Throws Failure.
    virtual void Dispatch(const Member& member, Kind kind, Arguments arguments, VARIANT& result) = 0;

    SimulatedHost& Host() { return *server_.host; }
    Server& server_;

private:
    const Member* FindByName(const wchar_t* name) const {
        for (const Member& member : members_) {
            if (CompareStringOrdinal(member.name, -1, name, -1, TRUE) == CSTR_EQUAL) return &member;
        }
        return nullptr;
    }

    const Member* FindById(DISPID id) const {
        for (const Member& member : members_) {
            if (member.id == id) return &member;
        }
        return nullptr;
    }

    std::string WithSubject(std::string result) const {
        const std::string subject = Subject();
        if (!subject.empty()) result += " on " + subject;
        return result;
    }

    HRESULT Refuse(const std::string& call, HRESULT code, const std::string& argumentText = {}) {
        server_.journal.Call(call, argumentText, WithSubject("error " + HexStatus(code)));
        return code;
    }

    HRESULT Fail(const std::string& call, const std::string& argumentText, const Failure& failure,
                 EXCEPINFO* exception) {
        // A busy host rejects the call itself; it is not an automation error.
        if (IsBusyStatus(failure.Number())) {
            server_.journal.Call(call, argumentText, WithSubject("rejected " + HexStatus(failure.Number())));
            return static_cast<HRESULT>(failure.Number());
        }
        server_.journal.Call(call, argumentText,
                             WithSubject("error " + HexStatus(failure.Number()) + " " + failure.Description()));
        if (exception != nullptr) {
            *exception = EXCEPINFO{};
            exception->bstrSource = SysAllocString(kErrorSource);
            exception->bstrDescription = SysAllocString(win::Utf16FromUtf8(failure.Description()).c_str());
            exception->scode = static_cast<SCODE>(failure.Number());
        }
        return DISP_E_EXCEPTION;
    }

    std::string typeName_;
    std::span<const Member> members_;
};

DispatchObject* OwnObject(IUnknown* unknown) {
    if (unknown == nullptr) return nullptr;
    ComPtr<IDispatch> own;
    if (FAILED(unknown->QueryInterface(kIidSimcadObject, reinterpret_cast<void**>(own.GetAddressOf())))) {
        return nullptr;
    }
    return static_cast<DispatchObject*>(own.Get());
}

std::string Describe(const VARIANT& given) {
    VARIANT value;
    VariantInit(&value);
    if (FAILED(VariantCopyInd(&value, const_cast<VARIANT*>(&given)))) return "?";
    std::string text;
    switch (value.vt) {
        case VT_EMPTY:
            break;
        case VT_BOOL:
            text = value.boolVal != VARIANT_FALSE ? "true" : "false";
            break;
        case VT_R4:
            text = sim::ExactText(static_cast<double>(value.fltVal));
            break;
        case VT_R8:
            text = sim::ExactText(value.dblVal);
            break;
        case VT_BSTR:
            text.assign(1, '"')
                .append(win::Utf8FromUtf16(value.bstrVal != nullptr ? value.bstrVal : L""))
                .push_back('"');
            break;
        case VT_DISPATCH:
        case VT_UNKNOWN: {
            const DispatchObject* own = OwnObject(value.punkVal);
            IEnumVARIANT* enumerator = nullptr;
            if (own != nullptr) {
                text = own->Label();
            } else if (value.punkVal == nullptr) {
                text = "nothing";
            } else if (SUCCEEDED(
                           value.punkVal->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&enumerator)))) {
                enumerator->Release();
                text = "IEnumVARIANT";
            } else {
                text = "object";
            }
            break;
        }
        default: {
            VARIANT number;
            VariantInit(&number);
            if (SUCCEEDED(VariantChangeType(&number, &value, 0, VT_I8))) {
                text = std::to_string(number.llVal);
            } else {
                text = "vt=" + std::to_string(value.vt);
            }
        }
    }
    VariantClear(&value);
    return text;
}

// --- entities -------------------------------------------------------------

constexpr DISPID kObjectName = 0x301, kCustomScale = 0x302, kDisplay = 0x303, kDisplayLocked = 0x304;
constexpr std::array kEntityMembers = {
    Member{L"ObjectName", kObjectName, Access::Get, 0},
    Member{L"CustomScale", kCustomScale, Access::Get, 0},
    Member{L"Display", kDisplay, Access::Method, 1},
    Member{L"DisplayLocked", kDisplayLocked, Access::Get, 0},
};

class EntityObject final : public DispatchObject {
public:
    EntityObject(Server& server, std::shared_ptr<host::Entity> entity, std::size_t document, std::size_t item)
        : DispatchObject(server, "Entity", kEntityMembers),
          entity_(std::move(entity)),
          document_(document),
          item_(item) {}

    [[nodiscard]] std::string Label() const override {
        const auto& documents = server_.host->documents;
        std::string name = "Entity";
        if (document_ < documents.size() && item_ < documents[document_].paperSpace.size()) {
            name = documents[document_].paperSpace[item_].objectName;
        }
        return name + "#" + std::to_string(item_);
    }

    [[nodiscard]] std::string Subject() const override { return Label(); }

    host::Entity& HostEntity() { return *entity_; }

protected:
    void Dispatch(const Member& member, Kind, Arguments arguments, VARIANT& result) override {
        switch (member.id) {
            case kObjectName:
                SetResult(result, entity_->ObjectName());
                break;
            case kCustomScale:
                SetResult(result, entity_->CustomScale());
                break;
            case kDisplayLocked:
                SetResult(result, entity_->DisplayLocked());
                break;
            case kDisplay:
                entity_->Display(ArgumentBool(arguments, 0));
                break;
            default:
                break;
        }
    }

private:
    std::shared_ptr<host::Entity> entity_;
    std::size_t document_;
    std::size_t item_;
};

// --- paper space and its enumerator ---------------------------------------

// One pass of the host's own enumeration per IEnumVARIANT: each round trip
// hands out up to `celt` items and is one journal line.
class EnumeratorObject final : public win::ComObject<IEnumVARIANT> {
public:
    EnumeratorObject(Server& server, std::shared_ptr<host::EntityCollection> collection, std::size_t document)
        : server_(server), collection_(std::move(collection)), document_(document), pass_(collection_->Enumerate()) {}

    STDMETHODIMP Next(ULONG count, VARIANT* items, ULONG* fetched) override {
        if (items == nullptr || (fetched == nullptr && count != 1)) return E_POINTER;
        if (fetched != nullptr) *fetched = 0;
        const std::string arguments = "celt=" + std::to_string(count);
        ULONG handed = 0;
        try {
            while (handed < count) {
                std::shared_ptr<host::Entity> entity = pass_->Next();
                if (entity == nullptr) break;
                VariantInit(&items[handed]);
                SetResult(items[handed], new EntityObject(server_, std::move(entity), document_, position_));
                ++handed;
                ++position_;
            }
        } catch (const Failure& failure) {
            // The round trip fails as a whole: nothing is handed out.
            for (ULONG i = 0; i < handed; ++i) VariantClear(&items[i]);
            const char* verdict = IsBusyStatus(failure.Number()) ? "rejected " : "error ";
            server_.journal.Call("PaperSpace.Next", arguments,
                                 verdict + HexStatus(failure.Number()) + " " + failure.Description());
            return static_cast<HRESULT>(failure.Number());
        }
        if (fetched != nullptr) *fetched = handed;
        server_.journal.Call("PaperSpace.Next", arguments, std::to_string(handed) + " items");
        return handed == count ? S_OK : S_FALSE;
    }

    STDMETHODIMP Skip(ULONG count) override {
        ULONG skipped = 0;
        try {
            while (skipped < count && pass_->Next() != nullptr) {
                ++skipped;
                ++position_;
            }
        } catch (const Failure& failure) {
            server_.journal.Call("PaperSpace.Skip", std::to_string(count), "error " + HexStatus(failure.Number()));
            return static_cast<HRESULT>(failure.Number());
        }
        server_.journal.Call("PaperSpace.Skip", std::to_string(count), std::to_string(skipped) + " items");
        return skipped == count ? S_OK : S_FALSE;
    }

    STDMETHODIMP Reset() override {
        try {
            pass_ = collection_->Enumerate();
            position_ = 0;
        } catch (const Failure& failure) {
            server_.journal.Call("PaperSpace.Reset", "", "error " + HexStatus(failure.Number()));
            return static_cast<HRESULT>(failure.Number());
        }
        server_.journal.Call("PaperSpace.Reset", "", "ok");
        return S_OK;
    }

    // A copy would need a second pass of the host at the same place; nothing uses it.
    STDMETHODIMP Clone(IEnumVARIANT** copy) override {
        if (copy != nullptr) *copy = nullptr;
        server_.journal.Call("PaperSpace.Clone", "", "error " + HexStatus(E_NOTIMPL));
        return E_NOTIMPL;
    }

private:
    Server& server_;
    std::shared_ptr<host::EntityCollection> collection_;
    std::size_t document_;
    std::unique_ptr<host::EntityEnumerator> pass_;
    std::size_t position_ = 0;
};

constexpr DISPID kCount = 0x201;
constexpr std::array kPaperSpaceMembers = {
    Member{L"Item", DISPID_VALUE, Access::Method, 1},
    Member{L"Count", kCount, Access::Get, 0},
    Member{L"_NewEnum", DISPID_NEWENUM, Access::Get, 0},
};

class PaperSpaceObject final : public DispatchObject {
public:
    PaperSpaceObject(Server& server, std::shared_ptr<host::EntityCollection> collection, std::size_t document)
        : DispatchObject(server, "PaperSpace", kPaperSpaceMembers),
          collection_(std::move(collection)),
          document_(document) {}

protected:
    void Dispatch(const Member& member, Kind, Arguments arguments, VARIANT& result) override {
        const auto& items = Host().documents.at(document_).paperSpace;
        switch (member.id) {
            case kCount:
                Host().Enter("PaperSpace.Count");
                SetResult(result, static_cast<int>(items.size()));
                break;
            case DISPID_VALUE: {
                const int index = ArgumentInt(arguments, 0);
                Host().Enter("PaperSpace.Item", std::to_string(index));
                if (index < 0 || static_cast<std::size_t>(index) >= items.size()) {
                    Host().Refuse(status::kInvalidArgument, "Invalid index");
                }
                // The host's own object for the item, reached by its enumeration.
                auto pass = collection_->Enumerate();
                std::shared_ptr<host::Entity> entity;
                for (int i = 0; i <= index; ++i) entity = pass->Next();
                if (entity == nullptr) Host().Refuse(status::kInvalidArgument, "Invalid index");
                SetResult(result,
                          new EntityObject(server_, std::move(entity), document_, static_cast<std::size_t>(index)));
                break;
            }
            case DISPID_NEWENUM:
                result.vt = VT_UNKNOWN;
                result.punkVal = new EnumeratorObject(server_, collection_, document_);
                break;
            default:
                break;
        }
    }

private:
    std::shared_ptr<host::EntityCollection> collection_;
    std::size_t document_;
};

// --- document and application ----------------------------------------------

IDispatch* NewApplicationObject(Server& server, std::shared_ptr<host::Application> application);

constexpr DISPID kActiveSpace = 0x101, kMSpace = 0x102, kApplication = 0x103, kActivePViewport = 0x104,
                 kPaperSpace = 0x105, kRegen = 0x106, kDocumentName = 0x107;
constexpr std::array kDocumentMembers = {
    Member{L"ActiveSpace", kActiveSpace, Access::GetPut, 0},
    Member{L"MSpace", kMSpace, Access::GetPut, 0},
    Member{L"Application", kApplication, Access::Get, 0},
    Member{L"ActivePViewport", kActivePViewport, Access::GetPut, 0},
    Member{L"PaperSpace", kPaperSpace, Access::Get, 0},
    Member{L"Regen", kRegen, Access::Method, 1},
    Member{L"Name", kDocumentName, Access::Get, 0},
};

class DocumentObject final : public DispatchObject {
public:
    DocumentObject(Server& server, std::shared_ptr<host::Document> document, std::size_t index)
        : DispatchObject(server, "Document", kDocumentMembers), document_(std::move(document)), index_(index) {}

    [[nodiscard]] std::string Label() const override {
        const auto& documents = server_.host->documents;
        return "Document \"" + (index_ < documents.size() ? documents[index_].name : std::string()) + "\"";
    }

    [[nodiscard]] std::string Subject() const override { return Label(); }

protected:
    void Dispatch(const Member& member, Kind kind, Arguments arguments, VARIANT& result) override {
        switch (member.id) {
            case kActiveSpace:
                if (kind == Kind::Put) {
                    document_->SetActiveSpace(ArgumentInt(arguments, 0));
                } else {
                    SetResult(result, document_->ActiveSpace());
                }
                break;
            case kMSpace:
                if (kind == Kind::Put) {
                    document_->SetMSpace(ArgumentBool(arguments, 0));
                } else {
                    Host().Enter("Document.MSpace");
                    SetResult(result, State().mspace);
                }
                break;
            case kApplication:
                SetResult(result, NewApplicationObject(server_, document_->Application()));
                break;
            case kActivePViewport:
                if (kind == Kind::Put) {
                    ComPtr<IUnknown> object;
                    VARIANT value = Converted(arguments, 0, VT_UNKNOWN);
                    object.Attach(value.punkVal);
                    auto* viewport = dynamic_cast<EntityObject*>(OwnObject(object.Get()));
                    if (viewport == nullptr) throw ArgumentMismatch{0};
                    document_->SetActivePViewport(viewport->HostEntity());
                } else {
                    auto viewport = document_->ActivePViewport();
                    const std::size_t item = State().activeViewport.value_or(0);
                    SetResult(result, new EntityObject(server_, std::move(viewport), index_, item));
                }
                break;
            case kPaperSpace:
                SetResult(result, new PaperSpaceObject(server_, document_->PaperSpace(), index_));
                break;
            case kRegen:
                document_->Regen(ArgumentInt(arguments, 0));
                break;
            case kDocumentName:
                Host().Enter("Document.Name");
                SetResult(result, State().name);
                break;
            default:
                break;
        }
    }

private:
    SimDocument& State() { return Host().documents.at(index_); }

    std::shared_ptr<host::Document> document_;
    std::size_t index_;
};

constexpr DISPID kActiveDocument = 0x001, kZoomExtents = 0x002, kZoomScaled = 0x003, kApplicationName = 0x004,
                 kMainWindow = 0x005;
constexpr std::array kApplicationMembers = {
    Member{L"ActiveDocument", kActiveDocument, Access::Get, 0},
    Member{L"ZoomExtents", kZoomExtents, Access::Method, 0},
    Member{L"ZoomScaled", kZoomScaled, Access::Method, 2},
    Member{L"Name", kApplicationName, Access::Get, 0},
    Member{L"HWND", kMainWindow, Access::Get, 0},
};

class ApplicationObject final : public DispatchObject {
public:
    ApplicationObject(Server& server, std::shared_ptr<host::Application> application)
        : DispatchObject(server, "Application", kApplicationMembers), application_(std::move(application)) {}

protected:
    void Dispatch(const Member& member, Kind, Arguments arguments, VARIANT& result) override {
        switch (member.id) {
            case kActiveDocument: {
                auto document = application_->ActiveDocument();
                const std::size_t index = Host().activeDocument.value_or(0);
                SetResult(result, new DocumentObject(server_, std::move(document), index));
                break;
            }
            case kZoomExtents:
                application_->ZoomExtents();
                break;
            case kZoomScaled:
                application_->ZoomScaled(ArgumentDouble(arguments, 0), ArgumentInt(arguments, 1));
                break;
            case kApplicationName:
                Host().Enter("Application.Name");
                SetResult(result, std::string_view("AutoCAD"));
                break;
            case kMainWindow:
                // The handle as a 64-bit host gives it (LONG_PTR).
                Host().Enter("Application.HWND");
                result.vt = VT_I8;
                result.llVal = static_cast<LONGLONG>(reinterpret_cast<LONG_PTR>(server_.mainWindow));
                break;
            default:
                break;
        }
    }

private:
    std::shared_ptr<host::Application> application_;
};

IDispatch* NewApplicationObject(Server& server, std::shared_ptr<host::Application> application) {
    return new ApplicationObject(server, std::move(application));
}

}  // namespace

ComPtr<IDispatch> CreateApplicationObject(Server& server) {
    ComPtr<IDispatch> application;
    application.Attach(NewApplicationObject(server, server.host->ApplicationObject()));
    return application;
}

}  // namespace vantrel::simcad
