// The program's pseudo-random source: single-precision values in [0, 1) from a
// 24-bit linear congruential generator with a fixed start. It is never seeded,
// so every run (and every build, on every compiler) draws the same sequence.
#pragma once

#include <cstdint>

namespace vantrel::host {

class RandomSource {
public:
    float Next() noexcept {
        state_ = (state_ * kMultiplier + kIncrement) & kMask;
        return static_cast<float>(state_) / static_cast<float>(kModulus);
    }

private:
    static constexpr std::uint32_t kModulus = 1u << 24;
    static constexpr std::uint32_t kMask = kModulus - 1;
    static constexpr std::uint32_t kMultiplier = 1140671485u;
    static constexpr std::uint32_t kIncrement = 12820163u;
    std::uint32_t state_ = 327680u;
};

}  // namespace vantrel::host
