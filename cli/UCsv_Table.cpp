#include "UCsv_Table.h"

#include "UGround.h"
#include "UWorkspace.h"
#include "ULanguage.h"

#include <QStringDecoder>

#include <limits>

namespace {

// Whether bytes are UTF-8 throughout, decoded a piece at a time into one small buffer rather than into a
// copy of the table. The decoder carries a character cut between pieces over; the line feed at the end
// shows a character cut by the end of the table.
bool Is_Utf8(QByteArrayView bytes)
{
    constexpr qsizetype Piece = 64 * 1024;
    QStringDecoder utf8(QStringConverter::Utf8);
    // Room for a piece and the replacements of a cut character that turns out not to be one.
    QString buffer(2 * Piece + 16, Qt::Uninitialized);
    for (qsizetype at = 0; at < bytes.size() && !utf8.hasError(); at += Piece)
        utf8.appendToBuffer(buffer.data(), bytes.sliced(at, qMin(Piece, bytes.size() - at)));
    utf8.appendToBuffer(buffer.data(), "\n");
    return !utf8.hasError();
}

// The row of the first byte that is not UTF-8: the lines before the first one that is not UTF-8 are text;
// the row is one more than the records they end (a line break inside quotes ends none).
int First_Row_Not_Utf8(QByteArrayView bytes)
{
    qsizetype lineStart = 0;
    for (qsizetype end = 0; end <= bytes.size(); ++end) {
        if (end < bytes.size() && bytes[end] != '\n')
            continue;
        QStringDecoder line(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        const QString decoded = line.decode(bytes.sliced(lineStart, end - lineStart));
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
    return row;
}

} // namespace

QStringList TCsv_Table::Row(qsizetype r) const
{
    QStringList cells;
    cells.reserve(Row_Starts[r + 1] - Row_Starts[r]);
    for (qsizetype c = Row_Starts[r]; c < Row_Starts[r + 1]; ++c) {
        const qsizetype start = c == 0 ? 0 : Cell_Ends[c - 1];
        cells << Text.sliced(start, Cell_Ends[c] - start);
    }
    return cells;
}

QList<QStringList> TCsv_Table::Rows() const
{
    QList<QStringList> rows;
    for (qsizetype r = 0; r < Row_Count(); ++r)
        rows << Row(r);
    return rows;
}

TCsv_Table Parse_Csv_Table(const QByteArray &input)
{
    QByteArrayView bytes(input);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    // Offsets into the text are kept in 32 bits; a table that large is far past any limit of a reader.
    if (bytes.size() >= std::numeric_limits<qint32>::max())
        throw EQuillon_Error(
            QStringLiteral("row 1: the table has %1 bytes, more than a table may have").arg(bytes.size()));
    // A table saved in another encoding shows itself at its first accented letter, before anything else is
    // said of it.
    if (!Is_Utf8(bytes))
        throw EQuillon_Error(
            QStringLiteral("row %1 is not UTF-8 text: save the table as CSV in UTF-8").arg(First_Row_Not_Utf8(bytes)));

    TCsv_Table table;
    // The separator is the first comma or semicolon of the header outside quotes.
    char separator = ',';
    bool quoted = false;
    for (const char c : bytes) {
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && (c == ',' || c == ';')) {
            separator = c;
            break;
        } else if (!quoted && (c == '\n' || c == '\r'))
            break;
    }
    table.Separator = QLatin1Char(separator);

    // Row 1 is read into a list of its own: it names the columns, blank or not. A later row's cells go
    // straight into the table's text; an empty cell is only counted until a cell with text shows that its row
    // is not blank, so that a blank row leaves nothing behind.
    QStringList first;
    QByteArray cell;
    int row = 1;
    qsizetype cellsInRecord = 0;
    qsizetype emptyPending = 0;
    bool filled = false;
    bool cellQuoted = false;
    bool afterQuote = false;
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const auto keepEmpty = [&] {
        for (; emptyPending > 0; --emptyPending)
            table.Cell_Ends << qint32(table.Text.size());
    };
    const auto endCell = [&] {
        ++cellsInRecord;
        if (row == 1) {
            first << QString::fromUtf8(cell);
        } else if (table.Header.isEmpty()) {
            // No header: the table is refused once read to its end, its rows are not kept.
        } else if (cell.isEmpty()) {
            ++emptyPending;
        } else {
            keepEmpty();
            filled = true;
            table.Text += utf8.decode(cell);
            table.Cell_Ends << qint32(table.Text.size());
        }
        cell.resize(0);
        afterQuote = false;
    };
    const auto endRecord = [&] {
        endCell();
        if (row == 1) {
            bool blank = true;
            for (const QString &name : std::as_const(first))
                blank = blank && name.isEmpty();
            if (!blank)
                table.Header = first;
        } else if (filled) {
            keepEmpty();
            table.Row_Starts << qint32(table.Cell_Ends.size());
            table.Numbers << row;
        }
        emptyPending = 0;
        filled = false;
        cellsInRecord = 0;
        cellQuoted = false;
        ++row;
    };
    // The cell being read, by number and, once the header is read, by its name (cut: it is the table's text).
    const auto column = [&] {
        const qsizetype number = cellsInRecord + 1;
        const bool named = row > 1 && number <= first.size();
        const QString name = named ? first[number - 1] : QString();
        // Escaped first, then cut: a control character takes four characters shown.
        QString shown = Escaped_Controls(name.left(40));
        if (shown.size() > 40 || name.size() > 40)
            shown = shown.left(40) + QStringLiteral("…");
        return named ? QStringLiteral("%1 (%2)").arg(number).arg(shown) : QString::number(number);
    };
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const char c = bytes[i];
        if (cellQuoted) {
            // Up to the next quote at once: a doubled one is a quote of the cell, a single one closes it.
            const qsizetype quote = bytes.indexOf('"', i);
            if (quote < 0) {
                i = n;
                break;
            }
            cell += bytes.sliced(i, quote - i);
            if (quote + 1 < n && bytes[quote + 1] == '"') {
                cell += '"';
                i = quote + 2;
                continue;
            }
            cellQuoted = false;
            afterQuote = true;
            i = quote + 1;
            continue;
        }
        if (c == separator) {
            endCell();
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < n && bytes[i + 1] == '\n')
                ++i;
            endRecord();
        } else if (afterQuote) {
            throw EQuillon_Error(
                QStringLiteral("row %1, column %2: text after the closing quote of a cell").arg(row).arg(column()));
        } else if (c == '"') {
            if (!cell.isEmpty())
                throw EQuillon_Error(QStringLiteral("row %1, column %2: a quote inside a cell that does not begin "
                                                    "with one")
                                         .arg(row)
                                         .arg(column()));
            cellQuoted = true;
        } else {
            // The rest of the cell's text at once.
            qsizetype end = i + 1;
            while (end < n && bytes[end] != separator && bytes[end] != '\r' && bytes[end] != '\n' && bytes[end] != '"')
                ++end;
            cell += bytes.sliced(i, end - i);
            i = end;
            continue;
        }
        ++i;
    }
    if (cellQuoted)
        throw EQuillon_Error(QStringLiteral("row %1, column %2: a quoted cell is not closed").arg(row).arg(column()));
    if (!cell.isEmpty() || cellsInRecord > 0 || afterQuote)
        endRecord();

    if (table.Header.isEmpty())
        throw EQuillon_Error(QStringLiteral("row 1: the header is missing (name, then ParGen.xml keys)"));
    return table;
}
