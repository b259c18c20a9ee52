#pragma once

// quillon-cli update as a plain call, for update itself and for provision --update.

#include <QString>
#include <QTextStream>

// A device to update: its configuration, and either the serial port or the IPv4 address it is reached by.
struct TCli_Update_Request
{
    QString Config_Dir;
    // The workspace CONFIG_DIR must lie in (and may be named in by its name alone); empty: the one that
    // holds CONFIG_DIR.
    QString Workspace;
    QString Port;
    QString Ip;
    // 0 firmware and configuration, 1 firmware, 2 configuration.
    int Option = 0;
    bool Read_Back = true;
    // Send even when the address last received another configuration.
    bool Force_Target = false;
};

// Updates the device as the update dialog does; returns the updater's exit code, or 1 with the reason on err.
int Update_Device(const TCli_Update_Request &request, QTextStream &out, QTextStream &err);
