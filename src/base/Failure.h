// The one failure type of the program: a signed 32-bit number and a description.
// Host calls throw it with the host's status code and text; the program's own
// failures use well-known status codes.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace vantrel {

class Failure : public std::exception {
public:
    Failure(std::int32_t number, std::string description) : number_(number), description_(std::move(description)) {}

    [[nodiscard]] const char* what() const noexcept override { return description_.c_str(); }
    [[nodiscard]] std::int32_t Number() const noexcept { return number_; }
    [[nodiscard]] const std::string& Description() const noexcept { return description_; }

private:
    std::int32_t number_;
    std::string description_;
};

// Status codes as signed 32-bit numbers, so the portable code needs no <windows.h>.
constexpr std::int32_t StatusCode(std::uint32_t bits) noexcept { return static_cast<std::int32_t>(bits); }

namespace status {
inline constexpr std::int32_t kFail = StatusCode(0x80004005);               // E_FAIL
inline constexpr std::int32_t kUnexpected = StatusCode(0x8000FFFF);         // E_UNEXPECTED
inline constexpr std::int32_t kOutOfMemory = StatusCode(0x8007000E);        // E_OUTOFMEMORY
inline constexpr std::int32_t kNoInterface = StatusCode(0x80004002);        // E_NOINTERFACE
inline constexpr std::int32_t kPointer = StatusCode(0x80004003);            // E_POINTER
inline constexpr std::int32_t kInvalidArgument = StatusCode(0x80070057);    // E_INVALIDARG
inline constexpr std::int32_t kUnknownName = StatusCode(0x80020006);        // DISP_E_UNKNOWNNAME
inline constexpr std::int32_t kMemberNotFound = StatusCode(0x80020003);     // DISP_E_MEMBERNOTFOUND
inline constexpr std::int32_t kTypeMismatch = StatusCode(0x80020005);       // DISP_E_TYPEMISMATCH
inline constexpr std::int32_t kDispException = StatusCode(0x80020009);      // DISP_E_EXCEPTION
inline constexpr std::int32_t kOverflow = StatusCode(0x8002000A);           // DISP_E_OVERFLOW
inline constexpr std::int32_t kUnavailable = StatusCode(0x800401E3);        // MK_E_UNAVAILABLE
inline constexpr std::int32_t kClassString = StatusCode(0x800401F3);        // CO_E_CLASSSTRING
inline constexpr std::int32_t kCallRejected = StatusCode(0x80010001);       // RPC_E_CALL_REJECTED
inline constexpr std::int32_t kRetryLater = StatusCode(0x8001010A);         // RPC_E_SERVERCALL_RETRYLATER
inline constexpr std::int32_t kDisconnected = StatusCode(0x80010108);       // RPC_E_DISCONNECTED
inline constexpr std::int32_t kServerUnavailable = StatusCode(0x800706BA);  // RPC_S_SERVER_UNAVAILABLE
inline constexpr std::int32_t kCallFailedDne = StatusCode(0x800706BF);      // RPC_S_CALL_FAILED_DNE
inline constexpr std::int32_t kNoActiveDocument = StatusCode(0x8021003C);   // host: no drawing open
}  // namespace status

// The platform's own error numbers, with their texts.
namespace error {
inline constexpr std::int32_t kObjectNotSet = 91;
inline constexpr std::string_view kObjectNotSetText = "AutoCAD gave no drawing object where this needs one";
}  // namespace error

// A reference that holds no object, used as if it held one.
inline Failure ObjectNotSet() { return {error::kObjectNotSet, std::string(error::kObjectNotSetText)}; }

// A host that is only busy (it rejects calls for now) is still there.
constexpr bool IsBusyStatus(std::int32_t number) noexcept {
    return number == status::kCallRejected || number == status::kRetryLater;
}

// The host's own refusal of a call: an automation exception, whose scode the
// host gives in its facility (0x8021xxxx), or without a code of its own.
constexpr bool IsHostRefusal(std::int32_t number) noexcept {
    return number == status::kDispException || (static_cast<std::uint32_t>(number) & 0xFFFF0000U) == 0x80210000U;
}

}  // namespace vantrel
