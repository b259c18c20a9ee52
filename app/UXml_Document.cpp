#include "UXml_Document.h"

#include "UComon.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QXmlStreamReader>

void TXml_Document::Activate()
{
    Doc = QDomDocument();
}

void TXml_Document::Load_File(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EQuillon_Error(
            QStringLiteral("Cannot read %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    Load_Bytes(file.readAll(), QDir::toNativeSeparators(path));
}

void TXml_Document::Load_Bytes(const QByteArray &bytes, const QString &source)
{
    // Built from the stream reader rather than QDomDocument::setContent so that texts made only of
    // blanks come back unchanged.
    QDomDocument doc;
    QXmlStreamReader reader(bytes);
    QDomNode current; // null while at top level
    const auto append = [&doc, &current](const QDomNode &node) {
        if (current.isNull())
            doc.appendChild(node);
        else
            current.appendChild(node);
    };
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            QDomElement element = doc.createElement(reader.name().toString());
            for (const QXmlStreamAttribute &attribute : reader.attributes())
                element.setAttribute(attribute.qualifiedName().toString(), attribute.value().toString());
            append(element);
            current = element;
            break;
        }
        case QXmlStreamReader::EndElement:
            current = current.parentNode();
            if (current.isDocument())
                current = QDomNode();
            break;
        case QXmlStreamReader::Characters:
            // Blanks between top-level nodes are no text of any element.
            if (!current.isNull())
                append(reader.isCDATA() ? QDomNode(doc.createCDATASection(reader.text().toString()))
                                        : QDomNode(doc.createTextNode(reader.text().toString())));
            break;
        case QXmlStreamReader::Comment:
            append(doc.createComment(reader.text().toString()));
            break;
        case QXmlStreamReader::ProcessingInstruction:
            append(doc.createProcessingInstruction(reader.processingInstructionTarget().toString(),
                                                   reader.processingInstructionData().toString()));
            break;
        default:
            break;
        }
    }
    if (reader.hasError()) {
        const QString where = source.isEmpty() ? QStringLiteral("XML document") : source;
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
    Save_Bytes_Atomically(path, To_Bytes());
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

EQuillon_Error Write_Error(const QString &path, const QString &reason)
{
    return EQuillon_Error(QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), reason));
}

void Save_Bytes_Atomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    const auto fail = [&path](const QString &reason) { return Write_Error(path, reason); };
    if (!file.open(QIODevice::WriteOnly))
        throw fail(file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw fail(reason);
    }
    if (!file.commit())
        throw fail(file.errorString());
}
