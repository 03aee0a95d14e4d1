#include "ExplainOutput.h"

#include <QFile>
#include <QSaveFile>

#include "HarvestOutput.h"
#include "TLinkDecisionLog.h"

QByteArray FormatExplained(const TLinkDecisionLog& Log) {
    QByteArray out;
    Log.ForEach([&out](const TLinkRecord& r) {
        const TLinkReason reason =
            r.FollowReason != TLinkReason::None ? r.FollowReason : r.ReportReason;
        out += "{\"url\":" + JsonString(r.Url) + ",\"from\":" + JsonString(r.FromUrl) +
               ",\"depth\":" + QByteArray::number(r.Depth) + ",\"type\":" + JsonString(r.TypeLink) +
               ",\"reported\":" + (r.Reported ? "true" : "false") +
               ",\"followed\":" + (r.Followed ? "true" : "false") + ",\"reason\":\"" +
               LinkReasonWord(reason) + "\"}\n";
    });
    return out;
}

bool WriteExplained(const std::string& FileName, const QByteArray& Lines, std::string& Error) {
    QSaveFile file(QFile::decodeName(QByteArray::fromStdString(FileName)));
    if (!file.open(QIODevice::WriteOnly) || file.write(Lines) < 0 || !file.commit()) {
        Error = "cannot write " + FileName + ": " + file.errorString().toLocal8Bit().toStdString();
        return false;
    }
    return true;
}
