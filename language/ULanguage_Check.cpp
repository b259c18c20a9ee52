#include "ULanguage_Check.h"

#include "UGround.h"
#include "ULanguage.h"

#include <QHash>
#include <QRegularExpression>

#include <utility>

namespace {

// The placeholders %1 to %9 a text holds, sorted, each once.
QStringList Placeholders(const QString &text)
{
    static const QRegularExpression placeholder(QStringLiteral("%[1-9]"));
    QStringList found;
    for (const QRegularExpressionMatch &match : placeholder.globalMatch(text)) {
        if (!found.contains(match.captured()))
            found.append(match.captured());
    }
    found.sort();
    return found;
}

bool Has_Letter(const QString &text)
{
    for (const QChar c : text) {
        if (c.isLetter())
            return true;
    }
    return false;
}

// The table as it was, put back when the check ends however it ends.
struct TTable_Keeper
{
    QStringList Table = Language_Texts();
    ~TTable_Keeper() { Restore_Language_Table(Table); }
};

} // namespace

// The entries shown in a place of fixed size (captions of windows, labels, buttons, tabs and check boxes); the
// others are hints and messages, which take as much room as their text needs.
bool Is_Caption_Entry(int index)
{
    static const QList<int> captions = {
        0,    1,    2,    3,    9,    10,   11,   15,   16,   17,   19,   20,   100,  101,  102,  103,
        104,  200,  201,  202,  203,  204,  300,  301,  302,  303,  304,  305,  306,  307,  308,  309,
        310,  311,  312,  313,  314,  315,  319,  320,  321,  400,  401,  402,  403,  406,  407,  409,
        411,  413,  415,  416,  418,  420,  422,  424,  426,  427,  429,  431,  432,  437,  442,  454,
        455,  1000, 1001, 1002, 1003, 1006, 1007, 1014, 1015, 1016, 1017, 1018, 1019, 1020, 1041, 1057,
        1059, 1060, 1061, 1062, 1067, 1110, 1111, 1112, 1147, 1152, 1154, 1155, 1156, 1157, 1158, 1159,
        1160, 1161, 1162, 1163, 1164, 1165, 1166, 1167, 1168, 1169, 1170, 1171, 1172, 1173, 1174, 1175};
    return captions.contains(index);
}

bool Is_Shown_Entry(int index)
{
    static const int ranges[][2] = {{0, 26},    {100, 110},   {200, 207},   {300, 321},
                                    {400, 491}, {1000, 1037}, {1040, 1069}, {1110, 1178}};
    for (const auto &range : ranges) {
        if (index >= range[0] && index <= range[1])
            return true;
    }
    return false;
}

TLanguage_Check Check_Language_File(const QString &path)
{
    const TTable_Keeper keeper;
    Load_Default_Language();

    // Line by line as the loader reads them: the memory is that of the file's text, whatever its lines.
    TLanguage_Check check;
    QHash<int, int> firstLine;
    Read_Language_File_Lines(path, [&check, &firstLine](const TLanguage_Line_Report &line) {
        const QString trimmed = Trim_Text(line.Line);
        if (!trimmed.startsWith(QStringLiteral("STR")))
            return;
        const auto warn = [&](const QString &text) {
            check.Warnings.append(QStringLiteral("line %1: %2").arg(line.Line_Number).arg(text));
        };
        const qsizetype equals = trimmed.indexOf(u'=');
        // The character right before "=" never belongs to the index: STR1000=x sets entry 100.
        if (equals > 3 && trimmed[equals - 1].unicode() > 32) {
            const QString meant = Trim_Text(trimmed.mid(3, equals - 3));
            warn(QStringLiteral("the character just before \"=\" is not read as part of the index (\"%1\" was meant, "
                                "%2 was read): write a blank before \"=\"")
                     .arg(meant, line.Index >= 0 ? QString::number(line.Index) : QStringLiteral("nothing")));
        } else if (line.Index < 0) {
            warn(QStringLiteral("nothing set: %1").arg(line.Reason));
        }
        if (line.Index < 0)
            return;

        const auto earlier = firstLine.constFind(line.Index);
        if (earlier != firstLine.constEnd())
            warn(QStringLiteral("entry %1 is set again (first on line %2); the later text wins")
                     .arg(line.Index)
                     .arg(*earlier));
        else
            firstLine.insert(line.Index, line.Line_Number);

        if (line.Cut)
            warn(QStringLiteral("entry %1 is cut to %2 characters").arg(line.Index).arg(line.Value.size()));

        const QString english = English_Text(line.Index);
        const QStringList expected = Placeholders(english);
        const QStringList found = Placeholders(line.Value);
        if (found != expected)
            warn(QStringLiteral("entry %1: placeholders %2 where the English text has %3")
                     .arg(line.Index)
                     .arg(found.isEmpty() ? QStringLiteral("none") : found.join(u' '),
                          expected.isEmpty() ? QStringLiteral("none") : expected.join(u' ')));

        if (!Trim_Text(line.Dropped).isEmpty())
            warn(QStringLiteral("entry %1: the text after the pilcrow (\"%2\") is dropped")
                     .arg(line.Index)
                     .arg(line.Dropped));

        // Captions have the room of their English text and some more; much longer ones are cut or elided.
        const qsizetype room = std::max<qsizetype>(english.size() * 3 / 2, english.size() + 15);
        if (Is_Caption_Entry(line.Index) && line.Value.size() > room)
            warn(QStringLiteral("entry %1 is %2 characters long, the English %3: check that it fits its window")
                     .arg(line.Index)
                     .arg(line.Value.size())
                     .arg(english.size()));
    });

    const QStringList &table = Language_Texts();
    for (int i = 0; i < table.size(); ++i) {
        const QString english = English_Text(i);
        if (!Is_Shown_Entry(i) || !Has_Letter(english))
            continue;
        ++check.Shown_Entries;
        if (table[i] == english) {
            ++check.Left_In_English;
            check.English_Left.append(i);
        }
    }
    return check;
}
