#include "TMainForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLockFile>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QTextBlock>

#include "EngineMessage.h"
#include "FileErrorText.h"
#include "HarvestText.h"
#include "TAboutBox.h"
#include "TColumnSplitter.h"
#include "TDocumentOpener.h"
#include "THelpForm.h"
#include "THttpScan.h"
#include "TIniFile.h"
#include "TJpegImage.h"
#include "TLinkDecisionLog.h"
#include "TPromoForm.h"
#include "TPrompter.h"
#include "TSearchJournal.h"
#include "TServerOptions.h"
#include "TSpezialURLForm.h"
#include "TTipForm.h"
#include "TWhyForm.h"
#include "TZusammenfassenForm.h"
#include "TextRoutines.h"
#include "ui_TMainForm.h"

namespace {

const QString kSection = "SETTINGS";
const QString kUpdatePage = "https://tarnwick.example/update.html";
const QString kBrowserFailure =
    "Unable to start internet browser! Make sure you have it properly set-up on your system!";
const QString kUnsavedQuestion = "Das Ergebnis ist noch nicht gespeichert. Jetzt speichern?";
const QString kEmptyList = "Die Ergebnisliste ist leer.";

// What the user types reaches the engine as UTF-8, the encoding of today's web; libcurl turns an
// international host name into its ASCII form.
std::string Bytes(const QString& text) {
    return text.toUtf8().toStdString();
}

QString Text(const std::string& bytes) {
    return TextOfBytes(bytes);
}

// The lines of a memo as a text file holds them: an empty memo has no lines at all.
QStringList MemoLines(const QPlainTextEdit* memo) {
    const QString text = memo->toPlainText();
    return text.isEmpty() ? QStringList() : text.split('\n');
}

QString WithTrailingSlash(const QString& folder) {
    return QFile::decodeName(AddTrailingBackslash(QFile::encodeName(folder).toStdString()).c_str());
}

int NumberOr(const QString& text, int fallback) {
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? value : fallback;
}

}  // namespace

TMainForm::TMainForm(const QString& AppPath, const QString& ResultsFolder, TPrompter& Prompter,
                     QWidget* Parent)
    : TMainForm(TProgramFolders::Beside(AppPath), ResultsFolder, Prompter, Parent) {}

TMainForm::TMainForm(const TProgramFolders& Folders, const QString& ResultsFolder,
                     TPrompter& Prompter, QWidget* Parent)
    : QMainWindow(Parent),
      m_ui(std::make_unique<Ui::TMainForm>()),
      m_prompter(Prompter),
      m_httpScan(new THttpScan(this)),
      m_statusLabel(new QLabel(this)),
      m_resultsFolder(ResultsFolder),
      m_decisions(std::make_unique<TLinkDecisionLog>()),
      m_whyForm(new TWhyForm(*m_decisions, this)),
      m_openDocument(OpenDocument) {
    m_ui->setupUi(this);
    m_ui->StatusBar1->addWidget(m_statusLabel, 1);
    m_ui->UpDown1->SetAssociate(m_ui->Edit3);
    m_ui->UpDown2->SetAssociate(m_ui->Edit6);
    m_ui->MaskEdit1->setStyleSheet("lineedit-password-character: 42");
    // The six statistics lines (a 24-character label and a number), the line of robots.txt
    // when it is obeyed and that of deferred links once there were some, are read whole, never
    // scrolled.
    const QFontMetrics statsFont(m_ui->Memo7->font());
    const int chrome = 2 * m_ui->Memo7->frameWidth() + 12;
    m_ui->Memo7->setMinimumWidth(statsFont.horizontalAdvance(QString(31, '0')) + chrome);
    m_ui->Memo7->setFixedHeight(8 * statsFont.lineSpacing() + chrome);
    // The crawl advances as soon as there is work instead of every 50 ms; the statistics
    // still come at most every 50 ms.
    m_httpScan->SetAdaptiveTicks(true);
    m_serverOptions = new TServerOptions(m_ui->RobotsCheckBox, m_ui->HostDelaySpinBox,
                                         m_ui->MaxPerHostSpinBox, *m_httpScan, this);
    m_timer1.setSingleShot(true);
    m_timer1.setInterval(50);
    connect(&m_timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);
    m_listsTimer.setSingleShot(true);
    m_listsTimer.setInterval(kListsIntervalMs);
    connect(&m_listsTimer, &QTimer::timeout, this, &TMainForm::ShowWaitingLines);

    const auto icon = [this](QStyle::StandardPixmap p) { return style()->standardIcon(p); };
    m_ui->Start1->setIcon(icon(QStyle::SP_MediaPlay));
    m_ui->Stop1->setIcon(icon(QStyle::SP_MediaStop));
    m_ui->Ergebnisspeichern1->setIcon(icon(QStyle::SP_DialogSaveButton));
    m_ui->ErgebnisManager1->setIcon(icon(QStyle::SP_FileDialogDetailedView));
    m_ui->Beenden1->setIcon(icon(QStyle::SP_DialogCloseButton));
    m_ui->Hilfedatei1->setIcon(icon(QStyle::SP_DialogHelpButton));
    m_ui->Update1->setIcon(icon(QStyle::SP_BrowserReload));
    m_ui->Info1->setIcon(icon(QStyle::SP_MessageBoxInformation));
    m_ui->StartBitBtn->setIcon(icon(QStyle::SP_MediaPlay));
    m_ui->StopBitBtn->setIcon(icon(QStyle::SP_MediaStop));
    m_ui->SaveBitBtn->setIcon(icon(QStyle::SP_DialogSaveButton));
    m_ui->ErgManagerBitBtn->setIcon(icon(QStyle::SP_FileDialogDetailedView));
    m_ui->CheckUrlBitBtn->setIcon(icon(QStyle::SP_DirOpenIcon));
    m_ui->ListSearchBitBtn->setIcon(icon(QStyle::SP_FileDialogListView));

    SetEngineMessageHook(
        [this](const std::string& message) { m_prompter.Message(this, Text(message)); });
    ConnectControls();
    ConnectCrawler();
    AddWhyMenus();
    SetTabOrder();

    // Window creation, in the order the settings reach the crawler.
    m_scanIdle = true;
    m_appPath = WithTrailingSlash(Folders.DataPath);
    m_settingsPath = WithTrailingSlash(Folders.SettingsPath);
    m_urlList.clear();
    m_httpScan->SetFileOfResults(QFile::encodeName(ResultsFileName()).toStdString());
    // Links waiting for room in the queue spill into the user's own state folder.
    m_httpScan->SetSpillFolder(QFile::encodeName(m_resultsFolder).toStdString());
    setWindowTitle("Tarnwick pro");
    LoadBanner();
    LoadSettings();
    m_ui->StartBitBtn->setEnabled(true);
    m_ui->StopBitBtn->setEnabled(false);
    LoadKeywordMemos();
    m_httpScan->SetTypeFilterEnabled(m_ui->FilterCheckBox->isChecked());
    m_httpScan->SetTypeList(Bytes(m_ui->SearchForMemo->toPlainText()));
    m_ui->PageControl1->setCurrentIndex(0);
    // The settings column keeps its width; the lists share what a larger window adds.
    m_ui->ColumnSplitter->setStretchFactor(0, 0);
    m_ui->ColumnSplitter->setStretchFactor(1, 3);
    m_ui->ColumnSplitter->setStretchFactor(2, 2);

    // The dialogs are made once, after the main window, and live as long as it does.
    m_about = std::make_unique<TAboutBox>(m_appPath, this, m_settingsPath);
    m_merger = std::make_unique<TZusammenfassenForm>(*this, m_prompter, this);
    m_urlBuilder = std::make_unique<TSpezialURLForm>(this);

    resize(744, 552);
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

TMainForm::~TMainForm() {
    SetEngineMessageHook(nullptr);
    // A run still going ends with the crawler, which waits for it: that happens here, while the
    // window is whole, and with no handler of the window left to reach. Its journal stays for
    // the next start, as after a kill.
    m_httpScan->ClearEvents();
    delete m_httpScan;
}

QString TMainForm::ResultsFileName() const {
    return WithTrailingSlash(m_resultsFolder) + "Tarnwick.bin";
}

QString TMainForm::JournalFileName() const {
    // Without a state folder of its own the program leaves no journal anywhere else.
    return m_resultsFolder.isEmpty()
               ? QString()
               : WithTrailingSlash(m_resultsFolder) + TSearchJournal::FileName;
}

QString TMainForm::StatusText() const {
    return m_statusLabel->text();
}

void TMainForm::SetStatusText(const QString& Text) {
    m_statusLabel->setText(Text);
}

void TMainForm::LoadBanner() {
    // The strip follows the window's width; the picture never holds the window wide.
    m_ui->Image2->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_ui->Image2->setMinimumWidth(0);
    m_banner = LoadJpeg(m_appPath + "recom/banner.jpg");
    // A missing or broken picture leaves the strip empty.
    ShowBanner();
    m_ui->Panel1->installEventFilter(this);
}

void TMainForm::ShowBanner() {
    if (m_banner.isNull()) return;
    // The picture is drawn at its size; its last column carries on to the right edge, so a
    // maximised window shows one strip across its whole width.
    const int width = qMax(m_ui->Panel1->width(), m_banner.width());
    QPixmap strip(width, m_banner.height());
    QPainter painter(&strip);
    painter.drawImage(0, 0, m_banner);
    if (width > m_banner.width())
        painter.drawImage(QRect(m_banner.width(), 0, width - m_banner.width(), m_banner.height()),
                          m_banner, QRect(m_banner.width() - 1, 0, 1, m_banner.height()));
    painter.end();
    m_ui->Image2->setPixmap(strip);
}

bool TMainForm::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == m_ui->Panel1 && Event->type() == QEvent::Resize) ShowBanner();
    for (QPlainTextEdit* list : {m_ui->Memo6, m_ui->ErgMemo})
        if (Watched == list && ListMenuKey(*list, Event)) return true;
    return QMainWindow::eventFilter(Watched, Event);
}

