#pragma once
// A horizontal splitter that keeps its columns' shares of the width, not their pixel widths: the
// user's division survives maximising and the next start at another window size. The shares are
// per mille of the whole, as "Program.ini" stores them ("250,450,300").

#include <QList>
#include <QSplitter>
#include <QString>

class TColumnSplitter : public QSplitter {
    Q_OBJECT
public:
    explicit TColumnSplitter(QWidget* Parent = nullptr);

    // The shares as text; empty while the columns keep their natural division.
    QString SharesText() const;
    // Takes shares saved by SharesText; a text that does not fit the columns is ignored.
    void SetSharesText(const QString& Text);
    // Parses "a,b,c": one positive number per column, else an empty list.
    static QList<int> ParseShares(const QString& Text, int Columns);

protected:
    void resizeEvent(QResizeEvent* Event) override;

private:
    void RememberShares();
    void ApplyShares();

    QList<int> m_shares;
};
