#include "USettings.h"

#include "UAtomic_File.h"
#include "URegular_File.h"
#include "UXml_Document.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString Root_Name = QStringLiteral("Conf_Settings");

struct TSetting_Text
{
    const char *Group;
    const char *Leaf;
    QString TSettings::*Value;
    const QString *Default;
};

struct TSetting_Flag
{
    const char *Leaf;
    bool TSettings::*Value;
};

const QString Empty_Text;

// The settings file's elements in file order: three text values, then the four flags inside lastinternet.
const TSetting_Text Text_Settings[] = {
    {"lastproj", "projectname", &TSettings::Conf_Name, &Empty_Text},
    {"lastipadd", "ipaddress", &TSettings::Last_IP_Address, &Default_IP_Address},
    {"lastlang", "language", &TSettings::Language_Name, &Default_Language},
};
const char *const Flag_Group = "lastinternet";
const TSetting_Flag Flag_Settings[] = {
    {"enable_internet", &TSettings::Enable_Internet},
    {"enable_update", &TSettings::Enable_Update},
    {"enable_jump_field_tables", &TSettings::Enable_Jump_Field_Tables},
    {"Double_Click_Auto_Size", &TSettings::Enable_Double_Click_Auto_Size},
};
// After the flags, so that a reader that knows only the elements above finds them where it expects them.
const char *const Port_Group = "lastport";
const char *const Port_Leaf = "portname";
// Last of all, and only when it is not the default: an older reader finds its file as it knew it.
const char *const Look_Group = "lastlook";
const char *const Look_Leaf = "look";

} // namespace

QString Settings_File_Path(const QString &programDir)
{
    return Join_Path(programDir, Settings_File_Name);
}

TSettings Apply_Settings(const TXml_Document &xml)
{
    TSettings settings;
    const QDomElement root = xml.Root();
    // Each value on its own: a missing group or leaf gives only that value its default.
    for (const TSetting_Text &setting : Text_Settings) {
        const QDomElement leaf =
            Find_Child(Find_Child(root, QLatin1String(setting.Group)), QLatin1String(setting.Leaf));
        settings.*setting.Value = leaf.isNull() ? *setting.Default : Element_Text(leaf);
    }
    const QDomElement flags = Find_Child(root, QLatin1String(Flag_Group));
    for (const TSetting_Flag &flag : Flag_Settings)
        settings.*flag.Value = Element_Text(Find_Child(flags, QLatin1String(flag.Leaf))) == u"1";
    settings.Last_Serial_Port =
        Element_Text(Find_Child(Find_Child(root, QLatin1String(Port_Group)), QLatin1String(Port_Leaf)));
    // A look this version does not know (a later one's) gives the default.
    const QString look =
        Element_Text(Find_Child(Find_Child(root, QLatin1String(Look_Group)), QLatin1String(Look_Leaf))).trimmed();
    settings.Look_Choice = Look_Choice_Names.contains(look) ? look : Look_Choice_Names.first();
    return settings;
}

QString Read_Settings(const QString &programDir, TXml_Document &xml, TSettings &settings)
{
    const QString path = Settings_File_Path(programDir);
    settings = TSettings();
    if (!QFileInfo::exists(path))
        return QString();
    const QString backup = path + QStringLiteral(".bak");
    QByteArray bytes;
    try {
        bytes = Read_Regular_File(path, Xml_File_Limit);
    } catch (const EQuillon_Error &error) {
        xml.Activate();
        // A regular file that cannot be read (too large, say) is moved aside whole rather than copied;
        // anything that is not a regular file is left where it is.
        if (QFileInfo(path).isFile()) {
            // An older backup gives way only when the move needs its place.
            if (!QFile::rename(path, backup) && !(QFile::remove(backup) && QFile::rename(path, backup)))
                return error.Text() +
                       QStringLiteral("\nIt could not be kept as %1.").arg(QDir::toNativeSeparators(backup));
        }
        return error.Text();
    }
    // Whatever stops the reader (a parse error, or even memory running out), the start goes on with the
    // defaults and the unreadable file is kept before the next save replaces it.
    QString failure;
    try {
        xml.Load_Bytes(bytes, QDir::toNativeSeparators(path));
    } catch (const EQuillon_Error &error) {
        failure = error.Text();
    } catch (const std::exception &error) {
        failure = QStringLiteral("%1 cannot be read: %2")
                      .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(error.what()));
    }
    if (!failure.isEmpty()) {
        xml.Activate();
        try {
            Save_Bytes_Atomically(backup, bytes);
        } catch (const EQuillon_Error &backupError) {
            return failure + QStringLiteral("\nIt could not be kept: ") + backupError.Text();
        }
        return failure;
    }
    settings = Apply_Settings(xml);
    return QString();
}

void Build_Settings(TXml_Document &xml, const TSettings &settings)
{
    xml.Clear();
    QDomElement root = xml.Add_Root(Root_Name);
    for (const TSetting_Text &setting : Text_Settings) {
        QDomElement group = Add_Child(root, QLatin1String(setting.Group));
        Add_Child(group, QLatin1String(setting.Leaf), settings.*setting.Value);
    }
    QDomElement flags = Add_Child(root, QLatin1String(Flag_Group));
    for (const TSetting_Flag &flag : Flag_Settings)
        Add_Child(flags, QLatin1String(flag.Leaf), settings.*flag.Value ? QStringLiteral("1") : QStringLiteral("0"));
    // Only once a port was used: a file that never saw an update keeps its earlier form.
    if (!settings.Last_Serial_Port.isEmpty()) {
        QDomElement port = Add_Child(root, QLatin1String(Port_Group));
        Add_Child(port, QLatin1String(Port_Leaf), settings.Last_Serial_Port);
    }
    if (settings.Look_Choice != Look_Choice_Names.first()) {
        QDomElement look = Add_Child(root, QLatin1String(Look_Group));
        Add_Child(look, QLatin1String(Look_Leaf), settings.Look_Choice);
    }
}

void Save_Setting(const QString &programDir, TXml_Document &xml, const TSettings &settings)
{
    Build_Settings(xml, settings);
    xml.Save_File(Settings_File_Path(programDir));
}

TSettings Merge_Settings(const TSettings &baseline, const TSettings &mine, const TSettings &onDisk)
{
    TSettings merged = onDisk;
    const auto take = [&](auto TSettings::*value) {
        if (mine.*value != baseline.*value)
            merged.*value = mine.*value;
    };
    for (const TSetting_Text &setting : Text_Settings)
        take(setting.Value);
    for (const TSetting_Flag &flag : Flag_Settings)
        take(flag.Value);
    take(&TSettings::Last_Serial_Port);
    take(&TSettings::Look_Choice);
    return merged;
}

TSettings Save_Merged_Settings(const QString &programDir, TXml_Document &xml, const TSettings &baseline,
                               const TSettings &mine)
{
    TXml_Document current;
    TSettings onDisk;
    // What cannot be read now was not written by a window of ours; it is kept aside as at start.
    Read_Settings(programDir, current, onDisk);
    const TSettings merged = Merge_Settings(baseline, mine, onDisk);
    Save_Setting(programDir, xml, merged);
    return merged;
}
