#include "ExplainOutput.h"

#include "HarvestOutput.h"
#include "OutputFile.h"
#include "TLinkDecisionLog.h"

QByteArray FormatExplained(const TLinkDecisionLog& Log, const std::string& Site) {
    QByteArray out;
    const QByteArray site = JsonString(Site);
    Log.ForEach([&out, &site](const TLinkRecord& r) {
        const TLinkReason reason =
            r.FollowReason != TLinkReason::None ? r.FollowReason : r.ReportReason;
        out += "{\"url\":" + JsonString(r.Url) + ",\"from\":" + JsonString(r.FromUrl) +
               ",\"depth\":" + QByteArray::number(r.Depth) + ",\"type\":" + JsonString(r.TypeLink) +
               ",\"reported\":" + (r.Reported ? "true" : "false") +
               ",\"followed\":" + (r.Followed ? "true" : "false") + ",\"reason\":\"" +
               LinkReasonWord(reason) + "\",\"site\":" + site + "}\n";
    });
    return out;
}

bool WriteExplained(const std::string& FileName, const QByteArray& Lines, std::string& Error) {
    return WriteOutputFile(FileName, Lines.constData(), static_cast<std::size_t>(Lines.size()),
                           Error);
}
