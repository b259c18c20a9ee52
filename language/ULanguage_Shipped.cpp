#include "ULanguage_Shipped.h"

#include "UAtomic_File.h"
#include "UComon.h"
#include "UXml_Document.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

// The resource lives in a static library: its initialiser must be referenced explicitly.
static void Init_Language_Resources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(languages);
        return true;
    }();
    Q_UNUSED(done);
}

namespace {
const QString Resource_Dir = QStringLiteral(":/languages");
}

QStringList Shipped_Language_Files()
{
    Init_Language_Resources();
    return QDir(Resource_Dir).entryList(QDir::Files, QDir::Name);
}

QByteArray Shipped_Language_File(const QString &name)
{
    Init_Language_Resources();
    if (name.contains(u'/'))
        return QByteArray();
    QFile file(Resource_Dir + u'/' + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList Install_Shipped_Languages(const QString &languageDir)
{
    QStringList copied;
    if (!QFileInfo(languageDir).isDir())
        return copied;
    // Any language file there, the user's own or one copied at an earlier start, means the directory is the
    // user's to keep: a shipped language the user removed does not come back.
    if (!QDir(languageDir).entryList({QStringLiteral("*.lng")}, QDir::Files | QDir::Hidden).isEmpty())
        return copied;
    for (const QString &name : Shipped_Language_Files()) {
        const QString target = Join_Path(languageDir, name);
        const QFileInfo info(target);
        if (info.exists() || info.isSymLink())
            continue;
        try {
            Save_Bytes_Atomically(target, Shipped_Language_File(name));
            copied.append(name);
        } catch (const EQuillon_Error &) {
            // A directory the user may not write: the program goes on in English.
        }
    }
    return copied;
}
