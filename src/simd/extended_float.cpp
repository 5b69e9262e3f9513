// TSoftExtended: each operation works out its exact result, or the result truncated with a
// sticky flag for the bits below (a sum with far smaller terms, a quotient's remainder), in a
// 128-bit integer, and rounds it once.
#include "simd/extended_float.h"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

namespace qv {

namespace {

using u128 = unsigned __int128;

// The position of the highest set bit of a nonzero value.
int TopBit(u128 value) {
  const auto high = static_cast<std::uint64_t>(value >> 64);
  if (high != 0) return 127 - std::countl_zero(high);
  return 63 - std::countl_zero(static_cast<std::uint64_t>(value));
}

// value >> shift (shift at least 0) and whether a set bit was shifted out.
u128 ShiftRight(u128 value, int shift, bool& lost) {
  if (shift == 0) return value;
  if (shift >= 128) {
    lost = lost || value != 0;
    return 0;
  }
  lost = lost || (value & ((u128{1} << shift) - 1)) != 0;
  return value >> shift;
}

// Rounds value x 2^-drop (plus a fraction of a unit when sticky) to an integer, ties to even.
u128 RoundAway(u128 value, int drop, bool sticky) {
  if (drop <= 0) return value << -drop;
  if (drop >= 128) return 0;  // below half of the last unit kept
  const u128 below = value & ((u128{1} << drop) - 1);
  const u128 half = u128{1} << (drop - 1);
  u128 kept = value >> drop;
  if (below > half || (below == half && (sticky || (kept & 1) != 0))) ++kept;
  return kept;
}

}  // namespace

TSoftExtended::TSoftExtended(long long value)
    : TSoftExtended(static_cast<unsigned long long>(value < 0
                                                        ? -static_cast<unsigned long long>(value)
                                                        : static_cast<unsigned long long>(value))) {
  negative_ = value < 0;
}

TSoftExtended::TSoftExtended(unsigned long long value) {
  if (value == 0) return;
  const int top = 63 - std::countl_zero(static_cast<std::uint64_t>(value));
  exponent_ = top;
  significand_ = static_cast<std::uint64_t>(value) << (63 - top);
}

TSoftExtended::TSoftExtended(double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  negative_ = (bits >> 63) != 0;
  const int field = static_cast<int>((bits >> 52) & 0x7FF);
  std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  if (field == 0) {
    if (mantissa == 0) return;  // a signed zero
    // Subnormal: mantissa x 2^-1074.
    const int top = 63 - std::countl_zero(mantissa);
    exponent_ = top - 1074;
    significand_ = mantissa << (63 - top);
    return;
  }
  exponent_ = field - 1023;
  significand_ = (mantissa | std::uint64_t{1} << 52) << 11;
}

TSoftExtended::TSoftExtended(long double value) {
  negative_ = std::signbit(value);
  if (value == 0) return;
  // |value| = fraction x 2^exponent with fraction in [0.5, 1): its first 64 bits and the rest.
  int exponent = 0;
  const long double fraction = std::frexp(std::fabs(value), &exponent);
  const long double scaled = std::ldexp(fraction, 64);
  const long double whole = std::floor(scaled);
  const long double rest = scaled - whole;  // exact: below the last unit of scaled
  auto significand = static_cast<unsigned long long>(whole);
  bool up = rest > 0.5L || (rest == 0.5L && (significand & 1) != 0);
  *this = Rounded(negative_, exponent - 64, u128{significand} + (up ? 1 : 0), false);
}

TSoftExtended TSoftExtended::Rounded(bool negative, int exponent, u128 magnitude, bool sticky) {
  TSoftExtended result;
  result.negative_ = negative;
  if (magnitude == 0) return result;
  const int top = TopBit(magnitude);
  u128 rounded = RoundAway(magnitude, top - 63, sticky);
  int top_exponent = exponent + top;
  if (rounded >> 64 != 0) {  // rounded up to the next power of two
    rounded >>= 1;
    ++top_exponent;
  }
  result.exponent_ = top_exponent;
  result.significand_ = static_cast<std::uint64_t>(rounded);
  return result;
}

TSoftExtended operator+(TSoftExtended a, TSoftExtended b) {
  if (b.significand_ == 0) {
    if (a.significand_ == 0) a.negative_ = a.negative_ && b.negative_;  // -0 only for -0 + -0
    return a;
  }
  if (a.significand_ == 0) return b;
  // a is the larger in magnitude; both significands put at bit 126, b's shifted to a's scale.
  if (a.exponent_ < b.exponent_ || (a.exponent_ == b.exponent_ && a.significand_ < b.significand_))
    std::swap(a, b);
  const u128 larger = u128{a.significand_} << 63;
  bool lost = false;
  const u128 smaller = ShiftRight(u128{b.significand_} << 63, a.exponent_ - b.exponent_, lost);
  const int exponent = a.exponent_ - 126;
  if (a.negative_ == b.negative_)
    return TSoftExtended::Rounded(a.negative_, exponent, larger + smaller, lost);
  // A difference: with bits of the smaller lost, the exact value lies between the truncated
  // difference less one unit and that difference.
  u128 difference = larger - smaller;
  if (lost) --difference;
  if (difference == 0) return TSoftExtended();  // x - x is +0
  return TSoftExtended::Rounded(a.negative_, exponent, difference, lost);
}

TSoftExtended operator*(TSoftExtended a, TSoftExtended b) {
  const bool negative = a.negative_ != b.negative_;
  if (a.significand_ == 0 || b.significand_ == 0) {
    TSoftExtended zero;
    zero.negative_ = negative;
    return zero;
  }
  return TSoftExtended::Rounded(negative, a.exponent_ + b.exponent_ - 126,
                                u128{a.significand_} * b.significand_, false);
}

TSoftExtended operator/(TSoftExtended a, TSoftExtended b) {
  const bool negative = a.negative_ != b.negative_;
  if (a.significand_ == 0 || b.significand_ == 0) {
    // Only 0 / x is met; x / 0 would be infinite, which the resamplers never divide into.
    TSoftExtended zero;
    zero.negative_ = negative;
    return zero;
  }
  // 64 or 65 bits of quotient from the first division, one more from the remainder, and the
  // rest of the remainder as the sticky flag.
  const u128 dividend = u128{a.significand_} << 64;
  u128 quotient = dividend / b.significand_;
  u128 remainder = dividend % b.significand_;
  remainder <<= 1;
  quotient <<= 1;
  if (remainder >= b.significand_) {
    quotient |= 1;
    remainder -= b.significand_;
  }
  return TSoftExtended::Rounded(negative, a.exponent_ - b.exponent_ - 65, quotient, remainder != 0);
}

int TSoftExtended::Compare(TSoftExtended a, TSoftExtended b) {
  if (a.significand_ == 0 && b.significand_ == 0) return 0;  // +0 == -0
  if (a.significand_ == 0) return b.negative_ ? 1 : -1;
  if (b.significand_ == 0) return a.negative_ ? -1 : 1;
  if (a.negative_ != b.negative_) return a.negative_ ? -1 : 1;
  int magnitude = 0;
  if (a.exponent_ != b.exponent_)
    magnitude = a.exponent_ < b.exponent_ ? -1 : 1;
  else if (a.significand_ != b.significand_)
    magnitude = a.significand_ < b.significand_ ? -1 : 1;
  return a.negative_ ? -magnitude : magnitude;
}

void TSoftExtended::RoundTo(int bits, int least, std::uint64_t& integer, int& unit) const {
  // The last unit kept: bits below the top, but not below the format's least unit.
  unit = exponent_ - (bits - 1);
  if (unit < least) unit = least;
  const int drop = (exponent_ - 63) < unit ? unit - (exponent_ - 63) : 0;
  integer = static_cast<std::uint64_t>(RoundAway(u128{significand_}, drop, false));
  if (drop == 0) unit = exponent_ - 63;
}

// The nearest TFloat (double or float), subnormals and infinities included.
template <class TFloat>
TFloat TSoftExtended::ToBinary() const {
  using TBits = std::conditional_t<sizeof(TFloat) == 8, std::uint64_t, std::uint32_t>;
  using TLimits = std::numeric_limits<TFloat>;
  constexpr int kFraction = TLimits::digits - 1;                   // stored significand bits
  constexpr int kBias = TLimits::max_exponent - 1;                 // also the largest exponent
  constexpr int kLeast = TLimits::min_exponent - TLimits::digits;  // the least unit's exponent
  TBits bits = negative_ ? TBits{1} << (8 * sizeof(TBits) - 1) : 0;
  if (significand_ == 0) return std::bit_cast<TFloat>(bits);
  std::uint64_t integer = 0;
  int unit = 0;
  RoundTo(TLimits::digits, kLeast, integer, unit);
  // integer x 2^unit, integer below 2^(digits + 1): as a subnormal or a normal number.
  if (integer == 0) return std::bit_cast<TFloat>(bits);
  const int top = 63 - std::countl_zero(integer);
  const int exponent = unit + top;
  if (exponent > kBias) return negative_ ? -TLimits::infinity() : TLimits::infinity();
  if (exponent < 1 - kBias)
    return std::bit_cast<TFloat>(static_cast<TBits>(bits | (integer << (unit - kLeast))));
  const std::uint64_t normalized =
      top >= kFraction ? integer >> (top - kFraction) : integer << (kFraction - top);
  bits |= static_cast<TBits>(static_cast<TBits>(exponent + kBias) << kFraction);
  bits |= static_cast<TBits>(normalized) & ((TBits{1} << kFraction) - 1);
  return std::bit_cast<TFloat>(bits);
}

TSoftExtended::operator double() const { return ToBinary<double>(); }

TSoftExtended::operator float() const { return ToBinary<float>(); }

TSoftExtended::operator long double() const {
  if (significand_ == 0) return negative_ ? -0.0L : 0.0L;
  // At most 64 bits: exact wherever long double has as many; rounded once where it is a double.
  long double value;
  if constexpr (LDBL_MANT_DIG >= 64)
    value = std::ldexp(static_cast<long double>(significand_), exponent_ - 63);
  else
    value = static_cast<double>(*this);
  return negative_ ? -value : value;
}

TSoftExtended::operator long long() const {
  if (significand_ == 0 || exponent_ < 0) return 0;
  const std::uint64_t magnitude = exponent_ >= 63 ? significand_ : significand_ >> (63 - exponent_);
  return negative_ ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
}

TSoftExtended TSoftExtended::ToIntegral(TDirection direction) const {
  if (significand_ == 0 || exponent_ >= 63) return *this;
  // The whole part, and how the fraction below it compares with one half.
  std::uint64_t whole = 0;
  int against_half = -1;  // below, at or above one half: -1, 0, 1
  if (exponent_ >= 0) {
    const int fraction_bits = 63 - exponent_;
    whole = significand_ >> fraction_bits;
    const std::uint64_t fraction = significand_ & ((std::uint64_t{1} << fraction_bits) - 1);
    const std::uint64_t half = std::uint64_t{1} << (fraction_bits - 1);
    if (fraction == 0) return *this;
    against_half = fraction < half ? -1 : fraction == half ? 0 : 1;
  } else if (exponent_ == -1) {  // 0.5 <= |x| < 1
    against_half = significand_ == std::uint64_t{1} << 63 ? 0 : 1;
  }
  bool away = false;  // the magnitude rounds up
  switch (direction) {
    case kDown: away = negative_; break;
    case kUp: away = !negative_; break;
    case kTowardZero: break;
    case kNearest: away = against_half > 0 || (against_half == 0 && (whole & 1) != 0); break;
  }
  return Rounded(negative_, 0, u128{whole} + (away ? 1 : 0), false);
}

}  // namespace qv
