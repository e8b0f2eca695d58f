#pragma once

#include <cstdint>

namespace quorvex::markup {

// The classic C library generator: x = x * 214013 + 2531011, value (x >> 16) & 0x7FFF, seed 1.
// Pictures drawn with it are the same on every platform.
class ClassicRandom {
public:
    static constexpr int kMax = 32767;

    explicit ClassicRandom(std::uint32_t seed = 1) : state_(seed) {}

    int Next()
    {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFF);
    }

private:
    std::uint32_t state_;
};

}  // namespace quorvex::markup
