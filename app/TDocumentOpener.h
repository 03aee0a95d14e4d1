#pragma once
// Hands a URL or a file to the desktop's document handler (browser, editor). Returns at once;
// nothing waits for the opened program. GUI thread only; needs a QGuiApplication.

#include <QString>

// Opens Document: a text with a scheme ("http://...", "https://...", "file:...") is opened as a
// URL, anything else as a file name relative to the current folder. False when the desktop could
// not open it; the caller reports the failure in its own words.
bool OpenDocument(const QString& Document);
