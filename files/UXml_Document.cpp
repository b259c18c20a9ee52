#include "UXml_Document.h"

#include "UAtomic_File.h"
#include "UGround.h"
#include "URegular_File.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <optional>


void TXml_Document::Activate()
{
    Doc = QDomDocument();
}

void TXml_Document::Load_File(const QString &path)
{
    Load_Bytes(Read_Regular_File(path, Xml_File_Limit), QDir::toNativeSeparators(path));
}

namespace {

// The document's text as the stream reader decodes it: the encoding a byte-order mark or the width of the first
// "<" shows, then the one the XML declaration names, else UTF-8. A name no decoder knows is the reader's error.
QString Decoded_As_The_Reader_Does(const QByteArray &bytes)
{
    const std::optional<QStringConverter::Encoding> detected = QStringConverter::encodingForData(bytes, u'<');
    QStringDecoder decoder(detected.value_or(QStringConverter::Utf8));
    QString text = decoder.decode(bytes);
    if (!text.startsWith(QLatin1String("<?xml")))
        return text;
    static const QRegularExpression declared(QStringLiteral("^<\\?xml[^>]*?\\sencoding\\s*=\\s*([\"'])([^\"'>]*)\\1"));
    const QRegularExpressionMatch match = declared.match(QStringView(text).first(qMin(text.size(), qsizetype(256))));
    if (!match.hasMatch())
        return text;
    QStringDecoder named(match.captured(2).toLatin1().constData());
    return named.isValid() ? QString(named.decode(bytes)) : text;
}

qsizetype Line_Of(const QString &text, qsizetype position)
{
    return QStringView(text).first(qMin(position, text.size())).count(u'\n') + 1;
}

// Refuses, before the stream reader sees the document, what the program's files never hold and the reader
// handles at a cost out of all proportion to the file: a document type (its entities expand a few bytes into
// gigabytes) and an element with many attributes (the reader checks them pairwise for duplicates). One pass,
// linear in the file.
void Check_Markup(const QByteArray &bytes, const QString &where)
{
    const QString text = Decoded_As_The_Reader_Does(bytes);
    const QStringView view(text);
    const qsizetype size = view.size();
    const auto skip_past = [&view, size](qsizetype from, QStringView end) {
        const qsizetype at = view.indexOf(end, from);
        return at < 0 ? size : at + end.size();
    };
    qsizetype i = 0;
    while ((i = view.indexOf(u'<', i)) >= 0) {
        const qsizetype open = i++;
        const QStringView rest = view.sliced(i);
        if (rest.startsWith(u"!--")) {
            i = skip_past(i + 3, u"-->");
        } else if (rest.startsWith(u"![CDATA[")) {
            i = skip_past(i, u"]]>");
        } else if (rest.startsWith(u"!DOCTYPE")) {
            throw EQuillon_Error(QStringLiteral("%1 is refused: it has a document type declaration (line %2); the "
                                                "program's files have no document type and no entities")
                                     .arg(where)
                                     .arg(Line_Of(text, open)));
        } else if (rest.startsWith(u'?')) {
            i = skip_past(i, u"?>");
        } else if (!rest.startsWith(u'!') && !rest.startsWith(u'/')) {
            // A start tag: each attribute has one "=" outside the quoted values.
            int attributes = 0;
            while (i < size && view[i] != u'>' && view[i] != u'<') {
                const QChar c = view[i];
                if (c == u'"' || c == u'\'') {
                    const qsizetype close = view.indexOf(c, i + 1);
                    i = close < 0 ? size : close + 1;
                    continue;
                }
                if (c == u'=' && ++attributes > Xml_Attribute_Limit)
                    throw EQuillon_Error(QStringLiteral("%1 is refused: an element has more than %2 attributes "
                                                        "(line %3); the program's files have none")
                                             .arg(where)
                                             .arg(Xml_Attribute_Limit)
                                             .arg(Line_Of(text, open)));
                ++i;
            }
        }
    }
}

} // namespace

void TXml_Document::Copy_Of(const TXml_Document &other)
{
    Doc = other.Doc.cloneNode(true).toDocument();
}

