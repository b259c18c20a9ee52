#pragma once

// The language files and flag pictures that come with the program (a resource inside it), and their copy
// into a workspace.

#include <QByteArray>
#include <QStringList>

// The names of the shipped files: <language>.lng and <language>.bmp for each language, and DefaultFlag.bmp.
QStringList Shipped_Language_Files();
// The bytes of one shipped file (empty for a name that is not shipped).
QByteArray Shipped_Language_File(const QString &name);

// When languageDir holds no language file (a new workspace, or one that never had any), copies the shipped
// files into it, without a sync. A file already there is never replaced, unless it is a torn copy of a shipped
// file (shorter, or with zeros where the shipped file has bytes): that one is written again. A copy that fails
// is passed over, as the program works without it (in English). Returns the names of the files written.
QStringList Install_Shipped_Languages(const QString &languageDir);
