#include "Registration.h"

#include <objbase.h>
#include <windows.h>

#include "SimcadProtocol.h"

namespace vantrel::simcad {
namespace {

constexpr wchar_t kClassesKey[] = L"Software\\Classes";

std::wstring ClsidKey() { return std::wstring(kClassesKey) + L"\\" + kProgId + L"\\CLSID"; }

enum class Mapping { None, Simcad, Other };

// What the ProgID maps to in one registry root's classes.
Mapping MappingIn(HKEY root, std::wstring& clsid) {
    const std::wstring progId = std::wstring(kClassesKey) + L"\\" + kProgId;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, progId.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return Mapping::None;
    RegCloseKey(key);
    wchar_t value[64] = {};
    DWORD size = sizeof(value);
    if (RegGetValueW(root, ClsidKey().c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) {
        clsid = L"none";
        return Mapping::Other;
    }
    clsid = value;
    return CompareStringOrdinal(value, -1, kClsidText, -1, TRUE) == CSTR_EQUAL ? Mapping::Simcad : Mapping::Other;
}

bool ResolvesToSimcad() {
    CLSID registered{};
    CLSID simcad{};
    return SUCCEEDED(CLSIDFromProgID(kProgId, &registered)) && SUCCEEDED(CLSIDFromString(kClsidText, &simcad)) &&
           IsEqualCLSID(registered, simcad);
}

bool Write(HKEY root) {
    const auto bytes = static_cast<DWORD>(sizeof(kClsidText));
    return RegSetKeyValueW(root, ClsidKey().c_str(), nullptr, REG_SZ, kClsidText, bytes) == ERROR_SUCCESS;
}

void RemoveFrom(HKEY root) {
    HKEY classes = nullptr;
    if (RegOpenKeyExW(root, kClassesKey, 0, KEY_ALL_ACCESS, &classes) == ERROR_SUCCESS) {
        RegDeleteTreeW(classes, kProgId);
        RegCloseKey(classes);
    }
}

}  // namespace

std::optional<ProgIdRegistration> ProgIdRegistration::Claim(std::wstring& refusal) {
    std::wstring userClsid;
    std::wstring machineClsid;
    const Mapping user = MappingIn(HKEY_CURRENT_USER, userClsid);
    const Mapping machine = MappingIn(HKEY_LOCAL_MACHINE, machineClsid);
    if (user == Mapping::Other || machine == Mapping::Other) {
        refusal = std::wstring(kProgId) + L" is already registered on this machine (CLSID " +
                  (user == Mapping::Other ? userClsid : machineClsid) +
                  L"), probably by a real AutoCAD; simcad will not replace it. Run simcad in a throwaway Wine "
                  L"prefix or on a machine without AutoCAD.";
        return std::nullopt;
    }
    ProgIdRegistration registration;
    if (!Write(HKEY_CURRENT_USER)) {
        refusal = L"Could not write HKCU\\" + ClsidKey() + L".";
        return std::nullopt;
    }
    // A mapping of simcad's own in the machine's classes is a leftover of a run
    // that vanished: removed at the end like the one written now.
    registration.machine_ = machine == Mapping::Simcad;
    // Wine's classes root does not merge the user's classes; there the mapping
    // also goes into the machine's classes (a Wine prefix is the user's own).
    if (!ResolvesToSimcad()) {
        registration.machine_ = Write(HKEY_LOCAL_MACHINE);
        if (!ResolvesToSimcad()) {
            refusal = std::wstring(kProgId) + L" does not resolve to simcad after registering it.";
            return std::nullopt;
        }
    }
    return registration;
}

ProgIdRegistration::~ProgIdRegistration() {
    if (!owned_) return;
    RemoveFrom(HKEY_CURRENT_USER);
    if (machine_) RemoveFrom(HKEY_LOCAL_MACHINE);
}

}  // namespace vantrel::simcad
