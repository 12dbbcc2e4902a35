#pragma once
// The job's manifest sent to its remote root at the end of its run, as a
// replacement: under a temporary name, renamed over the old one when whole.

#include "store/Jobs.h"
#include "sync/modFiles.h"

namespace syncrun {

// False, with the lines that say why, when it could not be sent.
bool SendManifest(const CheckContext& context, const store::Job& job);

}  // namespace syncrun
