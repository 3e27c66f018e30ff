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

namespace gf {
namespace {

// A double-double: the value hi + lo with |lo| at most about half an ulp of hi.
struct Dd {
    double hi;
    double lo;
};

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

// 2/π in binary, 64 bits a word from the binary point on: enough bits that
// the largest double's product keeps over 200 bits below the binary point.
constexpr uint64_t kTwoOverPi[] = {
    0xa2f9836e4e441529ULL, 0xfc2757d1f534ddc0ULL, 0xdb6295993c439041ULL, 0xfe5163abdebbc561ULL, 0xb7246e3a424dd2e0ULL,
    0x06492eea09d1921cULL, 0xfe1deb1cb129a73eULL, 0xe88235f52ebb4484ULL, 0xe99c7026b45f7e41ULL, 0x3991d639835339f4ULL,
    0x9c845f8bbdf9283bULL, 0x1ff897ffde05980fULL, 0xef2f118b5a0a6d1fULL, 0x6d367ecf27cb09b7ULL, 0x4f463f669e5fea2dULL,
    0x7527bac7ebe5f17bULL, 0x3d0739f78a5292eaULL, 0x6bfb5fb11f8d5d08ULL, 0x56033046fc7b6babULL, 0xf0cfbc209af4361dULL,
    0xa9e391615ee61b08ULL,
};

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

// 1/n! for n = 0 … 31, the Taylor coefficients of sin and cos.
constexpr Dd kInverseFactorial[] = {
    {0x1p+0, 0.0},
    {0x1p+0, 0.0},
    {0x1p-1, 0.0},
    {0x1.5555555555555p-3, 0x1.5555555555555p-57},
    {0x1.5555555555555p-5, 0x1.5555555555555p-59},
    {0x1.1111111111111p-7, 0x1.1111111111111p-63},
    {0x1.6c16c16c16c17p-10, -0x1.f49f49f49f49fp-65},
    {0x1.a01a01a01a01ap-13, 0x1.a01a01a01a01ap-73},
    {0x1.a01a01a01a01ap-16, 0x1.a01a01a01a01ap-76},
    {0x1.71de3a556c734p-19, -0x1.c154f8ddc6c00p-73},
    {0x1.27e4fb7789f5cp-22, 0x1.cbbc05b4fa99ap-76},
    {0x1.ae64567f544e4p-26, -0x1.c062e06d1f209p-80},
    {0x1.1eed8eff8d898p-29, -0x1.2aec959e14c06p-83},
    {0x1.6124613a86d09p-33, 0x1.f28e0cc748ebep-87},
    {0x1.93974a8c07c9dp-37, 0x1.05d6f8a2efd1fp-92},
    {0x1.ae7f3e733b81fp-41, 0x1.1d8656b0ee8cbp-97},
    {0x1.ae7f3e733b81fp-45, 0x1.1d8656b0ee8cbp-101},
    {0x1.952c77030ad4ap-49, 0x1.ac981465ddc6cp-103},
    {0x1.6827863b97d97p-53, 0x1.eec01221a8b0bp-107},
    {0x1.2f49b46814157p-57, 0x1.2650f61dbdcb4p-112},
    {0x1.e542ba4020225p-62, 0x1.ea72b4afe3c2fp-120},
    {0x1.71b8ef6dcf572p-66, -0x1.d043ae40c4647p-120},
    {0x1.0ce396db7f853p-70, -0x1.aebcdbd20331cp-124},
    {0x1.761b41316381ap-75, -0x1.3423c7d91404fp-130},
    {0x1.f2cf01972f578p-80, -0x1.9ada5fcc1ab14p-135},
    {0x1.3f3ccdd165fa9p-84, -0x1.58ddadf344487p-139},
    {0x1.88e85fc6a4e5ap-89, -0x1.71c37ebd16540p-143},
    {0x1.d1ab1c2dccea3p-94, 0x1.054d0c78aea14p-149},
    {0x1.0a18a2635085dp-98, 0x1.b9e2e28e1aa54p-153},
    {0x1.259f98b4358adp-103, 0x1.eaf8c39dd9bc5p-157},
    {0x1.3932c5047d60ep-108, 0x1.832b7b530a627p-162},
    {0x1.434d2e783f5bcp-113, 0x1.0b87b91be9affp-167},
};

// Σ (−1)^k z^k / (2k + first)! for k = 0 … 15, with z = r² as a double-double:
// cos r for first = 0, sin r / r for first = 1. Terms from k = exact_terms on
// take plain doubles. For |r| <= π/4 the terms from k = 9 on are below 2^-59
// of the sum and from k = 4 on below 2^-18, so exact_terms = 9 gives about
// 2^-104 and exact_terms = 4 about 2^-69; the terms beyond k = 15 are below 2^-110.
Dd taylor(Dd z, int first, int exact_terms) {
    double tail = 0.0;
    for (int k = 15; k >= exact_terms; --k) {
        const double c = kInverseFactorial[2 * k + first].hi;
        tail = (k % 2 != 0 ? -c : c) + z.hi * tail;
    }
    Dd sum = {tail, 0.0};
    for (int k = exact_terms - 1; k >= 0; --k) {
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

// ±sin or ±cos of the reduced |r| <= π/4, by the quadrant.
Dd sin_reduced(Dd r, int quadrant, int exact_terms) {
    const Dd z = mul(r, r);
    const Dd v = (quadrant & 1) != 0 ? taylor(z, 0, exact_terms) : mul(r, taylor(z, 1, exact_terms));
    return (quadrant & 2) != 0 ? neg(v) : v;
}

// sin(x) for offset 0, cos(x) = sin(x + π/2) for offset 1. A short series
// settles all but about one argument in a thousand; the rest take the long one.
double sin_quadrant(double x, int offset) {
    if (is_nan(x) || is_inf(x)) {
        return x - x;
    }
    const bool negative = x < 0;
    const double ax = negative ? -x : x;
    int quadrant = 0;
    const Dd r = ax < kPiOver2.hi * 0.5 ? Dd{ax, 0.0} : reduce(ax, quadrant);
    // sin(−x) = −sin x; cos(−x) = cos x = sin(x + π/2) with x ≥ 0.
    quadrant = (quadrant + offset) & 3;
    if (negative && offset == 0) {
        quadrant ^= 2;
    }
    const double quick = round_if_certain(sin_reduced(r, quadrant, 4), 0x1p-63);
    if (!is_nan(quick)) {
        return quick;
    }
    const Dd v = sin_reduced(r, quadrant, 9);
    return v.hi + v.lo;
}

// atan(i/64) for i = 0 … 64.
constexpr Dd kAtanTable[] = {
    {0.0, 0.0},
    {0x1.fff555bbb729bp-7, -0x1.220c39d4dff50p-61},
    {0x1.ffd55bba97625p-6, -0x1.5ec431444912cp-60},
    {0x1.7fb818430da2ap-5, -0x1.86ef8f794f105p-63},
    {0x1.ff55bb72cfdeap-5, -0x1.c934d86d23f1dp-60},
    {0x1.3f59f0e7c559dp-4, 0x1.ac4ce285df847p-58},
    {0x1.7ee182602f10fp-4, -0x1.cfb654c0c3d98p-58},
    {0x1.be39ebe6f07c3p-4, 0x1.f7b8f29a05987p-58},
    {0x1.fd5ba9aac2f6ep-4, -0x1.cd37686760c17p-59},
    {0x1.1e1fafb043727p-3, -0x1.b485914dacf8cp-59},
    {0x1.3d6eee8c6626cp-3, 0x1.61a3b0ce9281bp-57},
    {0x1.5c9811e3ec26ap-3, -0x1.054ab2c010f3dp-58},
    {0x1.7b97b4bce5b02p-3, 0x1.347b0b4f881cap-58},
    {0x1.9a6a8e96c8626p-3, 0x1.cf601e7b4348ep-59},
    {0x1.b90d7529260a2p-3, 0x1.17b10d2e0e5abp-61},
    {0x1.d77d5df205736p-3, 0x1.c648d1534597ep-57},
    {0x1.f5b75f92c80ddp-3, 0x1.8ab6e3cf7afbdp-57},
    {0x1.09dc597d86362p-2, 0x1.62e47390cb865p-56},
    {0x1.18bf5a30bf178p-2, 0x1.30ca4748b1bf9p-57},
    {0x1.278372057ef46p-2, -0x1.077cdd36dfc81p-56},
    {0x1.362773707ebccp-2, -0x1.963a544b672d8p-57},
    {0x1.44aa436c2af0ap-2, -0x1.5d5e43c55b3bap-56},
    {0x1.530ad9951cd4ap-2, -0x1.2566480884082p-57},
    {0x1.614840309cfe2p-2, -0x1.a725715711f00p-56},
    {0x1.6f61941e4def1p-2, -0x1.c63aae6f6e918p-56},
    {0x1.7d5604b63b3f7p-2, 0x1.69c885c2b249ap-56},
    {0x1.8b24d394a1b25p-2, 0x1.b6d0ba3748fa8p-56},
    {0x1.98cd5454d6b18p-2, 0x1.9e6c988fd0a77p-56},
    {0x1.a64eec3cc23fdp-2, -0x1.24dec1b50b7ffp-56},
    {0x1.b3a911da65c6cp-2, 0x1.ae187b1ca5040p-56},
    {0x1.c0db4c94ec9f0p-2, -0x1.cc1ce70934c34p-56},
    {0x1.cde53432c1351p-2, -0x1.a2cfa4418f1adp-56},
    {0x1.dac670561bb4fp-2, 0x1.a2b7f222f65e2p-56},
    {0x1.e77eb7f175a34p-2, 0x1.0e53dc1bf3435p-56},
    {0x1.f40dd0b541418p-2, -0x1.a3992dc382a23p-57},
    {0x1.0039c73c1a40cp-1, -0x1.b32c949c9d593p-55},
    {0x1.0657e94db30d0p-1, -0x1.d5b495f6349e6p-56},
    {0x1.0c6145b5b43dap-1, 0x1.974fa13b5404fp-58},
    {0x1.1255d9bfbd2a9p-1, -0x1.2bdaee1c0ee35p-58},
    {0x1.1835a88be7c13p-1, 0x1.c621cec00c301p-55},
    {0x1.1e00babdefeb4p-1, -0x1.928df287a668fp-58},
    {0x1.23b71e2cc9e6ap-1, 0x1.c421c9f38224ep-57},
    {0x1.2958e59308e31p-1, -0x1.09e73b0c6c087p-56},
    {0x1.2ee628406cbcap-1, 0x1.c5d5e9ff0cf8dp-55},
    {0x1.345f01cce37bbp-1, 0x1.1021137c71102p-55},
    {0x1.39c391cd4171ap-1, -0x1.2304331d8bf46p-55},
    {0x1.3f13fb89e96f4p-1, 0x1.ecf8b492644f0p-56},
    {0x1.445065b795b56p-1, -0x1.f76d0163f79c8p-56},
    {0x1.4978fa3269ee1p-1, 0x1.2419a87f2a458p-56},
    {0x1.4e8de5bb6ec04p-1, 0x1.4a33dbeb3796cp-55},
    {0x1.538f57b89061fp-1, -0x1.1bb74abda520cp-55},
    {0x1.587d81f732fbbp-1, -0x1.5e5c9d8c5a950p-56},
    {0x1.5d58987169b18p-1, 0x1.0028e4bc5e7cap-57},
    {0x1.6220d115d7b8ep-1, -0x1.2b785350ee8c1p-57},
    {0x1.66d663923e087p-1, -0x1.6ea6febe8bbbap-56},
    {0x1.6b798920b3d99p-1, -0x1.a80386188c50ep-55},
    {0x1.700a7c5784634p-1, -0x1.8c34d25aadef6p-56},
    {0x1.748978fba8e0fp-1, 0x1.7b2a6165884a1p-59},
    {0x1.78f6bbd5d315ep-1, 0x1.406a089803740p-55},
    {0x1.7d528289fa093p-1, 0x1.560821e2f3aa9p-55},
    {0x1.819d0b7158a4dp-1, -0x1.bf76229d3b917p-56},
    {0x1.85d69576cc2c5p-1, 0x1.6b66e7fc8b8c3p-57},
    {0x1.89ff5ff57f1f8p-1, -0x1.55b9a5e177a1bp-55},
    {0x1.8e17aa99cc05ep-1, -0x1.ec182ab042f61p-56},
    {0x1.921fb54442d18p-1, 0x1.1a62633145c07p-55},
};

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
    const int index = static_cast<int>(t * 64.0 + 0.5);
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
    if (ay == 0) {
        angle = x_negative ? kPi.hi : 0.0;
    } else if (is_inf(ax) && is_inf(ay)) {
        angle = x_negative ? 0x1.2d97c7f3321d2p+1 : 0x1.921fb54442d18p-1;  // 3π/4, π/4
    } else if (ax == 0 || is_inf(ay)) {
        angle = kPiOver2.hi;
    } else if (is_inf(ax)) {
        angle = x_negative ? kPi.hi : 0.0;
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
