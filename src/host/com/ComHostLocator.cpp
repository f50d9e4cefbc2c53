#include "host/com/ComHostLocator.h"

#include <windows.h>

#include <objbase.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/HostOperations.h"
#include "host/com/ComFailures.h"
#include "host/com/ComHostModel.h"
#include "win/Utf16.h"

namespace vantrel::host::com {

using Microsoft::WRL::ComPtr;

namespace {

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
        const auto inFront = std::find_if(known_.begin(), known_.end(), [&](const KnownInstance& instance) {
            return instance.mainWindow == *windows[*front];
        });
        return inFront == known_.end() ? nullptr : inFront->object;
    }

    // The instance with its main window; an instance met for the first time
    // is asked for it (one round trip), and one that is busy or refuses is
    // left out this time.
    std::optional<KnownInstance> Known(const ComPtr<IUnknown>& instance) {
        ComPtr<IUnknown> identity;
        if (!instance || FAILED(instance.As(&identity))) return std::nullopt;
        // The objects' identities, by pointer: the same instance gives the
        // same IUnknown.
        const auto met = std::find_if(known_.begin(), known_.end(), [&](const KnownInstance& known) {
            return known.identity.Get() == identity.Get();
        });
        if (met != known_.end()) return *met;
        KnownInstance fresh{identity, nullptr, 0};
        if (FAILED(instance.As(&fresh.object))) return std::nullopt;
        try {
            const std::int64_t window =
                ToInt64(Invoke(*session_, *fresh.object.Get(), kApplicationType, L"HWND", CallKind::Get));
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

std::unique_ptr<HostLocator> CreateComHostLocator(std::shared_ptr<ComSession> session) {
    return std::make_unique<ComHostLocator>(std::move(session));
}

}  // namespace vantrel::host::com
