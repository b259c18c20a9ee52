#include "UComon.h"

#include "USerial_Ports.h"
#include "UXml_Document.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <limits>

QString Program_Dir;
QString Master_Dir;
QString Projects_Dir;
QString Language_Dir;
QString Conf_Name;
QString Conf_Dir;
QString ParGen_File;
QString Last_IP_Address = Default_IP_Address;
QString Language_Name = Default_Language;
bool Enable_Internet = false;
bool Enable_Update = false;
bool Enable_Jump_Field_Tables = false;
bool Enable_Double_Click_Auto_Size = false;
QString Look_Choice = Look_Choice_Names.first();
int Last_Update_Option = 0;
bool Last_Read_Back = true;
QString Last_Serial_Port;

void Reset_Shared_State()
{
    Program_Dir.clear();
    Master_Dir.clear();
    Projects_Dir.clear();
    Language_Dir.clear();
    Conf_Name.clear();
    Conf_Dir.clear();
    ParGen_File.clear();
    Last_IP_Address = Default_IP_Address;
    Language_Name = Default_Language;
    Enable_Internet = false;
    Enable_Update = false;
    Enable_Jump_Field_Tables = false;
    Enable_Double_Click_Auto_Size = false;
    Look_Choice = Look_Choice_Names.first();
    Last_Update_Option = 0;
    Last_Read_Back = true;
    Last_Serial_Port.clear();
}

static int Hex_Digit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

bool Try_Str_To_Int(const QString &text, int &value)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    int base = 10;
    if (i < n && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i >= n)
        return false;
    // The magnitude may reach 2^31 for the most negative value.
    const qint64 limit = negative ? qint64(std::numeric_limits<int>::max()) + 1 : std::numeric_limits<int>::max();
    qint64 magnitude = 0;
    for (; i < n; ++i) {
        const int digit = Hex_Digit(text[i]);
        if (digit < 0 || digit >= base)
            return false;
        magnitude = magnitude * base + digit;
        if (magnitude > limit)
            return false;
    }
    value = int(negative ? -magnitude : magnitude);
    return true;
}

int Str_To_Int_Def(const QString &text, int fallback)
{
    int value = 0;
    return Try_Str_To_Int(text, value) ? value : fallback;
}

QStringView Trim_Text_View(QStringView text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first].unicode() <= 32)
        ++first;
    while (last > first && text[last - 1].unicode() <= 32)
        --last;
    return text.sliced(first, last - first);
}

QString Trim_Text(const QString &text)
{
    const QStringView kept = Trim_Text_View(text);
    return kept.size() == text.size() ? text : kept.toString();
}

QString Join_Path(const QString &dir, const QString &name)
{
    return dir + QDir::separator() + name;
}

QString Join_Path(const QString &dir, const QString &name, const QString &name2)
{
    return Join_Path(Join_Path(dir, name), name2);
}

void Set_Workspace_Paths(const QString &programDir)
{
    QString dir = QDir::toNativeSeparators(programDir);
    while (dir.size() > 1 && dir.endsWith(QDir::separator()))
        dir.chop(1);
    Program_Dir = dir;
    Master_Dir = Join_Path(Program_Dir, QStringLiteral("MASTER"));
    Projects_Dir = Join_Path(Program_Dir, QStringLiteral("PROJECTS"));
    Language_Dir = Join_Path(Program_Dir, QStringLiteral("LANGUAGE"));
}

void Create_Workspace_Directories()
{
    for (const QString &dir : {Master_Dir, Projects_Dir, Language_Dir}) {
        if (!QFileInfo(dir).isDir())
            QDir().mkdir(dir);
    }
}

void Set_Files()
{
    ParGen_File = Join_Path(Conf_Dir, ParGen_File_Name);
}

namespace {

// A code point as the reasons name it: "U+202E".
QString Code_Point_Name(char32_t code)
{
    return QStringLiteral("U+") + QString::number(uint(code), 16).toUpper().rightJustified(4, u'0');
}

} // namespace

QString Directory_Name_Problem(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("it is empty");
    // A leading "." also covers "." and "..": such a directory is hidden and could never be listed.
    if (name.startsWith(u'.'))
        return QStringLiteral("it begins with a dot");
    for (const char16_t separator : {u'/', u'\\'}) {
        if (name.contains(separator))
            return QStringLiteral("it holds \"%1\", a path separator").arg(QChar(separator));
    }
    // The name is written into Quillon.xml: it must be text XML can hold, and no control character. A format
    // character (a right-to-left override, a zero-width space) would make the name shown differ from the name.
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t code = name.at(i).unicode();
        if (QChar::isHighSurrogate(code) && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            code = QChar::surrogateToUcs4(name.at(i), name.at(i + 1));
            ++i;
        }
        const QString held = QStringLiteral("it holds ") + Code_Point_Name(code);
        if (QChar::isSurrogate(code))
            return held + QStringLiteral(", half of a surrogate pair");
        if (QChar::category(code) == QChar::Other_Control)
            return held + QStringLiteral(", a control character");
        if (QChar::category(code) == QChar::Other_Format)
            return held + QStringLiteral(", a Unicode format character");
        if (!Is_Xml_Text(QString::fromUcs4(&code, 1)))
            return held + QStringLiteral(", a character XML cannot hold");
    }
    // Blanks at either end are easily typed and never seen; Windows drops trailing ones and a trailing dot.
    if (name.front().isSpace())
        return QStringLiteral("it begins with a blank");
    if (name.back().isSpace())
        return QStringLiteral("it ends with a blank");
    if (name.endsWith(u'.'))
        return QStringLiteral("it ends with a dot");
    // Linux takes at most 255 bytes, Windows at most 255 UTF-16 code units; every code unit is at least one
    // byte in UTF-8, so the first limit holds the second.
    if (name.toUtf8().size() > 255)
        return QStringLiteral("it is longer than 255 bytes in UTF-8");
