#pragma once
// The statements of the folder list and the folder editor, the texts of
// their entries, and the checks a job passes before it is saved. Every text
// value has each "'" doubled, so any folder text is stored as typed.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace folders {

// "select * from Tessary"
std::string ListFoldersStatement();
// "<id> --> Folder: <folder>"
std::string FolderListEntry(const std::string& id, const std::string& folder);
// A line of the editor's profile combo: "<id> --> <host> User: <user>"
std::string ProfileEntry(const std::string& id, const std::string& host, const std::string& user);

std::string SelectFolderStatement(std::int64_t syncId);
// profileId: the ID taken from the profile entry, written quoted.
std::string InsertFolderStatement(const std::string& folder, const std::string& profileId, bool subDirs);
std::string UpdateFolderStatement(const std::string& folder, const std::string& profileId, bool subDirs,
                                  std::int64_t syncId);
std::string DeleteFolderStatement(std::int64_t syncId);
std::string DeleteFolderFilesStatement(std::int64_t syncId);
// Removes the file-state records of the files in the folder and below it,
// and nothing else: /data spares /data2 and /database.txt, and "_" or "%"
// in the folder match only themselves. The folder "/" clears everything.
std::string ClearFolderFilesStatement(const std::string& folder);

// Only the exact text "YES" ticks the sub-folder box.
bool SubDirsTicked(const std::string& stored);

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
