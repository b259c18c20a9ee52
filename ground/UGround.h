#pragma once

// The ground of every module: the program's constants, its error type, the reader bounds, and the small
// text, path and address helpers. No state: everything here is a constant or a plain function.

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

// "1 configuration", "2 configurations": count and the word in the number it takes.
QString Counted(qsizetype count, const QString &singular, const QString &plural);

// Splits a dotted address into four trimmed octet texts; true when each is an integer from 0 to 255.
bool Split_IP_Address(const QString &address, QString &part1, QString &part2, QString &part3, QString &part4);

// Natural order of names: runs of digits compare by their value ("Halle 2" before "Halle 18", ttyUSB2 before
// ttyUSB10), everything else character by character.
bool Natural_Less(const QString &a, const QString &b);
