#include "tests/support/TempDir.h"

#include "store/CreateStore.h"
#include "store/Store.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testsupport {

TempDir::TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "tessary-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests take permissions away to provoke failures; give them back first.
    for (auto it = fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

void WriteFile(const std::string& file, const std::string& content) {
    fs::create_directories(fs::path(file).parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) throw std::runtime_error("cannot write " + file);
}

std::string ReadFile(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + file);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string MakeStore(const std::string& folder) {
    store::CreateStore(folder + "/information.mdb", ReadFile(TESSARY_SCHEMA_FILE));
    return folder + "/information.mdb";
}

void OpenStoreIn(const std::string& folder) {
    store::StoreConnection().ConnectionString = store::BuildConnectionString(folder);
    store::StoreConnection().Open();
}

}  // namespace testsupport
