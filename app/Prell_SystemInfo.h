#pragma once
// Facts about the system gathered once at program start (TWindowsInfo), and small text and path
// routines of the harvester on 8-bit text. Paths are this platform's: "/" separates folders and
// there are no drive letters.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// The system facts the harvester may need. The name stays that of the other platform because the
// rest of the program knows it by it; on Linux the fields come from the XDG folders and the system.
//
// Every field is a std::string of bytes, like the text routines below; folder fields hold the
// file name bytes exactly as the system names them (QFile::encodeName), so they can go straight
// to fopen; a window shows them with QFile::decodeName. Folder fields never end in "/" (except
// the root itself); users add one with AddTrailingBackslash. A field whose fact the system does
// not provide is empty.
class TWindowsInfo {
public:
    // Gathers every field. Never fails visibly: what cannot be found stays empty.
    TWindowsInfo();

    std::string DesktopDir;    // the XDG desktop folder
    std::string FavoritesDir;  // empty: browser bookmarks are no folder here
    std::string FontsDir;      // the user's fonts: $XDG_DATA_HOME/fonts (~/.local/share/fonts)
    std::string NetHoodDir;    // empty: no network neighbourhood folder
    std::string PersonalDir;   // the XDG documents folder
    std::string ProgramsDir;   // the user's menu entries: ~/.local/share/applications
    std::string RecentDir;     // empty: recent files are one XML file here, not a folder
    std::string SendToDir;     // empty: no "send to" folder
    std::string StartMenuDir;  // empty: the menu is ProgramsDir
    std::string StartupDir;    // programs started at log-in: $XDG_CONFIG_HOME/autostart
    std::string
        TemplatesDir;      // the XDG templates folder (~/Templates unless user-dirs.dirs moves it)
    std::string CacheDir;  // $XDG_CACHE_HOME (~/.cache)
    std::string LogonUserName;  // the login name of the effective user
    // This program's own state folder, where the crawler's results file lives:
    // $XDG_STATE_HOME/tarnwick, or ~/.local/state/tarnwick when that variable is unset, empty or
    // relative. Created when missing, readable by the user only (0700), and narrowed to 0700 when
    // it exists with wider rights, since it holds harvested addresses. Empty when it is not a
    // folder of ours or cannot be created: the results file then has no folder.
    std::string SystemRootDir;
    // "Linux", followed by ", " and PRETTY_NAME of /etc/os-release (or /usr/lib/os-release) when
    // readable.
    std::string OSName;
    std::string ProgramFilesDir;  // empty: programs are not installed under one folder
    std::string CommonFilesDir;   // empty
    std::string MediaPath;        // empty: no system sounds folder
    std::string TempDir;          // the temporary folder: $TMPDIR, else /tmp
    std::string AddressBookFile;  // empty: no system-wide address book file
};

// The one object, created by main before the first window and freed when the program ends.
extern std::unique_ptr<TWindowsInfo> WindowsInfo;

// The value of PRETTY_NAME in the text of an os-release file, with its shell quoting removed;
// "" when the key is missing.
std::string PrettyNameFromOsRelease(std::string_view Text);

// Creates Folder (an absolute name) and any missing parents with rights 0700, as the XDG base
// directory rules ask for folders created on the user's behalf. Returns whether Folder now is a
// directory.
bool MakeFolders(const std::string& Folder);

// Appends "/" to a non-empty folder name that does not end in one; "" stays "".
std::string AddTrailingBackslash(std::string_view Folder);

// The folder part of a file name: the text before the last "/", "/" for a file in the root, and
// "" when the name holds no "/".
std::string PathOfFileName(std::string_view FileName);

// A word is a longest run of characters none of which is in Delimiters; leading delimiters are
// skipped and a run of delimiters separates once. Words count from 1. Sets Position to the
// 1-based position of the first character of word N and returns true when that word exists.
bool WordPositionN(int N, std::string_view Text, std::string_view Delimiters,
                   std::size_t& Position);

// Word N of Text (see WordPositionN), or "" when Text has fewer than N words.
std::string ExtractWordN(int N, std::string_view Text, std::string_view Delimiters);

bool CharInText(std::string_view Text, char C);