void TXml_Document::Load_Bytes(const QByteArray &bytes, const QString &source)
{
    // Built from the stream reader rather than QDomDocument::setContent so that texts made only of
    // blanks come back unchanged. Without namespace processing a name is the name as written: <a:Key> is
    // not Key, and an undeclared prefix is no error.
    QDomDocument doc;
    QXmlStreamReader reader(bytes);
    reader.setNamespaceProcessing(false);
    const QString where = source.isEmpty() ? QStringLiteral("XML document") : source;
    Check_Markup(bytes, where);
    QDomNode current; // null while at top level
    int depth = 0;
    // The stream reader lets some characters XML cannot hold pass (a control character in an attribute's
    // name, a lone surrogate decoded from a declared encoding); such a document is refused, as the writer
    // would refuse it.
    const auto xmlText = [&reader, &where](const QString &text) -> const QString & {
        if (!Is_Xml_Text(text))
            throw EQuillon_Error(QStringLiteral("%1 is not well-formed XML: it holds a character XML cannot hold "
                                                "(line %2, column %3)")
                                     .arg(where)
                                     .arg(reader.lineNumber())
                                     .arg(reader.columnNumber()));
        return text;
    };
    const auto append = [&doc, &current](const QDomNode &node) {
        if (current.isNull())
            doc.appendChild(node);
        else
            current.appendChild(node);
    };
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            // The program's files are three levels deep; a document nested without end would exhaust the
            // stack when the tree is torn down.
            if (++depth > Xml_Depth_Limit)
                throw EQuillon_Error(QStringLiteral("%1 is refused: its elements are nested deeper than %2 levels "
                                                    "(line %3, column %4)")
                                         .arg(where)
                                         .arg(Xml_Depth_Limit)
                                         .arg(reader.lineNumber())
                                         .arg(reader.columnNumber()));
            QDomElement element = doc.createElement(xmlText(reader.qualifiedName().toString()));
            for (const QXmlStreamAttribute &attribute : reader.attributes())
                element.setAttribute(xmlText(attribute.qualifiedName().toString()),
                                     xmlText(attribute.value().toString()));
            append(element);
            current = element;
            break;
        }
        case QXmlStreamReader::EndElement:
            --depth;
            current = current.parentNode();
            if (current.isDocument())
                current = QDomNode();
            break;
        case QXmlStreamReader::Characters:
            // Blanks between top-level nodes are no text of any element.
            if (!current.isNull())
                append(reader.isCDATA() ? QDomNode(doc.createCDATASection(xmlText(reader.text().toString())))
                                        : QDomNode(doc.createTextNode(xmlText(reader.text().toString()))));
            break;
        case QXmlStreamReader::Comment:
            append(doc.createComment(xmlText(reader.text().toString())));
            break;
        case QXmlStreamReader::DTD:
        case QXmlStreamReader::EntityReference:
            // Kept out by the check above; should the two ever disagree, no entity is expanded all the same.
            throw EQuillon_Error(QStringLiteral("%1 is refused: it has a document type declaration (line %2); the "
                                                "program's files have no document type and no entities")
                                     .arg(where)
                                     .arg(reader.lineNumber()));
        case QXmlStreamReader::ProcessingInstruction:
            // Passed over: no reader of the program uses one, and written back one would not read back the
            // same (the writer adds a line break after it, and the parser accepts targets it then refuses).
            break;
        default:
            break;
        }
    }
    if (reader.hasError()) {
        throw EQuillon_Error(QStringLiteral("%1 is not well-formed XML: %2 (line %3, column %4)")
                                 .arg(where, reader.errorString())
                                 .arg(reader.lineNumber())
                                 .arg(reader.columnNumber()));
    }
    Doc = doc;
}

void TXml_Document::Clear()
{
    while (!Doc.firstChild().isNull())
        Doc.removeChild(Doc.firstChild());
}

QDomElement TXml_Document::Add_Root(const QString &name)
{
    QDomElement root = Doc.createElement(name);
    Doc.appendChild(root);
    return root;
}

void TXml_Document::Append_Comment(const QString &text)
{
    Doc.appendChild(Doc.createComment(text));
}

QDomElement TXml_Document::Root() const
{
    for (QDomNode node = Doc.firstChild(); !node.isNull(); node = node.nextSibling()) {
        if (node.isElement())
            return node.toElement();
    }
    return QDomElement();
}

QByteArray TXml_Document::To_Bytes() const
{
    return Doc.toByteArray(-1);
}

