#pragma once

// ParGen.xml files for tests: the one the settings dialog saves for a new configuration, with texts changed
// or keys removed as a hand-edited file may have them.

#include "UParGen_File.h"
#include "UXml_Document.h"

#include <QList>
#include <QPair>

using TKey_Texts = QList<QPair<QString, QString>>;

inline QByteArray Saved_ParGen(int deviceType = 0, const TKey_Texts &texts = {}, const QStringList &removed = {})
{
    TXml_Document xml;
    TParGen_Fields fields = No_File_Fields();
    fields.Device_Type_Type = deviceType;
    Build_ParGen(xml, fields);
    QDomElement root = xml.Root();
    for (const auto &[key, text] : texts) {
        QDomElement element = Find_Child(root, key);
        while (element.hasChildNodes())
            element.removeChild(element.firstChild());
        element.appendChild(root.ownerDocument().createTextNode(text));
    }
    for (const QString &key : removed)
        root.removeChild(Find_Child(root, key));
    return xml.To_Bytes();
}
