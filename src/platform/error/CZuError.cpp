#include "platform/error/CZuError.h"

#include <cstring>

CZuError CZuError::fromErrno(int err, const std::string& what) {
    return CZuError(err ? err : -1, what + ": " + std::strerror(err));
}
