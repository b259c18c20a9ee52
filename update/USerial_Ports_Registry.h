#pragma once

// The registry source of the serial port list (a Windows build without Qt Serial Port).

#include "USerial_Ports.h"

#include <QList>

// Every serial device Windows has mapped: one value per device under this key, its data the port's name.
inline const QString Serial_Comm_Key = QStringLiteral(R"(HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM)");

// The COM ports named by the values of a registry key (under HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER): each
// value whose data is "COM" and a number; nothing else is a port the updater can open.
QList<TSerial_Port> Serial_Ports_In_Registry(const QString &key);
