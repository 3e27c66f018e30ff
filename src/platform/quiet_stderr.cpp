// Silencing stderr for the length of a scope, through dup and dup2.
#include "platform/quiet_stderr.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace gf {

QuietStderr::QuietStderr() {
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    null_fd_ = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved_ >= 0 && null_fd_ >= 0) {
        dup2(null_fd_, STDERR_FILENO);
    }
}

QuietStderr::~QuietStderr() {
    std::fflush(stderr);
    if (saved_ >= 0 && null_fd_ >= 0) {
        dup2(saved_, STDERR_FILENO);
    }
    if (null_fd_ >= 0) {
        close(null_fd_);
    }
    if (saved_ >= 0) {
        close(saved_);
    }
}

}  // namespace gf
