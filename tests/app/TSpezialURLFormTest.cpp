#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "Shown.h"
#include "TSpezialURLForm.h"

namespace {

QString Host(int index) {
    return QString::fromLatin1(TSpezialURLForm::Engines()[index].Host);
}

// Chooses an engine the way the user does, from the list.
void Choose(TSpezialURLForm& form, const QString& engine) {
    const int index = form.ComboBox1()->findText(engine);
    ASSERT_GE(index, 0) << engine.toStdString();
    form.ComboBox1()->setCurrentIndex(index);
}

TEST(TSpezialURLFormTest, StartsWithNothingChosenAndTheButtonDisabled) {
    TSpezialURLForm form;
    EXPECT_EQ(form.windowTitle(), "URL's erzeugen");
    EXPECT_EQ(form.size(), QSize(324, 345));
    QComboBox* combo = form.ComboBox1();
    EXPECT_TRUE(combo->isEditable());
    EXPECT_EQ(combo->currentIndex(), -1);
    EXPECT_EQ(combo->currentText(), "Bitte treffen Sie eine Auswahl");
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
    EXPECT_EQ(items, (QStringList{"Fireball", "Google", "Yahoo", "Altavista", "Lycos"}));
    EXPECT_FALSE(form.BitBtn1()->isEnabled());
    EXPECT_TRUE(form.BitBtn1()->isDefault());
    EXPECT_EQ(Shown(form.BitBtn1()->text()), "Übernehmen");
    EXPECT_EQ(Shown(form.BitBtn2()->text()), "Abbrechen");
    EXPECT_TRUE(form.BuildUrl().isEmpty());
    EXPECT_TRUE(form.Url().isEmpty());

    const auto text = [&](const char* name) {
        auto* label = form.findChild<QLabel*>(name);
        return label ? label->text() : QString("<missing %1>").arg(name);
    };
    EXPECT_EQ(text("Label1"),
              "Mit dieser Funktion haben Sie die Möglichkeit die URL für eine "
              "Suchmaschinenanfrage zu generieren. Somit können Sie mit Suchbegriffen gezielt "
              "nach Links suchen.");
    EXPECT_EQ(text("Label2"), "Suchmaschine wählen:");
    EXPECT_EQ(text("Label3"), "Suchbegriffe eingeben:");
    EXPECT_EQ(text("Label4"), "Bitte nur einen Begriff pro Eingabefeld!");
}

TEST(TSpezialURLFormTest, GoogleWithTheFirstAndThirdTerm) {
    TSpezialURLForm form;
    Choose(form, "Google");
    form.Edit1()->setText("musik");
    form.Edit3()->setText("bands");
    form.BitBtn1Click();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(form.Url(),
              "http://" + Host(1) + "/search?q=musik+bands&btnG=Google-Suche&meta=lr%3Dlang_de");
}

TEST(TSpezialURLFormTest, TermsAreTrimmedJoinedAndOtherwiseLeftAsTyped) {
    TSpezialURLForm form;
    Choose(form, "Yahoo");
    form.Edit1()->setText("  rock band\t");
    form.Edit2()->setText("   ");
    form.Edit3()->setText(" köln&bonn ");
    EXPECT_EQ(form.BuildUrl(), "http://" + Host(2) + "/bin/query_de?p=rock band+köln&bonn");

    form.Edit2()->setText(" jazz ");
    EXPECT_EQ(form.BuildUrl(), "http://" + Host(2) + "/bin/query_de?p=rock band+jazz+köln&bonn");
}

TEST(TSpezialURLFormTest, EveryEngineHasItsQueryTexts) {
    struct TCase {
        const char* Item;
        const char* Before;
        const char* After;
    };
    const TCase cases[] = {
        {"Fireball", "/fcgi/query.fcg?action=query&pg=express&q=", "&what=german_web"},
        {"Google", "/search?q=", "&btnG=Google-Suche&meta=lr%3Dlang_de"},
        {"Yahoo", "/bin/query_de?p=", ""},
        {"Altavista", "/q?pg=q&q=", "&kl=XX&what=de&search.x=43&search.y=9"},
        {"Lycos", "/cgi-bin/pursuit?matchmode=and&mtemp=main&etemp=error&query=", "&cat=de_spkr"},
    };
    TSpezialURLForm form;
    form.Edit1()->setText("a");
    form.Edit2()->setText("b");
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(cases[i].Item);
        Choose(form, cases[i].Item);
        EXPECT_EQ(form.ComboBox1()->currentIndex(), i);
        const QString host = Host(i);
        // A host name of its own, without path or scheme, so the pieces join cleanly.
        EXPECT_FALSE(host.isEmpty());
        EXPECT_FALSE(host.contains('/'));
        EXPECT_EQ(form.BuildUrl(), "http://" + host + cases[i].Before + "a+b" + cases[i].After);
    }
}

