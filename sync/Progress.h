#pragma once
// How far a sync run has got. The counts change on the check's thread and
// on the threads that send; the observer gets copies.

#include <atomic>
#include <cstdint>

namespace syncrun {

struct Progress {
    std::int64_t filesFound = 0;    // files listed so far
    std::int64_t filesChecked = 0;  // of those, checked against their record
    std::int64_t filesSent = 0;     // uploads that succeeded
    std::int64_t bytesSent = 0;     // bytes of those uploads, and of the ones under way
};

struct ProgressMeter {
    std::atomic<std::int64_t> filesFound{0}, filesChecked{0}, filesSent{0}, bytesSent{0};

    Progress Snapshot() const { return {filesFound, filesChecked, filesSent, bytesSent}; }
};

}  // namespace syncrun