#ifdef Q_OS_WIN
    // Characters and names that Windows refuses for a directory.
    static const QRegularExpression forbidden(QStringLiteral(R"([<>:"|?*])"));
    static const QRegularExpression reserved(QStringLiteral(R"(^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])(\..*)?$)"),
                                             QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch match = forbidden.match(name); match.hasMatch())
        return QStringLiteral("it holds \"%1\", a character Windows refuses in a name").arg(match.captured());
    if (reserved.match(name).hasMatch())
        return QStringLiteral("it is the name of a Windows device");
#endif
    return QString();
}

bool Is_Plain_Directory_Name(const QString &name)
{
    return Directory_Name_Problem(name).isEmpty();
}

int New_Configuration_Refusal(const QString &parentDir, const QString &name, QString *why)
{
    if (name.isEmpty())
        return 107;
    // A name that is not one plain directory name would reach outside the parent: refused as a directory that
    // cannot be created.
    if (const QString problem = Directory_Name_Problem(name); !problem.isEmpty()) {
        if (why)
            *why = problem;
        return 105;
    }
    // Only a directory (or a link to one) counts: a file of that name is for the making of the directory to refuse.
    return QFileInfo(Join_Path(parentDir, name)).isDir() ? 106 : 0;
}

QString Counted(qsizetype count, const QString &singular, const QString &plural)
{
    return QStringLiteral("%1 %2").arg(count).arg(count == 1 ? singular : plural);
}

bool Split_IP_Address(const QString &address, QString &part1, QString &part2, QString &part3, QString &part4)
{
    QString s = Trim_Text(address);
    QString *parts[] = {&part1, &part2, &part3};
    for (QString *part : parts) {
        const qsizetype dot = s.indexOf(u'.');
        if (dot < 0)
            return false;
        *part = Trim_Text(s.left(dot));
        s = Trim_Text(s.mid(dot + 1));
    }
    part4 = s;
    for (const QString *part : {&part1, &part2, &part3, &part4}) {
        const int value = Str_To_Int_Def(*part, 1000);
        if (value < 0 || value > 255)
            return false;
    }
    return true;
}

void Sort_Port_Names(QStringList &names)
{
#ifdef Q_OS_WIN
    // COM ports by their number.
    std::stable_sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        return Str_To_Int_Def(a.mid(3), 0) < Str_To_Int_Def(b.mid(3), 0);
    });
#else
    // Natural order: runs of digits compare by their value (ttyUSB2 before ttyUSB10).
    const auto natural_less = [](const QString &a, const QString &b) {
        qsizetype i = 0, j = 0;
        while (i < a.size() && j < b.size()) {
            if (a[i].isDigit() && b[j].isDigit()) {
                const qsizetype si = i, sj = j;
                while (i < a.size() && a[i].isDigit())
                    ++i;
                while (j < b.size() && b[j].isDigit())
                    ++j;
                const qulonglong na = a.mid(si, i - si).toULongLong();
                const qulonglong nb = b.mid(sj, j - sj).toULongLong();
                if (na != nb)
                    return na < nb;
            } else {
                if (a[i] != b[j])
                    return a[i] < b[j];
                ++i;
                ++j;
            }
        }
        return a.size() - i < b.size() - j;
    };
    std::stable_sort(names.begin(), names.end(), natural_less);
#endif
}

QList<TSerial_Port> List_COM_Ports()
{
    QStringList names;
    QHash<QString, TSerial_Port> found;
    for (const TSerial_Port &port : System_Serial_Ports()) {
        if (found.contains(port.Name))
            continue;
        names.append(port.Name);
        found.insert(port.Name, port);
    }
    Sort_Port_Names(names);
    QList<TSerial_Port> ports;
    for (const QString &name : std::as_const(names))
        ports.append(found.value(name));
    return ports;
}

QString Serial_Port_Hint(const TSerial_Port &port, TText_Source texts)
{
    QStringList lines{port.Location.isEmpty() ? port.Name : port.Location};
    if (!port.Description.isEmpty())
        lines.append(port.Description);
    if (!port.Manufacturer.isEmpty())
        lines.append(texts(1143).arg(port.Manufacturer));
    if (!port.Serial_Number.isEmpty())
        lines.append(texts(1144).arg(port.Serial_Number));
    return lines.join(u'\n');
}
