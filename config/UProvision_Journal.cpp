#include "UProvision_Journal.h"

#include "UAtomic_File.h"
#include "UGround.h"
#include "UWorkspace.h"
#include "URegular_File.h"
#include "USaveBincc.h"
#include "UXml_Document.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

const QString Staging_Prefix = QStringLiteral(".provision-");
const QString Journal_Name = QStringLiteral(".provision.journal");
const QString Lock_Name = QStringLiteral(".provision.lock");
const QByteArray Journal_Head = "Quillon provision journal 1";

// The kill tests' hook: QUILLON_FAULT_STEP=step:count ends the process the count-th time the run reaches step,
// as a kill there would; nothing is cleaned up, nothing flushed.
void Fault_Point(const char *step)
{
    static const QByteArray wanted = qgetenv("QUILLON_FAULT_STEP");
    if (wanted.isEmpty())
        return;
    static QHash<QByteArray, int> reached;
    const int count = ++reached[QByteArray(step)];
    const qsizetype colon = wanted.lastIndexOf(':');
    const QByteArray name = colon < 0 ? wanted : wanted.left(colon);
    const int at = colon < 0 ? 1 : wanted.mid(colon + 1).toInt();
    if (name == step && count == at)
        std::_Exit(99);
}

// One provision at a time in a PROJECTS directory, and no recovery while one runs. A lock whose process died
// is taken over; its age alone never makes it stale (a large table takes minutes).
class TProvision_Lock
{
public:
    explicit TProvision_Lock(const QString &projectsDir) : Path(Join_Path(projectsDir, Lock_Name)) {}
    ~TProvision_Lock()
    {
        if (Held)
            Release_Lock_File(Path, Bytes);
    }
    TProvision_Lock(const TProvision_Lock &) = delete;
    TProvision_Lock &operator=(const TProvision_Lock &) = delete;

    TLock_Take Take()
    {
        const qint64 pid = QCoreApplication::applicationPid();
        Bytes = QStringLiteral("owner=%1\nowner_start=%2\n").arg(pid).arg(Process_Start_Time(pid)).toUtf8();
        const TLock_Take take = Take_Lock_File(Path, Bytes, Judge);
        Held = take.State == TLock_State::Taken;
        return take;
    }
    const QString Path;

private:
    static TLock_Holder Judge(const QByteArray &bytes)
    {
        qint64 pid = 0;
        qint64 start = 0;
        for (const QByteArray &line : bytes.split('\n')) {
            if (line.startsWith("owner="))
                pid = line.mid(6).toLongLong();
            else if (line.startsWith("owner_start="))
                start = line.mid(12).toLongLong();
        }
        // An earlier version's lock: its process id alone on the first line.
        if (pid <= 0)
            pid = bytes.left(bytes.indexOf('\n')).toLongLong();
        if (pid <= 0)
            return TLock_Holder::Unknown;
        return Process_Alive(pid, start) ? TLock_Holder::Alive : TLock_Holder::Dead;
    }

    QByteArray Bytes;
    bool Held = false;
};

