// Paths that extensions hand the host are relative to the host's root folder. They may use
// either slash; absolute paths, drive letters and ".." are refused, and so is anything that
// a symbolic link leads out of the root.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace haven {

// The file under `root` that `relative` names, or none when it is refused. Each part is
// matched exactly first, then ignoring ASCII letter case, as the Windows host would.
std::optional<std::filesystem::path> ResolveUnderRoot(const std::filesystem::path& root, const std::string& relative);

} // namespace haven
