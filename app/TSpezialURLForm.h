#pragma once
// "URL's erzeugen": builds the address of a search engine's hit list from up to three terms, so
// that a run can start from a page full of links. The main window shows it modally and, when it
// was closed with "Übernehmen", puts Url() into its start URL field. Created once; the inputs
// stay between showings.

#include <QDialog>
#include <QString>

#include <span>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// One entry of the engine list: the hit list's address is
// "http://" + Host + Before + terms + After.
struct TSearchEngine {
    const char* Name;
    const char* Host;
    const char* Before;
    const char* After;
};

class TSpezialURLForm : public QDialog {
    Q_OBJECT
public:
    explicit TSpezialURLForm(QWidget* Parent = nullptr);

    // The engines in the order of ComboBox1's items.
    static std::span<const TSearchEngine> Engines();

    // The address for the current inputs; empty when no engine item is selected.
    QString BuildUrl() const;
    // The address built by the last "Übernehmen"; empty before the first one.
    QString Url() const { return m_url; }

    // Enables "Übernehmen" once an engine is selected and the first term field holds text.
    void ComboBox1Change();
    // "Übernehmen": keeps the address for Url() and closes the dialog with OK.
    void BitBtn1Click();

    QComboBox* ComboBox1() const { return m_comboBox1; }
    QLineEdit* Edit1() const { return m_edit1; }
    QLineEdit* Edit2() const { return m_edit2; }
    QLineEdit* Edit3() const { return m_edit3; }
    QPushButton* BitBtn1() const { return m_bitBtn1; }
    QPushButton* BitBtn2() const { return m_bitBtn2; }

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void ComboBox1Typed();

    QComboBox* m_comboBox1;
    QLineEdit* m_edit1;
    QLineEdit* m_edit2;
    QLineEdit* m_edit3;
    QPushButton* m_bitBtn1;
    QPushButton* m_bitBtn2;
    QString m_url;
};