void TMainForm::ConnectControls() {
    Ui::TMainForm& u = *m_ui;
    connect(u.UpDown1, &TUpDown::Clicked, this, &TMainForm::UpDown1Click);
    connect(u.UpDown2, &TUpDown::Clicked, this, &TMainForm::UpDown2Click);
    connect(u.SpiderOptionsGroupBox, &TRadioGroup::Clicked, this,
            &TMainForm::SpiderOptionsGroupBoxClick);
    connect(u.RadioGroup3, &TRadioGroup::Clicked, this, &TMainForm::RadioGroup3Click);
    connect(u.IncludeCheckBox, &QCheckBox::toggled, this, &TMainForm::IncludeCheckBoxClick);
    connect(u.ContactPagesCheckBox, &QCheckBox::toggled, this,
            &TMainForm::ContactPagesCheckBoxClick);
    connect(u.ExcludeCheckBox, &QCheckBox::toggled, this, &TMainForm::ExcludeCheckBoxClick);
    connect(u.IncludeMemo, &QPlainTextEdit::textChanged, this, &TMainForm::IncludeMemoChange);
    connect(u.ExcludeMemo, &QPlainTextEdit::textChanged, this, &TMainForm::ExcludeMemoChange);
    connect(u.NeverMemo, &QPlainTextEdit::textChanged, this, &TMainForm::NeverMemoChange);
    for (QCheckBox* box :
         {u.CheckBox1, u.CheckBox2, u.CheckBox3, u.CheckBox4, u.CheckBox5, u.CheckBox6})
        connect(box, &QCheckBox::toggled, this, &TMainForm::FileRadioGroupBoxClick);
    connect(u.SearchForMemo, &QPlainTextEdit::textChanged, this, &TMainForm::SearchForMemoChange);
    connect(u.FilterCheckBox, &QCheckBox::toggled, this, &TMainForm::FilterCheckBoxClick);
    connect(u.RedirectionCheckBox, &QCheckBox::toggled, this, &TMainForm::RedirectionCheckBoxClick);
    connect(u.Edit5, &QLineEdit::textChanged, this, &TMainForm::Edit5Change);
    connect(u.Edit7, &QLineEdit::textChanged, this, &TMainForm::Edit7Change);
    connect(u.ProxyRadioGroupBox, &TRadioGroup::Clicked, this, &TMainForm::ProxyRadioGroupBoxClick);
    connect(u.Edit8, &QLineEdit::textChanged, this, &TMainForm::Edit8Change);
    connect(u.Edit9, &QLineEdit::textChanged, this, &TMainForm::Edit9Change);
    connect(u.Edit4, &QLineEdit::textChanged, this, &TMainForm::Edit4Change);
    connect(u.MaskEdit1, &QLineEdit::textChanged, this, &TMainForm::MaskEdit1Change);

    connect(u.StartBitBtn, &QPushButton::clicked, this, &TMainForm::StartBitBtnClick);
    connect(u.Start1, &QAction::triggered, this, &TMainForm::StartBitBtnClick);
    connect(u.URLEdit, &QLineEdit::returnPressed, this, &TMainForm::StartBitBtnClick);
    connect(u.StopBitBtn, &QPushButton::clicked, this, &TMainForm::StopBitBtnClick);
    connect(u.Stop1, &QAction::triggered, this, &TMainForm::StopBitBtnClick);
    connect(u.ListSearchBitBtn, &QPushButton::clicked, this, &TMainForm::ListSearchBitBtnClick);
    connect(u.CheckUrlBitBtn, &QPushButton::clicked, this, &TMainForm::CheckUrlBitBtnClick);
    connect(u.Beenden1, &QAction::triggered, this, &TMainForm::Beenden1Click);
    connect(u.SaveBitBtn, &QPushButton::clicked, this, &TMainForm::SaveBitBtnClick);
    connect(u.Ergebnisspeichern1, &QAction::triggered, this, &TMainForm::SaveBitBtnClick);
    connect(u.ErgManagerBitBtn, &QPushButton::clicked, this, &TMainForm::ErgManagerBitBtnClick);
    connect(u.ErgebnisManager1, &QAction::triggered, this, &TMainForm::ErgManagerBitBtnClick);
    connect(u.SpecialBitBtn, &QPushButton::clicked, this, &TMainForm::SpecialBitBtnClick);
    connect(u.SpezialURL1, &QAction::triggered, this, &TMainForm::SpecialBitBtnClick);
    connect(u.Info1, &QAction::triggered, this, &TMainForm::Info1Click);
    connect(u.Hilfedatei1, &QAction::triggered, this, &TMainForm::Hilfedatei1Click);
    connect(u.Update1, &QAction::triggered, this, &TMainForm::Update1Click);
}

