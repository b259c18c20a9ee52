#include "ULanguage_Shipped.h"

#include "UAtomic_File.h"
#include "UGround.h"
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

namespace {

// A copy of a shipped file that a power loss tore: written without a sync, its blocks may reach the disk after
// its name does, leaving it shorter than the shipped file or with blocks of zeros where bytes should be. An edit
// does not leave a file in that shape.
bool Is_Torn_Copy(const QString &path, const QByteArray &shipped)
{
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isFile() || info.size() > shipped.size())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.read(shipped.size());
    if (bytes == shipped)
        return false;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != shipped[i] && bytes[i] != 0)
            return false;
    }
    return true;
}

// The shipped files are the program's own bytes, which it can write again at any start: they are written
// without a sync (two each, 22 at a first start, which took seconds on the window thread of a slow disk), and a
// copy a power loss tore is found and written again at the next start.
bool Copy_Shipped_File(const QString &target, const QByteArray &bytes)
{
    try {
        Save_Bytes_Atomically(target, bytes, TDurability::Unsynced);
        return true;
    } catch (const EQuillon_Error &) {
        // A directory the user may not write: the program goes on in English.
        return false;
    }
}

} // namespace

QStringList Install_Shipped_Languages(const QString &languageDir)
{
    QStringList copied;
    if (!QFileInfo(languageDir).isDir())
        return copied;
    // Any language file there, the user's own or one copied at an earlier start, means the directory is the
    // user's to keep: a shipped language the user removed does not come back, an edited one stays; only a torn
    // copy is written again.
    const bool installed =
        !QDir(languageDir).entryList({QStringLiteral("*.lng")}, QDir::Files | QDir::Hidden).isEmpty();
    for (const QString &name : Shipped_Language_Files()) {
        const QString target = Join_Path(languageDir, name);
        const QByteArray bytes = Shipped_Language_File(name);
        const QFileInfo info(target);
        const bool missing = !info.exists() && !info.isSymLink();
        if ((installed || !missing) && !Is_Torn_Copy(target, bytes))
            continue;
        if (Copy_Shipped_File(target, bytes))
            copied.append(name);
    }
    return copied;
}
