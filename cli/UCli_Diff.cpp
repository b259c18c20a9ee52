// quillon-cli diff: two configurations or images compared field by field.

#include "UCli_Diff.h"
#include "UCli_Command.h"

#include "UGround.h"
#include "UWorkspace.h"
#include "UImage_Keys.h"
#include "UParGen_File.h"
#include "URegular_File.h"
#include "USaveBincc.h"
#include "USent_Record.h"
#include "UXml_Document.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <iterator>
#include <optional>

QString Value_Of(const QList<TKey_Value> &values, const QString &key)
{
    for (const TKey_Value &value : values) {
        if (value.Key == key)
            return value.Value;
    }
    return QString();
}

bool Holds(const QList<TKey_Value> &values, const QString &key)
{
    for (const TKey_Value &value : values) {
        if (value.Key == key)
            return true;
    }
    return false;
}

namespace {

// What a stored value of key means: a list's item, a flag's state, a rate no list entry has; else the value
// itself. Null for a value not held.
QString Meaning(const QString &key, const QString &value)
{
    if (value.isNull())
        return QString();
    if (const TSettings_List *list = Settings_List_Of(key)) {
        if (value.startsWith(QLatin1String("rate ")))
            return value.mid(5) + QStringLiteral(" bit/s, no entry of the list");
        bool number = false;
        const int index = value.toInt(&number);
        const QString item = number ? List_Item_Text(*list, index) : QString();
        return item.isEmpty() ? QStringLiteral("not in the list") : item;
    }
    if (Is_Flag_Key(key) && (value == u"0" || value == u"1"))
        return value == u"1" ? QStringLiteral("on") : QStringLiteral("off");
    return value;
}

// One stored value as the text output shows it: a list's index with its item ("3 (9600 bit/s)", "1 (EVEN)").
QString Shown_One(const QString &key, const QString &value)
{
    if (!Settings_List_Of(key))
        return value;
    if (value.startsWith(QLatin1String("rate ")))
        return value.mid(5) + QStringLiteral(" bit/s (no entry of the list)");
    const QString meaning = Meaning(key, value);
    const bool rate = key.endsWith(QLatin1String("_Baud")) && meaning != u"not in the list";
    return QStringLiteral("%1 (%2%3)").arg(value, meaning, rate ? QStringLiteral(" bit/s") : QString());
}

TField_Value Field_Value(const QString &key, const QList<TKey_Value> &values)
{
    for (const TKey_Value &value : values) {
        if (value.Key == key)
            return {value.Value, value.Bank_Value, Meaning(key, value.Value)};
    }
    return {};
}

QString Shown(const QString &key, const TField_Value &value, const QString &none)
{
    if (value.Stored.isNull())
        return none;
    const QString shown = Shown_One(key, value.Stored);
    return value.Bank_Stored.isNull()
               ? shown
               : QStringLiteral("%1 (bank.bin: %2)").arg(shown, Shown_One(key, value.Bank_Stored));
}

// A stored value in JSON: a number where the text is one as written, else the text; null when not held.
QJsonValue Json_Value(const QString &text)
{
    if (text.isNull())
        return QJsonValue();
    bool number = false;
    const qint64 value = text.toLongLong(&number);
    return number && QString::number(value) == text ? QJsonValue(value) : QJsonValue(text);
}

QJsonObject Json_Difference(const TDifference &difference)
{
    QJsonObject object{{QStringLiteral("key"), difference.Field}};
    const auto side = [&object](const QString &name, const TField_Value &value) {
        object.insert(name, Json_Value(value.Stored));
        object.insert(name + QStringLiteral("_text"),
                      value.Meaning.isNull() ? QJsonValue() : QJsonValue(value.Meaning));
        if (!value.Bank_Stored.isNull())
            object.insert(name + QStringLiteral("_bank_bin"), Json_Value(value.Bank_Stored));
    };
    side(QStringLiteral("a"), difference.A_Value);
    side(QStringLiteral("b"), difference.B_Value);
    return object;
}

} // namespace

