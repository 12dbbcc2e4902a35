#pragma once
// Where this build keeps its store. A build from source keeps it beside the
// program and never makes it (the build and the install do). A build with
// TESSARY_USER_STORE (the Debian package) keeps one for each user, in
// $XDG_DATA_HOME/tessary/ (~/.local/share/tessary/ by default), and makes
// it at the user's first start: a package cannot make one for every user.

#include <optional>
#include <string>

namespace store {

// The folder that holds the store, information.mdb: `appFolder` (the
// program's own folder) in a build from source, UserStoreFolder() in the
// per-user build.
std::string StoreFolder(const std::string& appFolder);

// In the per-user build, MakeUserStore(folder); a build from source makes
// nothing and returns nothing.
std::optional<std::string> CreateMissingStore(const std::string& folder);

// The user's store folder: from XDG_DATA_HOME when it is an absolute path,
// else from HOME, else from the user database. Throws StoreError when none
// names a folder. Any build can ask (the tests do).
std::string UserStoreFolder();

// Makes an empty store, from the schema compiled in, in `folder` when none
// is there and returns its path; the folders it has to make get mode 0700,
// the store 0600. An existing store is never touched, and a store is never
// seen half made: it is built under a temporary name first. Throws
// StoreError naming the store and the reason.
std::optional<std::string> MakeUserStore(const std::string& folder);

}  // namespace store
