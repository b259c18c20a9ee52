#pragma once

// XML document access: the few DOM operations every XML file of the program goes through.

#include <QByteArray>
#include <QDomDocument>
#include <QDomElement>
#include <QSaveFile>
#include <QString>

class EQuillon_Error;

class TXml_Document
{
public:
    // Makes the document active and empty.
    void Activate();
    // Replaces the content with the parsed file; throws EQuillon_Error with the parser's message, line and column.
    // A file that is not a regular file or is larger than Xml_File_Limit is refused before it is read.
    void Load_File(const QString &path);
    // The same from bytes; source names the origin in the error text. Element names are taken whole, prefix
    // included; elements nested deeper than Xml_Depth_Limit are refused; processing instructions are passed
    // over.
    void Load_Bytes(const QByteArray &bytes, const QString &source = QString());
    // Removes every top-level node.
    void Clear();
    // Adds an element at top level and returns it.
    QDomElement Add_Root(const QString &name);
    // Appends a comment at top level, after what is there.
    void Append_Comment(const QString &text);
    // The root: the first top-level element node; declarations, comments and processing instructions
    // ahead of it are passed over. Null when the document holds no element.
    QDomElement Root() const;
    // The serialised document: UTF-8, no declaration, no indentation.
    QByteArray To_Bytes() const;
    // Replaces the file atomically; throws EQuillon_Error when it cannot be written, or when the document
    // holds what the loader would refuse (a character XML cannot hold, a comment with "--", ...): the program
    // never writes a file it cannot read back.
    void Save_File(const QString &path) const;
    // The serialised document after the same check; path names the file in the error.
    QByteArray To_Checked_Bytes(const QString &path) const;

    const QDomDocument &Dom() const { return Doc; }

private:
    QDomDocument Doc;
};

// The first child element named exactly name (null when there is none).
QDomElement Find_Child(const QDomElement &parent, const QString &name);
// The element's text, unchanged; an element without text reads as the empty text.
QString Element_Text(const QDomElement &element);
// Adds a child element with the given text (an empty text gives an empty element).
QDomElement Add_Child(QDomElement &parent, const QString &name, const QString &text = QString());

// The error of a file that cannot be written: its path and the system's reason.
EQuillon_Error Write_Error(const QString &path, const QString &reason);

// True when every character of text may stand in an XML 1.0 document: tab, LF, CR, U+0020 to U+D7FF,
// U+E000 to U+FFFD and paired surrogates (U+10000 and above).
bool Is_Xml_Text(const QString &text);
// text without the characters an XML 1.0 document cannot hold.
QString Xml_Text_Only(const QString &text);

// Writes bytes to path through TStaged_File: the old file stays whole unless the new one is complete on disk.
// Throws EQuillon_Error naming the path and the system's reason.
void Save_Bytes_Atomically(const QString &path, const QByteArray &bytes);

// One file's new contents, staged beside it. Write puts every byte on disk in a temporary file in the same
// directory, named after the file with six letters or digits appended (written and synced, each step checked);
// Replace renames it over the old file. Dropped before Replace, it removes the temporary file and leaves the old
// file as it was. A symbolic link in the file's place is written through to its target, unless Replace_Link:
// then the link itself is replaced by the file.
class TStaged_File
{
public:
    enum TLink
    {
        Write_Through_Link,
        Replace_Link
    };
    explicit TStaged_File(const QString &path, TLink link = Write_Through_Link);
    ~TStaged_File();
    TStaged_File(const TStaged_File &) = delete;
    TStaged_File &operator=(const TStaged_File &) = delete;
    // Throws EQuillon_Error naming the path and the system's reason.
    void Write(const QByteArray &bytes);
    // Throws EQuillon_Error naming the path and the system's reason; the old file is then unchanged.
    void Replace();
    // The file replaced: the path, or a link's target.
    const QString &Target_Path() const { return Target; }

private:
    QString Path;
    QString Target;
#ifdef Q_OS_WIN
    QSaveFile File;
#else
    QByteArray Temporary; // the staged file's name while it waits for Replace
#endif
};

// True when name is one of the writer's temporaries of a file named base (base + "." + six letters or digits).
bool Is_Staged_Name(const QString &name, const QString &base);

#ifndef Q_OS_WIN
// Creates path anew (never over an existing file) with bytes, written and synced, each step checked. Returns
// the system's reason of a failure, empty on success; nothing is left at path after a failure.
QString Write_New_File(const QString &path, const QByteArray &bytes);
#endif

// Syncs the directory's entries (the renames made in it) to disk where the platform can; throws
// EQuillon_Error when the system reports a failure.
void Sync_Directory(const QString &dir);
