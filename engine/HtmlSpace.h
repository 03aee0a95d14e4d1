#pragma once
// The blanks of HTML, as every reader of page text in the engine counts them.

// The blanks of HTML between a tag's parts: space, tab, line feed, form feed, carriage return.
inline bool IsHtmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}
