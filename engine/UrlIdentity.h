#pragma once
// When two links name the same page: the key under which a run's visited list and its decision
// log keep a URL. Two texts name one URL exactly when their keys are equal byte for byte. Pure
// functions, no threads, no I/O.

#include <string>
#include <string_view>

// The key of Text. A URL ("scheme://...") gives its RFC 3986 normal form: scheme and host in
// lower case; an empty port, or the default one of http (80) and https (443), left out; escapes
// of unreserved characters (letters, digits, "-", ".", "_", "~") decoded and every other escape
// in upper case (where a "%" begins no escape, as in "?q=50%", every escape is kept as written,
// in upper case); dot segments removed; an empty http(s) path written "/"; an empty query and
// the fragment left out. User, path and query keep their letter case: on a Linux server
// "/Doc/a.pdf" and "/doc/a.pdf" are two files, and "?id=Xy7q" and "?id=xY7Q" two pages. Any
// other text (an e-mail address, a value that names no URL) gives its lower-case form: those
// compare without regard to case. The key of a key is itself.
std::string VisitedKey(std::string_view Text);
// The same, written into Key, whose buffer is reused.
void VisitedKeyInto(std::string_view Text, std::string& Key);

// True when Text is sure to be its own key, found without building the key: most links are
// written that way already. False says nothing.
bool IsVisitedKey(std::string_view Text);
