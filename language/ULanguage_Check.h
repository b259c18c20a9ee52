#pragma once

// The checks quillon-cli's texts --report adds for a translator: lines probably read otherwise than meant,
// indexes set twice, texts whose placeholders, pilcrows or length will not fit, and the shown entries left in
// English.

#include <QString>
#include <QStringList>

// Whether a window of this program shows the entry.
bool Is_Shown_Entry(int index);
// Whether it is shown in a place of fixed size (a caption, label, button, tab or check box), where a text much
// longer than the English one is cut or elided.
bool Is_Caption_Entry(int index);

struct TLanguage_Check
{
    QStringList Warnings;    // "line N: ..." in file order
    int Shown_Entries = 0;   // shown entries whose English text holds a letter
    int Left_In_English = 0; // of them, those the file leaves with the English text
    QList<int> English_Left; // their indexes
};

// Checks the language file at path (read as the loader reads it). Throws EQuillon_Error when it cannot be read.
// The language table is left as it was.
TLanguage_Check Check_Language_File(const QString &path);