bool Exists(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

struct TJournal
{
    QString Staging;
    QList<QPair<QString, QString>> Moves; // staged name, final name
};

QByteArray Journal_Bytes(const TJournal &journal)
{
    QByteArray bytes = Journal_Head + '\n' + journal.Staging.toUtf8() + '\n';
    for (const auto &[staged, final] : journal.Moves)
        bytes += staged.toUtf8() + '\t' + final.toUtf8() + '\n';
    return bytes;
}

// The journal as written, or an empty Staging when it is not one this program wrote: then nothing is touched.
TJournal Parse_Journal(const QByteArray &bytes)
{
    TJournal journal;
    QList<QByteArray> lines = bytes.split('\n');
    if (lines.size() < 3 || lines.takeFirst() != Journal_Head || !lines.last().isEmpty())
        return {};
    lines.removeLast();
    const QString staging = QString::fromUtf8(lines.takeFirst());
    if (!staging.startsWith(Staging_Prefix) || !Is_Usable_Directory_Name(staging.mid(1)))
        return {};
    for (const QByteArray &line : std::as_const(lines)) {
        const QList<QByteArray> parts = line.split('\t');
        bool number = false;
        if (parts.size() != 2 || (parts[0].toUInt(&number), !number))
            return {};
        const QString final = QString::fromUtf8(parts[1]);
        if (!Is_Usable_Directory_Name(final))
            return {};
        journal.Moves.append({QString::fromLatin1(parts[0]), final});
    }
    journal.Staging = staging;
    return journal;
}

// With the lock held.
QStringList Recover_Locked(const QString &projectsDir)
{
    QStringList lines;
    const QString where = QDir::toNativeSeparators(projectsDir);
    const QString journalPath = Join_Path(projectsDir, Journal_Name);
    const QStringList hidden =
        QDir(projectsDir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    // A journal whose write was cut short: the commit never happened. A lock's temporary or takeover marker
    // left by a process that ended while taking the lock; a young one may be another's, still in use.
    for (const QString &name : hidden) {
        const QString path = Join_Path(projectsDir, name);
        if (Is_Staged_Name(name, Journal_Name) ||
            (name.startsWith(Lock_Name + u'.') &&
             QFileInfo(path).lastModified().msecsTo(QDateTime::currentDateTime()) > Lock_Settle_Age.count()))
            QFile::remove(path);
    }
    QString committed;
    if (Exists(journalPath)) {
        TJournal journal;
        try {
            journal = Parse_Journal(Read_Regular_File(journalPath, Xml_File_Limit * 16));
        } catch (const EQuillon_Error &) {
        }
        if (journal.Staging.isEmpty())
            return {QStringLiteral("%1 is no journal quillon writes; it and the staged configurations in %2 were "
                                   "left as they are")
                        .arg(QDir::toNativeSeparators(journalPath), where)};
        committed = journal.Staging;
        const QString staging = Join_Path(projectsDir, journal.Staging);
        int moved = 0;
        QStringList there;
        for (const auto &[staged, final] : std::as_const(journal.Moves)) {
            const QString from = Join_Path(staging, staged);
            const QString to = Join_Path(projectsDir, final);
            if (!QFileInfo(from).isDir())
                continue; // moved before the run ended
            if (Exists(to)) {
                there << final;
                continue;
            }
            if (!QDir().rename(from, to))
                return {QStringLiteral("a provision committed in %1 cannot be finished: %2 cannot be renamed to %3")
                            .arg(where, QDir::toNativeSeparators(from), QDir::toNativeSeparators(to))};
            ++moved;
        }
        try {
            Sync_Directory(projectsDir);
            if (!QFile::remove(journalPath))
                throw EQuillon_Error(QStringLiteral("%1 cannot be removed").arg(QDir::toNativeSeparators(journalPath)));
            Sync_Directory(projectsDir);
        } catch (const EQuillon_Error &error) {
            return {QStringLiteral("a provision committed in %1 cannot be finished: %2").arg(where, error.Text())};
        }
        QDir(staging).removeRecursively();
        lines << QStringLiteral("a provision that ended after its commit was finished in %1: %2 of its %3 moved "
                                "into place now")
                     .arg(where)
                     .arg(moved)
                     .arg(Counted(journal.Moves.size(), QStringLiteral("configuration"),
                                  QStringLiteral("configurations")));
        if (!there.isEmpty())
            lines << QStringLiteral("%1 already existed and %2 kept: %3")
                         .arg(there.size())
                         .arg(there.size() == 1 ? QStringLiteral("was") : QStringLiteral("were"), there.join(u", "));
    }
    // Staging directories without a journal: never committed.
    for (const QString &name : hidden) {
        const QString path = Join_Path(projectsDir, name);
        if (!name.startsWith(Staging_Prefix) || name == committed || !QFileInfo(path).isDir() ||
            QFileInfo(path).isSymLink())
            continue;
        const qsizetype staged = QDir(path).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot).size();
        if (QDir(path).removeRecursively())
            lines << (staged == 0
                          ? QStringLiteral("the empty staging directory of a provision was removed from %1").arg(where)
                          : QStringLiteral("a provision that ended before its commit was undone in %1: %2 removed")
                                .arg(where, Counted(staged, QStringLiteral("staged configuration"),
                                                    QStringLiteral("staged configurations"))));
        else
            lines
                << QStringLiteral("%1 (an unfinished provision) cannot be removed").arg(QDir::toNativeSeparators(path));
    }
    return lines;
}

} // namespace

