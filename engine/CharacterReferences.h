#pragma once
// Character references in attribute values, decoded as a browser does before it uses a link:
// "&amp;" in a query, "&#64;" or "&#x40;" in an address. Numeric references and every named
// reference of HTML are understood; text that merely looks like one stays as written.

#include <string>
#include <string_view>

// Decodes each reference of Value that ends in ";": "&#NN;" and "&#xHH;" by code point, "&name;"
// by HTML's table. Characters outside ASCII come out in UTF-8. As in a browser, a code point of 0,
// a surrogate or one beyond Unicode gives U+FFFD, and 128 to 159 take their Windows-1252 meaning.
// An unknown name, a reference without ";", and one that would give a control character (which
// no link may hold) stay as written.
std::string DecodeCharacterReferences(std::string_view Value);
// The same into Out, whose buffer is reused from value to value; Value must not lie in Out.
void DecodeCharacterReferences(std::string_view Value, std::string& Out);

// True when Value holds a "&", the only way it can hold a reference; spares the copy otherwise.
inline bool MayHoldCharacterReference(std::string_view Value) {
    return Value.find('&') != std::string_view::npos;
}