void TMainForm::ConnectCrawler() {
    THttpScan& scan = *m_httpScan;
    scan.OnWorking = [this](THttpScan&, bool working) { HttpScan1Working(working); };
    scan.OnUpdatedStats = [this](THttpScan&, int inQueue, int downloading, int toAnalyze, int done,
                                 int retries, int errors) {
        HttpScan1UpdatedStats(inQueue, downloading, toAnalyze, done, retries, errors);
    };
    scan.OnPageReceived = [this](THttpScan&, const std::string&, const std::string& url,
                                 const std::string&,
                                 const std::string&) { HttpScan1PageReceived(url); };
    scan.OnLinkFound = [this](THttpScan&, const std::string& urlFound, const std::string& typeLink,
                              const std::string&, const std::string&, const std::string&,
                              const std::string&, const std::string&, std::string&, char, int,
                              bool&) { HttpScan1LinkFound(urlFound, typeLink); };
    // Listed addresses never reach the crawler's results file, journal or decisions.
    scan.WithholdLink = [this](const std::string& urlFound, const std::string& typeLink) {
        return m_neverCollect.Withholds(typeLink, urlFound);
    };
    scan.OnLinkDecision = [this](THttpScan&, const TLinkDecision& decision,
                                 const std::string& fromUrl,
                                 int depth) { m_decisions->Note(decision, fromUrl, depth); };
    scan.OnSkipped = [this](THttpScan&, const std::string& url, const std::string&,
                            const std::string& reason, TFetchFailure cause,
                            int status) { HttpScan1Skipped(url, reason, cause, status); };
    scan.OnFetchFailed = [this](THttpScan&, const std::string& url, const std::string&,
                                TFetchFailure reason,
                                int status) { HttpScan1FetchFailed(url, reason, status); };
    // A wait of a second or more is told in the status bar for as long as it lasts.
    scan.OnServerWait = [this](THttpScan&, const std::string& server, int ms,
                               const std::string& reason) {
        m_ui->StatusBar1->showMessage(TServerOptions::WaitText(Text(server), ms, Text(reason)), ms);
    };
}

// ---- control events that pass a setting to the crawler

// The up-down's position is the number in the edit, clamped while the user types it.
void TMainForm::UpDown1Click() {
    m_httpScan->SetDepthSearchLevel(m_ui->UpDown1->Position());
}

void TMainForm::UpDown2Click() {
    m_httpScan->SetConcurrentDownloads(m_ui->UpDown2->Position());
}

void TMainForm::SpiderOptionsGroupBoxClick() {
    TRadioGroup& group = *m_ui->SpiderOptionsGroupBox;
    // The change empties the result list: unsaved results go only when the user says so.
    if (ResultsUnsaved() &&
        !m_prompter.Question(this,
                             "Das Ergebnis ist noch nicht gespeichert. Beim Wechsel der "
                             "Spider Einstellungen wird die Ergebnisliste geleert. Trotzdem "
                             "wechseln?")) {
        const QSignalBlocker quiet(group);
        group.SetItemIndex(m_spiderIndex);
        return;
    }
    m_spiderIndex = group.ItemIndex();
    ClearResults();
    if (m_spiderIndex >= 0) m_httpScan->SetLinkScan(static_cast<TLinkScan>(m_spiderIndex));
}

void TMainForm::RadioGroup3Click() {
    ClearResults();
    const int index = m_ui->RadioGroup3->ItemIndex();
    if (index >= 0) m_httpScan->SetLinkReport(static_cast<TLinkReport>(index));
}

void TMainForm::IncludeCheckBoxClick() {
    m_httpScan->SetKeywordsLimiterEnabled(m_ui->IncludeCheckBox->isChecked());
}

void TMainForm::ExcludeCheckBoxClick() {
    m_httpScan->SetKeywordsFilterEnabled(m_ui->ExcludeCheckBox->isChecked());
}

void TMainForm::ContactPagesCheckBoxClick() {
    m_httpScan->SetFollowKeywordsEnabled(m_ui->ContactPagesCheckBox->isChecked());
}

bool TMainForm::LoadContactKeywords() {
    if (!m_ui->ContactPagesCheckBox->isChecked()) return true;
    const QString file = m_settingsPath + "Kontaktseiten.ini";
    std::vector<std::string> lines;
    QString error;
    if (!ReadByteLines(file, lines, error)) {
        m_prompter.Information(this, CannotReadText(file, error) +
                                         "\nOhne diese Liste kann \"Nur Kontaktseiten\" nicht "
                                         "suchen.");
        return false;
    }
    std::string keywords;
    for (const std::string& line : lines)
        if (!line.empty()) keywords += line + "\n";
    // An empty list would fetch the start page alone and look like a site without contacts.
    if (keywords.empty()) {
        m_prompter.Information(this, "Die Liste \"" + file +
                                         "\" enthält keinen Begriff. Bitte tragen Sie die "
                                         "Begriffe der Kontaktseiten ein, einen pro Zeile.");
        return false;
    }
    m_httpScan->SetFollowKeywords(keywords);
    return true;
}

