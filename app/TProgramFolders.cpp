#include "TProgramFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include "Prell_SystemInfo.h"

namespace {

// The one shipped file that every install and every build folder has.
const QString kMarker = "ver.ini";

// Path with one trailing "/"; "" stays "" (the current folder, as before).
QString Folder(const QString& Path) {
    if (Path.isEmpty()) return {};
    const QString clean = QDir::cleanPath(Path);
    return clean.endsWith('/') ? clean : clean + '/';
}

bool HoldsData(const QString& Folder) {
    return QFileInfo(Folder + kMarker).isFile();
}

}  // namespace

TProgramFolders TProgramFolders::Beside(const QString& Folder) {
    const QString path = ::Folder(Folder);
    return {path, path};
}

TProgramFolders TProgramFolders::Locate(const QString& ProgramDir, const QString& ConfigHome,
                                        const std::function<bool(const QString&)>& CanWrite) {
    const QString program = Folder(ProgramDir);
    const QString shared = Folder(program + "../share/tarnwick");
    const bool installed = !HoldsData(program) && HoldsData(shared);
    TProgramFolders folders = Beside(installed ? shared : program);
    if ((installed || !CanWrite(program)) && !ConfigHome.isEmpty())
        folders.SettingsPath = Folder(ConfigHome + "/tarnwick");
    return folders;
}

TProgramFolders TProgramFolders::ForProgram(const QString& ProgramDir, QString& Error) {
    const TProgramFolders folders = Locate(ProgramDir, UserConfigHome(), CanCreateFiles);
    folders.Prepare(Error);
    return folders;
}

QString TProgramFolders::UserConfigHome() {
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    // The XDG rules say a relative value is invalid and must be ignored.
    if (config.startsWith('/')) return QDir::cleanPath(config);
    const QString home = qEnvironmentVariable("HOME");
    if (home.startsWith('/')) return QDir::cleanPath(home + "/.config");
    return {};
}

bool TProgramFolders::CanCreateFiles(const QString& Folder) {
    QTemporaryFile probe(::Folder(Folder) + ".tarnwick-probe-XXXXXX");
    return probe.open();
}

QStringList TProgramFolders::MissingShippedFiles() const {
    QStringList missing;
    for (const QString name : {"ver.ini", "help/help.html", "recom/banner.jpg", "recom/about.jpg",
                               "recom/tip.jpg", "Include.ini", "Exclude.ini", "Kontaktseiten.ini"})
        if (!QFileInfo(DataPath + name).isFile()) missing << DataPath + name;
    return missing;
}

bool TProgramFolders::Prepare(QString& Error) const {
    if (!Separate()) return true;
    if (!MakeFolders(QFile::encodeName(SettingsPath).toStdString())) {
        Error = "Der Ordner \"" + SettingsPath + "\" konnte nicht angelegt werden.";
        return false;
    }
    for (const QString name : {"Include.ini", "Exclude.ini", "Kontaktseiten.ini"}) {
        const QString target = SettingsPath + name;
        if (QFileInfo::exists(target) || !QFileInfo::exists(DataPath + name)) continue;
        // Installed copies are read-only; the user's copy must be his to rewrite.
        if (!QFile::copy(DataPath + name, target) ||
            !QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ReadGroup | QFileDevice::ReadOther)) {
            Error = "Die Datei \"" + target + "\" konnte nicht angelegt werden.";
            return false;
        }
    }
    return true;
}
