// simcad's ProgID pointed at its CLSID, and the CLSID naming its ProgID back,
// written only where that harms nothing: when neither "AutoCAD.Application" nor
// simcad's own ProgID is registered to anything but a simcad (left by one that
// runs, or by an earlier run that vanished). A real registration is never
// touched.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace vantrel::simcad {

class ProgIdRegistration {
public:
    // The registration of `progId` to `clsid` (text with braces), or nothing
    // with the reason in `refusal`.
    static std::optional<ProgIdRegistration> Claim(const std::wstring& progId, const std::wstring& clsid,
                                                   std::wstring& refusal);

    ProgIdRegistration(ProgIdRegistration&& other) noexcept
        : progId_(std::move(other.progId_)),
          clsid_(std::move(other.clsid_)),
          owned_(other.owned_),
          machine_(other.machine_) {
        other.owned_ = false;
    }
    ProgIdRegistration& operator=(ProgIdRegistration&&) = delete;
    ProgIdRegistration(const ProgIdRegistration&) = delete;
    ProgIdRegistration& operator=(const ProgIdRegistration&) = delete;
    // Removes the keys it wrote, unless another simcad of the same CLSID is
    // still in the running-object table: called once this one revoked its own.
    ~ProgIdRegistration();

private:
    ProgIdRegistration(std::wstring progId, std::wstring clsid)
        : progId_(std::move(progId)), clsid_(std::move(clsid)) {}
    std::wstring progId_;
    std::wstring clsid_;
    bool owned_ = true;
    bool machine_ = false;  // also written to the machine's classes
};

}  // namespace vantrel::simcad
