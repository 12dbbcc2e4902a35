#pragma once
// How far a sync run has got; the engine hands a copy to its observer.

#include <cstdint>

namespace syncrun {

struct Progress {
    std::int64_t filesFound = 0;    // files listed so far
    std::int64_t filesChecked = 0;  // of those, checked against their record
    std::int64_t filesSent = 0;     // uploads that succeeded
    std::int64_t bytesSent = 0;     // bytes of those uploads, and of the one under way
};

}  // namespace syncrun
