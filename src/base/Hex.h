// Numbers in hexadecimal as the program shows them: upper-case digits, a
// negative number as its 32-bit two's complement.
#pragma once

#include <cstdint>
#include <string>

namespace vantrel {

// At least `minDigits` digits, zeros in front where needed; no prefix.
inline std::string HexDigits(std::int32_t number, std::size_t minDigits = 1) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    auto bits = static_cast<std::uint32_t>(number);
    std::string text;
    do {
        text.insert(text.begin(), kDigits[bits % 16]);
        bits /= 16;
    } while (bits != 0);
    if (text.size() < minDigits) text.insert(0, minDigits - text.size(), '0');
    return text;
}

// A status code as the journals write it: 0x and eight digits.
inline std::string HexStatus(std::int32_t number) { return "0x" + HexDigits(number, 8); }

}  // namespace vantrel
