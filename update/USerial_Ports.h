#pragma once

// The serial ports an update may use. Where the list comes from: one of two sources is built in, chosen when
// the build is configured: the system's enumeration through Qt Serial Port where that module is present, else
// (a Windows build without it) the registry's list of serial devices.

#include "ULanguage.h"

#include <QList>
#include <QString>
#include <QStringList>

// A serial port as the update dialog offers it: the name shown, and where the updater opens it.
struct TSerial_Port
{
    QString Name;     // COM3 on Windows, ttyUSB0 elsewhere
    QString Location; // \\.\COM3 on Windows, /dev/ttyUSB0 elsewhere
    // What the system knows of the port; empty where it knows nothing.
    QString Description;
    QString Manufacturer;
    QString Serial_Number;
    // A USB adapter (the system names a USB vendor for it): the port an engineer plugs in for the converter.
    bool Usb = false;
};

// The serial ports the system enumerates (none is opened), busy ones included, in the dialog's order.
QList<TSerial_Port> List_COM_Ports();
// What a port is, in a few lines: its location, then description, maker and serial number where known.
QString Serial_Port_Hint(const TSerial_Port &port, TText_Source texts = English_Text);
// The order of the port list: COM ports by number on Windows, natural order of names elsewhere.
void Sort_Port_Names(QStringList &names);

// The ports the system names, none opened, as they come: List_COM_Ports orders them.
QList<TSerial_Port> System_Serial_Ports();