TEST(TSpezialURLFormTest, ButtonIsEnabledByEngineAndFirstTermInEitherOrder) {
    TSpezialURLForm engineFirst;
    Choose(engineFirst, "Lycos");
    EXPECT_FALSE(engineFirst.BitBtn1()->isEnabled());
    engineFirst.Edit2()->setText("second");
    engineFirst.Edit3()->setText("third");
    EXPECT_FALSE(engineFirst.BitBtn1()->isEnabled());
    QTest::keyClicks(engineFirst.Edit1(), "x");
    EXPECT_TRUE(engineFirst.BitBtn1()->isEnabled());

    TSpezialURLForm termFirst;
    QTest::keyClicks(termFirst.Edit1(), "x");
    EXPECT_FALSE(termFirst.BitBtn1()->isEnabled());
    Choose(termFirst, "Fireball");
    EXPECT_TRUE(termFirst.BitBtn1()->isEnabled());
}

TEST(TSpezialURLFormTest, ClearingTheFirstTermKeepsTheButtonAndLeadsWithPlus) {
    TSpezialURLForm form;
    Choose(form, "Google");
    form.Edit1()->setText("eins");
    ASSERT_TRUE(form.BitBtn1()->isEnabled());
    form.Edit2()->setText("zwei");
    form.Edit1()->clear();
    EXPECT_TRUE(form.BitBtn1()->isEnabled());
    EXPECT_EQ(form.BuildUrl(),
              "http://" + Host(1) + "/search?q=+zwei&btnG=Google-Suche&meta=lr%3Dlang_de");
}

TEST(TSpezialURLFormTest, TypingIntoTheEngineSelectorDropsTheChoice) {
    TSpezialURLForm form;
    form.show();
    Choose(form, "Google");
    form.Edit1()->setText("musik");
    ASSERT_EQ(form.ComboBox1()->currentIndex(), 1);

    QLineEdit* typed = form.ComboBox1()->lineEdit();
    typed->selectAll();
    QTest::keyClicks(typed, "Goo");
    EXPECT_EQ(form.ComboBox1()->currentIndex(), -1);
    // The typed text stays as typed, not completed into an item, and nothing joins the list.
    EXPECT_EQ(form.ComboBox1()->currentText(), "Goo");
    EXPECT_EQ(typed->cursorPosition(), 3);
    QTest::keyClicks(typed, "gle");
    EXPECT_EQ(form.ComboBox1()->currentText(), "Google");
    EXPECT_EQ(form.ComboBox1()->currentIndex(), -1);
    EXPECT_TRUE(form.BuildUrl().isEmpty());

    // Enter in the selector is "Übernehmen" (the default button), still with no engine chosen.
    QTest::keyClick(typed, Qt::Key_Return);
    EXPECT_EQ(form.ComboBox1()->count(), 5);
    EXPECT_EQ(form.ComboBox1()->currentIndex(), -1);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_TRUE(form.Url().isEmpty());

    // Choosing from the list again brings the engine back.
    Choose(form, "Google");
    EXPECT_TRUE(form.BuildUrl().startsWith("http://" + Host(1) + "/search?q=musik"));
}

TEST(TSpezialURLFormTest, EnterTakesTheAddressOnlyWhenTheButtonIsEnabled) {
    TSpezialURLForm form;
    form.show();
    QTest::keyClick(form.ComboBox1()->lineEdit(), Qt::Key_Return);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.result(), 0);

    Choose(form, "Google");
    QTest::keyClicks(form.Edit1(), "musik");
    QTest::keyClick(form.Edit1(), Qt::Key_Return);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(form.Url(), form.BuildUrl());
    EXPECT_FALSE(form.Url().isEmpty());
}

TEST(TSpezialURLFormTest, AbbrechenKeepsTheLastAddressAndTheInputs) {
    TSpezialURLForm form;
    Choose(form, "Altavista");
    form.Edit1()->setText("erste");
    form.BitBtn1Click();
    const QString taken = form.Url();
    ASSERT_FALSE(taken.isEmpty());

    // Shown again: the inputs are still there; a change then "Abbrechen" leaves Url() alone.
    form.show();
    EXPECT_EQ(form.ComboBox1()->currentText(), "Altavista");
    EXPECT_EQ(form.Edit1()->text(), "erste");
    form.Edit1()->setText("andere");
    form.BitBtn2()->click();
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_EQ(form.Url(), taken);

    // The close box as well.
    form.show();
    form.close();
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_EQ(form.Url(), taken);
}

}  // namespace
