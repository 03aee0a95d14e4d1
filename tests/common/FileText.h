#pragma once
// A file's bytes read or written whole, for tests that look at or prepare files.

#include <gtest/gtest.h>

#include <QFile>
#include <QString>

#include <string>

// The file's bytes; empty when it cannot be read.
inline std::string ReadAll(const QString& Path) {
    QFile file(Path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

inline void WriteAll(const QString& Path, const std::string& Data) {
    QFile file(Path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(Data.data(), static_cast<qint64>(Data.size()));
}
