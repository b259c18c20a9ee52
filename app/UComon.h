#pragma once

// The common module: program constants, the shared state every window reads, and the small text,
// path, address and port helpers they share.

#include "ULanguage.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <stdexcept>

// Program constants.
inline const QString SW_Code = QStringLiteral("SW40926");
inline const QString SW_Check_Name = QStringLiteral("SW40926");
inline const QString Program_Version = QStringLiteral("2.002");
inline const QString Document_Code = QStringLiteral("MN40926");

// The maker's web site: the one host of the version endpoint, the download page and the home page.
inline const QString Maker_Site = QStringLiteral("http://www.velmora.example");
inline const QString Home_Page_Path = QStringLiteral("/HOME/default.asp?frompg=SW40926");
inline const QString Download_Page_Path = QStringLiteral("/Home/download/download.asp#HD40926");
inline const QString Version_Endpoint_Path = QStringLiteral("/home/download/GetversionSW.asp?nomesw=");

// Defaults of the remembered settings.
inline const QString Default_IP_Address = QStringLiteral("192.168.2.205");
inline const QString Default_Language = QStringLiteral("English");
// The looks a user may choose, as Quillon.xml and --look name them; the first is the default.
inline const QStringList Look_Choice_Names = {QStringLiteral("light"), QStringLiteral("dark"),
                                              QStringLiteral("system")};

// Workspace file and directory names, letter case kept on every platform.
inline const QString Settings_File_Name = QStringLiteral("Quillon.xml");
inline const QString ParGen_File_Name = QStringLiteral("ParGen.xml");
inline const QString Ethernet_Update_File_Name = QStringLiteral("Ethernet_Update.xml");

// Shared state: program-wide, owned by the shell, read and written directly by every window.
// Workspace (set once at start-up).
extern QString Program_Dir;
extern QString Master_Dir;
extern QString Projects_Dir;
extern QString Language_Dir;
// Open configuration: one is open exactly when Conf_Dir is not empty.
extern QString Conf_Name;
extern QString Conf_Dir;
extern QString ParGen_File;
// Remembered in the settings file.
extern QString Last_IP_Address;
extern QString Language_Name;
extern bool Enable_Internet;
extern bool Enable_Update;
extern bool Enable_Jump_Field_Tables;
extern bool Enable_Double_Click_Auto_Size;
// One of Look_Choice_Names.
extern QString Look_Choice;
// Per run only.
extern int Last_Update_Option;
extern bool Last_Read_Back;
// The serial port last used for an update (its name as listed), chosen again when it is listed.
extern QString Last_Serial_Port;

// Puts every shared value back to its value before start-up (used between tests).
void Reset_Shared_State();

// An error that a handler does not handle itself; it reaches the top-level error report.
class EQuillon_Error : public std::runtime_error
{
public:
    explicit EQuillon_Error(const QString &text) : std::runtime_error(text.toStdString()), Message(text) {}
    const QString &Text() const { return Message; }

private:
    QString Message;
};

// Sizes a reader accepts before it reads a byte: far above anything the program writes, far below what
// could hurt it. The program's XML files are a few hundred bytes and three levels deep.
inline constexpr qint64 Xml_File_Limit = 4 * 1024 * 1024;
inline constexpr qint64 Language_File_Limit = 32 * 1024 * 1024;
inline constexpr int Xml_Depth_Limit = 32;
// The program's files carry no attributes; the stream reader's duplicate check costs the square of their number.
inline constexpr int Xml_Attribute_Limit = 16;

// Text to integer: leading blanks, optional sign, decimal digits or hexadecimal digits after "$", "x", "X",
// "0x" or "0X", nothing after the digits, within the signed 32-bit range. Anything else yields fallback.
int Str_To_Int_Def(const QString &text, int fallback);
// The same rule, telling whether the text converted.
bool Try_Str_To_Int(const QString &text, int &value);

// Removes every character with a code of 32 or less from both ends.
QString Trim_Text(const QString &text);
// The same as a view into text, without a copy.
QStringView Trim_Text_View(QStringView text);

// Joins path pieces with the platform's separator.
QString Join_Path(const QString &dir, const QString &name);
QString Join_Path(const QString &dir, const QString &name, const QString &name2);

// Settles Program_Dir and the three workspace directories from the executable's directory.
void Set_Workspace_Paths(const QString &programDir);
// Creates MASTER, PROJECTS and LANGUAGE (one level each) when missing; failures are passed over.
void Create_Workspace_Directories();

// ParGen_File := Conf_Dir + separator + "ParGen.xml".
void Set_Files();

// Why name is not one plain directory name that may be created under PROJECTS on every platform and be listed,
// shown and written back later, in English ("it ends with a blank"); empty when it is one. The rules: not
// empty, not hidden (no leading "."), no separator, no control character, Unicode format character or other
// character XML cannot hold, no blank at either end, no trailing ".", at most 255 bytes in UTF-8; on Windows
// also none of its forbidden characters and no device name.
QString Directory_Name_Problem(const QString &name);
// True when Directory_Name_Problem finds nothing.
bool Is_Plain_Directory_Name(const QString &name);
// The new-configuration dialog's verdict on name as a new configuration in parentDir: 0 when it may be made there,
// else the language-table entry of the refusal: 107 an empty name, 105 not one plain directory name (why then
// receives Directory_Name_Problem's reason), 106 a directory of that name already there (a file of that name is
// left to the making of the directory, which refuses it with the system's reason).
int New_Configuration_Refusal(const QString &parentDir, const QString &name, QString *why = nullptr);
// "1 configuration", "2 configurations": count and the word in the number it takes.
QString Counted(qsizetype count, const QString &singular, const QString &plural);

// Splits a dotted address into four trimmed octet texts; true when each is an integer from 0 to 255.
bool Split_IP_Address(const QString &address, QString &part1, QString &part2, QString &part3, QString &part4);

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
