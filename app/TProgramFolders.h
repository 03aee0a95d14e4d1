#pragma once
// Where the window finds the files it ships with (pictures, help page, "ver.ini", the keyword
// lists as shipped) and where it keeps the user's settings ("Program.ini", "Include.ini",
// "Exclude.ini", "Kontaktseiten.ini", "NoTip.ini", "NoWer.ini").
//
// Run from its build folder, with the shipped files beside it, the program keeps its settings
// beside itself too. Installed, with the shipped files in ../share/tarnwick, or when its own
// folder may not be written, it keeps them in $XDG_CONFIG_HOME/tarnwick (~/.config/tarnwick):
// a folder such as /usr/bin is no place for one user's settings, even for root who could write
// there. Both folder names end in "/".

#include <QString>
#include <QStringList>

#include <functional>

class TProgramFolders {
public:
    QString DataPath;
    QString SettingsPath;

    // Data and settings both in Folder, as a program run from its build folder keeps them.
    static TProgramFolders Beside(const QString& Folder);
    // The decision alone, without touching any file: ProgramDir is the folder of the program
    // file, ConfigHome the user's config folder (empty when unknown), CanWrite tells whether a
    // file may be created in a folder.
    static TProgramFolders Locate(const QString& ProgramDir, const QString& ConfigHome,
                                  const std::function<bool(const QString&)>& CanWrite);
    // Locate with the real user and file system, then Prepare. Error tells why the settings
    // folder could not be made ready; the folders are usable for reading all the same.
    static TProgramFolders ForProgram(const QString& ProgramDir, QString& Error);

    // $XDG_CONFIG_HOME when it is absolute, else $HOME/.config; empty without a home folder.
    static QString UserConfigHome();
    // Whether a file may be created in Folder now, tried with a temporary file, so that rights,
    // read-only mounts and root's privileges all count as the system sees them.
    static bool CanCreateFiles(const QString& Folder);

    // The shipped files the window needs that are not in DataPath, as full names; a package or
    // a copy that lost some shows up here instead of as a quietly empty picture.
    QStringList MissingShippedFiles() const;

    // True when the settings live apart from the shipped files.
    bool Separate() const { return SettingsPath != DataPath; }
    // For separate settings: creates the settings folder (0700) when missing and copies each
    // shipped keyword list that is not there yet. Nothing to do otherwise.
    bool Prepare(QString& Error) const;
};
