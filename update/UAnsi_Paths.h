#pragma once

// The serial updater may read its command line in the system's ANSI code page (a classic char main): a path with
// a character that code page lacks reaches it with "?" in its place, and it cannot open the file. Such a path is
// handed on in its short (8.3) form, which the file system makes of plain characters where the volume keeps
// short names; where neither form can be represented, the update is refused before anything is started.

#include "ULanguage.h"

#include <QString>
#include <QStringList>

#include <functional>

struct TAnsi_System
{
    // The first character (a whole code point) of text that the ANSI code page cannot hold; empty when none.
    std::function<QString(const QString &text)> Unrepresentable;
    // The short form of an existing path; empty when the system gives none.
    std::function<QString(const QString &path)> Short_Path;
};
// The system the program runs on: on Windows its ANSI code page and GetShortPathNameW; elsewhere arguments go
// as UTF-8 bytes and every character passes.
TAnsi_System Native_Ansi_System();

// The master and configuration directories as the serial updater is handed them.
struct TSerial_Paths
{
    QString Master_Dir;
    QString Conf_Dir;
    // English, for update.log: each path handed in its short form, and why.
    QStringList Notes;
    // Not empty: the update must not start; the message names the path and the character.
    QString Refusal;
};
TSerial_Paths Serial_Updater_Paths(const QString &masterDir, const QString &confDir, const TAnsi_System &system,
                                   TText_Source texts = English_Text);
