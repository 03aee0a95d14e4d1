#include "HarvestOutput.h"

#include <QFile>
#include <QSaveFile>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "HarvestText.h"

namespace {

// Records are written in blocks of about this size between the timed flushes.
constexpr qsizetype kFlushBytes = 64 * 1024;

// A tab or line end inside a field would split the record; they become blanks.
void AppendTsvField(QByteArray& Out, const std::string& Text, char End) {
    std::size_t from = 0;
    for (std::size_t at = Text.find_first_of("\t\n\r"); at != std::string::npos;
         at = Text.find_first_of("\t\n\r", from)) {
        Out.append(Text.data() + from, static_cast<qsizetype>(at - from)).append(' ');
        from = at + 1;
    }
    Out.append(Text.data() + from, static_cast<qsizetype>(Text.size() - from)).append(End);
}

}  // namespace
// The engine's texts are bytes: JSON carries the text they stand for, as UTF-8 when they are
// UTF-8 and else as Latin-1, so the output is always valid UTF-8.
QByteArray JsonString(const std::string& Text) {
    // Escaped as one text and encoded at the end, so a character beyond U+FFFF (two UTF-16
    // units) stays one character.
    QString escaped;
    for (const QChar ch : TextOfBytes(Text)) {
        const char16_t c = ch.unicode();
        if (c == '"')
            escaped += QStringLiteral("\\\"");
        else if (c == '\\')
            escaped += QStringLiteral("\\\\");
        else if (c < 0x20 || c == 0x7f)
            escaped += QStringLiteral("\\u%1").arg(static_cast<int>(c), 4, 16, QLatin1Char('0'));
        else
            escaped += ch;
    }
    return '"' + escaped.toUtf8() + '"';
}

namespace {

bool IsRegularOrMissing(const std::string& Name) {
    struct stat info {};
    if (stat(Name.c_str(), &info) != 0) return errno == ENOENT;
    return S_ISREG(info.st_mode);
}

}  // namespace

QByteArray FormatRecord(const THarvestItem& Item, TOutputFormat Format) {
    QByteArray out;
    if (Format == TOutputFormat::Tsv) {
        out.reserve(static_cast<qsizetype>(Item.Type.size() + Item.Url.size() + Item.From.size()) +
                    3);
        AppendTsvField(out, Item.Type, '\t');
        AppendTsvField(out, Item.Url, '\t');
        AppendTsvField(out, Item.From, '\n');
        return out;
    }
    return "{\"type\":" + JsonString(Item.Type) + ",\"url\":" + JsonString(Item.Url) +
           ",\"from\":" + JsonString(Item.From) + "}\n";
}

QByteArray FormatText(std::vector<std::string> Urls) {
    QByteArray out;
    for (const std::string& line : SortedDistinctLines(std::move(Urls)))
        out.append(line.data(), static_cast<qsizetype>(line.size())).append('\n');
    return out;
}

THarvestSink::~THarvestSink() {
    if (m_ownsFd && m_fd >= 0) close(m_fd);
    if (!m_tempName.empty()) unlink(m_tempName.c_str());
}

void THarvestSink::Fail(const std::string& Reason) {
    if (m_error.empty())
        m_error = "cannot write " + (m_name.empty() ? std::string("standard output") : m_name) +
                  ": " + Reason;
}

bool THarvestSink::Open(const std::string& FileName) {
    m_name = FileName;
    if (FileName.empty()) {
        m_fd = STDOUT_FILENO;
        return true;
    }
    if (IsRegularOrMissing(FileName)) {
        std::string pattern = FileName + ".XXXXXX";
        m_fd = mkostemp(pattern.data(), O_CLOEXEC);
        if (m_fd < 0) {
            Fail(std::strerror(errno));
            return false;
        }
        m_tempName = pattern;
        // The finished file gets the permissions a newly created file would have, or the old
        // file's, not mkstemp's owner-only ones.
        struct stat old {};
        mode_t mode = 0;
        if (stat(FileName.c_str(), &old) == 0) {
            mode = old.st_mode & 07777;
        } else {
            const mode_t mask = umask(0);
            umask(mask);
            mode = 0666 & ~mask;
        }
        fchmod(m_fd, mode);
    } else {
        m_fd = open(FileName.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (m_fd < 0) {
            Fail(std::strerror(errno));
            return false;
        }
    }
    m_ownsFd = true;
    return true;
}

void THarvestSink::Add(const THarvestItem& Item) {
    ++m_count;
    if (m_format == TOutputFormat::Text) {
        m_texts.push_back(Item.Url);
        return;
    }
    m_buffer += FormatRecord(Item, m_format);
    if (m_buffer.size() >= kFlushBytes) Flush();
}

bool THarvestSink::WriteAll(const char* Data, std::size_t Size) {
    while (Size > 0) {
        const ssize_t written = write(m_fd, Data, Size);
        if (written < 0) {
            if (errno == EINTR) continue;
            Fail(std::strerror(errno));
            return false;
        }
        Data += written;
        Size -= static_cast<std::size_t>(written);
    }
    return true;
}

QByteArray FormatSkipped(const std::vector<TSkippedUrl>& Skipped) {
    QByteArray out;
    for (const TSkippedUrl& skip : Skipped) {
        out.append(skip.Url.data(), static_cast<qsizetype>(skip.Url.size()));
        out.append('\t');
        out.append(skip.Reason.data(), static_cast<qsizetype>(skip.Reason.size()));
        out.append('\n');
    }
    return out;
}

bool WriteSkipped(const std::string& FileName, const std::vector<TSkippedUrl>& Skipped,
                  std::string& Error) {
    QSaveFile file(QFile::decodeName(QByteArray::fromStdString(FileName)));
    if (!file.open(QIODevice::WriteOnly) || file.write(FormatSkipped(Skipped)) < 0 ||
        !file.commit()) {
        Error = "cannot write " + FileName + ": " + file.errorString().toLocal8Bit().toStdString();
        return false;
    }
    return true;
}

bool THarvestSink::Flush() {
    if (!m_error.empty()) return false;
    if (m_buffer.isEmpty()) return true;
    const bool ok = WriteAll(m_buffer.constData(), static_cast<std::size_t>(m_buffer.size()));
    m_buffer.clear();
    return ok;
}

bool THarvestSink::Finish() {
    if (m_format == TOutputFormat::Text) m_buffer = FormatText(std::move(m_texts));
    if (!Flush()) return false;
    if (!m_ownsFd) return true;
    // A full disk may only show when the file is closed.
    const int fd = m_fd;
    m_fd = -1;
    m_ownsFd = false;
    if (close(fd) != 0) {
        Fail(std::strerror(errno));
        return false;
    }
    if (m_tempName.empty()) return true;
    if (rename(m_tempName.c_str(), m_name.c_str()) != 0) {
        Fail(std::strerror(errno));
        return false;
    }
    m_tempName.clear();
    return true;
}