QString Create_Configurations(const QString &projectsDir, const QList<TProvision_Entry> &entries)
{
    TProvision_Lock lock(projectsDir);
    if (const TLock_Take take = lock.Take(); take.State == TLock_State::Failed)
        throw Write_Error(lock.Path, take.Reason);
    else if (take.State == TLock_State::Being_Taken)
        throw EQuillon_Error(QStringLiteral("another provision is running in %1: %2 is being taken at this moment "
                                            "(a lock left empty is taken over once it has stayed so for 5 s)")
                                 .arg(QDir::toNativeSeparators(projectsDir), QDir::toNativeSeparators(lock.Path)));
    else if (take.State != TLock_State::Taken)
        throw EQuillon_Error(QStringLiteral("another provision is running in %1: %2 names process %3")
                                 .arg(QDir::toNativeSeparators(projectsDir), QDir::toNativeSeparators(lock.Path),
                                      QString::fromUtf8(take.Holder).section(u'\n', 0, 0).section(u'=', 1)));
    for (const TProvision_Entry &entry : entries) {
        if (Exists(Join_Path(projectsDir, entry.Name)))
            throw EQuillon_Error(QStringLiteral("%1: %2 exists now").arg(entry.Label, entry.Name));
    }
    QTemporaryDir stagingDir(Join_Path(projectsDir, Staging_Prefix + QStringLiteral("XXXXXX")));
    if (!stagingDir.isValid())
        throw EQuillon_Error(QStringLiteral("a directory cannot be created in %1: %2")
                                 .arg(QDir::toNativeSeparators(projectsDir), stagingDir.errorString()));
    stagingDir.setAutoRemove(false);
    const QString staging = stagingDir.path();
    Fault_Point("staging");

    TJournal journal{QFileInfo(staging).fileName(), {}};
    try {
        for (qsizetype i = 0; i < entries.size(); ++i) {
            const TProvision_Entry &entry = entries[i];
            const QString staged = QString::number(i + 1);
            const QString dir = Join_Path(staging, staged);
            try {
                if (!QDir().mkdir(dir) || !QDir().mkdir(Join_Path(dir, QStringLiteral("bin"))))
                    throw EQuillon_Error(QStringLiteral("%1 cannot be created").arg(QDir::toNativeSeparators(dir)));
                TXml_Document xml;
                const QString parGen = Join_Path(dir, ParGen_File_Name);
                Save_ParGen(xml, entry.Fields, parGen);
                Fault_Point("pargen");
                // Built from what was written, read back.
                const TConfig_Images images = Make_Config_Data(parGen);
                if (!images.Verdict.May_Send())
                    throw EQuillon_Error(QStringLiteral("ParGen.xml reads back as a configuration that must not be "
                                                        "sent: %1")
                                             .arg(images.Verdict.Reason));
                Write_Config_Files(dir, images);
                Sync_Directory(dir);
            } catch (const EQuillon_Error &error) {
                throw EQuillon_Error(QStringLiteral("%1 (%2): %3").arg(entry.Label, entry.Name, error.Text()));
            }
            journal.Moves.append({staged, entry.Name});
            Fault_Point("row");
        }
        Sync_Directory(staging);
        Fault_Point("staged");
        // The commit: once the journal's name is on disk, the configurations exist.
        TStaged_File record(Join_Path(projectsDir, Journal_Name));
        record.Write(Journal_Bytes(journal));
        Fault_Point("journal-written");
        record.Replace();
        Sync_Directory(projectsDir);
    } catch (const EQuillon_Error &) {
        QDir(staging).removeRecursively();
        throw;
    }
    Fault_Point("committed");

    // Committed: from here on a failure leaves the journal for the next recovery to finish.
    const QString later = QStringLiteral("; the next quillon-cli command on %1 or the next start of the configurator "
                                         "finishes the provision")
                              .arg(QDir::toNativeSeparators(projectsDir));
    for (const auto &[staged, final] : std::as_const(journal.Moves)) {
        const QString to = Join_Path(projectsDir, final);
        if (Exists(to) || !QDir().rename(Join_Path(staging, staged), to))
            return QStringLiteral("%1 cannot be moved into place").arg(QDir::toNativeSeparators(to)) + later;
        Fault_Point("moved");
    }
    try {
        Sync_Directory(projectsDir);
        Fault_Point("placed");
        if (!QFile::remove(Join_Path(projectsDir, Journal_Name)))
            return QStringLiteral("%1 cannot be removed").arg(Journal_Name) + later;
        Sync_Directory(projectsDir);
    } catch (const EQuillon_Error &error) {
        return error.Text() + later;
    }
    Fault_Point("journal-removed");
    QDir(staging).removeRecursively();
    return {};
}

QString Recover_Provisions(const QString &projectsDir)
{
    // Most runs find nothing: no lock file is made for them.
    const QStringList hidden =
        QDir(projectsDir).entryList({QStringLiteral(".provision*")}, QDir::AllEntries | QDir::Hidden | QDir::System);
    if (hidden.isEmpty())
        return {};
    TProvision_Lock lock(projectsDir);
    if (const TLock_Take take = lock.Take(); take.State == TLock_State::Failed)
        return QStringLiteral("an unfinished provision in %1 cannot be recovered: %2 cannot be written: %3")
            .arg(QDir::toNativeSeparators(projectsDir), QDir::toNativeSeparators(lock.Path), take.Reason);
    else if (take.State != TLock_State::Taken)
        return {}; // a provision is running: its work is its own
    return Recover_Locked(projectsDir).join(u'\n');
}
