#pragma once

#include <cstdint>

// The exponential the spectrum's recurrence restarts from, written once for a double and for GCC
// vectors of doubles, so that a whole row of bins is computed in registers instead of one libm
// call per bin. Every lane does the same operations as the scalar version and gives the same bits.
//
// exp(x) = 2^k · exp(r) with k = round(x / ln 2) and r = x − k·ln 2 reduced in two parts (ln2Hi has
// 21 trailing zero bits, so k·ln2Hi is exact for |k| < 2^21, and x − k·ln2Hi is exact because both
// are within a factor 2 of each other); |r| ≤ 0.3466. exp(r) = 1 + r·t(r), t the Taylor series of
// (exp(r) − 1)/r to r^12, as 1 + (r/2 + r²·w) with w ≈ 1/6 the rest.
//
// Error, with u = 2^−53 the unit roundoff:
//  - truncation: |r|^13/14! · e^|r| < 0.04 u of the result;
//  - the reduced argument is rounded once (|Δr| ≤ u·|r|, and k·ln2Lo adds under 1e−6 u), which
//    changes exp(r) by at most 0.35 u relative;
//  - t ∈ [0.85, 1.19]: r²·w is at most 0.021 of t, so even 8 u of error in w moves t by under
//    0.2 u; r/2 is exact, adding r²·w to it rounds by u of a value at most 0.2 of t, and adding 1
//    rounds by u: t carries at most 1.5 u; q = r·t at most 2.5 u of |q|, and |q| ≤ 0.415 (r > 0) or 0.293 with 1 + q ≥ 0.707
//    (r < 0), so q adds at most 2.5 u · 0.414 = 1.04 u of the result; the last addition rounds once, u;
//  - the coefficients 1/n! are rounded: under 0.2 u of the result;
//  - 2^k is exact and so is the product while the result is a normal number.
// Together below 3 u (1.5 units in the last place). Arguments below kExpFloor give 0 (the result
// would be subnormal or 0, where no relative bound holds); arguments above 709 are not passed here.
namespace mirelo::recurrence {

inline constexpr double kExpFloor = -705;

namespace detail {

template <typename V>
struct IntOf {
    typedef std::int64_t type __attribute__((vector_size(sizeof(V))));
};
template <>
struct IntOf<double> {
    using type = std::int64_t;
};

}  // namespace detail

// out = exp(x) lane by lane (by reference: the psABI passes wide vectors differently with and
// without AVX).
template <typename V>
[[gnu::always_inline]] inline void ExpInto(V& out, const V& x) {
    using I = typename detail::IntOf<V>::type;
    constexpr double kLog2e = 1.4426950408889634;
    constexpr double kShift = 6755399441055744.0;  // 1.5 · 2^52: adding it rounds to an integer
    constexpr double kLn2Hi = 6.93147180369123816490e-01;
    constexpr double kLn2Lo = 1.90821492927058770002e-10;
    const V xs = x < kExpFloor ? V{} + kExpFloor : x;  // kept in range; the result is replaced below
    const V shifted = xs * kLog2e + kShift;
    const V k = shifted - kShift;
    const V r = (xs - k * kLn2Hi) - k * kLn2Lo;
    // t = 1 + r/2 + r^2 w, w = Σ r^(n-2)/(n+1)! for n = 2..12 in pairs (short chains of
    // dependent operations: the lanes wait less), its small terms added first.
    const V r2 = r * r;
    const V r4 = r2 * r2;
    const V high = (1.0 / 6 + r * (1.0 / 24)) + r2 * (1.0 / 120 + r * (1.0 / 720));
    const V low = (1.0 / 5040 + r * (1.0 / 40320)) + r2 * (1.0 / 362880 + r * (1.0 / 3628800)) +
                  r4 * ((1.0 / 39916800 + r * (1.0 / 479001600)) + r2 * (1.0 / 6227020800.0));
    const V w = high + r4 * low;
    const V t = 1.0 + (0.5 * r + r2 * w);
    const V p = 1.0 + r * t;
    // shifted holds 0x4338000000000000 + k in its bits; 2^k is (k + 1023) << 52.
    const I bits = __builtin_bit_cast(I, shifted);
    const I scaleBits = (bits - static_cast<std::int64_t>(0x4338000000000000) + 1023) << 52;
    const V result = p * __builtin_bit_cast(V, scaleBits);
    out = x < kExpFloor ? V{} : result;
}

inline double Exp(double x) {
    double out;
    ExpInto(out, x);
    return out;
}

}  // namespace mirelo::recurrence
