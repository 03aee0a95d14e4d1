#pragma once
// The addresses a user must never harvest again (people who objected to being collected): one
// entry a line, "anna@example.org" for that address, "@example.org" for every address of that
// domain, "@.example.org" for that domain and every subdomain. Addresses are compared as the
// harvest shows them (ResultText), both parts case-folded (Unicode), a domain's Unicode and
// punycode forms alike. A plus-tagged address is an address of its own.
//
// Not thread-safe; the window and the command line use it on the GUI thread.

#include <QSet>
#include <QString>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class TNeverCollectList {
public:
    // Replaces the list by Lines (bytes: UTF-8, else Latin-1; a byte-order mark and blanks
    // around an entry are ignored, blank lines skipped). Returns the 1-based numbers of the
    // lines that are neither an address nor a domain; those are left out.
    std::vector<int> SetLines(const std::vector<std::string>& Lines);
    bool Empty() const { return m_addresses.isEmpty() && m_domains.isEmpty() && m_trees.isEmpty(); }

    // Address (bytes as ResultText gives them) is on the list.
    bool Holds(std::string_view Address) const;
    // A reported link to be left out: a mail address on the list. Counts each distinct address
    // once in LeftOut.
    bool Withholds(std::string_view TypeLink, std::string_view UrlFound);
    // Drops the lines of a result file that are an address on the list (the whole line, or its
    // first ";" field, blanks aside); returns how many went.
    std::size_t RemoveListedLines(std::vector<std::string>& Lines) const;
    std::size_t LeftOut() const { return m_leftOut.size(); }
    void ResetLeftOut() { m_leftOut.clear(); }

private:
    // Holds for an address as text; Folded, when given, gets its compared form once it splits.
    bool HoldsText(const QString& Address, QString* Folded = nullptr) const;

    QSet<QString> m_addresses;  // "local@domain", folded
    QSet<QString> m_domains;    // "@example.org": that domain alone
    QSet<QString> m_trees;      // "@.example.org": the domain and its subdomains
    QSet<QString> m_leftOut;    // folded addresses withheld so far
};

// The form in which a domain is compared: case-folded, without a final dot, as punycode (ACE)
// where it has one, so that "bücher.example" and "xn--bcher-kva.example" are one.
QString ComparedDomain(const QString& Domain);
