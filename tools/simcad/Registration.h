// The ProgID "AutoCAD.Application" pointed at simcad's CLSID, written only where
// that harms nothing: when no such ProgID is registered, or when it already
// maps to simcad (left by an earlier run that vanished). A real registration
// is never touched.
#pragma once

#include <optional>
#include <string>

namespace vantrel::simcad {

class ProgIdRegistration {
public:
    // The registration, or nothing with the reason in `refusal`.
    static std::optional<ProgIdRegistration> Claim(std::wstring& refusal);

    ProgIdRegistration(ProgIdRegistration&& other) noexcept : owned_(other.owned_), machine_(other.machine_) {
        other.owned_ = false;
    }
    ProgIdRegistration& operator=(ProgIdRegistration&&) = delete;
    ProgIdRegistration(const ProgIdRegistration&) = delete;
    ProgIdRegistration& operator=(const ProgIdRegistration&) = delete;
    // Removes the keys it wrote.
    ~ProgIdRegistration();

private:
    ProgIdRegistration() = default;
    bool owned_ = true;
    bool machine_ = false;  // also written to the machine's classes
};

}  // namespace vantrel::simcad
