#include "UGround.h"

#include <QDir>

#include <limits>

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

bool Natural_Less(const QString &a, const QString &b)
{
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
}