QList<TDifference> Differences(const QList<TKey_Value> &a, const QList<TKey_Value> &b, bool common, const QString &none)
{
    QList<TDifference> found;
    QStringList fields;
    for (const TKey_Value &value : a)
        fields << value.Key;
    for (const TKey_Value &value : b) {
        if (!fields.contains(value.Key))
            fields << value.Key;
    }
    const auto same = [](const QString &x, const QString &y) { return x == y && x.isNull() == y.isNull(); };
    for (const QString &field : std::as_const(fields)) {
        if (common && !(Holds(a, field) && Holds(b, field)))
            continue;
        const TField_Value va = Field_Value(field, a);
        const TField_Value vb = Field_Value(field, b);
        if (!same(va.Stored, vb.Stored) || !same(va.Bank_Stored, vb.Bank_Stored))
            found.append({field, Shown(field, va, none), Shown(field, vb, none), va, vb});
    }
    return found;
}

namespace {

// One side of a comparison: a configuration (both images built, its device type, its texts) or one image.
struct TSide
{
    QString Name;
    bool Config = false;
    QByteArray Bank;  // 17 or 4 bytes, or empty
    QByteArray BankK; // 2048 bytes, or empty
    QString Device_Type;
    QList<TKey_Value> Texts; // as written, for --raw
};

std::optional<TSide> Read_Side(const QString &path, bool raw, QTextStream &err)
{
    TSide side;
    side.Name = path;
    const QFileInfo info(path);
    try {
        if (info.isDir()) {
            side.Config = true;
            const QString parGen = Join_Path(path, ParGen_File_Name);
            // Without ParGen.xml a configuration still builds (the defaults); without it and without images a
            // directory is none.
            if (!QFileInfo::exists(parGen) && !QFileInfo(parGen).isSymLink() &&
                !QFileInfo::exists(Bank_File_Path(path)) && !QFileInfo::exists(BankK_File_Path(path)))
                throw EQuillon_Error(QStringLiteral("%1 is not a configuration: it holds neither %2 nor "
                                                    "bin/bank.bin or bin/bankK.bin")
                                         .arg(Native(path), ParGen_File_Name));
            TXml_Document xml;
            const bool exists = Load_ParGen_File(xml, parGen);
            if (!exists)
                err << "quillon-cli: no " << ParGen_File_Name << " in " << Native(path) << ": the defaults were used\n";
            if (raw) {
                const TParGen_Reader reader(xml.Root());
                for (const QString &key : ParGen_Keys) {
                    const QString text = reader.Text(key);
                    // A key that is not there holds no value; an empty one holds the empty text.
                    side.Texts.append({key, !(exists && reader.Has(key)) ? QString()
                                            : text.isNull()              ? QStringLiteral("")
                                                                         : text});
                }
                return side;
            }
            const TConfig_Images images = Make_Config_Data(parGen);
            side.Bank = images.Param_Block;
            side.BankK = images.Bank_Image;
            side.Device_Type = exists && TParGen_Reader(xml.Root()).Flag(QStringLiteral("Device_Type_Type"))
                                   ? QStringLiteral("1")
                                   : QStringLiteral("0");
            return side;
        }
        if (!info.exists())
            throw EQuillon_Error(QStringLiteral("%1 does not exist").arg(Native(path)));
        const QByteArray bytes = Read_Regular_File(path, Config_Bank_Size);
        if (bytes.size() == Config_Bank_Size) {
            if (const QString problem = Checksum_Problem(bytes); !problem.isEmpty())
                throw EQuillon_Error(QStringLiteral("%1 is damaged: %2").arg(Native(path), problem));
            side.BankK = bytes;
        } else if ((bytes.size() == Param_Block_Size || bytes.size() == Param_Header_Size) &&
                   uint8_t(bytes[0]) == Param_Header_Size && !bytes[1] && !bytes[2] && !bytes[3]) {
            side.Bank = bytes;
        } else {
            throw EQuillon_Error(QStringLiteral("%1 is neither a configuration directory nor a bank.bin or bankK.bin")
                                     .arg(Native(path)));
        }
    } catch (const EQuillon_Error &error) {
        err << "quillon-cli: " << error.Text() << '\n';
        return std::nullopt;
    }
    return side;
}

// A side's fields for the images named; a configuration adds its device type.
QList<TKey_Value> Side_Fields(const TSide &side, bool bank, bool bankK)
{
    QList<TKey_Value> fields;
    if (side.Config)
        fields.append({QStringLiteral("Device_Type_Type"), side.Device_Type});
    fields += Image_Key_Values(bank ? side.Bank : QByteArray(), bankK ? side.BankK : QByteArray());
    if (bank && !side.Bank.isEmpty())
        fields.append({QStringLiteral("bank.bin parameters"), side.Bank.size() == Param_Block_Size
                                                                  ? QStringLiteral("present")
                                                                  : QStringLiteral("none (header only)")});
    return fields;
}

// The images the configuration's last successful update sent, as a configuration side of that time.
std::optional<TSide> Sent_Side(const QString &confDir, QTextStream &err)
{
    const std::optional<TSent_Run> run = Last_Success(confDir);
    if (!run) {
        err << "quillon-cli: " << Native(confDir) << " was never sent successfully\n";
        return std::nullopt;
    }
    TSide side;
    side.Name = run->Dir;
    side.Config = true;
    try {
        const TConfig_Images images = Sent_Images(*run);
        side.Bank = images.Param_Block;
        side.BankK = images.Bank_Image;
        side.Device_Type = QString::number(Get_DevideType(Join_Path(run->Dir, ParGen_File_Name)));
    } catch (const EQuillon_Error &error) {
        err << "quillon-cli: " << error.Text() << '\n';
        return std::nullopt;
    }
    return side;
}

} // namespace

