#pragma once
// A caption as the user reads it: without the "&" that marks its Alt-key letter.

#include <QString>

inline QString Shown(QString Caption) {
    return Caption.replace("&&", QString(QChar(1))).remove('&').replace(QChar(1), '&');
}
