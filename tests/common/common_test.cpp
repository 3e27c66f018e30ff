// The shared generator, the float-to-integer rule and the byte order, against hand-computed values;
// the exit code and the line each kind of Status ends the program with.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "common/bytes.h"
#include "common/float_to_int.h"
#include "common/random.h"
#include "common/status.h"
#include "common/types.h"

namespace gf {
namespace {

TEST(Status, EachOutcomeEndsWithItsExitCodeAndOneLine) {
    const struct {
        Status status;
        int code;
    } cases[] = {
        {Status{}, kExitOk},
        {failed("no"), 1},
        {failed_on("xmas.it", "read error"), 1},
        {failed("--fps: no", Failure::Usage), 2},
        {failed("interrupted", Failure::Interrupted), 130},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(exit_code(c.status), c.code) << c.status.message;
        testing::internal::CaptureStderr();
        EXPECT_EQ(report_failure(c.status), c.code);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  c.status.ok ? "" : "glimmerfrost: " + c.status.message + "\n");
    }
    EXPECT_EQ(failed_on("xmas.it", "read error").message, "xmas.it: read error");
}

TEST(Random, FirstValuesFromStateOne) {
    seed_rand(kRandInitialState);
    // state 1 → 1·214013 + 2531011 = 2745024 → (2745024 >> 16) & 0x7FFF = 41, and so on.
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358};
    for (int value : expected) {
        EXPECT_EQ(rand(), value);
    }
    seed_rand(kRandInitialState);
}

TEST(Bytes, LittleEndianLowByteFirstBothWays) {
    uint8_t stored[4] = {};
    le::store32(stored, 0x12345678u);
    EXPECT_EQ(std::vector<uint8_t>(stored, stored + 4), (std::vector<uint8_t>{0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(le::load32(stored), 0x12345678u);
    EXPECT_EQ(le::load16(stored + 2), 0x1234u);
    std::vector<uint8_t> appended;
    le::append16(appended, 0xFFFE);
    le::append32(appended, 0x80000001u);
    EXPECT_EQ(appended, (std::vector<uint8_t>{0xFE, 0xFF, 0x01, 0x00, 0x00, 0x80}));
    EXPECT_EQ(le::load32(appended.data() + 2), 0x80000001u);  // high bit set: no sign extension
}

TEST(Bytes, BigEndianHighByteFirstBothWays) {
    std::vector<uint8_t> appended;
    be::append32(appended, 0x80563412u);
    EXPECT_EQ(appended, (std::vector<uint8_t>{0x80, 0x56, 0x34, 0x12}));
    EXPECT_EQ(be::load32(appended.data()), 0x80563412u);
}

TEST(FloatToInt, TruncatesTowardZeroAndWrapsToLow32Bits) {
    EXPECT_EQ(float_to_int(2.9), 2);
    EXPECT_EQ(float_to_int(-2.9), -2);
    EXPECT_EQ(float_to_int(-0.5), 0);
    EXPECT_EQ(float_to_int(2147483648.0), INT32_MIN);  // 2^31 keeps its low 32 bits
    EXPECT_EQ(float_to_int(4294967296.0 + 5.5), 5);    // 2^32 + 5 wraps to 5
    EXPECT_EQ(float_to_int(-4294967297.0), -1);        // −(2^32 + 1) wraps to −1
}

TEST(FloatToInt, NonFiniteAndOutOfRangeGiveZero) {
    EXPECT_EQ(float_to_int(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(float_to_int(std::numeric_limits<double>::infinity()), 0);
    EXPECT_EQ(float_to_int(-std::numeric_limits<double>::infinity()), 0);
    EXPECT_EQ(float_to_int(9223372036854775808.0), 0);   // 2^63 is beyond int64
    EXPECT_EQ(float_to_int(-9223372036854777856.0), 0);  // next double below −2^63
    EXPECT_EQ(float_to_int(-9223372036854775808.0), 0);  // −2^63 itself: low 32 bits are 0
    EXPECT_EQ(float_to_int(1e300), 0);
}

TEST(PixelBuffer, IsAlignedAndStartsBlack) {
    auto* buffer = new PixelBuffer;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer->data()) % 64, 0u);
    EXPECT_EQ(sizeof(PixelBuffer), kFrameBytes);
    for (uint32_t pixel : buffer->pixels) {
        ASSERT_EQ(pixel, 0u);
    }
    delete buffer;
}

}  // namespace
}  // namespace gf
