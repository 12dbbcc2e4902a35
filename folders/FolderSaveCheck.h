#pragma once
// The checks a folder job passes before the editor saves it, with the
// message of the first one it fails.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace folders {

// The text of an untouched profile combo: no profile chosen.
inline constexpr char kNoServerChosen[] = "Server";

inline constexpr char kEnterFolder[] = "Please Enter a Local Folder!";
inline constexpr char kTrailingSeparator[] = "Please delete the trailing backslash from the folder";
inline constexpr char kSelectServer[] = "Please select an ftp server";

// The first check a job fails before it may be saved, as its message, or
// nullopt when it may be saved. The combo text must be a profile entry whose
// ID names an existing profile; profileExists answers that for an ID.
std::optional<std::string> FolderSaveProblem(const std::string& folder, const std::string& comboText,
                                             const std::function<bool(std::int64_t)>& profileExists);

}  // namespace folders
