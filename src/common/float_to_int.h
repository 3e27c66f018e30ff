// The one float-to-integer conversion every effect uses: truncate toward zero
// to a 64-bit integer and keep its low 32 bits. NaN, infinities and values
// outside the 64-bit range give 0, so no conversion is ever undefined.
#pragma once

#include <cmath>
#include <cstdint>

namespace gf {

inline int32_t float_to_int(double value) {
    // 2^63 is exactly representable; anything at or beyond it (or NaN) is out of range.
    constexpr double kLimit = 9223372036854775808.0;
    if (!(value > -kLimit && value < kLimit)) {
        return 0;
    }
    const auto wide = static_cast<int64_t>(value);  // truncates toward zero
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(wide)));
}

}  // namespace gf
