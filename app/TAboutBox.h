#pragma once
// "Hilfe" > "Info": product name, picture, version text and the notices on lawful use. The
// version text is the first line of "ver.ini" beside the program, shown exactly as written. A
// last line names the folder of the settings, which moves to the user's config folder once the
// program is installed.

#include <QDialog>

class QLabel;
class QPushButton;

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    // AppPath: the folder of the shipped files, ending in "/"; the picture and "ver.ini" are read
    // from it. SettingsPath: the folder of the settings; AppPath when empty.
    explicit TAboutBox(const QString& AppPath, QWidget* Parent = nullptr,
                       const QString& SettingsPath = QString());

    // Shown instead of a version when "ver.ini" is missing, empty or unreadable.
    static QString UnknownVersion();
    // The first line of FileName without its line end, bytes read as UTF-8 when they are UTF-8,
    // else as Latin-1; UnknownVersion() when the file cannot be read or holds nothing at all.
    static QString ReadVersionText(const QString& FileName);

    QLabel* VersionLabel() const { return m_versionLabel; }
    QLabel* Image1() const { return m_image1; }
    QLabel* SettingsLabel() const { return m_settingsLabel; }
    QPushButton* OKButton() const { return m_okButton; }

private:
    void FormCreate(const QString& AppPath, const QString& SettingsPath);

    QLabel* m_image1;
    QLabel* m_productName;
    QLabel* m_versionLabel;
    QLabel* m_settingsLabel;
    QPushButton* m_okButton;
};
