#include "store/StoreLocation.h"

#include "store/CreateStore.h"
#include "store/SchemaText.h"
#include "store/Store.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace store {
namespace {

constexpr char kStoreName[] = "information.mdb";

std::string AbsoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && value[0] == '/' ? value : "";  // relative values are to be ignored
}

std::string HomeFromUserDatabase() {
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return found->pw_dir;
    return "";
}

// Makes `folder` and every missing folder above it, each with mode 0700.
void MakeFolders(const std::string& folder, const std::string& store) {
    for (std::size_t end = 1; end <= folder.size(); ++end) {
        if (end < folder.size() && folder[end] != '/') continue;
        const std::string part = folder.substr(0, end);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            throw StoreError("Could not create " + store + ": " + part + ": " + std::strerror(errno));
    }
}

}  // namespace

std::string UserStoreFolder() {
    if (const std::string data = AbsoluteEnv("XDG_DATA_HOME"); !data.empty()) return data + "/tessary";
    std::string home = AbsoluteEnv("HOME");
    if (home.empty()) home = HomeFromUserDatabase();
    if (home.empty())
        throw StoreError("Could not find a folder for the store: neither XDG_DATA_HOME nor HOME is set, and user " +
                         std::to_string(::getuid()) + " has no home folder");
    return (home == "/" ? "" : home) + "/.local/share/tessary";
}

std::string StoreFolder(const std::string& appFolder) {
    return TESSARY_USER_STORE ? UserStoreFolder() : appFolder;
}

std::optional<std::string> CreateMissingStore(const std::string& folder) {
    return TESSARY_USER_STORE ? MakeUserStore(folder) : std::nullopt;
}

std::optional<std::string> MakeUserStore(const std::string& folder) {
    const std::string store = folder + "/" + kStoreName;
    struct stat st {};
    if (::lstat(store.c_str(), &st) == 0) return std::nullopt;
    MakeFolders(folder, store);

    // Made whole under a name of this process, then linked to its own name:
    // a start that races this one, or one killed midway, never finds a store
    // without its tables. link() fails rather than replace a store.
    const std::string made = folder + "/." + kStoreName + "-" + std::to_string(::getpid()) + ".new";
    ::unlink(made.c_str());  // left by a killed start that had this process id
    try {
        CreateStore(made, kSchemaSql);
    } catch (const StoreError& e) {
        std::string message = e.what();
        if (const auto at = message.find(made); at != std::string::npos) message.replace(at, made.size(), store);
        throw StoreError(message);
    }
    const int linked = ::link(made.c_str(), store.c_str());
    const int error = errno;
    ::unlink(made.c_str());
    if (linked == 0) return store;
    if (error == EEXIST) return std::nullopt;  // another start made it first
    if (error == EPERM || error == EOPNOTSUPP || error == ENOSYS) {
        // A file system without hard links: made in place, still never over another.
        return CreateStore(store, kSchemaSql) ? std::optional<std::string>(store) : std::nullopt;
    }
    throw StoreError("Could not create " + store + ": " + std::strerror(error));
}

}  // namespace store