void TMainForm::IncludeMemoChange() {
    m_httpScan->SetIncludeKeywords(KeywordLines(Bytes(m_ui->IncludeMemo->toPlainText())));
}

void TMainForm::ExcludeMemoChange() {
    m_httpScan->SetExcludeKeywords(KeywordLines(Bytes(m_ui->ExcludeMemo->toPlainText())));
}

void TMainForm::NeverMemoChange() {
    std::vector<std::string> lines;
    for (const QString& line : MemoLines(m_ui->NeverMemo)) lines.push_back(line.toStdString());
    // A line that is no address or domain stays in the memo for the user to mend (each start
    // reminds of it); it matches nothing meanwhile.
    m_neverBadLines.clear();
    for (const int line : m_neverCollect.SetLines(lines)) m_neverBadLines << QString::number(line);
    // An address listed now leaves the result list at once, so that it is not saved.
    std::vector<std::string> kept, keptUrls;
    for (std::size_t i = 0; i < m_resultLines.size(); ++i) {
        const std::string& line = m_resultLines[i];
        if (line.rfind(TypePrefix("mail"), 0) == 0 && m_neverCollect.Holds(line.substr(6)))
            continue;
        kept.push_back(line);
        keptUrls.push_back(m_resultUrls[i]);
    }
    if (kept.size() == m_resultLines.size()) return;
    ClearResults();
    m_resultLines = std::move(kept);
    m_resultUrls = std::move(keptUrls);
    QStringList shown;
    for (const std::string& line : m_resultLines) shown << Text(line);
    if (!shown.isEmpty()) m_ui->ErgMemo->setPlainText(shown.join('\n'));
    ShowResultCount();
}

void TMainForm::FileRadioGroupBoxClick() {
    const Ui::TMainForm& u = *m_ui;
    QStringList types;
    if (u.CheckBox1->isChecked()) types << "mail";
    if (u.CheckBox2->isChecked()) types << "jpg";
    if (u.CheckBox3->isChecked()) types << "gif";
    if (u.CheckBox4->isChecked()) types << "mp3";
    if (u.CheckBox5->isChecked()) types << "pdf";
    if (u.CheckBox6->isChecked()) types << "zip";
    m_ui->SearchForMemo->setPlainText(types.join('\n'));
    SearchForMemoChange();
}

void TMainForm::SearchForMemoChange() {
    m_httpScan->SetTypeList(Bytes(m_ui->SearchForMemo->toPlainText()));
}

void TMainForm::FilterCheckBoxClick() {
    m_httpScan->SetTypeFilterEnabled(m_ui->FilterCheckBox->isChecked());
}

void TMainForm::RedirectionCheckBoxClick() {
    m_httpScan->SetAllowRedirect(m_ui->RedirectionCheckBox->isChecked());
}

void TMainForm::Edit5Change() {
    m_httpScan->SetRetries(NumberOr(m_ui->Edit5->text(), 3));
}

void TMainForm::Edit7Change() {
    m_httpScan->SetTimeOut(NumberOr(m_ui->Edit7->text(), 300));
}

void TMainForm::ProxyRadioGroupBoxClick() {
    const int index = m_ui->ProxyRadioGroupBox->ItemIndex();
    if (index >= 0) m_httpScan->SetProxyType(static_cast<TProxyType>(index));
}

void TMainForm::Edit8Change() {
    m_httpScan->SetProxyAddress(Bytes(m_ui->Edit8->text()));
}

void TMainForm::Edit9Change() {
    m_httpScan->SetProxyPort(NumberOr(m_ui->Edit9->text(), 80));
}

void TMainForm::Edit4Change() {
    m_httpScan->SetProxyUser(Bytes(m_ui->Edit4->text()));
}

void TMainForm::MaskEdit1Change() {
    m_httpScan->SetProxyPassword(Bytes(m_ui->MaskEdit1->text()));
}

// ---- settings files

void TMainForm::LoadSettings() {
    const TIniFile ini(m_settingsPath + "Program.ini");
    // On a first start the system's proxy settings (or a direct connection) make the first
    // harvest work; "Proxy verwenden" without an address would fail every request.
    const bool firstStart = !QFile::exists(m_settingsPath + "Program.ini");
    const int proxyDefault = firstStart ? 2 : 1;
    Ui::TMainForm& u = *m_ui;
    u.URLEdit->setText(ini.ReadString(kSection, "URL", ""));
    u.UpDown1->SetPosition(ini.ReadInteger(kSection, "Depth", 3));
    UpDown1Click();
    u.UpDown2->SetPosition(ini.ReadInteger(kSection, "ConcurrentDownloads", 6));
    UpDown2Click();
    u.SpiderOptionsGroupBox->SetItemIndex(ini.ReadInteger(kSection, "SpiderOptionsGroupBox", 0));
    u.IncludeCheckBox->setChecked(ini.ReadBool(kSection, "IncludeUrlsChecked", false));
    u.ExcludeCheckBox->setChecked(ini.ReadBool(kSection, "ExcludeUrlsChecked", false));
    u.Edit5->setText(ini.ReadString(kSection, "Retrys", ""));
    u.Edit7->setText(ini.ReadString(kSection, "Timeout", ""));
    u.ProxyRadioGroupBox->SetItemIndex(
        ini.ReadInteger(kSection, "ProxyRadioGroupBox", proxyDefault));
    u.Edit8->setText(ini.ReadString(kSection, "IpAdress", ""));
    u.Edit9->setText(ini.ReadString(kSection, "Port", ""));
    u.Edit4->setText(ini.ReadString(kSection, "UserName", ""));
    u.MaskEdit1->setText(ini.ReadString(kSection, "Password", ""));
    // The crawler looks for mail addresses before any box is ticked; on a first start the box
    // says so.
    u.CheckBox1->setChecked(ini.ReadBool(kSection, "search_mail", firstStart));
    u.CheckBox2->setChecked(ini.ReadBool(kSection, "search_jpg", false));
    u.CheckBox3->setChecked(ini.ReadBool(kSection, "search_gif", false));
    u.CheckBox4->setChecked(ini.ReadBool(kSection, "search_mp3", false));
    u.CheckBox5->setChecked(ini.ReadBool(kSection, "search_pdf", false));
    u.CheckBox6->setChecked(ini.ReadBool(kSection, "search_zip", false));
    u.ColumnSplitter->SetSharesText(ini.ReadString(kSection, "ColumnShares", ""));
    m_serverOptions->Load(ini, kSection, firstStart);
    u.ContactPagesCheckBox->setChecked(ini.ReadBool(kSection, "ContactPagesOnly", false));
}

