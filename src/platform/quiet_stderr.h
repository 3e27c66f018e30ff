// A scope guard that points stderr at /dev/null while it lives, so that a
// library's own complaints (the Wayland client with no compositor, ALSA with no
// sound card) stay off the terminal; the program's own messages come after.
#pragma once

namespace gf {

class QuietStderr {
public:
    // Flushes stderr, then points it at /dev/null. When a descriptor cannot be
    // opened, stderr is left as it was: noise is better than losing messages.
    QuietStderr();
    // Flushes what the library wrote and points stderr back where it was.
    ~QuietStderr();
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
    int null_fd_ = -1;
};

}  // namespace gf
