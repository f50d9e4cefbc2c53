#include "Registration.h"

#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include "SimcadProtocol.h"

namespace vantrel::simcad {
namespace {

constexpr wchar_t kClassesKey[] = L"Software\\Classes";

std::wstring ProgIdKey(const std::wstring& progId) { return std::wstring(kClassesKey) + L"\\" + progId; }
std::wstring ClassKey(const std::wstring& clsid) { return std::wstring(kClassesKey) + L"\\CLSID\\" + clsid; }

bool SameText(const std::wstring& one, const std::wstring& other) {
    return CompareStringOrdinal(one.c_str(), -1, other.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The plain one's CLSID, or a release's: kClsidText's first 33 characters,
// four decimal digits, the closing brace.
bool IsSimcadClsid(const std::wstring& clsid) {
    if (SameText(clsid, kClsidText)) return true;
    const std::wstring stem = std::wstring(kClsidText).substr(0, 33);
    if (clsid.size() != stem.size() + 5 || !SameText(clsid.substr(0, stem.size()), stem) || clsid.back() != L'}') {
        return false;
    }
    for (std::size_t i = stem.size(); i + 1 < clsid.size(); ++i) {
        if (clsid[i] < L'0' || clsid[i] > L'9') return false;
    }
    return true;
}

enum class Mapping { None, Simcad, Other };

// What the ProgID maps to in one registry root's classes.
Mapping MappingIn(HKEY root, const std::wstring& progId, std::wstring& clsid) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, ProgIdKey(progId).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return Mapping::None;
    RegCloseKey(key);
    wchar_t value[64] = {};
    DWORD size = sizeof(value);
    if (RegGetValueW(root, (ProgIdKey(progId) + L"\\CLSID").c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) !=
        ERROR_SUCCESS) {
        clsid = L"none";
        return Mapping::Other;
    }
    clsid = value;
    return IsSimcadClsid(clsid) ? Mapping::Simcad : Mapping::Other;
}

// Whether COM reads both ways as written: the ProgID gives the CLSID, the CLSID its ProgID.
bool Resolves(const std::wstring& progId, const std::wstring& clsidText) {
    CLSID registered{};
    CLSID own{};
    if (FAILED(CLSIDFromProgID(progId.c_str(), &registered)) || FAILED(CLSIDFromString(clsidText.c_str(), &own)) ||
        !IsEqualCLSID(registered, own)) {
        return false;
    }
    LPOLESTR name = nullptr;
    if (FAILED(ProgIDFromCLSID(own, &name)) || name == nullptr) return false;
    const bool same = SameText(name, progId);
    CoTaskMemFree(name);
    return same;
}

bool WriteText(HKEY root, const std::wstring& key, const std::wstring& text) {
    const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return RegSetKeyValueW(root, key.c_str(), nullptr, REG_SZ, text.c_str(), bytes) == ERROR_SUCCESS;
}

bool Write(HKEY root, const std::wstring& progId, const std::wstring& clsid) {
    return WriteText(root, ProgIdKey(progId) + L"\\CLSID", clsid) &&
           WriteText(root, ClassKey(clsid) + L"\\ProgID", progId);
}

void RemoveFrom(HKEY root, const std::wstring& progId, const std::wstring& clsid) {
    HKEY classes = nullptr;
    if (RegOpenKeyExW(root, kClassesKey, 0, KEY_ALL_ACCESS, &classes) == ERROR_SUCCESS) {
        RegDeleteTreeW(classes, progId.c_str());
        RegDeleteTreeW(classes, (L"CLSID\\" + clsid).c_str());
        RegCloseKey(classes);
    }
}

// Another simcad serving the same CLSID, as two sessions of one release.
bool AnotherServes(const std::wstring& clsidText) {
    CLSID clsid{};
    if (FAILED(CLSIDFromString(clsidText.c_str(), &clsid))) return false;
    IUnknown* running = nullptr;
    if (FAILED(GetActiveObject(clsid, nullptr, &running)) || running == nullptr) return false;
    running->Release();
    return true;
}

}  // namespace

std::optional<ProgIdRegistration> ProgIdRegistration::Claim(const std::wstring& progId, const std::wstring& clsid,
                                                            std::wstring& refusal) {
    // The host's own ProgID is checked by every simcad, a release's by that release.
    for (const std::wstring& checked : {std::wstring(kProgId), progId}) {
        std::wstring userClsid;
        std::wstring machineClsid;
        const Mapping user = MappingIn(HKEY_CURRENT_USER, checked, userClsid);
        const Mapping machine = MappingIn(HKEY_LOCAL_MACHINE, checked, machineClsid);
        if (user == Mapping::Other || machine == Mapping::Other) {
            refusal = checked + L" is already registered on this machine (CLSID " +
                      (user == Mapping::Other ? userClsid : machineClsid) +
                      L"), probably by a real AutoCAD; simcad will not replace it. Run simcad in a throwaway Wine "
                      L"prefix or on a machine without AutoCAD.";
            return std::nullopt;
        }
    }
    std::wstring machineClsid;
    const Mapping machine = MappingIn(HKEY_LOCAL_MACHINE, progId, machineClsid);
    ProgIdRegistration registration(progId, clsid);
    if (!Write(HKEY_CURRENT_USER, progId, clsid)) {
        refusal = L"Could not write HKCU\\" + ProgIdKey(progId) + L" and HKCU\\" + ClassKey(clsid) + L".";
        return std::nullopt;
    }
    // A mapping of simcad's own in the machine's classes is left by a run that
    // vanished or by one that runs: removed at the end like the one written now.
    registration.machine_ = machine == Mapping::Simcad;
    // Wine's classes root does not merge the user's classes; there the keys
    // also go into the machine's classes (a Wine prefix is the user's own).
    if (!Resolves(progId, clsid)) {
        registration.machine_ = Write(HKEY_LOCAL_MACHINE, progId, clsid);
        if (!Resolves(progId, clsid)) {
            refusal = progId + L" and " + clsid + L" do not resolve to each other after registering them.";
            return std::nullopt;
        }
    }
    return registration;
}

ProgIdRegistration::~ProgIdRegistration() {
    if (!owned_ || AnotherServes(clsid_)) return;
    RemoveFrom(HKEY_CURRENT_USER, progId_, clsid_);
    if (machine_) RemoveFrom(HKEY_LOCAL_MACHINE, progId_, clsid_);
}

}  // namespace vantrel::simcad