void TMainForm::SaveSettings() {
    TIniFile ini(m_settingsPath + "Program.ini");
    const Ui::TMainForm& u = *m_ui;
    ini.WriteString(kSection, "URL", u.URLEdit->text());
    ini.WriteInteger(kSection, "Depth", u.UpDown1->Position());
    ini.WriteInteger(kSection, "ConcurrentDownloads", u.UpDown2->Position());
    ini.WriteInteger(kSection, "SpiderOptionsGroupBox", u.SpiderOptionsGroupBox->ItemIndex());
    ini.WriteBool(kSection, "search_mail", u.CheckBox1->isChecked());
    ini.WriteBool(kSection, "search_jpg", u.CheckBox2->isChecked());
    ini.WriteBool(kSection, "search_gif", u.CheckBox3->isChecked());
    ini.WriteBool(kSection, "search_mp3", u.CheckBox4->isChecked());
    ini.WriteBool(kSection, "search_pdf", u.CheckBox5->isChecked());
    ini.WriteBool(kSection, "search_zip", u.CheckBox6->isChecked());
    ini.WriteBool(kSection, "IncludeUrlsChecked", u.IncludeCheckBox->isChecked());
    ini.WriteBool(kSection, "ExcludeUrlsChecked", u.ExcludeCheckBox->isChecked());
    ini.WriteString(kSection, "Retrys", u.Edit5->text());
    ini.WriteString(kSection, "Timeout", u.Edit7->text());
    ini.WriteInteger(kSection, "ProxyRadioGroupBox", u.ProxyRadioGroupBox->ItemIndex());
    ini.WriteString(kSection, "IpAdress", u.Edit8->text());
    ini.WriteString(kSection, "Port", u.Edit9->text());
    ini.WriteString(kSection, "UserName", u.Edit4->text());
    ini.WriteString(kSection, "Password", u.MaskEdit1->text());
    const QString shares = u.ColumnSplitter->SharesText();
    if (!shares.isEmpty()) ini.WriteString(kSection, "ColumnShares", shares);
    m_serverOptions->Save(ini, kSection);
    ini.WriteBool(kSection, "ContactPagesOnly", u.ContactPagesCheckBox->isChecked());

    // The program still ends when a file cannot be written; the user learns which one.
    QString error;
    QStringList failed;
    if (!ini.Save(true, error)) failed << "Program.ini: " + error;
    if (!WriteTextLines(m_settingsPath + "Include.ini", MemoLines(u.IncludeMemo), error))
        failed << "Include.ini: " + error;
    if (!WriteTextLines(m_settingsPath + "Exclude.ini", MemoLines(u.ExcludeMemo), error))
        failed << "Exclude.ini: " + error;
    // The list names people: only its owner may read it.
    if (!WriteTextLines(m_settingsPath + "Sperrliste.ini", MemoLines(u.NeverMemo), error))
        failed << "Sperrliste.ini: " + error;
    else
        QFile::setPermissions(m_settingsPath + "Sperrliste.ini",
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!failed.isEmpty())
        m_prompter.Information(
            this, "Die Einstellungen konnten nicht gespeichert werden:\n" + failed.join('\n'));
}

void TMainForm::LoadKeywordMemos() {
    QStringList lines;
    m_ui->IncludeMemo->clear();
    if (ReadTextLines(m_settingsPath + "Include.ini", lines))
        m_ui->IncludeMemo->setPlainText(lines.join('\n'));
    lines.clear();
    m_ui->ExcludeMemo->clear();
    if (ReadTextLines(m_settingsPath + "Exclude.ini", lines))
        m_ui->ExcludeMemo->setPlainText(lines.join('\n'));
    lines.clear();
    m_ui->NeverMemo->clear();
    if (ReadTextLines(m_settingsPath + "Sperrliste.ini", lines))
        m_ui->NeverMemo->setPlainText(lines.join('\n'));
}

// ---- run control

void TMainForm::StartBitBtnClick() {
    if (!ProxyComplete()) return;
    // With no box ticked the crawler would still collect its own default, mail addresses,
    // which the window would not show: nothing to collect is said, not done.
    const Ui::TMainForm& u = *m_ui;
    const bool typeTicked = u.CheckBox1->isChecked() || u.CheckBox2->isChecked() ||
                            u.CheckBox3->isChecked() || u.CheckBox4->isChecked() ||
                            u.CheckBox5->isChecked() || u.CheckBox6->isChecked();
    if (m_scanIdle && !typeTicked) {
        m_prompter.Information(this,
                               "Unter \"Suchen nach\" ist nichts angekreuzt: es würde nichts "
                               "gesammelt. Bitte kreuzen Sie an, wonach gesucht werden "
                               "soll.");
        m_ui->CheckBox1->setFocus();
        return;
    }
    const QString lower = m_ui->URLEdit->text().toLower();
    if (!lower.contains("http://") && !lower.contains("https://"))
        m_ui->URLEdit->setText("http://" + m_ui->URLEdit->text());
    if (m_ui->ExcludeCheckBox->isChecked() || m_ui->IncludeCheckBox->isChecked())
        m_prompter.Information(
            this,
            "Zur Erinnerung: Sie haben eine Filter in der Lasche \"Filter\" für die URL gesetzt!");
    if (m_neverBadLines.size() == 1)
        m_prompter.Information(
            this, QString("In der Liste \"Nie erfassen\" ist Zeile %1 weder eine Adresse noch "
                          "eine Domain und wird nicht beachtet. Bitte korrigieren Sie sie.")
                      .arg(m_neverBadLines.front()));
    else if (m_neverBadLines.size() > 1)
        m_prompter.Information(
            this, QString("In der Liste \"Nie erfassen\" sind die Zeilen %1 weder Adressen noch "
                          "Domains und werden nicht beachtet. Bitte korrigieren Sie sie.")
                      .arg(m_neverBadLines.join(", ")));
    if (m_scanIdle && !LoadContactKeywords()) return;
    // Pressing Start during a run starts nothing, and must not replace the run's journal.
    if (m_scanIdle && !BeginJournal()) return;
    StartRun();
}

