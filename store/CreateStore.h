#pragma once
#include <string>

namespace store {

class Connection;

// Creates an empty store at `file` from the schema text, readable and
// writable by its owner only (0600). An existing file is left untouched.
// Returns false when the file existed already; throws StoreError on failure.
bool CreateStore(const std::string& file, const std::string& schemaSql);

// Brings a store made by an earlier version up to this one: the table of
// unfinished jobs, the profiles' connection count (empty: the default).
// Writes nothing when there is nothing to add. Throws StoreError.
void UpgradeStore(Connection& store);

}  // namespace store
