// x87 extended precision on every processor: the arithmetic the resamplers' documented results
// are written in (a 64-bit significand, each operation rounded to nearest with ties to even).
//
// On x86 TExtended is the processor's own long double. Elsewhere long double is another format
// (IEEE quadruple precision on aarch64, double on others), and TSoftExtended computes the x87
// values exactly in integers: every sum, difference, product and quotient rounded once to 64
// significant bits, conversions to double and float rounded once from those, as the x87 unit
// does. It holds finite values only (the resamplers never reach infinity or a NaN) with an
// exponent range wider than the x87 one; tests compare it with the x87 unit on every x86 build.
#pragma once

#include <cstdint>

namespace qv {

class TSoftExtended {
 public:
  constexpr TSoftExtended() = default;  // +0
  // Exact: every int, integer of up to 64 bits, float and double is a 64-bit significand.
  TSoftExtended(int value) : TSoftExtended(static_cast<long long>(value)) {}
  TSoftExtended(long value) : TSoftExtended(static_cast<long long>(value)) {}
  TSoftExtended(long long value);
  TSoftExtended(unsigned value) : TSoftExtended(static_cast<unsigned long long>(value)) {}
  TSoftExtended(unsigned long value) : TSoftExtended(static_cast<unsigned long long>(value)) {}
  TSoftExtended(unsigned long long value);
  TSoftExtended(float value) : TSoftExtended(static_cast<double>(value)) {}
  TSoftExtended(double value);
  // This processor's long double, exactly when it has at most 64 significant bits (a constant
  // written with 16 hexadecimal digits), else rounded once.
  explicit TSoftExtended(long double value);

  // Rounded to nearest, ties to even (subnormal results included); the integers truncate.
  explicit operator double() const;
  explicit operator float() const;
  explicit operator long double() const;
  explicit operator long long() const;
  explicit operator long() const { return static_cast<long>(static_cast<long long>(*this)); }
  explicit operator int() const { return static_cast<int>(static_cast<long long>(*this)); }

  friend TSoftExtended operator+(TSoftExtended a, TSoftExtended b);
  friend TSoftExtended operator-(TSoftExtended a, TSoftExtended b) { return a + -b; }
  friend TSoftExtended operator*(TSoftExtended a, TSoftExtended b);
  friend TSoftExtended operator/(TSoftExtended a, TSoftExtended b);
  friend TSoftExtended operator-(TSoftExtended a) {
    a.negative_ = !a.negative_;
    return a;
  }
  TSoftExtended& operator+=(TSoftExtended b) { return *this = *this + b; }
  TSoftExtended& operator-=(TSoftExtended b) { return *this = *this - b; }
  TSoftExtended& operator*=(TSoftExtended b) { return *this = *this * b; }
  TSoftExtended& operator/=(TSoftExtended b) { return *this = *this / b; }

  friend bool operator==(TSoftExtended a, TSoftExtended b) { return Compare(a, b) == 0; }
  friend bool operator<(TSoftExtended a, TSoftExtended b) { return Compare(a, b) < 0; }
  friend bool operator<=(TSoftExtended a, TSoftExtended b) { return Compare(a, b) <= 0; }
  friend bool operator>(TSoftExtended a, TSoftExtended b) { return Compare(a, b) > 0; }
  friend bool operator>=(TSoftExtended a, TSoftExtended b) { return Compare(a, b) >= 0; }

  // The integral values next to x, as floor, ceil, trunc and rint (nearest, ties to even) give
  // them; the sign of a zero result is the sign of x.
  friend TSoftExtended Floor(TSoftExtended x) { return x.ToIntegral(kDown); }
  friend TSoftExtended Ceil(TSoftExtended x) { return x.ToIntegral(kUp); }
  friend TSoftExtended Trunc(TSoftExtended x) { return x.ToIntegral(kTowardZero); }
  friend TSoftExtended Rint(TSoftExtended x) { return x.ToIntegral(kNearest); }
  friend TSoftExtended Fabs(TSoftExtended x) {
    x.negative_ = false;
    return x;
  }

 private:
  enum TDirection { kDown, kUp, kTowardZero, kNearest };

  // magnitude x 2^exponent, plus a fraction of its last unit when sticky (0 < fraction < 1),
  // rounded to 64 significant bits.
  static TSoftExtended Rounded(bool negative, int exponent, unsigned __int128 magnitude,
                               bool sticky);
  // The significand rounded to bits bits at most (fewer for a result below the smallest normal
  // value of a format whose last unit is 2^least), as integer x 2^unit.
  void RoundTo(int bits, int least, std::uint64_t& integer, int& unit) const;
  template <class TFloat>
  TFloat ToBinary() const;
  static int Compare(TSoftExtended a, TSoftExtended b);
  TSoftExtended ToIntegral(TDirection direction) const;

  // The value is significand_ x 2^(exponent_ - 63); significand_ has its top bit set, or is 0
  // for a zero.
  bool negative_ = false;
  int exponent_ = 0;
  std::uint64_t significand_ = 0;
};

// QV_SOFT_EXTENDED defined takes TSoftExtended on x86 too, to run the whole test suite with it.
#if (defined(__x86_64__) || defined(__i386__)) && !defined(QV_SOFT_EXTENDED)
using TExtended = long double;
inline long double Floor(long double x) { return __builtin_floorl(x); }
inline long double Ceil(long double x) { return __builtin_ceill(x); }
inline long double Trunc(long double x) { return __builtin_truncl(x); }
inline long double Rint(long double x) { return __builtin_rintl(x); }
inline long double Fabs(long double x) { return __builtin_fabsl(x); }
#else
using TExtended = TSoftExtended;
#endif

}  // namespace qv