bool TMainForm::ProxyComplete() {
    Ui::TMainForm& u = *m_ui;
    if (u.ProxyRadioGroupBox->ItemIndex() != 1) return true;
    QStringList missing;
    QLineEdit* first = nullptr;
    for (QLineEdit* edit : {u.Edit8, u.Edit9}) {
        if (!edit->text().trimmed().isEmpty()) continue;
        missing << (edit == u.Edit8 ? "die IP Adresse" : "den Port");
        if (!first) first = edit;
    }
    if (missing.isEmpty()) return true;
    m_prompter.Information(
        this,
        "Sie haben \"Proxy verwenden\" gewählt. Bitte tragen Sie in der Lasche "
        "\"Optionen\" unter \"Proxy Parameter\" " +
            missing.join(" und ") +
            " des Proxy-Servers ein, oder wählen Sie \"Direkte Verbindung\" oder "
            "\"Einstellungen des Browsers verwenden\".");
    u.PageControl1->setCurrentWidget(u.TabSheet4);
    first->setFocus();
    return false;
}

void TMainForm::StartRun(const TJournalRun* Resumed) {
    m_ui->ResultLabel->setText("Ergebnis");
    SetRunningLook(true);
    QString url;
    if (m_urlList.isEmpty()) {
        url = m_ui->URLEdit->text();
    } else {
        m_ui->ListSearchBitBtn->setText(QString("Seite %1 durchsuchen").arg(m_urlListIndex + 1));
        url = m_urlList.at(m_urlListIndex);
    }
    if (m_scanIdle) {
        m_runCut = false;
        m_runPages = 0;
        m_startFailure.clear();
        // Noted before the run begins, so that the journal tells whose run follows; a continued
        // run was noted when it first began.
        if (!m_urlList.isEmpty() && !Resumed)
            m_httpScan->JournalNote(TSearchJournal::EntryNote(m_urlListIndex));
        if (!Resumed)
            m_httpScan->JournalNote(TSearchJournal::KeywordsNote(m_ui->IncludeMemo->toPlainText(),
                                                                 m_ui->ExcludeMemo->toPlainText()));
    }
    if (Resumed ? m_httpScan->Resume(*Resumed) : m_httpScan->Start(Bytes(url))) {
        m_ui->URLEdit->setText(Text(m_httpScan->StartingUrl()));
        m_visitedWaiting.clear();
        m_ui->Memo6->clear();
        // The entries of a list gather their results, so their decisions are kept together.
        if (Resumed || m_urlList.isEmpty() || m_urlListIndex == 0) m_decisions->Clear();
        m_decisions->NoteStart(m_httpScan->StartingUrl());
    } else if (m_scanIdle) {
        SetRunningLook(false);
        if (!m_urlList.isEmpty()) m_listEntries.push_back({url, 0, "keine gültige Adresse"});
        // A list entry the crawler refuses (no URL, not a URL) would otherwise hold the whole
        // list at that entry for good; the list goes on with the next entry instead.
        if (!m_urlList.isEmpty())
            m_timer1.start();
        else if (Resumed)
            m_httpScan->CloseJournal();  // kept: its results are not lost with the refusal
        else
            DiscardJournal();
    }
}

void TMainForm::SetRunningLook(bool Running) {
    Ui::TMainForm& u = *m_ui;
    // The button that becomes usable is enabled first and takes the focus from the one that is
    // disabled, so the keyboard stays on the run buttons instead of wandering to a list.
    QPushButton* now = Running ? u.StopBitBtn : u.StartBitBtn;
    QPushButton* before = Running ? u.StartBitBtn : u.StopBitBtn;
    now->setEnabled(true);
    (Running ? u.Stop1 : u.Start1)->setEnabled(true);
    if (before->hasFocus()) now->setFocus();
    before->setEnabled(false);
    (Running ? u.Start1 : u.Stop1)->setEnabled(false);
}

void TMainForm::StopBitBtnClick() {
    if (!m_httpScan->Stop()) return;
    m_runCut = true;
    SetStatusText(StatusText() + "    stopping...");
}

void TMainForm::ListSearchBitBtnClick() {
    m_prompter.Information(
        this,
        "Hier kann eine Liste von URLs abgearbeitet werden. Öffnen Sie hierzu eine Text-Datei in "
        "der Sie alle URLs die Sie durchsuchen möchten eingetragen haben. (Bitte immer nur eine "
        "URL pro Zeile)");
    const QString fileName =
        m_prompter.OpenFileName(this, "URL-Liste öffnen", QString(), "Any File (*)");
    if (fileName.isEmpty()) return;
    QStringList lines;
    QString error;
    if (!ReadTextLines(fileName, lines, error)) {
        m_prompter.Information(this, CannotReadText(fileName, error));
        return;
    }
    m_urlList = lines;
    m_urlListIndex = 0;
    m_listEntries.clear();
    m_ui->StartBitBtn->setText("&Start Liste");
}

void TMainForm::Timer1Timer() {
    m_timer1.stop();
    // Once closing has begun, no further list entry may start.
    if (m_closing) return;
    ++m_urlListIndex;
    if (m_urlListIndex < m_urlList.size()) {
        StartRun();
        return;
    }
    m_urlListIndex = 0;
    m_urlList.clear();
    m_ui->ListSearchBitBtn->setText("&Liste abarbeiten");
    m_ui->StartBitBtn->setText("&Start");
    if (!m_runCut) EndJournal();
    ShowListSummary();
}

void TMainForm::CheckUrlBitBtnClick() {
    if (!m_openDocument(m_ui->URLEdit->text())) m_prompter.Message(this, kBrowserFailure);
}

void TMainForm::Hilfedatei1Click() {
    const QString page = m_appPath + "help/help.html";
    if (m_openDocument(page)) return;
    // The help ships with the program: without a browser it is shown here.
    if (!m_helpForm) m_helpForm = new THelpForm(this);
    if (!m_helpForm->ShowPage(page)) {
        m_prompter.Message(this, kBrowserFailure);
        return;
    }
    m_helpForm->show();
    m_helpForm->raise();
    m_helpForm->activateWindow();
}

void TMainForm::Update1Click() {
    if (!m_openDocument(kUpdatePage)) m_prompter.Message(this, kBrowserFailure);
}

void TMainForm::SetDocumentOpener(std::function<bool(const QString&)> Opener) {
    m_openDocument = std::move(Opener);
}

