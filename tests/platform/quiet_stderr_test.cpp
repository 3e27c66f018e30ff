// Silencing stderr for a scope: what is written inside is dropped, and stderr
// points where it did before once the scope ends.
#include "platform/quiet_stderr.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace gf {
namespace {

TEST(QuietStderr, DropsWhatIsWrittenInsideAndRestoresStderrAfter) {
    std::FILE* capture = std::tmpfile();
    ASSERT_NE(capture, nullptr);
    std::fflush(stderr);
    const int original = dup(STDERR_FILENO);
    ASSERT_GE(original, 0);
    dup2(fileno(capture), STDERR_FILENO);
    {
        const QuietStderr quiet;
        std::fputs("hidden ", stderr);  // buffered: the guard flushes it into /dev/null
        ASSERT_EQ(write(STDERR_FILENO, "hidden", 6), 6);
    }
    std::fputs("shown", stderr);
    std::fflush(stderr);
    dup2(original, STDERR_FILENO);
    close(original);
    std::rewind(capture);
    char text[64] = {};
    const std::size_t length = std::fread(text, 1, sizeof text - 1, capture);
    std::fclose(capture);
    EXPECT_EQ(std::string(text, length), "shown");
}

}  // namespace
}  // namespace gf
