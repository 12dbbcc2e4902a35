#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it when the object goes.

#include <string>

namespace testsupport {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Writes `content` to `file`, creating its folders.
void WriteFile(const std::string& file, const std::string& content);
std::string ReadFile(const std::string& file);
// An empty store (the project's schema) as <folder>/information.mdb; its path.
std::string MakeStore(const std::string& folder);
// Points the process's store connection at the store in `folder`, opened.
void OpenStoreIn(const std::string& folder);

}  // namespace testsupport
