#pragma once
// The constant table of file extensions that the crawler knows as names of files. A link whose
// extension is in the table is a file (reported, never fetched); any other extension is a page.
// Rows are numbered 1 to 550; the table never changes at run time, so every function here is
// safe to call from any thread.

#include <string_view>

// Row number (1 to 550) of the row whose extension equals Ext exactly, case included; -1 when
// there is none. Callers pass the extension in small letters.
int FindFileType(std::string_view Ext);

// Number of rows (550).
int FileTypeCount();

// Extension and one-line description of a row; empty for a row number outside 1..FileTypeCount().
// Only the descriptions of the rows that users are likely to meet are filled in.
std::string_view FileTypeExtension(int Row);
std::string_view FileTypeDescription(int Row);
