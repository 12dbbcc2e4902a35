#pragma once
#include <string>

namespace store {

// Creates an empty store at `file` from the schema text, readable and
// writable by its owner only (0600). An existing file is left untouched.
// Returns false when the file existed already; throws StoreError on failure.
bool CreateStore(const std::string& file, const std::string& schemaSql);

}  // namespace store
