#pragma once
// How a page's bytes become text, as a browser reads them: the encoding is chosen in the HTML
// standard's order (a byte-order mark, the charset of the Content-Type header, a <meta> among the
// first 1024 bytes, else UTF-8 when the bytes are valid UTF-8 and windows-1252 when not), every
// label is read by the WHATWG Encoding Standard's table, and the text is decoded into UTF-8. And
// the way back for the query of a link on such a page, as the URL Standard writes it. Pure
// functions, safe on any thread.

#include <string>
#include <string_view>

// The WHATWG name of the encoding that Label names ("latin1" and "us-ascii" give
// "windows-1252"), or "" when the table has no such label. Blanks around it and letter case do
// not count.
std::string EncodingOfLabel(std::string_view Label);

// The label of the charset parameter of a Content-Type value, quotes removed; "" without one.
std::string CharsetOfContentType(std::string_view ContentType);

// The encoding that a <meta charset> or <meta http-equiv="content-type"> among the first 1024
// bytes declares (the HTML standard's prescan), "" when none does. UTF-16 declared there means
// UTF-8, x-user-defined windows-1252.
std::string PrescanForEncoding(std::string_view Bytes);

// Where the encoding of a page came from.
enum class TCharsetSource : unsigned char { Bom, Header, Meta, Detected };

struct TPageText {
    std::string Text;      // UTF-8, without byte-order mark and without NUL characters
    std::string Encoding;  // the WHATWG name of the encoding it was read in
    TCharsetSource Source = TCharsetSource::Detected;
};

// Decodes a page's Body, answered with the Content-Type value ContentType. Bytes that the
// encoding cannot read become U+FFFD. A valid UTF-8 page comes back byte for byte (less a NUL
// and a byte-order mark), so that its results stay exactly as before. An encoding this machine
// cannot decode is read as windows-1252.
TPageText DecodePage(std::string Body, std::string_view ContentType);

// Value with the characters outside ASCII of its query (from the first "?" up to the first "#"
// after it) written in Encoding and percent-encoded, as the URL Standard writes the query of a
// link on a page in that encoding; a character that Encoding lacks is written "&#N;" first.
// Everything else of Value stays. For UTF-8, UTF-16 and an empty Encoding, Value is returned
// unchanged: its query is percent-encoded as UTF-8 later, with the path.
std::string QueryInEncoding(std::string_view Value, std::string_view Encoding);
