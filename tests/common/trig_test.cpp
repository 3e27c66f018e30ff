// The shared sin, cos and atan2 against correctly rounded values: hard cases
// worked out to thousands of bits, and pseudo-random arguments over the ranges
// the effects use, checked against the 64-bit-mantissa long double functions.
#include "common/trig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

namespace gf {
namespace {

uint64_t bits(double x) {
    uint64_t b = 0;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kPi = 0x1.921fb54442d18p+1;

TEST(Trig, ZerosInfinitiesAndNaN) {
    EXPECT_EQ(bits(gf::sin(-0.0)), bits(-0.0));
    EXPECT_EQ(gf::cos(-0.0), 1.0);
    for (double x : {kInf, -kInf, kNaN}) {
        EXPECT_TRUE(std::isnan(gf::sin(x))) << x;
        EXPECT_TRUE(std::isnan(gf::cos(x))) << x;
    }
    struct Case {
        double y, x, expected;
    };
    const Case cases[] = {
        {0.0, 1.0, 0.0},     {-0.0, 1.0, -0.0},        {0.0, -0.0, kPi},       {-0.0, -1.0, -kPi},
        {0.0, 0.0, 0.0},     {5.0, 0.0, kPi / 2},      {-5.0, -0.0, -kPi / 2}, {kInf, 3.0, kPi / 2},
        {1.0, -kInf, kPi},   {-1.0, kInf, -0.0},       {kInf, kInf, kPi / 4},  {-kInf, -kInf, -0x1.2d97c7f3321d2p+1},
        {2.0, 2.0, kPi / 4}, {1e300, 1e-300, kPi / 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(bits(gf::atan2(c.y, c.x)), bits(c.expected)) << c.y << ", " << c.x;
    }
    EXPECT_TRUE(std::isnan(gf::atan2(kNaN, 1.0)));
    EXPECT_TRUE(std::isnan(gf::atan2(1.0, kNaN)));
}

// Exact values rounded once, from 4000-bit arithmetic. Several lie within a
// thousandth of an ulp of a rounding boundary (where an implementation good
// to only ~0.55 ulp goes the other way), some far closer; some sit next to
// multiples of π/2 or need the far bits of 2/π.
TEST(Trig, HardCasesRoundCorrectly) {
    struct Case {
        double (*fn)(double);
        double x, expected;
    };
    const Case cases[] = {
        {gf::sin, -0x1.0650094224e5p-3, -0x1.059894b470841p-3},
        {gf::sin, -0x1.9c544d669acep-2, -0x1.9146ddb4cb5fdp-2},
        {gf::sin, -0x1.f0c2c3533678cp+1, 0x1.58fd6ea22b049p-1},
        {gf::sin, 0x1.e335d4e94e8c4p+2, 0x1.e88cf22cb7b81p-1},
        {gf::cos, 0x1.eddd734f9119cp+2, 0x1.1863c15e6ac7fp-3},
        {gf::cos, -0x1.036d1abb89a28p+2, -0x1.3973d0e6a771dp-1},
        {gf::cos, 0x1.6c6cbc45dc8dep+5, -0x1.6d61b58c99c43p-61},  // nearest a multiple of π/2 below 2^20
        {gf::sin, 0x1.6c6cbc45dc8dep+6, -0x1.6d61b58c99c43p-60},
        {gf::sin, 0x1.6ac5b262ca1ffp+849, 0x1p+0},  // the double nearest a multiple of π/2
        {gf::cos, 0x1.6ac5b262ca1ffp+849, -0x1.14ae72e6ba22fp-61},
        {gf::sin, 1e22, -0x1.b453ab76bf397p-1},
        {gf::cos, 1e22, 0x1.0be2cef01c8f4p-1},
        {gf::sin, 0x1.fffffffffffffp+1023, 0x1.452fc98b34e97p-8},
        {gf::cos, 0x1.fffffffffffffp+1023, -0x1.fffe62ecfab75p-1},
        {gf::cos, 0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54},  // π/2 rounded
        {gf::sin, 0x1.921fb54442d18p+1, 0x1.1a62633145c07p-53},  // π rounded
        {gf::cos, 0x1.6a09e667f3bcdp-27, 0x1.fffffffffffffp-1},  // cos leaves 1 here
        {gf::cos, 0x1.6a09e667f3bccp-27, 1.0},
        {gf::sin, 0x1p-1074, 0x1p-1074},
        // Within 10^-5 ulp of a boundary: a ~2^-65 first estimate cannot decide these.
        {gf::sin, -0x1.fbc731f104e48p+1, 0x1.783c54adfce9bp-1},
        {gf::sin, 0x1.88e7e5ca495f6p+2, -0x1.25f51d816abccp-3},
        {gf::cos, 0x1.dd78ebe2f7abp+8, 0x1.ff5dee98bd5a4p-1},
        {gf::cos, -0x1.86a4d4a1f0cdcp+2, 0x1.f7c90148d8f58p-1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(bits(c.fn(c.x)), bits(c.expected)) << std::hexfloat << c.x;
    }
    EXPECT_EQ(bits(gf::atan2(0x1.4af8b7ad3b5dap+9, -0x1.ece395f7260c4p+7)), bits(0x1.ed5d1a0751c4dp+0));
    EXPECT_EQ(bits(gf::atan2(-0x1.53280e2ed3986p+8, 0x1.ab2fe81b5e962p+9)), bits(-0x1.82f4d244005afp-2));
    EXPECT_EQ(bits(gf::atan2(-0x1.75eb27e215cfp+8, -0x1.0a7bf4674ddf2p+8)), bits(-0x1.1851512256c8fp+1));
    EXPECT_EQ(bits(gf::atan2(-0x1.140e15b22b32cp+10, 0x1.f28505b984b1ep+11)), bits(-0x1.149747f15257ap-2));
    EXPECT_EQ(bits(gf::atan2(-0x1.372adcff2296cp+9, -0x1.03a2f601dce82p+8)), bits(-0x1.f74e6086c8bd6p+0));
}

// The long double result (64-bit mantissa) rounded to double, or NaN when it
// lies so near the midpoint of two doubles that its own error could decide.
double reference(long double exact) {
    const double rounded = static_cast<double>(exact);
    const double other = exact > rounded ? std::nextafter(rounded, kInf) : std::nextafter(rounded, -kInf);
    const long double midpoint = (static_cast<long double>(rounded) + other) / 2;
    const long double doubt = std::fabs(exact) * 0x1p-60L;
    return std::fabs(exact - midpoint) < doubt ? kNaN : rounded;
}

TEST(Trig, RandomArgumentsMatchLongDoubleReference) {
    std::mt19937_64 generator(20261207);
    int checked = 0;
    // Angles in radians up to show times in milliseconds times the rates.
    for (double range : {1.0, 8.0, 700.0, 1e5}) {
        std::uniform_real_distribution<double> angle(-range, range);
        for (int i = 0; i < 3000; ++i) {
            const double x = angle(generator);
            const double s = reference(sinl(x)), c = reference(cosl(x));
            if (!std::isnan(s)) {
                EXPECT_EQ(bits(gf::sin(x)), bits(s)) << std::hexfloat << "sin " << x;
                ++checked;
            }
            if (!std::isnan(c)) {
                EXPECT_EQ(bits(gf::cos(x)), bits(c)) << std::hexfloat << "cos " << x;
                ++checked;
            }
        }
    }
    // Points of the tunnel grid: coordinates up to a few thousand, either sign.
    std::uniform_real_distribution<double> coordinate(-4000.0, 4000.0);
    for (int i = 0; i < 6000; ++i) {
        const double y = coordinate(generator), x = coordinate(generator);
        const double a = reference(atan2l(y, x));
        if (!std::isnan(a)) {
            EXPECT_EQ(bits(gf::atan2(y, x)), bits(a)) << std::hexfloat << y << ", " << x;
            ++checked;
        }
    }
    EXPECT_GT(checked, 29000);  // the references in doubt are a small share
}

}  // namespace
}  // namespace gf
