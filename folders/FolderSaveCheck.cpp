#include "folders/FolderSaveCheck.h"

#include "base/EntryID.h"

namespace folders {

std::optional<std::string> FolderSaveProblem(const std::string& folder, const std::string& comboText,
                                             const std::function<bool(std::int64_t)>& profileExists) {
    if (folder.empty()) return kEnterFolder;
    if (folder.back() == '/' && folder != "/") return kTrailingSeparator;
    if (comboText == kNoServerChosen) return kSelectServer;
    const auto key = EntryKey(comboText);
    if (!key || !profileExists(*key)) return kSelectServer;
    return std::nullopt;
}

}  // namespace folders
