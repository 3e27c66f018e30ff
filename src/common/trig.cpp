// Correctly rounded sin, cos and atan2 from IEEE double arithmetic only.
//
// Everything here is exact or a single IEEE rounding: the error-free sum and
// product (Knuth's two-sum, Dekker's split product) carry a value as an
// unevaluated pair hi + lo of about 106 bits. Contracting a·b + c into a fused
// multiply-add would change those results, so this file is built with
// -ffp-contract=off; nothing depends on x87 or vector registers.
#include "common/trig.h"

#include <cstdint>
#include <cstring>
#include <limits>

#include "common/trig_tables.h"

namespace gf {
namespace {

using trig_tables::Dd;
using trig_tables::kAtanTable;
using trig_tables::kInverseFactorial;
using trig_tables::kSinCos64;
using trig_tables::kTwoOverPi;

uint64_t bits_of(double x) {
    uint64_t bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

double from_bits(uint64_t bits) {
    double x = 0;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

// 2^k for k in the normal range, built from its bits (exact, no libm).
double pow2(int k) { return from_bits(static_cast<uint64_t>(k + 1023) << 52); }

bool is_nan(double x) { return x != x; }

// The integer nearest |x| < 2^51 (ties to even): adding 1.5·2^52 leaves no
// bits below the units, and taking it away again is exact.
double nearest_integer(double x) {
    constexpr double kShift = 0x1.8p52;
    return (x + kShift) - kShift;
}
bool is_inf(double x) { return x - x != x - x && !is_nan(x); }

// a + b exactly, for |a| >= |b| or a == 0.
Dd fast_two_sum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

// a + b exactly, any order.
Dd two_sum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// a·b exactly (barring underflow and |a|, |b| beyond 2^996): each factor is
// split into two 26-bit halves whose products are exact.
Dd two_prod(double a, double b) {
    constexpr double kSplitter = 134217729.0;  // 2^27 + 1
    const double p = a * b;
    const double ta = kSplitter * a;
    const double ah = ta - (ta - a);
    const double al = a - ah;
    const double tb = kSplitter * b;
    const double bh = tb - (tb - b);
    const double bl = b - bh;
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

// a + b to about 2^-104 of the larger operand. Every sum here adds values of
// one sign or a much smaller correction, so that is 2^-104 of the result too.
Dd add(Dd a, Dd b) {
    const Dd s = two_sum(a.hi, b.hi);
    return fast_two_sum(s.hi, s.lo + (a.lo + b.lo));
}

Dd neg(Dd a) { return {-a.hi, -a.lo}; }

Dd mul(Dd a, Dd b) {
    const Dd p = two_prod(a.hi, b.hi);
    return fast_two_sum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

// The constants, each the double-double nearest the exact value.
constexpr Dd kPiOver2 = {0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54};
constexpr Dd kPi = {0x1.921fb54442d18p+1, 0x1.1a62633145c07p-53};

// A 320-bit unsigned integer, least significant word first.
struct Wide {
    uint64_t w[5];
};

// The full 128-bit product of two 64-bit words, from 32-bit halves.
void mul64(uint64_t a, uint64_t b, uint64_t& hi, uint64_t& lo) {
    const uint64_t a0 = a & 0xFFFFFFFFu, a1 = a >> 32;
    const uint64_t b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
    const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    const uint64_t mid = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
    lo = (mid << 32) | (p00 & 0xFFFFFFFFu);
    hi = p11 + (p01 >> 32) + (p10 >> 32) + (mid >> 32);
}

// Bits [pos, pos + 64) of n; bits below 0 read as zero.
uint64_t bits_from(const Wide& n, int pos) {
    if (pos <= -64) {
        return 0;
    }
    if (pos < 0) {
        return n.w[0] << -pos;
    }
    const int word = pos / 64, shift = pos % 64;
    uint64_t bits = n.w[word] >> shift;
    if (shift != 0 && word + 1 < 5) {
        bits |= n.w[word + 1] << (64 - shift);
    }
    return bits;
}

// Position of the highest set bit of a non-zero n.
int top_bit(const Wide& n) {
    for (int i = 4; i >= 0; --i) {
        if (n.w[i] != 0) {
            return 64 * i + 63 - __builtin_clzll(n.w[i]);
        }
    }
    return -1;
}

// The exact reduction of a finite |x| >= π/4: x = (4n + quadrant)·π/2 + r with
// |r| <= π/4. x = m·2^e is multiplied by a 256-bit window of 2/π; the window
// starts where earlier bits would only add multiples of 4 quadrants, and the
// bits it leaves out change the product by under 2^-200 of a quadrant, so r
// keeps more than 130 correct bits even next to a multiple of π/2.
Dd reduce(double x, int& quadrant) {
    const uint64_t bits = bits_of(x);
    const int e = static_cast<int>(bits >> 52) - 1075;
    const uint64_t m = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);

    const int first = e - 1 > 1 ? e - 1 : 1;  // first bit of 2/π used, counted from 1
    const int word = (first - 1) / 64, shift = (first - 1) % 64;
    uint64_t window[4];  // most significant word first
    for (int i = 0; i < 4; ++i) {
        window[i] = kTwoOverPi[word + i] << shift;
        if (shift != 0) {
            window[i] |= kTwoOverPi[word + i + 1] >> (64 - shift);
        }
    }
    Wide product{};
    uint64_t carry = 0;
    for (int i = 0; i < 4; ++i) {
        uint64_t hi = 0, lo = 0;
        mul64(m, window[3 - i], hi, lo);
        lo += carry;
        product.w[i] = lo;
        carry = hi + (lo < carry ? 1 : 0);
    }
    product.w[4] = carry;

    // The product counts units of 2^-fraction_bits quadrants.
    const int fraction_bits = first + 255 - e;
    quadrant = static_cast<int>((bits_from(product, fraction_bits)) & 3);
    const bool negative = ((bits_from(product, fraction_bits - 1)) & 1) != 0;
    if (negative) {  // the fraction is at least a half: round to the next quadrant
        quadrant = (quadrant + 1) & 3;
        uint64_t borrow = 1;
        for (uint64_t& w : product.w) {  // two's complement: -product
            w = ~w + borrow;
            borrow = (borrow != 0 && w == 0) ? 1 : 0;
        }
    }
    for (int i = 0; i < 5; ++i) {  // keep the fraction bits only
        const int low = 64 * i;
        if (low >= fraction_bits) {
            product.w[i] = 0;
        } else if (fraction_bits - low < 64) {
            product.w[i] &= (uint64_t{1} << (fraction_bits - low)) - 1;
        }
    }
    const int top = top_bit(product);  // never -1: no double is a multiple of π/2
    constexpr uint64_t kMask53 = (uint64_t{1} << 53) - 1;
    const double hi = static_cast<double>(bits_from(product, top - 52) & kMask53) * pow2(top - 52 - fraction_bits);
    const double lo = static_cast<double>(bits_from(product, top - 105) & kMask53) * pow2(top - 105 - fraction_bits);
    const Dd r = mul(fast_two_sum(hi, lo), kPiOver2);
    return negative ? neg(r) : r;
}

// The reduction for |x| < 2^20 against π/2 in three parts (33 + 33 + 53
// bits, 2^-122 short of π/2), for the quick sum: k·P1 and k·P2 are exact,
// x − k·P1 is exact, and r is good to 2^-102 absolute. False when r is so
// small that this is not 2^-70 of r; the exact reduction takes those.
bool reduce_quick(double x, int& quadrant, Dd& r) {
    constexpr double kP1 = 0x1.921fb54400000p+0, kP2 = 0x1.0b4611a600000p-34, kP3 = 0x1.3198a2e037073p-69;
    if (!(x < 0x1p20)) {
        return false;
    }
    const double k = nearest_integer(x * 0x1.45f306dc9c883p-1);
    const Dd t = two_sum(x - k * kP1, -(k * kP2));
    r = add(t, neg(two_prod(k, kP3)));
    quadrant = static_cast<int>(k) & 3;
    const double magnitude = r.hi < 0 ? -r.hi : r.hi;
    return magnitude > 0x1p-32;
}

// Σ (−1)^k z^k / (2k + first)! for k = 0 … 15, with z = r² as a double-double:
// cos r for first = 0, sin r / r for first = 1. For |r| <= π/4 the terms from
// k = 9 on are below 2^-59 of the sum, so they take plain doubles; the sum of
// all terms beyond k = 15 is below 2^-110.
Dd taylor(Dd z, int first) {
    double tail = 0.0;
    for (int k = 15; k >= 9; --k) {
        const double c = kInverseFactorial[2 * k + first].hi;
        tail = (k % 2 != 0 ? -c : c) + z.hi * tail;
    }
    Dd sum = {tail, 0.0};
    for (int k = 8; k >= 0; --k) {
        const Dd c = kInverseFactorial[2 * k + first];
        sum = add(k % 2 != 0 ? neg(c) : c, mul(z, sum));
    }
    return sum;
}

// hi + lo rounded to double when every value within relative_error of it
// rounds the same way (the exact value is then certain to), else NaN.
double round_if_certain(Dd v, double relative_error) {
    const double error = (v.hi < 0 ? -v.hi : v.hi) * relative_error;
    const double up = v.hi + (v.lo + error);
    const double down = v.hi + (v.lo - error);
    return up == down ? up : std::numeric_limits<double>::quiet_NaN();
}

// ±sin or ±cos of the reduced |r| <= π/4 to about 2^-104, by the quadrant.
Dd sin_reduced(Dd r, int quadrant) {
    const Dd z = mul(r, r);
    const Dd v = (quadrant & 1) != 0 ? taylor(z, 0) : mul(r, taylor(z, 1));
    return (quadrant & 2) != 0 ? neg(v) : v;
}

// The same to about 2^-65, from the nearest tabulated angle a = j/64: with
// d = r − a (|d| <= 1/128), sin r = sin a + cos a·d + cos a·(sin d − d) +
// sin a·(cos d − 1) and cos r = cos a − sin a·d − sin a·(sin d − d) +
// cos a·(cos d − 1); the last two terms (below 2^-15) take plain doubles.
Dd sin_reduced_quick(Dd r, int quadrant) {
    const int j = static_cast<int>(nearest_integer(r.hi * 64.0));
    const Dd sa = j < 0 ? neg(kSinCos64[-j][0]) : kSinCos64[j][0];
    const Dd ca = kSinCos64[j < 0 ? -j : j][1];
    // r.hi − a is exact and, unless zero, at least an ulp of r.hi.
    const Dd d = fast_two_sum(r.hi - j / 64.0, r.lo);
    const double z = d.hi * d.hi;
    const double sin_rest = d.hi * z * (-1.0 / 6.0 + z * (1.0 / 120.0 + z * (-1.0 / 5040.0)));
    const double cos_rest = z * (-0.5 + z * (1.0 / 24.0 + z * (-1.0 / 720.0))) - d.hi * d.lo;
    const Dd v = (quadrant & 1) != 0 ? add(ca, add(neg(mul(sa, d)), {ca.hi * cos_rest - sa.hi * sin_rest, 0.0}))
                                     : add(sa, add(mul(ca, d), {ca.hi * sin_rest + sa.hi * cos_rest, 0.0}));
    return (quadrant & 2) != 0 ? neg(v) : v;
}

// sin(x) for offset 0, cos(x) = sin(x + π/2) for offset 1. The quick sum
// settles all but a few arguments in a thousand; the rest take the long series.
double sin_quadrant(double x, int offset) {
    if (is_nan(x) || is_inf(x)) {
        return x - x;
    }
    const bool negative = x < 0;
    const double ax = negative ? -x : x;
    // sin(−x) = −sin x; cos(−x) = cos x = sin(x + π/2) with x ≥ 0.
    const int turn = offset + (negative && offset == 0 ? 2 : 0);
    const bool small = ax < kPiOver2.hi * 0.5;
    int quadrant = 0;
    Dd r = {ax, 0.0};
    if (small || reduce_quick(ax, quadrant, r)) {
        const double quick = round_if_certain(sin_reduced_quick(r, (quadrant + turn) & 3), 0x1p-61);
        if (!is_nan(quick)) {
            return quick;
        }
    }
    if (!small) {
        r = reduce(ax, quadrant);
    }
    const Dd v = sin_reduced(r, (quadrant + turn) & 3);
    return v.hi + v.lo;
}

constexpr Dd kThird = {0x1.5555555555555p-2, 0x1.5555555555555p-56};
constexpr Dd kFifth = {0x1.999999999999ap-3, -0x1.999999999999ap-57};

// atan(u) for |u| <= 1/128: u − u³/3 + u⁵/5 − …. With exact set, u³/3 (below
// 2^-15 of the sum) and u⁵/5 (below 2^-30) take double-doubles, the rest
// plain doubles: about 2^-104. Otherwise all but u take plain doubles: about
// 2^-66. The terms left out are below 2^-110 and 2^-80.
Dd atan_small(Dd u, bool exact) {
    if (!exact) {
        const double z = u.hi * u.hi;
        const double series = -1.0 / 3.0 + z * (0.2 + z * (-1.0 / 7.0 + z * (1.0 / 9.0 + z * (-1.0 / 11.0))));
        return fast_two_sum(u.hi, u.lo + u.hi * z * series);
    }
    const Dd u2 = two_prod(u.hi, u.hi);
    const Dd z = fast_two_sum(u2.hi, u2.lo + 2.0 * u.hi * u.lo);
    const double zh = z.hi;
    const double tail = -1.0 / 7.0 + zh * (1.0 / 9.0 + zh * (-1.0 / 11.0 + zh * (1.0 / 13.0 + zh * (-1.0 / 15.0))));
    const Dd r = add(neg(kThird), mul(z, add(kFifth, mul(z, {tail, 0.0}))));
    return add(u, mul(mul(u, z), r));
}

// a/b for 0 < a <= b as atan(a/b) = atan(index/64) + atan(u), |u| <= 1/128;
// index −1 when a/b is so small that atan(a/b) rounds as u = a/b itself.
struct Ratio {
    int index;
    Dd u;
};

Ratio split_ratio(double a, double b) {
    const double t = a / b;
    if (t < 0x1p-60) {  // atan t = t·(1 − t²/3 …)
        return {-1, {t, 0.0}};
    }
    if (b > 0x1p+900 || b < 0x1p-900) {
        // One power of two brings b near 1: exact (a keeps a normal exponent
        // as a/b >= 2^-60), so no split product overflows or underflows.
        if (b < 0x1p-1000) {
            a *= 0x1p+600;
            b *= 0x1p+600;
        }
        const int e = static_cast<int>(bits_of(b) >> 52) - 1023;
        const double first = pow2(-e / 2), second = pow2(-e - (-e / 2));
        a = a * first * second;
        b = b * first * second;
    }
    // With c = index/64 nearest a/b, u = (a − c·b)/(b + c·a). a − c·b is
    // exact: the two are within a factor of two of each other.
    const int index = static_cast<int>(nearest_integer(t * 64.0));
    const double c = index / 64.0;
    const Dd cb = two_prod(c, b);
    const Dd numerator = two_sum(a - cb.hi, -cb.lo);
    const Dd ca = two_prod(c, a);
    const Dd sum = two_sum(b, ca.hi);
    const Dd denominator = fast_two_sum(sum.hi, sum.lo + ca.lo);
    // The quotient to about 2^-104: q1, then the exact remainder over the divisor.
    const double q1 = numerator.hi / denominator.hi;
    const Dd p = two_prod(q1, denominator.hi);
    const double rest = (((numerator.hi - p.hi) - p.lo) + numerator.lo) - q1 * denominator.lo;
    return {index, fast_two_sum(q1, rest / denominator.hi)};
}

// The angle of (|x|, |y|) folded into its quadrant, from the split ratio of
// the smaller to the larger coordinate.
Dd folded_angle(const Ratio& ratio, bool steep, bool x_negative, bool exact) {
    Dd a = ratio.index < 0 ? ratio.u : add(kAtanTable[ratio.index], atan_small(ratio.u, exact));
    if (steep) {
        a = add(kPiOver2, neg(a));
    }
    if (x_negative) {
        a = add(kPi, neg(a));
    }
    return a;
}

}  // namespace

double sin(double x) {
    if (x == 0) {
        return x;  // keeps the sign of zero
    }
    return sin_quadrant(x, 0);
}

double cos(double x) { return sin_quadrant(x, 1); }

double atan2(double y, double x) {
    if (is_nan(x) || is_nan(y)) {
        return x + y;
    }
    const bool y_negative = (bits_of(y) >> 63) != 0;
    const bool x_negative = (bits_of(x) >> 63) != 0;  // −0 counts as negative
    const double ay = y_negative ? -y : y;
    const double ax = x_negative ? -x : x;
    double angle = 0.0;
    if (is_inf(ax) && is_inf(ay)) {
        angle = x_negative ? 0x1.2d97c7f3321d2p+1 : 0x1.921fb54442d18p-1;  // 3π/4, π/4
    } else if (ay == 0 || is_inf(ax)) {
        angle = x_negative ? kPi.hi : 0.0;
    } else if (ax == 0 || is_inf(ay)) {
        angle = kPiOver2.hi;
    } else {
        const bool steep = ay > ax;
        const Ratio ratio = steep ? split_ratio(ax, ay) : split_ratio(ay, ax);
        angle = round_if_certain(folded_angle(ratio, steep, x_negative, false), 0x1p-62);
        if (is_nan(angle)) {
            const Dd a = folded_angle(ratio, steep, x_negative, true);
            angle = a.hi + a.lo;
        }
    }
    return y_negative ? -angle : angle;
}

}  // namespace gf
