#pragma once
// Deleting a folder job takes its file-state records with it.

#include <cstdint>

namespace store {
class Connection;
}

namespace folders {

// Deletes the job row and then every myFiles record of the job, both or
// neither: when either statement is refused nothing is deleted, and the
// StoreError of the refused statement is thrown on.
void DeleteJobWithRecords(store::Connection& connection, std::int64_t syncId);

}  // namespace folders
