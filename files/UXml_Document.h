#pragma once

// XML document access: the few DOM operations every XML file of the program goes through.

#include <QByteArray>
#include <QDomDocument>
#include <QDomElement>
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
    // Replaces the content with a deep copy of other's: a document read once is the start of many.
    void Copy_Of(const TXml_Document &other);
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

// True when every character of text may stand in an XML 1.0 document: tab, LF, CR, U+0020 to U+D7FF,
// U+E000 to U+FFFD and paired surrogates (U+10000 and above).
bool Is_Xml_Text(const QString &text);
// text without the characters an XML 1.0 document cannot hold.
QString Xml_Text_Only(const QString &text);