void TXml_Document::Save_File(const QString &path) const
{
    Save_Bytes_Atomically(path, To_Checked_Bytes(path));
}

QDomElement Find_Child(const QDomElement &parent, const QString &name)
{
    if (parent.isNull())
        return QDomElement();
    return parent.firstChildElement(name);
}

QString Element_Text(const QDomElement &element)
{
    return element.text();
}

QDomElement Add_Child(QDomElement &parent, const QString &name, const QString &text)
{
    QDomDocument doc = parent.ownerDocument();
    QDomElement child = doc.createElement(name);
    if (!text.isEmpty())
        child.appendChild(doc.createTextNode(text));
    parent.appendChild(child);
    return child;
}

namespace {

bool Is_Xml_Char(char32_t code)
{
    return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
           (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

// Calls take(code, first, length) for each code point of text; a lone surrogate comes as itself.
template <typename Take> void For_Each_Code_Point(const QString &text, Take take)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            take(QChar::surrogateToUcs4(c, text.at(i + 1)), i, 2);
            ++i;
        } else {
            take(char32_t(c.unicode()), i, 1);
        }
    }
}

} // namespace

bool Is_Xml_Text(const QString &text)
{
    bool allowed = true;
    For_Each_Code_Point(text,
                        [&allowed](char32_t code, qsizetype, qsizetype) { allowed = allowed && Is_Xml_Char(code); });
    return allowed;
}

QString Xml_Text_Only(const QString &text)
{
    QString kept;
    kept.reserve(text.size());
    For_Each_Code_Point(text, [&](char32_t code, qsizetype first, qsizetype length) {
        if (Is_Xml_Char(code))
            kept.append(text.mid(first, length));
    });
    return kept;
}

namespace {

// The first character of text that XML cannot hold, as "U+000B"; empty when there is none.
QString First_Non_Xml_Char(const QString &text)
{
    QString found;
    For_Each_Code_Point(text, [&found](char32_t code, qsizetype, qsizetype) {
        if (found.isEmpty() && !Is_Xml_Char(code))
            found = QStringLiteral("U+%1").arg(uint(code), 4, 16, QLatin1Char('0')).toUpper();
    });
    return found;
}

// Where a node stands, for the error text: "element projectname", "a comment".
QString Node_Place(const QDomNode &node)
{
    if (node.isComment())
        return QStringLiteral("a comment");
    if (node.isProcessingInstruction())
        return QStringLiteral("a processing instruction");
    const QDomNode owner = node.isElement() ? node : node.parentNode();
    return owner.isElement() ? QStringLiteral("element %1").arg(owner.nodeName()) : QStringLiteral("the document");
}

} // namespace

QByteArray TXml_Document::To_Checked_Bytes(const QString &path) const
{
    // Every text first, for an error that names the character and its element.
    QDomNode node = Doc.firstChild();
    while (!node.isNull()) {
        QStringList texts;
        if (node.isCharacterData() || node.isProcessingInstruction())
            texts << node.nodeValue();
        if (node.isElement()) {
            texts << node.nodeName();
            const QDomNamedNodeMap attributes = node.attributes();
            for (int i = 0; i < attributes.count(); ++i)
                texts << attributes.item(i).nodeName() << attributes.item(i).nodeValue();
        }
        for (const QString &text : std::as_const(texts)) {
            const QString bad = First_Non_Xml_Char(text);
            if (!bad.isEmpty())
                throw Write_Error(
                    path, QStringLiteral("%1 holds %2, a character XML cannot hold").arg(Node_Place(node), bad));
        }
        // Depth first, without recursion.
        if (!node.firstChild().isNull()) {
            node = node.firstChild();
            continue;
        }
        while (!node.isNull() && node.nextSibling().isNull())
            node = node.parentNode();
        if (!node.isNull())
            node = node.nextSibling();
    }
    // Then what only the parser tells (a name that is no XML name, "--" in a comment, the depth): the
    // bytes must load again as they are.
    const QByteArray bytes = To_Bytes();
    try {
        TXml_Document probe;
        probe.Load_Bytes(bytes);
    } catch (const EQuillon_Error &error) {
        throw Write_Error(path, QStringLiteral("the document could not be read back: ") + error.Text());
    }
    return bytes;
}
