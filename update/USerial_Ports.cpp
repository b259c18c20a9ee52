#include "USerial_Ports.h"

#include "UGround.h"

#include <QHash>

#include <algorithm>

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