void TMainForm::HttpScan1Working(bool Working) {
    if (Working) {
        m_neverCollect.ResetLeftOut();
        SetStatusText("   Working...");
        m_scanIdle = false;
        m_deferredShown = false;
        return;
    }
    ShowWaitingLines();
    DeleteResultsFile();
    QString done = StatusText() + "     Done.";
    if (!m_neverCollect.Empty())
        done +=
            QString("     Nie erfasst: %1 Adressen der Sperrliste").arg(m_neverCollect.LeftOut());
    SetStatusText(done);
    const std::string& writeError = m_httpScan->ResultsFileError();
    if (!writeError.empty())
        m_prompter.Message(this, QStringLiteral("Die Ergebnisdatei %1 konnte nicht geschrieben "
                                                "werden: %2. Die Suche wurde angehalten.")
                                     .arg(QString::fromLocal8Bit(m_httpScan->FileOfResults()),
                                          QString::fromLocal8Bit(writeError)));
    const std::string& spillError = m_httpScan->SpillFileError();
    if (!spillError.empty())
        m_prompter.Message(this, QStringLiteral("Die zurückgestellten Links konnten nicht "
                                                "gespeichert werden (%1). Die Suche wurde "
                                                "angehalten.")
                                     .arg(QString::fromLocal8Bit(spillError)));
    const bool journalFailed = !m_journalTold && !m_httpScan->JournalError().empty();
    if (journalFailed) TellJournalError();
    m_runCut = m_runCut || !writeError.empty() || !spillError.empty() || journalFailed;
    SetRunningLook(false);
    if (!m_urlList.isEmpty()) NoteListEntryEnd();
    if (!m_urlList.isEmpty())
        m_timer1.start();
    else if (!m_runCut)
        EndJournal();
    m_scanIdle = true;
    if (m_closeRequested) close();
}

void TMainForm::HttpScan1UpdatedStats(int InQueue, int Downloading, int ToAnalyze, int Done,
                                      int Retries, int Errors) {
    QStringList lines = {"      Noch zu besuchen: " + QString::number(InQueue),
                         "         Besuchte URLs: " + QString::number(Done),
                         "         Lade herunter: " + QString::number(Downloading),
                         "   Noch zu Analysieren: " + QString::number(ToAnalyze),
                         " Wiederholungsversuche: " + QString::number(Retries),
                         "     Fehlerhafte Links: " + QString::number(Errors)};
    if (m_httpScan->ObeyRobotsTxt())
        lines << TServerOptions::ExcludedLine(m_httpScan->SkippedByRobots());
    // Shown from the first deferred link of a run on, so that it does not come and go.
    const int deferred = m_httpScan->DeferredCount();
    m_deferredShown = m_deferredShown || deferred > 0;
    if (m_deferredShown) lines << "        Zurückgestellt: " + QString::number(deferred);
    m_ui->Memo7->setPlainText(lines.join('\n'));
}

void TMainForm::HttpScan1PageReceived(const std::string& Url) {
    ++m_runPages;
    m_visitedWaiting << Text(Url);
    if (!m_listsTimer.isActive()) m_listsTimer.start();
}

void TMainForm::ShowWaitingLines() {
    m_listsTimer.stop();
    if (!m_visitedWaiting.isEmpty()) m_ui->Memo6->appendPlainText(m_visitedWaiting.join('\n'));
    if (!m_resultsWaiting.isEmpty()) {
        m_ui->ErgMemo->appendPlainText(m_resultsWaiting.join('\n'));
        ShowResultCount();
    }
    m_visitedWaiting.clear();
    m_resultsWaiting.clear();
}

void TMainForm::HttpScan1LinkFound(const std::string& UrlFound, const std::string& TypeLink) {
    AddResult(UrlFound, TypeLink);  // the count is shown with the line
}

void TMainForm::AddResult(const std::string& UrlFound, const std::string& TypeLink) {
    // The engine's results are UTF-8 text, whatever the page's character set; the lines are
    // kept apart from the list's display, so a result is saved exactly as found.
    m_resultLines.push_back(TypePrefix(TypeLink) + Utf8OfBytes(ResultText(TypeLink, UrlFound)));
    m_resultUrls.push_back(UrlFound);
    m_resultsWaiting << Text(m_resultLines.back());
    if (!m_listsTimer.isActive()) m_listsTimer.start();
}

void TMainForm::ShowResultCount() {
    const auto count = static_cast<qsizetype>(m_resultLines.size());
    SetStatusText(QString("   %1 Links gefunden...").arg(count));
    m_ui->ResultLabel->setText(QString("Ergebnis: %1 Links").arg(count));
}

void TMainForm::ClearResults() {
    m_resultLines.clear();
    m_resultUrls.clear();
    m_resultsWaiting.clear();
    m_ui->ErgMemo->clear();
}

// ---- results

void TMainForm::SaveBitBtnClick() {
    SaveResults();
}

bool TMainForm::SaveResults() {
    // Saving empties the list: a second save would turn the file just written into nothing.
    if (!ResultsUnsaved()) {
        m_prompter.Information(this, kEmptyList);
        return false;
    }
    const QString proposed = m_lastSaveFile.isEmpty() ? "unbenannt.txt" : m_lastSaveFile;
    const QString fileName = m_prompter.SaveFileName(this, proposed, "Textdatei (*.txt)");
    if (fileName.isEmpty()) return false;
    m_lastSaveFile = fileName;
    m_lastSaveDir = QFileInfo(fileName).absolutePath() + '/';
    std::vector<std::string> lines;
    for (const std::string& line : m_resultLines) lines.push_back(line.substr(6));
    QString error;
    // The list is emptied only once the file holds it, as UTF-8 text as the results came.
    if (!WriteByteLines(fileName, lines, error)) {
        m_prompter.Information(this, CannotWriteText(fileName, error));
        return false;
    }
    ClearResults();
    // The file holds every result even when sorting it failed.
    if (!RemoveDuplicates(fileName)) return true;
    m_prompter.Information(
        this, "Ergebnis wurde gespeichert! Eventuelle vorhandene Dubletten wurden gelöscht!");
    return true;
}

bool TMainForm::ResultsMayGo() {
    if (!ResultsUnsaved()) return true;
    switch (m_prompter.YesNoCancel(this, kUnsavedQuestion)) {
        case TAnswer::Yes:
            return SaveResults();
        case TAnswer::No:
            return true;
        case TAnswer::Cancel:
            break;
    }
    return false;
}

bool TMainForm::RemoveDuplicates(const QString& FileName) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    int kept = 0;
    QString error;
    const bool done = RemoveDuplicatesInFile(FileName, kept, error);
    QApplication::restoreOverrideCursor();
    if (!done) {
        m_prompter.Information(this, error);
        return false;
    }
    m_ui->ResultLabel->setText(
        QString("Ergebnis: %1 Links (ohne Dubletten) wurden gespeichert!").arg(kept));
    return true;
}

void TMainForm::ErgManagerBitBtnClick() {
    m_prompter.ShowModal(*m_merger);
}

void TMainForm::SpecialBitBtnClick() {
    if (m_prompter.ShowModal(*m_urlBuilder) == QDialog::Accepted)
        m_ui->URLEdit->setText(m_urlBuilder->Url());
}

