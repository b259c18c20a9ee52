#include "USent_Record.h"

#include "UAtomic_File.h"
#include "UGround.h"
#include "UImage_Keys.h"
#include "URegular_File.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <algorithm>
#include <vector>

namespace {

const QString Bank_Name = QStringLiteral("bank.bin");
const QString BankK_Name = QStringLiteral("bankK.bin");
// The staged run, beside the kept ones and never taken for one.
const QString Staging_Prefix = QStringLiteral(".run-");

const QRegularExpression &Run_Id_Pattern()
{
    static const QRegularExpression pattern(QStringLiteral(R"(^(\d{8}T\d{6}Z)-(\d{1,6})$)"));
    return pattern;
}

QString Sha256(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QString Time_Text(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

// The firmware file as the record names it; its bytes are hashed as they are read, a piece at a time.
TSent_Firmware Firmware_Of(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EQuillon_Error(
            QStringLiteral("%1 cannot be read: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        throw EQuillon_Error(
            QStringLiteral("%1 cannot be read: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    return {QFileInfo(path).fileName(), file.size(), QString::fromLatin1(hash.result().toHex())};
}

void Remove_Run_Dir(const QString &path)
{
    // A link in sent/ is removed itself, never followed.
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isDir())
        QFile::remove(path);
    else
        QDir(path).removeRecursively();
}

void Prune(const QString &sentDir)
{
    const QStringList ids = Sent_Run_Ids(QFileInfo(sentDir).path());
    for (qsizetype i = Kept_Runs; i < ids.size(); ++i)
        Remove_Run_Dir(Join_Path(sentDir, ids[i]));
}

TRun_Ending Ending_From_Name(const QString &name, bool &known)
{
    known = true;
    for (TRun_Ending ending : {TRun_Ending::Success, TRun_Ending::Failed, TRun_Ending::Crashed, TRun_Ending::Cancelled,
                               TRun_Ending::Limit, TRun_Ending::Not_Started, TRun_Ending::Unknown}) {
        if (Ending_Name(ending) == name)
            return ending;
    }
    known = false;
    return TRun_Ending::Unknown;
}

} // namespace

QString Ending_Name(TRun_Ending ending)
{
    switch (ending) {
    case TRun_Ending::Success:
        return QStringLiteral("success");
    case TRun_Ending::Failed:
        return QStringLiteral("failed");
    case TRun_Ending::Crashed:
        return QStringLiteral("crashed");
    case TRun_Ending::Cancelled:
        return QStringLiteral("cancelled");
    case TRun_Ending::Limit:
        return QStringLiteral("limit");
    case TRun_Ending::Not_Started:
        return QStringLiteral("not-started");
    case TRun_Ending::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

TRun_Ending Ending_Of(TRun_End end, int exitCode)
{
    switch (end) {
    case TRun_End::Exited:
        return exitCode == 0 ? TRun_Ending::Success : TRun_Ending::Failed;
    case TRun_End::Crashed:
        return TRun_Ending::Crashed;
    case TRun_End::Limit_Reached:
        return TRun_Ending::Limit;
    case TRun_End::Not_Started:
        return TRun_Ending::Not_Started;
    case TRun_End::Cancelled:
        return TRun_Ending::Cancelled;
    }
    return TRun_Ending::Unknown;
}

QByteArray Run_Json_Bytes(const TSent_Run &run)
{
    QJsonObject json;
    json.insert(QStringLiteral("configuration"), run.Configuration);
    json.insert(QStringLiteral("started"), Time_Text(run.Started));
    json.insert(QStringLiteral("ended"), run.Ended.isValid() ? QJsonValue(Time_Text(run.Ended)) : QJsonValue());
    json.insert(QStringLiteral("duration_s"), run.Ended.isValid() ? QJsonValue(run.Duration_S) : QJsonValue());
    json.insert(QStringLiteral("kind"), run.Kind);
    json.insert(QStringLiteral("target"), run.Target);
    json.insert(QStringLiteral("device_address"),
                run.Device_Address.isEmpty() ? QJsonValue() : QJsonValue(run.Device_Address));
    json.insert(QStringLiteral("option"), run.Option);
    json.insert(QStringLiteral("read_back"), run.Read_Back);
    if (run.Firmware)
        json.insert(QStringLiteral("firmware"),
                    QJsonObject{{QStringLiteral("name"), run.Firmware->Name},
                                {QStringLiteral("size"), double(run.Firmware->Size)},
                                {QStringLiteral("sha256"), run.Firmware->Sha256}});
    else
        json.insert(QStringLiteral("firmware"), QJsonValue());
    json.insert(QStringLiteral("images"),
                QJsonObject{{Bank_Name, run.Bank_Sha256}, {BankK_Name, run.BankK_Sha256}});
    json.insert(QStringLiteral("ending"), Ending_Name(run.Ending));
    json.insert(QStringLiteral("exit_code"), run.Exit_Code ? QJsonValue(*run.Exit_Code) : QJsonValue());
    json.insert(QStringLiteral("program_version"), run.Program_Version);
    return QJsonDocument(json).toJson(QJsonDocument::Indented);
}

TSent_Run Parse_Run_Json(const QByteArray &bytes)
{
    TSent_Run run;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        run.Problem = error.error != QJsonParseError::NoError
                          ? QStringLiteral("run.json is not JSON: %1").arg(error.errorString())
                          : QStringLiteral("run.json is not a JSON object");
        return run;
    }
    const QJsonObject json = document.object();
    const auto text = [&json](const char *key) { return json.value(QLatin1String(key)).toString(); };
    run.Configuration = text("configuration");
    run.Started = QDateTime::fromString(text("started"), Qt::ISODate);
    run.Ended = QDateTime::fromString(text("ended"), Qt::ISODate);
    run.Duration_S = json.value(QLatin1String("duration_s")).toDouble();
    run.Kind = text("kind");
    run.Target = text("target");
    run.Device_Address = text("device_address");
    run.Option = json.value(QLatin1String("option")).toInt(-1);
    run.Read_Back = json.value(QLatin1String("read_back")).toBool(true);
    const QJsonObject firmware = json.value(QLatin1String("firmware")).toObject();
    if (!firmware.isEmpty())
        run.Firmware = TSent_Firmware{firmware.value(QLatin1String("name")).toString(),
                                      qint64(firmware.value(QLatin1String("size")).toDouble()),
                                      firmware.value(QLatin1String("sha256")).toString()};
    const QJsonObject images = json.value(QLatin1String("images")).toObject();
    run.Bank_Sha256 = images.value(Bank_Name).toString();
    run.BankK_Sha256 = images.value(BankK_Name).toString();
    bool known = false;
    run.Ending = Ending_From_Name(text("ending"), known);
    const QJsonValue exitCode = json.value(QLatin1String("exit_code"));
    if (exitCode.isDouble())
        run.Exit_Code = exitCode.toInt();
    run.Program_Version = text("program_version");
    if (!run.Started.isValid())
        run.Problem = QStringLiteral("run.json has no valid \"started\"");
    else if (run.Option < 0 || run.Option > 2)
        run.Problem = QStringLiteral("run.json has no valid \"option\"");
    else if (!known)
        run.Problem = QStringLiteral("run.json's \"ending\" is none of the endings");
    else if (run.Bank_Sha256.isEmpty() || run.BankK_Sha256.isEmpty())
        run.Problem = QStringLiteral("run.json names no images");
    return run;
}

TSent_Run Keep_Sent_Run(const QString &confDir, const TSent_Request &request, const TConfig_Images &images,
                        const QByteArray &parGenXml)
{
    TSent_Run run;
    run.Configuration = request.Configuration;
    run.Started = QDateTime::currentDateTimeUtc();
    run.Kind = request.Kind;
    run.Target = request.Target;
    run.Device_Address = Device_Ethernet_Address(images);
    run.Option = request.Option;
    run.Read_Back = request.Read_Back;
    if (!request.Firmware_File.isEmpty())
        run.Firmware = Firmware_Of(request.Firmware_File);
    run.Bank_Sha256 = Sha256(images.Param_Block);
    run.BankK_Sha256 = Sha256(images.Bank_Image);
    run.Program_Version = Program_Version;

    const QString sentDir = Join_Path(confDir, Sent_Dir_Name);
    if (const QFileInfo sent(sentDir); sent.isSymLink() || (sent.exists() && !sent.isDir()))
        throw Write_Error(sentDir, QStringLiteral("it is not a directory of its own; move it out of the way"));
    if (!QFileInfo(sentDir).isDir() && !QDir().mkdir(sentDir))
        throw Write_Error(sentDir, QStringLiteral("the directory cannot be created"));
    // A run staged by a program that died before its rename: never a kept run, and nobody else writes here now
    // (the caller holds update.lock).
    for (const QString &left : QDir(sentDir).entryList({Staging_Prefix + QStringLiteral("*")},
                                                       QDir::AllEntries | QDir::Hidden | QDir::System))
        Remove_Run_Dir(Join_Path(sentDir, left));
    QTemporaryDir staged(Join_Path(sentDir, Staging_Prefix + QStringLiteral("XXXXXX")));
    if (!staged.isValid())
        throw Write_Error(sentDir, staged.errorString());
    const QString stagedDir = QDir::toNativeSeparators(staged.path());
    Save_Bytes_Atomically(Join_Path(stagedDir, Bank_Name), images.Param_Block);
    Save_Bytes_Atomically(Join_Path(stagedDir, BankK_Name), images.Bank_Image);
    if (!parGenXml.isNull())
        Save_Bytes_Atomically(Join_Path(stagedDir, ParGen_File_Name), parGenXml);
    Save_Bytes_Atomically(Join_Path(stagedDir, Run_Json_Name), Run_Json_Bytes(run));
    Sync_Directory(stagedDir);
    // The one writer of a workspace's runs holds update.lock: a name found free stays free.
    const QString stamp = run.Started.toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    // After the newest of that second, never in a gap a pruned run left: a name tells the order of runs.
    int n = 1;
    for (const QString &id : Sent_Run_Ids(confDir)) {
        const QRegularExpressionMatch match = Run_Id_Pattern().match(id);
        if (match.captured(1) == stamp)
            n = std::max(n, match.captured(2).toInt() + 1);
    }
    for (;; ++n) {
        run.Id = QStringLiteral("%1-%2").arg(stamp).arg(n);
        run.Dir = Join_Path(sentDir, run.Id);
        if (!QFileInfo::exists(run.Dir) && !QFileInfo(run.Dir).isSymLink())
            break;
    }
    if (!QDir().rename(stagedDir, run.Dir))
        throw Write_Error(run.Dir, QStringLiteral("the staged run cannot be renamed into place"));
    staged.setAutoRemove(false);
    Sync_Directory(sentDir);
    Prune(sentDir);
    return run;
}

void Finish_Sent_Run(TSent_Run &run, TRun_Ending ending, std::optional<int> exitCode)
{
    run.Ending = ending;
    run.Exit_Code = exitCode;
    run.Ended = QDateTime::currentDateTimeUtc();
    run.Duration_S = run.Started.msecsTo(run.Ended) / 1000.0;
    Save_Bytes_Atomically(Join_Path(run.Dir, Run_Json_Name), Run_Json_Bytes(run));
}

QStringList Sent_Run_Ids(const QString &confDir)
{
    // Each name matched once; newest first: the time, then the number that tells runs of one second apart.
    struct TId
    {
        QString Stamp;
        int Number;
        QString Name;
    };
    std::vector<TId> found;
    const QDir sent(Join_Path(confDir, Sent_Dir_Name));
    for (const QString &name : sent.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted)) {
        const QRegularExpressionMatch match = Run_Id_Pattern().match(name);
        if (match.hasMatch())
            found.push_back({match.captured(1), match.captured(2).toInt(), name});
    }
    std::sort(found.begin(), found.end(), [](const TId &a, const TId &b) {
        return a.Stamp != b.Stamp ? a.Stamp > b.Stamp : a.Number > b.Number;
    });
    QStringList ids;
    ids.reserve(qsizetype(found.size()));
    for (const TId &id : found)
        ids.append(id.Name);
    return ids;
}

TSent_Run Read_Sent_Run(const QString &confDir, const QString &id)
{
    const QString dir = Join_Path(confDir, Sent_Dir_Name, id);
    const auto damaged = [&](const QString &problem) {
        TSent_Run run;
        run.Id = id;
        run.Dir = dir;
        run.Problem = problem;
        return run;
    };
    const QFileInfo info(dir);
    if (info.isSymLink())
        return damaged(QStringLiteral("it is a link, not a kept run"));
    if (!info.isDir())
        return damaged(QStringLiteral("it is not a directory"));
    TSent_Run run;
    try {
        run = Parse_Run_Json(Read_Regular_File(Join_Path(dir, Run_Json_Name), Run_Json_Limit));
    } catch (const EQuillon_Error &error) {
        return damaged(error.Text());
    }
    run.Id = id;
    run.Dir = dir;
    if (!run.Problem.isEmpty())
        return run;
    for (const auto &[name, sizes] : {std::pair{Bank_Name, QList<qint64>{Param_Header_Size, Param_Block_Size}},
                                      std::pair{BankK_Name, QList<qint64>{Config_Bank_Size}}}) {
        const QFileInfo image(Join_Path(dir, name));
        if (image.isSymLink() || !image.isFile() || !sizes.contains(image.size()))
            return damaged(QStringLiteral("%1 is missing or not as kept").arg(name));
    }
    return run;
}

QList<TSent_Run> Read_Sent_Runs(const QString &confDir, int count)
{
    QList<TSent_Run> runs;
    for (const QString &id : Sent_Run_Ids(confDir)) {
        if (count >= 0 && runs.size() >= count)
            break;
        runs.append(Read_Sent_Run(confDir, id));
    }
    return runs;
}

TConfig_Images Sent_Images(const TSent_Run &run)
{
    TConfig_Images images;
    images.Param_Block = Read_Regular_File(Join_Path(run.Dir, Bank_Name), Param_Block_Size);
    images.Bank_Image = Read_Regular_File(Join_Path(run.Dir, BankK_Name), Config_Bank_Size);
    if (Sha256(images.Param_Block) != run.Bank_Sha256 || Sha256(images.Bank_Image) != run.BankK_Sha256)
        throw EQuillon_Error(QStringLiteral("the images kept in %1 are not those its run.json names")
                                 .arg(QDir::toNativeSeparators(run.Dir)));
    if (images.Bank_Image.size() == Config_Bank_Size)
        images.Bank = Config_Bank_Of(images.Bank_Image);
    return images;
}

QString State_Name(TSend_State state)
{
    switch (state) {
    case TSend_State::Never_Sent:
        break;
    case TSend_State::In_Sync:
        return QStringLiteral("in-sync");
    case TSend_State::Changed:
        return QStringLiteral("changed");
    case TSend_State::Failed:
        return QStringLiteral("failed");
    }
    return QStringLiteral("never-sent");
}

QStringList Changed_Keys(const TConfig_Images &then, const TConfig_Images &now)
{
    QStringList changed;
    const QList<TKey_Value> a = Image_Key_Values(then.Param_Block, then.Bank_Image);
    const QList<TKey_Value> b = Image_Key_Values(now.Param_Block, now.Bank_Image);
    for (const TKey_Value &value : a) {
        const auto other = std::find_if(b.begin(), b.end(), [&](const TKey_Value &v) { return v.Key == value.Key; });
        if (other == b.end() || other->Value != value.Value || other->Bank_Value != value.Bank_Value)
            changed.append(value.Key);
    }
    for (const TKey_Value &value : b) {
        if (!changed.contains(value.Key) &&
            std::none_of(a.begin(), a.end(), [&](const TKey_Value &v) { return v.Key == value.Key; }))
            changed.append(value.Key);
    }
    if (then.Bank_Image.size() == Config_Bank_Size && now.Bank_Image.size() == Config_Bank_Size) {
        QList<TKey_Value> nowBytes;
        for (const TKey_Value &byte : Uncovered_Differences(then.Bank_Image, now.Bank_Image, &nowBytes))
            changed.append(byte.Key);
    }
    return changed;
}

TConfig_Status Config_Status(const QString &confDir)
{
    TConfig_Status status;
    for (const QString &id : Sent_Run_Ids(confDir)) {
        TSent_Run run = Read_Sent_Run(confDir, id);
        if (!run.Problem.isEmpty()) {
            status.Problems.append(QStringLiteral("%1: %2").arg(id, run.Problem));
            continue;
        }
        if (!run.Sent_Configuration())
            continue;
        if (!status.Last_Attempt)
            status.Last_Attempt = run;
        if (run.Ending == TRun_Ending::Success) {
            status.Last_Success = run;
            break;
        }
    }
    if (!status.Last_Attempt) {
        status.State = TSend_State::Never_Sent;
        return status;
    }
    if (!status.Last_Success || status.Last_Attempt->Id != status.Last_Success->Id) {
        status.State = TSend_State::Failed;
        return status;
    }
    try {
        const TConfig_Images sent = Sent_Images(*status.Last_Success);
        const TConfig_Images now = Make_Config_Data(Join_Path(confDir, ParGen_File_Name));
        if (sent.Param_Block == now.Param_Block && sent.Bank_Image == now.Bank_Image) {
            status.State = TSend_State::In_Sync;
        } else {
            status.State = TSend_State::Changed;
            status.Changed = Changed_Keys(sent, now);
        }
    } catch (const EQuillon_Error &error) {
        // What cannot be compared is never in sync.
        status.State = TSend_State::Changed;
        status.Problems.append(error.Text());
    }
    return status;
}

std::optional<TSent_Run> Last_Success(const QString &confDir)
{
    for (const QString &id : Sent_Run_Ids(confDir)) {
        TSent_Run run = Read_Sent_Run(confDir, id);
        if (run.Problem.isEmpty() && run.Sent_Configuration() && run.Ending == TRun_Ending::Success)
            return run;
    }
    return std::nullopt;
}

std::optional<TAddress_Holder> Last_Sent_To(const TWorkspace &workspace, const QString &address)
{
    std::optional<TAddress_Holder> found;
    const QDir projects(workspace.Projects_Dir);
    for (const QString &name : projects.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const TConfiguration configuration = Configuration_Of(workspace, name);
        for (const QString &id : Sent_Run_Ids(configuration.Dir)) {
            TSent_Run run = Read_Sent_Run(configuration.Dir, id);
            if (!run.Problem.isEmpty() || !run.Sent_Configuration() || run.Ending != TRun_Ending::Success)
                continue;
            if (run.Target != address && run.Device_Address != address)
                continue;
            // This configuration's newest success there; the newest of all configurations' holds the device.
            if (!found || run.Started > found->Run.Started)
                found = TAddress_Holder{configuration, run};
            break;
        }
    }
    return found;
}
