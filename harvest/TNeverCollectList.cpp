#include "TNeverCollectList.h"

#include <QUrl>

#include <algorithm>
#include <iterator>

#include "HarvestText.h"

namespace {

struct TFullFolding {
    char32_t From;
    char32_t To[3];
};
constexpr TFullFolding kFullFoldings[] = {
#include "FullCaseFolding.inc"
};

// Full case folding, as the Unicode rules for caseless matching ask: "ß" is "ss", so that
// "STRASSE" and "straße" are one. Qt folds one character to one, which keeps them apart.
QString Folded(const QString& Text) {
    QString folded;
    folded.reserve(Text.size());
    for (const char32_t c : Text.toUcs4()) {
        const auto* hit = std::lower_bound(
            std::begin(kFullFoldings), std::end(kFullFoldings), c,
            [](const TFullFolding& Entry, char32_t Key) { return Entry.From < Key; });
        if (hit != std::end(kFullFoldings) && hit->From == c) {
            for (const char32_t to : hit->To)
                if (to != 0) folded += QString::fromUcs4(&to, 1);
            continue;
        }
        const char32_t simple = QChar::toCaseFolded(c);
        folded += QString::fromUcs4(&simple, 1);
    }
    return folded;
}

bool LooksLikeDomain(const QString& Domain) {
    if (Domain.isEmpty() || Domain.startsWith(u'.') || Domain.contains(u"..")) return false;
    for (const QChar c : Domain)
        if (c.isSpace() || c == u'@' || c == u'/' || c.category() == QChar::Other_Control)
            return false;
    return true;
}

// Splits "local@domain" at its last "@" into the folded local part and the compared domain;
// false when either part is missing.
bool SplitAddress(const QString& Address, QString& Local, QString& Domain) {
    const qsizetype at = Address.lastIndexOf(u'@');
    if (at <= 0 || at + 1 >= Address.size()) return false;
    const QString domain = Address.mid(at + 1);
    if (!LooksLikeDomain(domain)) return false;
    Local = Folded(Address.left(at));
    Domain = ComparedDomain(domain);
    return !Domain.isEmpty();
}

}  // namespace

QString ComparedDomain(const QString& Domain) {
    // A punycode name is folded in its Unicode form, where folding can change it ("ß").
    const QString text = Domain.contains(u"xn--", Qt::CaseInsensitive)
                             ? QUrl::fromAce(Domain.toUtf8(), QUrl::IgnoreIDNWhitelist)
                             : Domain;
    QString folded = Folded(text.isEmpty() ? Domain : text);
    if (folded.endsWith(u'.')) folded.chop(1);
    // QUrl::toAce gives the punycode form of a valid international name (and an ASCII name
    // unchanged); a name it refuses is compared as written.
    const QByteArray ace = QUrl::toAce(folded);
    return ace.isEmpty() ? folded : QString::fromLatin1(ace).toLower();
}

std::vector<int> TNeverCollectList::SetLines(const std::vector<std::string>& Lines) {
    m_addresses.clear();
    m_domains.clear();
    m_trees.clear();
    std::vector<int> bad;
    for (std::size_t i = 0; i < Lines.size(); ++i) {
        QString entry = TextOfBytes(Lines[i]);
        if (i == 0 && entry.startsWith(QChar(0xFEFF))) entry.remove(0, 1);
        entry = entry.trimmed();
        if (entry.isEmpty()) continue;
        const int number = static_cast<int>(i) + 1;
        if (entry.startsWith(u"@.") || entry.startsWith(u'@')) {
            const bool tree = entry.startsWith(u"@.");
            const QString domain = entry.mid(tree ? 2 : 1);
            if (!LooksLikeDomain(domain)) {
                bad.push_back(number);
                continue;
            }
            (tree ? m_trees : m_domains).insert(ComparedDomain(domain));
            continue;
        }
        QString local, domain;
        if (!SplitAddress(entry, local, domain)) {
            bad.push_back(number);
            continue;
        }
        m_addresses.insert(local + u'@' + domain);
    }
    return bad;
}

bool TNeverCollectList::Holds(std::string_view Address) const {
    return HoldsText(TextOfBytes(Address));
}

bool TNeverCollectList::HoldsText(const QString& Address, QString* Folded) const {
    if (Empty()) return false;
    QString local, domain;
    if (!SplitAddress(Address, local, domain)) return false;
    const QString folded = local + u'@' + domain;
    if (Folded) *Folded = folded;
    if (m_domains.contains(domain) || m_addresses.contains(folded)) return true;
    // The domain itself and each parent domain, for the entries that take subdomains.
    for (qsizetype from = 0; from >= 0;) {
        if (m_trees.contains(domain.mid(from))) return true;
        const qsizetype dot = domain.indexOf(u'.', from);
        from = dot < 0 ? -1 : dot + 1;
    }
    return false;
}

bool TNeverCollectList::Withholds(std::string_view TypeLink, std::string_view UrlFound) {
    if (TypeLink != "mail" || Empty()) return false;
    QString folded;
    if (!HoldsText(TextOfBytes(ResultText(TypeLink, UrlFound)), &folded)) return false;
    m_leftOut.insert(folded);
    return true;
}

std::size_t TNeverCollectList::RemoveListedLines(std::vector<std::string>& Lines) const {
    if (Empty()) return 0;
    const auto listed = [this](const std::string& Line) {
        const QString line = TextOfBytes(Line).trimmed();
        return HoldsText(line) || HoldsText(line.section(u';', 0, 0).trimmed());
    };
    const std::size_t before = Lines.size();
    std::erase_if(Lines, listed);
    return before - Lines.size();
}