void TMainForm::Info1Click() {
    m_prompter.ShowModal(*m_about);
}

void TMainForm::DeleteResultsFile() {
    QFile::remove(ResultsFileName());
}

// ---- start-up and closing

void TMainForm::showEvent(QShowEvent* Event) {
    QMainWindow::showEvent(Event);
    if (m_activated) return;
    m_activated = true;
    // After the window is on screen, like the first activation; not again after a dialog.
    QTimer::singleShot(0, this, &TMainForm::FormActivate);
}

void TMainForm::FormActivate() {
    if (!QFile::exists(m_settingsPath + "NoTip.ini")) ShowTip();
    showMaximized();
    OfferResume();
}

void TMainForm::ShowTip() {
    TTipForm tip(m_appPath, this, &m_prompter, m_settingsPath);
    m_prompter.ShowModal(tip);
}

void TMainForm::closeEvent(QCloseEvent* Event) {
    if (m_closing) {
        Event->accept();
        return;
    }
    // A run that closing stops has not ended normally.
    if (m_httpScan->Stop()) m_runCut = true;
    m_closeRequested = true;
    // During a run the window stays until the crawler reports the end of work.
    if (!m_scanIdle) {
        Event->ignore();
        return;
    }
    // An ending session cannot wait for an answer.
    if (!m_sessionEnding && !ResultsMayGo()) {
        // The user keeps the window: a later end of a run must not close it after all.
        m_closeRequested = false;
        Event->ignore();
        return;
    }
    FormClose();
    Event->accept();
}

void TMainForm::FormClose() {
    m_closing = true;
    m_timer1.stop();
    m_urlList.clear();
    DeleteResultsFile();
    DiscardJournal();
    SaveSettings();
    // An ending session does not wait for a window that asks nothing.
    if (!m_sessionEnding && !QFile::exists(m_settingsPath + "NoWer.ini")) ShowPromotion();
    emit Quit();
}

void TMainForm::ShowPromotion() {
    TPromoForm promotion(m_settingsPath, this, &m_prompter);
    m_prompter.ShowModal(promotion);
}

void TMainForm::Beenden1Click() {
    if (!m_scanIdle) return;
    if (!m_sessionEnding && !ResultsMayGo()) return;
    m_closing = true;
    m_timer1.stop();
    DeleteResultsFile();
    DiscardJournal();
    SaveSettings();
    emit Quit();
    close();
}

// ---- "Warum?"

void TMainForm::AddWhyMenus() {
    auto* why = new QAction("&Warum?...", this);
    why->setObjectName("Warum1");
    why->setShortcut(Qt::Key_F6);
    why->setIcon(style()->standardIcon(QStyle::SP_MessageBoxQuestion));
    m_ui->Programm1->insertAction(m_ui->Beenden1, why);
    m_ui->Programm1->insertSeparator(m_ui->Beenden1);
    connect(why, &QAction::triggered, this, &TMainForm::Warum1Click);
    for (QPlainTextEdit* list : {m_ui->Memo6, m_ui->ErgMemo}) {
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(list, &QWidget::customContextMenuRequested, this, [this, list](const QPoint& pos) {
            ShowListMenu(*list, list->cursorForPosition(pos).blockNumber(), pos);
        });
        // Reached by Tab (and left by it), a line chosen with the arrow keys: "Warum?" needs no
        // mouse.
        list->setTabChangesFocus(true);
        list->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        list->installEventFilter(this);
    }
}

// Left to right, top to bottom, as the window reads: the start-page bar, then each column of the
// first tab from its top down.
void TMainForm::SetTabOrder() {
    Ui::TMainForm& u = *m_ui;
    QWidget* const order[] = {
        u.URLEdit,      u.SpecialBitBtn, u.CheckUrlBitBtn,   u.ListSearchBitBtn,
        u.PageControl1, u.StartBitBtn,   u.StopBitBtn,       u.Edit3,
        u.Edit6,        u.CheckBox1,     u.CheckBox2,        u.CheckBox3,
        u.CheckBox4,    u.CheckBox5,     u.CheckBox6,        u.ContactPagesCheckBox,
        u.Memo6,        u.SaveBitBtn,    u.ErgManagerBitBtn, u.ErgMemo};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
    // The follow mode's one stop comes after the boxes, where it stands.
    u.SpiderOptionsGroupBox->PlaceInTabOrder(u.CheckBox6, u.ContactPagesCheckBox);
}

void TMainForm::ShowListMenu(QPlainTextEdit& List, int Line, const QPoint& Pos) {
    std::unique_ptr<QMenu> menu(List.createStandardContextMenu(Pos));
    menu->setObjectName("ListMenu");
    menu->addSeparator();
    QAction* why = menu->addAction("&Warum?");
    why->setEnabled(!List.document()->findBlockByNumber(Line).text().trimmed().isEmpty());
    // Opened from the keyboard, the first entry that answers is "Warum?" itself.
    if (List.hasFocus() && why->isEnabled()) menu->setActiveAction(why);
    if (menu->exec(List.viewport()->mapToGlobal(Pos)) == why) WhyAboutLine(List, Line);
}

bool TMainForm::ListMenuKey(QPlainTextEdit& List, QEvent* Event) {
    bool wanted = false;
    if (Event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(Event);
        wanted = key->key() == Qt::Key_Menu ||
                 (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier);
    } else if (Event->type() == QEvent::ContextMenu) {
        wanted = static_cast<QContextMenuEvent*>(Event)->reason() == QContextMenuEvent::Keyboard;
    }
    if (!wanted) return false;
    // The line of the text cursor, not of wherever the mouse happens to be.
    const QTextCursor cursor = List.textCursor();
    ShowListMenu(List, cursor.blockNumber(), List.cursorRect(cursor).bottomLeft());
    return true;
}

QString TMainForm::WhyAboutLine(QPlainTextEdit& List, int Line) {
    const QString text = List.document()->findBlockByNumber(Line).text();
    const QString url = TWhyForm::AddressOfLine(text, &List == m_ui->ErgMemo);
    // A result shows an address decoded; the crawler knows it as it was found.
    const auto index = static_cast<std::size_t>(Line);
    const bool result = &List == m_ui->ErgMemo && Line >= 0 && index < m_resultUrls.size();
    const std::string found = result ? m_resultUrls[index] : Bytes(url.trimmed());
    const QString answer = url + "\n\n" + TWhyForm::AnswerForBytes(*m_decisions, found);
    m_prompter.Information(this, answer);
    return answer;
}

void TMainForm::Warum1Click() {
    m_prompter.ShowModal(*m_whyForm);
}
