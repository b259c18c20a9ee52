#include "USerial_Ports.h"
#include "USerial_Ports_Registry.h"

#include <QRegularExpression>
#include <QSettings>

QList<TSerial_Port> Serial_Ports_In_Registry(const QString &key)
{
    static const QRegularExpression com(QStringLiteral(R"(^COM([1-9][0-9]*)$)"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QSettings registry(key, QSettings::NativeFormat);
    QList<TSerial_Port> ports;
    for (const QString &value_name : registry.childKeys()) {
        const QString data = registry.value(value_name).toString().trimmed();
        const QRegularExpressionMatch match = com.match(data);
        if (!match.hasMatch())
            continue;
        const QString name = QStringLiteral("COM") + match.captured(1);
        // The registry knows no description, maker or serial number: the hint shows the location only.
        ports.append(TSerial_Port{name, QStringLiteral("\\\\.\\") + name, QString(), QString(), QString()});
    }
    return ports;
}

QList<TSerial_Port> System_Serial_Ports()
{
    return Serial_Ports_In_Registry(Serial_Comm_Key);
}
