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
    std::stable_sort(names.begin(), names.end(), Natural_Less);
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
