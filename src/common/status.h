// The result of an operation that can fail. Returned by value and marked
// [[nodiscard]], so a caller that drops an error gets a compiler warning.
#pragma once

#include <string>

namespace gf {

struct [[nodiscard]] Status {
    bool ok = true;
    std::string message;  // on failure, one line naming the file, device or option and the problem
};

}  // namespace gf
