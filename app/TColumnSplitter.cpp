#include "TColumnSplitter.h"

#include <QStringList>

TColumnSplitter::TColumnSplitter(QWidget* Parent) : QSplitter(Parent) {
    connect(this, &QSplitter::splitterMoved, this, &TColumnSplitter::RememberShares);
}

QList<int> TColumnSplitter::ParseShares(const QString& Text, int Columns) {
    const QStringList parts = Text.split(',');
    if (parts.size() != Columns) return {};
    QList<int> shares;
    for (const QString& part : parts) {
        bool ok = false;
        const int share = part.trimmed().toInt(&ok);
        if (!ok || share <= 0 || share > 1000) return {};
        shares << share;
    }
    return shares;
}

QString TColumnSplitter::SharesText() const {
    QStringList parts;
    for (int share : m_shares) parts << QString::number(share);
    return parts.join(',');
}

void TColumnSplitter::SetSharesText(const QString& Text) {
    m_shares = ParseShares(Text, count());
    ApplyShares();
}

void TColumnSplitter::RememberShares() {
    const QList<int> widths = sizes();
    int total = 0;
    for (int width : widths) total += width;
    if (total <= 0) return;
    m_shares.clear();
    for (int width : widths) m_shares << qMax(1, width * 1000 / total);
}

void TColumnSplitter::ApplyShares() {
    if (m_shares.size() != count() || width() <= 0) return;
    // setSizes divides the width it has by the weights given; the columns' minimum widths still
    // hold, so a narrow window keeps every control readable.
    setSizes(m_shares);
}

void TColumnSplitter::resizeEvent(QResizeEvent* Event) {
    QSplitter::resizeEvent(Event);
    ApplyShares();
}
