#include "UCsv_Table.h"

#include "UComon.h"

#include <QStringDecoder>

TCsv_Table Parse_Csv_Table(const QByteArray &input)
{
    QByteArray bytes = input;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        // Name the line: a table saved in another encoding shows itself at its first accented letter.
        const QList<QByteArray> lines = bytes.split('\n');
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QStringDecoder line(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
            const QString decoded = line.decode(lines[i]);
            if (line.hasError())
                throw EQuillon_Error(
                    QStringLiteral("line %1 is not UTF-8 text: save the table as CSV in UTF-8").arg(i + 1));
        }
        throw EQuillon_Error(QStringLiteral("the table is not UTF-8 text: save it as CSV in UTF-8"));
    }

    TCsv_Table table;
    // The separator is the first comma or semicolon of the header outside quotes.
    table.Separator = u',';
    bool quoted = false;
    for (const QChar c : text) {
        if (c == u'"')
            quoted = !quoted;
        else if (!quoted && (c == u',' || c == u';')) {
            table.Separator = c;
            break;
        } else if (!quoted && (c == u'\n' || c == u'\r'))
            break;
    }

    QList<QStringList> records;
    QList<int> numbers;
    QStringList record;
    QString cell;
    int row = 1;
    qsizetype i = 0;
    const qsizetype n = text.size();
    bool cellQuoted = false;
    bool afterQuote = false;
    const auto endRecord = [&] {
        record << cell;
        cell.clear();
        records << record;
        numbers << row;
        record.clear();
        cellQuoted = false;
        afterQuote = false;
        ++row;
    };
    while (i < n) {
        const QChar c = text[i];
        if (cellQuoted) {
            if (c == u'"') {
                if (i + 1 < n && text[i + 1] == u'"') {
                    cell += u'"';
                    i += 2;
                    continue;
                }
                cellQuoted = false;
                afterQuote = true;
            } else {
                cell += c;
            }
            ++i;
            continue;
        }
        if (c == table.Separator) {
            record << cell;
            cell.clear();
            afterQuote = false;
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
                ++i;
            endRecord();
        } else if (afterQuote) {
            throw EQuillon_Error(QStringLiteral("row %1: text after the closing quote of a cell").arg(row));
        } else if (c == u'"') {
            if (!cell.isEmpty())
                throw EQuillon_Error(
                    QStringLiteral("row %1: a quote inside a cell that does not begin with one").arg(row));
            cellQuoted = true;
        } else {
            cell += c;
        }
        ++i;
    }
    if (cellQuoted)
        throw EQuillon_Error(QStringLiteral("row %1: a quoted cell is not closed").arg(row));
    if (!cell.isEmpty() || !record.isEmpty() || afterQuote)
        endRecord();

    for (qsizetype r = 0; r < records.size(); ++r) {
        bool empty = true;
        for (const QString &value : std::as_const(records[r]))
            empty = empty && value.isEmpty();
        if (empty)
            continue;
        if (table.Header.isEmpty() && table.Rows.isEmpty() && numbers[r] == 1) {
            table.Header = records[r];
            continue;
        }
        table.Rows << records[r];
        table.Row_Numbers << numbers[r];
    }
    if (table.Header.isEmpty())
        throw EQuillon_Error(QStringLiteral("row 1: the header is missing (name, then ParGen.xml keys)"));
    return table;
}
