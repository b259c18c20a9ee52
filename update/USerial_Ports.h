#pragma once

// Where the serial port list comes from. One of two sources is built in, chosen when the build is
// configured: the system's enumeration through Qt Serial Port where that module is present, else (a
// Windows build without it) the registry's list of serial devices.

#include "UComon.h"

#include <QList>

// The ports the system names, none opened, as they come: List_COM_Ports orders them.
QList<TSerial_Port> System_Serial_Ports();

