#include "ULanguage.h"

#include "UGround.h"
#include "ULanguage_English.h"
#include "URegular_File.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <utility>

namespace {

QStringList Language_Table;
int Language_Table_Size = 0;

} // namespace

const QStringList &Language_Texts()
{
    return Language_Table;
}

void Clear_Language_Table()
{
    Language_Table.clear();
    Language_Table_Size = 0;
}

void Restore_Language_Table(const QStringList &texts)
{
    Language_Table = texts;
    Language_Table_Size = int(qMin<qsizetype>(texts.size(), Language_Table_Entries));
}

void Set_Language_Text(int index, const QString &text)
{
    if (index >= 0 && index < Language_Table.size())
        Language_Table[index] = text;
}

namespace {

const QString Blank_Text = QStringLiteral(" ");
const QString Note_Marker = QStringLiteral("/#/");
constexpr char16_t Pilcrow = u'\u00B6';

// Windows-1252 from 0x80 to 0x9F; the five bytes without a character of their own map to the C1 control of the
// same code, as Windows itself does. The rest of the code page is Latin-1.
constexpr std::array<char16_t, 32> Windows_1252_High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString Decode_Windows_1252(const QByteArray &bytes)
{
    QStringDecoder decoder("windows-1252");
    if (decoder.isValid())
        return decoder.decode(bytes);
    // A Qt built without a converter for the code page: the table above and Latin-1.
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        text[i] = QChar(byte >= 0x80 && byte <= 0x9F ? Windows_1252_High[byte - 0x80] : char16_t(byte));
    }
    return text;
}

QString Decode_With(QStringConverter::Encoding encoding, const QByteArray &bytes)
{
    // The decoder drops the byte-order mark itself.
    QStringDecoder decoder(encoding);
    return decoder.decode(bytes);
}

// Calls take(number, line) for each line of a text whose lines end with CR LF, LF or CR, numbered from 1. A line
// break at the very end opens no further line.
template <typename Take> void For_Each_Line(const QString &text, Take take)
{
    qsizetype start = 0;
    int number = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        take(++number, QStringView(text).sliced(start, i - start));
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        take(++number, QStringView(text).sliced(start));
}

// text cut to Language_Entry_Limit code units, never between the two halves of a surrogate pair.
QStringView Cut_To_Limit(QStringView text)
{
    if (text.size() <= Language_Entry_Limit)
        return text;
    const qsizetype n =
        text[Language_Entry_Limit - 1].isHighSurrogate() ? Language_Entry_Limit - 1 : Language_Entry_Limit;
    return text.first(n);
}

// What one line of a language file sets.
struct TParsed_Line
{
    int Index = -1;   // the entry it sets, -1 when it sets none (then Reason says why)
    QString Value;    // the text stored, at most Language_Entry_Limit long
    bool Cut = false; // the text was longer and is cut
    QString Dropped;  // text after the closing pilcrow, which is not stored (cut like the value)
    QString Reason;
};

// Reads one line of a language file. The line is only looked at, never copied: what is kept is at most
// Language_Entry_Limit long, so a huge line costs no more than its scan.
TParsed_Line Parse_Language_Line(QStringView rawLine)
{
    TParsed_Line parsed;
    const auto refuse = [&parsed](const QString &reason) {
        parsed.Reason = reason;
        return parsed;
    };
    const QStringView line = Trim_Text_View(rawLine);
    if (line.isEmpty())
        return refuse(QStringLiteral("blank line"));
    if (!line.startsWith(u"STR"))
        return refuse(QStringLiteral("no STR marker"));
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0)
        return refuse(QStringLiteral("no \"=\" after the index"));
    // The index runs from the 4th character up to two characters before "=": the character directly before "="
    // never belongs to it, so files write a blank there.
    const QStringView indexText = equals > 4 ? Trim_Text_View(line.sliced(3, equals - 4)) : QStringView();
    if (indexText.isEmpty())
        return refuse(QStringLiteral("no index before \"=\" (the character just before \"=\" is not read as part of "
                                     "the index: write a blank there)"));
    int index = -1;
    if (!Try_Str_To_Int(Cut_To_Limit(indexText).toString(), index))
        return refuse(QStringLiteral("index \"%1\" is not an integer").arg(Cut_To_Limit(indexText)));
    // Checked against the entries the table really holds as well, so that no line writes past it.
    const int size = int(qMin<qsizetype>(Language_Table_Size, Language_Table.size()));
    if (index < 0 || index >= size)
        return refuse(QStringLiteral("index %1 out of range 0 to %2").arg(index).arg(size - 1));

    QStringView text = Trim_Text_View(line.sliced(equals + 1));
    if (text.isEmpty())
        return refuse(QStringLiteral("empty text"));
    const qsizetype note = text.indexOf(Note_Marker);
    if (note >= 0) {
        text = Trim_Text_View(text.first(note));
        if (text.isEmpty())
            return refuse(QStringLiteral("only a note"));
    }
    // A pilcrow at each end keeps the blanks between them; a single pilcrow stands for the empty text.
    if (text.startsWith(Pilcrow))
        text = text.sliced(1);
    const qsizetype pilcrow = text.indexOf(Pilcrow);
    if (pilcrow >= 0) {
        parsed.Dropped = Cut_To_Limit(text.sliced(pilcrow + 1)).toString();
        text = text.first(pilcrow);
    }
    const QStringView kept = Cut_To_Limit(text);
    parsed.Cut = kept.size() < text.size();
    parsed.Value = kept.toString();
    parsed.Index = index;
    return parsed;
}

} // namespace

