#pragma once
// Facts about the system gathered once at program start (TWindowsInfo). The window needs one:
// the folder for the crawler's results file.

#include <memory>
#include <string>

// The name stays that of the other platform because the rest of the program knows it by it.
class TWindowsInfo {
public:
    // Gathers every field. Never fails visibly: what cannot be found stays empty.
    TWindowsInfo();

    // This program's own state folder, where the crawler's results file lives, as file name
    // bytes (QFile::encodeName) without a trailing "/": $XDG_STATE_HOME/tarnwick, or
    // ~/.local/state/tarnwick when that variable is unset, empty or relative. Created when
    // missing, readable by the user only (0700), and narrowed to 0700 when it exists with wider
    // rights, since it holds harvested addresses. Empty when it is not a folder of ours or cannot
    // be created: the results file then has no folder.
    std::string SystemRootDir;
};

// The one object, created by main before the first window and freed when the program ends.
extern std::unique_ptr<TWindowsInfo> WindowsInfo;

// Creates Folder (an absolute name) and any missing parents with rights 0700, as the XDG base
// directory rules ask for folders created on the user's behalf. Returns whether Folder now is a
// directory.
bool MakeFolders(const std::string& Folder);
