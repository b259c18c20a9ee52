#include "UCsv_Table.h"

#include "UGround.h"
#include "UWorkspace.h"
#include "ULanguage.h"

#include <QStringDecoder>

TCsv_Table Parse_Csv_Table(const QByteArray &input)
{
    QByteArray bytes = input;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        // Name the row as the spreadsheet numbers it: a table saved in another encoding shows itself at its first
        // accented letter. The lines before the first one that is not UTF-8 are text; the row is one more than
        // the records they end (a line break inside quotes ends none).
        qsizetype lineStart = 0;
        for (qsizetype end = 0; end <= bytes.size(); ++end) {
            if (end < bytes.size() && bytes[end] != '\n')
                continue;
            QStringDecoder line(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
            const QString decoded = line.decode(QByteArrayView(bytes).sliced(lineStart, end - lineStart));
            if (line.hasError())
                break;
            lineStart = end + 1;
        }
        int row = 1;
        bool quoted = false;
        for (qsizetype i = 0; i < lineStart && i < bytes.size(); ++i) {
            const char c = bytes[i];
            if (c == '"')
                quoted = !quoted;
            else if (!quoted && (c == '\n' || (c == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n'))))
                ++row;
        }
        throw EQuillon_Error(QStringLiteral("row %1 is not UTF-8 text: save the table as CSV in UTF-8").arg(row));
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
    // The cell being read, by number and, once the header is read, by its name (cut: it is the table's text).
    const auto column = [&] {
        const qsizetype number = record.size() + 1;
        const bool named = row > 1 && !records.isEmpty() && numbers.first() == 1 && number <= records.first().size();
        const QString name = named ? records.first()[number - 1] : QString();
        // Escaped first, then cut: a control character takes four characters shown.
        QString shown = Escaped_Controls(name.left(40));
        if (shown.size() > 40 || name.size() > 40)
            shown = shown.left(40) + QStringLiteral("…");
        return named ? QStringLiteral("%1 (%2)").arg(number).arg(shown) : QString::number(number);
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
            throw EQuillon_Error(
                QStringLiteral("row %1, column %2: text after the closing quote of a cell").arg(row).arg(column()));
        } else if (c == u'"') {
            if (!cell.isEmpty())
                throw EQuillon_Error(QStringLiteral("row %1, column %2: a quote inside a cell that does not begin "
                                                    "with one")
                                         .arg(row)
                                         .arg(column()));
            cellQuoted = true;
        } else {
            cell += c;
        }
        ++i;
    }
    if (cellQuoted)
        throw EQuillon_Error(QStringLiteral("row %1, column %2: a quoted cell is not closed").arg(row).arg(column()));
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