QString Lang(int index)
{
    if (index < 0 || index >= Language_Table.size())
        return Blank_Text;
    return Language_Table[index];
}

void Load_Default_Language()
{
    Language_Table.clear();
    Language_Table.reserve(Language_Table_Entries);
    for (int i = 0; i < Language_Table_Entries; ++i)
        Language_Table.append(Blank_Text);
    for (const TBuilt_In_Text &entry : English_Texts) {
        Q_ASSERT(entry.Index >= 0 && entry.Index < Language_Table_Entries);
        if (entry.Index >= 0 && entry.Index < Language_Table_Entries)
            Language_Table[entry.Index] = QString::fromUtf8(entry.Text);
    }
    Language_Table_Size = Language_Table_Entries;
}

QString English_Text(int index)
{
    static const QStringList table = [] {
        QStringList texts(Language_Table_Entries, Blank_Text);
        for (const TBuilt_In_Text &entry : English_Texts)
            texts[entry.Index] = QString::fromUtf8(entry.Text);
        return texts;
    }();
    return index >= 0 && index < table.size() ? table[index] : Blank_Text;
}

QString Decode_Language_Bytes(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return Decode_With(QStringConverter::Utf8, bytes);
    if (bytes.startsWith("\xFF\xFE"))
        return Decode_With(QStringConverter::Utf16LE, bytes);
    if (bytes.startsWith("\xFE\xFF"))
        return Decode_With(QStringConverter::Utf16BE, bytes);

    // Without a mark: UTF-8 when every byte sequence is valid UTF-8 (plain ASCII included), else the Windows
    // code page in which such files have always been written.
    // The text of a failed attempt is dropped before the second decoding: one text at a time.
    {
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        QString text = utf8.decode(bytes);
        if (!utf8.hasError())
            return text;
    }
    return Decode_Windows_1252(bytes);
}

void Apply_Language_Lines(const QString &text, const TLanguage_Line_Sink &report)
{
    For_Each_Line(text, [&report](int number, QStringView rawLine) {
        TParsed_Line parsed = Parse_Language_Line(rawLine);
        if (parsed.Index >= 0)
            Language_Table[parsed.Index] = parsed.Value;
        if (report) {
            TLanguage_Line_Report entry;
            entry.Line_Number = number;
            entry.Line = Cut_To_Limit(rawLine).toString();
            entry.Index = parsed.Index;
            entry.Value = std::move(parsed.Value);
            entry.Cut = parsed.Cut;
            entry.Dropped = std::move(parsed.Dropped);
            entry.Reason = std::move(parsed.Reason);
            report(entry);
        }
    });
}

// The report's entries are appended to whatever the caller's list already holds.
void Apply_Language_Text(const QString &text, QList<TLanguage_Line_Report> *report)
{
    if (report)
        Apply_Language_Lines(text, [report](const TLanguage_Line_Report &line) { report->append(line); });
    else
        Apply_Language_Lines(text, nullptr);
}

namespace {

QString Read_Language_Text(const QString &path)
{
    // The whole file is read before any entry changes: a file that fails part way leaves the table as it was.
    try {
        return Decode_Language_Bytes(Read_Regular_File(path, Language_File_Limit));
    } catch (const EQuillon_Error &error) {
        throw EQuillon_Error(QStringLiteral("The language file cannot be used. ") + error.Text());
    }
}

} // namespace

void Read_Language_File_Lines(const QString &path, const TLanguage_Line_Sink &report)
{
    Apply_Language_Lines(Read_Language_Text(path), report);
}

void Read_Language_File(const QString &path, QList<TLanguage_Line_Report> *report)
{
    Apply_Language_Text(Read_Language_Text(path), report);
}

QString Escaped_Controls(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            shown += QStringLiteral("\\x") + QString::number(c.unicode(), 16).rightJustified(2, u'0').toUpper();
        else
            shown += c;
    }
    return shown;
}

QString Load_Language(const QString &languageDir, const QString &name)
{
    Load_Default_Language();
    const QString path = Join_Path(languageDir, name + QStringLiteral(".lng"));
    if (QFileInfo(path).isFile()) {
        Read_Language_File(path);
        return name;
    }
    const QString englishPath = Join_Path(languageDir, Default_Language + QStringLiteral(".lng"));
    if (QFileInfo(englishPath).isFile())
        Read_Language_File(englishPath);
    return Default_Language;
}

namespace {

// A name's letters without their accents, case-folded: "Česky" gives "cesky". A letter that is no accented
// Latin one stays as it is.
QString Folded_Name(const QString &name)
{
    QString folded;
    for (const QChar c : name.normalized(QString::NormalizationForm_D)) {
        const QChar::Category category = c.category();
        if (category != QChar::Mark_NonSpacing && category != QChar::Mark_SpacingCombining &&
            category != QChar::Mark_Enclosing)
            folded.append(c);
    }
    return folded.toCaseFolded();
}

} // namespace

void Sort_Language_Names(QStringList &names)
{
    // One key per name, compared in one way throughout, so that the order is a true order also for a mix of
    // ASCII and other names: the folded name by character codes (for ASCII names the order they always had),
    // then the locale's collation, then the exact characters.
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(names.begin(), names.end(), [&collator](const QString &a, const QString &b) {
        if (const int byFolded = Folded_Name(a).compare(Folded_Name(b)); byFolded != 0)
            return byFolded < 0;
        if (const int byLocale = collator.compare(a, b); byLocale != 0)
            return byLocale < 0;
        return a < b;
    });
}
