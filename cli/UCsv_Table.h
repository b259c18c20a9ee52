#pragma once

// The table provision reads: CSV as a spreadsheet saves it.

#include <QByteArray>
#include <QChar>
#include <QList>
#include <QStringList>

// A CSV table: RFC 4180, UTF-8 with or without a byte-order mark, comma or semicolon as the header shows.
struct TCsv_Table
{
    QStringList Header;
    QList<QStringList> Rows;
    // Each row's number in the table, the header being row 1 (as a spreadsheet numbers them).
    QList<int> Row_Numbers;
    QChar Separator;
};
// Rows whose cells are all empty are passed over. Throws EQuillon_Error naming the row when the table is not
// well formed.
TCsv_Table Parse_Csv_Table(const QByteArray &bytes);
