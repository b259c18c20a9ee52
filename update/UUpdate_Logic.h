#pragma once

// The device update's rules: the operation codes, the serial updater's arguments and the Ethernet
// updater's parameter file.

#include <QString>
#include <QList>
#include <QStringList>

class TXml_Document;
struct TSerial_Port;

enum class TPlatform_Form
{
    Windows, // the argument text, character for character, with "\" paths
    Posix    // separate arguments, "/" paths, no quote characters
};

// The form of the platform the program runs on.
TPlatform_Form Native_Form();

inline const QString Serial_Updater_Base = QStringLiteral("Ser_40926_Update");
inline const QString Ethernet_Updater_Base = QStringLiteral("Ethernet_Update");
inline const QString Serial_Firmware_File = QStringLiteral("sim40926.sim");
inline const QString Ethernet_Firmware_File = QStringLiteral("Sim40926K.sim");

// The updater's executable in programDir (".exe" on Windows).
QString Updater_Path(const QString &programDir, const QString &base);

// The updater base (".exe" added on Windows): in the workspace at programDir when it is there, else beside the
// executable when it is there, else the workspace's path (the error then names where it was looked for).
QString Find_Updater(const QString &programDir, const QString &base);

// s_opt with the four operation codes of the update option appended ("FW ", "FR ", "PW ", "PR ", "NO ");
// an index outside 0 to 2 appends nothing.
QString Update_Options(const QString &s_opt, int optionIndex, bool readBack);

// The serial updater's arguments. Windows form: one element, the argument text
//   \\.\COM3 FW FR PW PR "<master>\sim40926.sim" "<conf>\bin\bank.bin"
// Posix form: port, the codes, firmware path, image path as separate elements.
// port is the name shown in the list (COM3) in Windows form, the port's system location elsewhere.
QStringList Serial_Update_Arguments(TPlatform_Form form, const QString &port, int optionIndex, bool readBack,
                                    const QString &masterDir, const QString &confDir);

// Builds the Ethernet updater's parameter document.
void Build_Ethernet_Update(TXml_Document &xml, const QString ip[4], int optionIndex, bool readBack,
                           const QString &masterDir, const QString &confDir);
// Builds it and writes programDir/Ethernet_Update.xml atomically; throws EQuillon_Error on failure.
void Write_Ethernet_Update(TXml_Document &xml, const QString ip[4], int optionIndex, bool readBack,
                           const QString &programDir, const QString &masterDir, const QString &confDir);

// The port the update dialog chooses in ports: the remembered one when it is listed; else the first USB adapter
// (one the system knows a USB vendor of, or a ttyUSB or ttyACM device), which is the converter's far more often
// than a built-in port; else the first. -1 when the list is empty.
int Preferred_Port_Index(const QList<TSerial_Port> &ports, const QString &remembered);
