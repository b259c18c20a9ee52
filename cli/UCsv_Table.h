#pragma once

// The table provision reads: CSV as a spreadsheet saves it.

#include <QByteArray>
#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>

// The largest table provision reads: far above any table of converters a plant keeps.
inline constexpr qint64 Csv_Table_Limit = 64 * 1024 * 1024;

// A CSV table: RFC 4180, UTF-8 with or without a byte-order mark, comma or semicolon as the header shows.
// The rows' cells are kept as one text, so that a row costs a few bytes beside its own text rather than a
// list and a string for each cell.
class TCsv_Table
{
public:
    QStringList Header;
    QChar Separator;

    qsizetype Row_Count() const { return Numbers.size(); }
    QStringList Row(qsizetype r) const;
    // Row r's number in the table, the header being row 1 (as a spreadsheet numbers them).
    int Row_Number(qsizetype r) const { return Numbers[r]; }
    const QList<int> &Row_Numbers() const { return Numbers; }
    // Every row at once, for a table known to be small.
    QList<QStringList> Rows() const;

private:
    friend TCsv_Table Parse_Csv_Table(const QByteArray &bytes);

    QString Text;
    // Where each cell ends in Text (the next begins there), and each row's first cell, one past the last row
    // too.
    QList<qint32> Cell_Ends;
    QList<qint32> Row_Starts{0};
    QList<int> Numbers;
};
// Rows whose cells are all empty are passed over and cost nothing. Throws EQuillon_Error naming the row when
// the table is not well formed.
TCsv_Table Parse_Csv_Table(const QByteArray &bytes);
