#include "USerial_Ports.h"

#include <QSerialPortInfo>

QList<TSerial_Port> System_Serial_Ports()
{
    QList<TSerial_Port> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        TSerial_Port port{info.portName(), QString(), info.description(), info.manufacturer(), info.serialNumber()};
#ifdef Q_OS_WIN
        port.Location = QStringLiteral("\\\\.\\") + info.portName();
#else
        port.Location = info.systemLocation();
#endif
        port.Usb = info.hasVendorIdentifier();
        ports.append(port);
    }
    return ports;
}