int Cli_Diff(const TCli_Call &call)
{
    const bool sent = call.Has(Opt_Sent);
    if (call.Arguments.size() != (sent ? 1 : 2))
        return Usage(call.Err, sent ? QStringLiteral("diff --sent needs one CONFIG_DIR")
                                    : QStringLiteral("diff needs A B"));
    if (sent && call.Has(Opt_Raw))
        return Usage(call.Err, QStringLiteral("--raw and --sent do not go together"));
    const QString a = sent ? Named_Config_Dir(call, call.Arguments[0]) : call.Arguments[0];
    const QString &b = sent ? a : call.Arguments[1];
    const bool raw = call.Has(Opt_Raw);
    const bool json = call.Has(Opt_Json);
    QTextStream &out = call.Out;
    QTextStream &err = call.Err;
    if (sent && !QFileInfo(a).isDir())
        return Usage(err, QStringLiteral("%1 is not a directory").arg(Native(a)));
    const std::optional<TSide> left = sent ? Sent_Side(a, err) : Read_Side(a, raw, err);
    const std::optional<TSide> right = Read_Side(b, raw, err);
    if (!left || !right)
        return Exit_Usage;
    QList<TDifference> differences;
    if (raw) {
        if (!left->Config || !right->Config)
            return Usage(err, QStringLiteral("--raw compares two configuration directories"));
        differences = Differences(left->Texts, right->Texts, false, QStringLiteral("(missing)"));
    } else {
        // Like is compared with like: a configuration meets an image through the image of that kind it builds.
        const bool bank = !left->Bank.isEmpty() && !right->Bank.isEmpty();
        const bool bankK = !left->BankK.isEmpty() && !right->BankK.isEmpty();
        QList<TKey_Value> fa;
        QList<TKey_Value> fb;
        bool common = false;
        if (bank || bankK) {
            fa = Side_Fields(*left, bank, bankK);
            fb = Side_Fields(*right, bank, bankK);
            if (left->Config != right->Config) {
                fa.removeIf([](const TKey_Value &v) { return v.Key == u"Device_Type_Type"; });
                fb.removeIf([](const TKey_Value &v) { return v.Key == u"Device_Type_Type"; });
            }
        } else {
            // A bank.bin against a bankK.bin: the keys both hold.
            fa = Side_Fields(*left, true, true);
            fb = Side_Fields(*right, true, true);
            common = true;
        }
        if (bankK) {
            QList<TKey_Value> rightBytes;
            fa += Uncovered_Differences(left->BankK, right->BankK, &rightBytes);
            fb += rightBytes;
        }
        differences = Differences(fa, fb, common);
    }
    if (json) {
        QJsonArray array;
        for (const TDifference &difference : std::as_const(differences))
            array.append(Json_Difference(difference));
        out << QJsonDocument(array).toJson(QJsonDocument::Indented);
    } else {
        for (const TDifference &difference : std::as_const(differences))
            out << difference.Field << ": " << difference.A << " -> " << difference.B << '\n';
    }
    return differences.isEmpty() ? Exit_Ok : Exit_Failed;
}
