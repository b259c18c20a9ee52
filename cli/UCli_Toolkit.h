#pragma once

// quillon-cli's toolkit for engineers who keep many converters: a configuration recovered from its images
// (import), two configurations or images compared (diff), and many configurations made from a template and
// a table (provision).

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>

// One ParGen.xml key and the value an image holds for it, as the key's text would be.
struct TKey_Value
{
    QString Key;
    QString Value;
};

// What a parameter block (17 bytes, or empty) and a configuration image (2048 bytes, or empty) hold of the
// ParGen.xml keys, in key order. A bankK.bin's rate that is no entry of the list is "rate N", not an index;
// the gateway octets are there only while the image has a gateway.
QList<TKey_Value> Image_Key_Values(const QByteArray &bank, const QByteArray &bankK);

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

// The commands; exit codes as Run_Cli's (diff: 0 equal, 1 different, 2 usage or unreadable input).
int Cli_Import(const QString &bankKFile, const QString &bankFile, const QString &configDir, bool force,
               QTextStream &out, QTextStream &err);
int Cli_Diff(const QString &a, const QString &b, bool raw, bool json, QTextStream &out, QTextStream &err);

struct TProvision_Options
{
    bool Update = false;
    bool Keep_Going = false;
    QString Option = QStringLiteral("0");
    bool Read_Back = true;
};
int Cli_Provision(const QString &templateDir, const QString &tableFile, const TProvision_Options &options,
                  QTextStream &out, QTextStream &err);
