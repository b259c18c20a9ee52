#pragma once

// The language table: 1200 texts read by fixed index, built in English and overridable by language files.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

inline constexpr int Language_Table_Entries = 1200;

// The language in force: the 1200 texts the windows read (Lang). It lives inside this module; the rest of the
// program reads it through these functions and fills it through the loaders below.
const QStringList &Language_Texts();
// Empties it (the start-up, before the language is loaded: every text is then a blank).
void Clear_Language_Table();
// Puts back a table read before with Language_Texts (after a load that failed or a check that is over).
void Restore_Language_Table(const QStringList &texts);
// Sets one text (a test's or a translator's one-off); an index outside the table is passed over.
void Set_Language_Text(int index, const QString &text);

// The text at index i (a single blank outside the table, so that a window never reads past it).
QString Lang(int index);

// Clears the table and fills it with the 1200 built-in English texts.
void Load_Default_Language();

// The built-in English text at index, whatever language is loaded (a single blank outside the table).
QString English_Text(int index);
// Where a message takes its words from: Lang for the windows (the language in force), English_Text for
// quillon-cli and update.log, which stay in English.
using TText_Source = QString (*)(int index);

// The longest text an entry holds, in UTF-16 code units: a longer one is cut there (never inside a surrogate
// pair). The longest text a window shows is a few hundred characters; without a bound one huge entry of a
// 32 MiB file would be laid out by every label that shows it.
inline constexpr qsizetype Language_Entry_Limit = 4096;

// What the loader did with one line of a language file.
struct TLanguage_Line_Report
{
    int Line_Number = 0; // counted from 1
    QString Line;        // as read, before trimming; cut to Language_Entry_Limit like the texts
    int Index = -1;      // the entry set, -1 when ignored
    QString Value;       // the text stored
    bool Cut = false;    // the text was longer than Language_Entry_Limit and is cut there
    QString Dropped;     // the text after the closing pilcrow, which is not stored (cut like the texts)
    QString Reason;      // why the line was ignored
};

// Decodes a language file: byte-order mark for UTF-8 and UTF-16 LE/BE; without one, UTF-8 when the
// bytes are valid UTF-8, else Windows-1252.
QString Decode_Language_Bytes(const QByteArray &bytes);

// Receives what the loader did with each line, one line at a time.
using TLanguage_Line_Sink = std::function<void(const TLanguage_Line_Report &)>;

// Applies the lines of a language file's text to the filled table; report, when given, receives one
// entry per line. Memory stays that of the text: the lines are read one by one.
void Apply_Language_Text(const QString &text, QList<TLanguage_Line_Report> *report = nullptr);
void Apply_Language_Lines(const QString &text, const TLanguage_Line_Sink &report);

// Applies the language file at path; throws EQuillon_Error when it exists but cannot be read (before any entry
// changes or any line is reported).
void Read_Language_File(const QString &path, QList<TLanguage_Line_Report> *report = nullptr);
void Read_Language_File_Lines(const QString &path, const TLanguage_Line_Sink &report);

// text with each control character (C0, DEL, C1) shown as \xNN, for a terminal.
QString Escaped_Controls(const QString &text);

// Builds the English table and applies languageDir/name.lng; falls back to English (and English.lng when
// present) when that file is missing. Returns the name of the language in force ("English" after a fallback).
QString Load_Language(const QString &languageDir, const QString &name);

// The order in which the options dialog offers language files (or names): as a file manager lists them,
// blind to letter case and to accents ("Česky" among the C's, not after "zulu"), names that differ only there
// in the locale's order. Names of ASCII characters keep the order of a case-blind comparison of their
// characters' codes.
void Sort_Language_Names(QStringList &names);
