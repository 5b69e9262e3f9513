// The fixed-point constants of libjpeg's colour conversion and accurate integer DCT ("islow"),
// shared by the portable and the vector forms of the band encoder's sample code.
#pragma once

#include <cstdint>

namespace qv::jpeg_fixed_point {

inline constexpr int kConstBits = 13;
inline constexpr int kPass1Bits = 2;

// The colour weights in 16 fraction bits (each x 65536, rounded).
inline constexpr std::int32_t kRY = 19595, kGY = 38470, kBY = 7471;
inline constexpr std::int32_t kRCb = 11059, kGCb = 21709, kHalf = 32768;
inline constexpr std::int32_t kGCr = 27439, kBCr = 5329;
inline constexpr std::int32_t kChromaOffset = (128 << 16) + 32767;

// The LL&M constants (each x 2^13, rounded): c1 = 0.298631336, c2 = 0.390180644,
// c3 = 0.541196100, c4 = 0.765366865, c5 = 0.899976223, c6 = 1.175875602, c7 = 1.501321110,
// c8 = 1.847759065, c9 = 1.961570560, c10 = 2.053119869, c11 = 2.562915447, c12 = 3.072711026.
// The even outputs 2 and 6 are z1 + t13 c4 and z1 - t12 c8 with z1 = (t12 + t13) c3; the odd
// ones sum products of the differences t4 .. t7 through z1 .. z5. Multiplied out, each output is
// one weighted sum of two or four values, which is what a 16-bit multiply-add gives, exactly.
inline constexpr std::int16_t kC3 = 4433, kC4 = 6270, kC8 = 15137;
inline constexpr std::int16_t kC1 = 2446, kC2 = 3196, kC5 = 7373, kC6 = 9633, kC7 = 12299;
inline constexpr std::int16_t kC9 = 16069, kC10 = 16819, kC11 = 20995, kC12 = 25172;

// Weights of (t12, t13) for outputs 2 and 6.
inline constexpr std::int16_t kOut2[2] = {kC3, kC3 + kC4};
inline constexpr std::int16_t kOut6[2] = {kC3 - kC8, kC3};
// Weights of (t4, t5, t6, t7) for outputs 7, 5, 3, 1.
inline constexpr std::int16_t kOut7[4] = {kC1 - kC5 - kC9 + kC6, kC6, kC6 - kC9, kC6 - kC5};
inline constexpr std::int16_t kOut5[4] = {kC6, kC10 - kC11 - kC2 + kC6, kC6 - kC11, kC6 - kC2};
inline constexpr std::int16_t kOut3[4] = {kC6 - kC9, kC6 - kC11, kC12 - kC11 - kC9 + kC6, kC6};
inline constexpr std::int16_t kOut1[4] = {kC6 - kC5, kC6 - kC2, kC6, kC7 - kC5 - kC2 + kC6};

}  // namespace qv::jpeg_fixed_point
