#pragma once
// The addresses a mailto value names, read as RFC 6068 and RFC 5322 define them: the list after
// the scheme and the to, cc and bcc fields of its query, each element without its display name,
// enclosing brackets or comments. Pure functions without state.

#include <string>
#include <string_view>
#include <vector>

// One element of a mailto value: an address, or the text of an element that is none.
struct TMailPart {
    std::string Text;
    bool Address = false;
};

// The elements of the text after "mailto:", percent escapes decoded, in order: the list before
// "?", then those of each to, cc and bcc field. A "#" ends the value. Elements are separated by
// "," outside quotes and comments; ";" separates them only where every piece is an address.
// Empty elements are left out; a value without any element gives one empty part.
std::vector<TMailPart> MailtoParts(std::string_view AfterScheme);

// An address as RFC 5321 bounds it: one "@" outside quotes, a local part of 1 to 64 characters
// (a quoted string, or text without blanks, control bytes and the separators "(),:;<>@[]"), a
// domain of 1 to 255 (letters, digits, "-" and "_" in labels joined by dots, or a literal in
// square brackets). Bytes from 0x80 up are characters of international addresses.
bool IsMailAddress(std::string_view Text);
