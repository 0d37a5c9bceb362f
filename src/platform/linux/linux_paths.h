// The Linux services' shared path helpers (UTF-8, "/" separated): the home folder and the
// program's XDG folders, for the file system and the single-instance lock.
#pragma once

#include <string>

namespace tolvane {

// $HOME when it is absolute, else the account's home from the password database; empty when
// neither is known.
std::string HomeFolder();

enum class XdgKind { Config, Cache };
// $XDG_CONFIG_HOME/tolvane or $XDG_CACHE_HOME/tolvane (a variable counts only when absolute), else
// ~/.config/tolvane or ~/.cache/tolvane; empty when no home folder is known. Not created here.
std::string ProgramFolder(XdgKind kind);

// Makes path and any missing parents, each 0700. True when path itself was made by this call.
bool MakeFolders(const std::string& path);

// The running program's own path, from /proc/self/exe; empty when it cannot be read.
std::string ExecutablePath();

}  // namespace tolvane
