#include "UXml_Document.h"

#include "UComon.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QXmlStreamReader>

#include <cerrno>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

void TXml_Document::Activate()
{
    Doc = QDomDocument();
}

void TXml_Document::Load_File(const QString &path)
{
    Load_Bytes(Read_Regular_File(path, Xml_File_Limit), QDir::toNativeSeparators(path));
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

EQuillon_Error Write_Error(const QString &path, const QString &reason)
{
    return EQuillon_Error(QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), reason));
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

namespace {

// Puts the file's written bytes on disk.
bool Sync_Handle(int handle, QString &reason)
{
#ifdef Q_OS_WIN
    if (handle < 0 || _commit(handle) != 0) {
        reason = qt_error_string(errno);
        return false;
    }
#else
    if (handle < 0 || ::fsync(handle) != 0) {
        reason = qt_error_string(errno);
        return false;
    }
#endif
    return true;
}

} // namespace

TStaged_File::TStaged_File(const QString &path) : Target(path), File(path) {}

void TStaged_File::Write(const QByteArray &bytes)
{
    if (!File.open(QIODevice::WriteOnly))
        throw Write_Error(Target, File.errorString());
    // QSaveFile buffers: a failed write may only show when the buffer is flushed, and commit() does not
    // report a failure of its own final flush. Flush and sync here, each checked, before any rename.
    QString reason;
    if (File.write(bytes) != bytes.size() || !File.flush())
        reason = File.errorString();
    else
        Sync_Handle(File.handle(), reason);
    if (!reason.isEmpty()) {
        File.cancelWriting();
        throw Write_Error(Target, reason);
    }
}

void TStaged_File::Replace()
{
    if (!File.commit())
        throw Write_Error(Target, File.errorString());
}

void Sync_Directory(const QString &dir)
{
#ifndef Q_OS_WIN
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw Write_Error(dir, qt_error_string(errno));
    const int result = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    // Some file systems cannot sync a directory; that is no failure of the write.
    if (result != 0 && error != EINVAL && error != ENOTSUP)
        throw Write_Error(dir, qt_error_string(error));
#else
    Q_UNUSED(dir);
#endif
}

void Save_Bytes_Atomically(const QString &path, const QByteArray &bytes)
{
    TStaged_File file(path);
    file.Write(bytes);
    file.Replace();
    Sync_Directory(QFileInfo(path).absolutePath());
}
