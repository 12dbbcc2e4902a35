#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it when the object
// goes; files written and read whole; an empty store made or opened there.

#include "store/CreateStore.h"
#include "store/Store.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

namespace testsupport {

class TempDir {
public:
    TempDir() : path_((std::filesystem::temp_directory_path() / "tessary-test-XXXXXX").string()) {
        if (!::mkdtemp(path_.data())) throw std::runtime_error("mkdtemp failed");
    }
    ~TempDir() {
        namespace fs = std::filesystem;
        std::error_code ec;
        // Tests take permissions away to provoke failures; give them back first.
        for (auto it = fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            if (it->is_directory(ec) && !it->is_symlink(ec))
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Writes `content` to `file`, creating its folders.
inline void WriteFile(const std::string& file, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) throw std::runtime_error("cannot write " + file);
}

inline std::string ReadFile(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + file);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// An empty store (the project's schema) as <folder>/information.mdb; its path.
inline std::string MakeStore(const std::string& folder) {
    store::CreateStore(folder + "/information.mdb", ReadFile(TESSARY_SCHEMA_FILE));
    return folder + "/information.mdb";
}

// The built program (tessary and the tessary-gui it starts) copied into
// `folder`; returns the path of tessary there.
inline std::string CopyProgram(const std::string& folder) {
    std::filesystem::copy_file(TESSARY_GUI_EXE, folder + "/tessary-gui");
    std::filesystem::copy_file(TESSARY_EXE, folder + "/tessary");
    return folder + "/tessary";
}

// Points the process's store connection at the store in `folder`, opened.
inline void OpenStoreIn(const std::string& folder) {
    store::StoreConnection().ConnectionString = store::BuildConnectionString(folder);
    store::StoreConnection().Open();
}

// A connection of the test's own to the store in `folder`, open.
inline std::unique_ptr<store::Connection> ConnectTo(const std::string& folder) {
    auto c = std::make_unique<store::Connection>();
    c->ConnectionString = store::BuildConnectionString(folder);
    c->Open();
    return c;
}

}  // namespace testsupport
