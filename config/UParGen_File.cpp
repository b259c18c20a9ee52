#include "UParGen_File.h"

#include "UGround.h"
#include "ULanguage.h"
#include "URegular_File.h"
#include "USaveBincc.h"
#include "UXml_Document.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

const QStringList ParGen_Keys = {
    QStringLiteral("Device_Type_Type"), QStringLiteral("Port_0_Baud"),      QStringLiteral("Port_0_Par"),
    QStringLiteral("Port_0_DevID"),     QStringLiteral("Port_0_BroadCast"), QStringLiteral("Port_1_Port"),
    QStringLiteral("Port_1_Baud"),      QStringLiteral("Port_1_Par"),       QStringLiteral("Port_1_DevID"),
    QStringLiteral("Port_1_BroadCast"), QStringLiteral("Opt_Off_Reg"),      QStringLiteral("Opt_Off_Status"),
    QStringLiteral("Ethernet_IP1"),     QStringLiteral("Ethernet_IP2"),     QStringLiteral("Ethernet_IP3"),
    QStringLiteral("Ethernet_IP4"),     QStringLiteral("Ethernet_SM1"),     QStringLiteral("Ethernet_SM2"),
    QStringLiteral("Ethernet_SM3"),     QStringLiteral("Ethernet_SM4"),     QStringLiteral("Ethernet_GAT1"),
    QStringLiteral("Ethernet_GAT2"),    QStringLiteral("Ethernet_GAT3"),    QStringLiteral("Ethernet_GAT4"),
    QStringLiteral("Ethernet_EN_GAT"),
};

const QStringList Device_Type_Items = {QStringLiteral("Without Ethernet Port"), QStringLiteral("With Ethernet Port")};
const QStringList Baud_Rate_Items = [] {
    QStringList items;
    for (uint32_t rate : Baud_Rates)
        items << QString::number(rate);
    return items;
}();
const QStringList Parity_Items = {QStringLiteral("NONE"), QStringLiteral("EVEN"), QStringLiteral("ODD")};
const QStringList Port_1_Serial_Items = {QStringLiteral("RS232"), QStringLiteral("RS485")};

TParGen_Reader::TParGen_Reader(const QDomElement &root) : Root(root)
{
    if (root.isNull())
        return;
    for (QDomElement child = root.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
        const QString name = child.tagName();
        if (!Children.contains(name))
            Children.insert(name, child);
    }
}

bool TParGen_Reader::Has(const QString &key) const
{
    return Children.contains(key);
}

QString TParGen_Reader::Text(const QString &key) const
{
    return Element_Text(Children.value(key));
}

int TParGen_Reader::Number(const QString &key, int fallback) const
{
    return Has(key) ? Str_To_Int_Def(Text(key), fallback) : fallback;
}

bool TParGen_Reader::Flag(const QString &key) const
{
    return Has(key) && Text(key) == u"1";
}

TParGen_Fields Form_Initial_Fields()
{
    return TParGen_Fields();
}

TParGen_Fields No_File_Fields()
{
    TParGen_Fields f;
    f.Device_Type_Type = 1;
    f.Port_0_Baud = 7;
    f.Port_0_Par = 0;
    f.Port_0_DevID = QStringLiteral("1");
    f.Port_0_BroadCast = false;
    f.Port_1_Port = 1;
    f.Port_1_Baud = 7;
    f.Port_1_Par = 0;
    f.Port_1_DevID = QStringLiteral("1");
    f.Port_1_BroadCast = false;
    f.Opt_Off_Reg = QStringLiteral("0");
    f.Opt_Off_Status = QStringLiteral("0");
    const char *ip[4] = {"192", "168", "0", "10"};
    const char *sm[4] = {"255", "255", "255", "0"};
    const char *gat[4] = {"192", "168", "0", "1"};
    for (int i = 0; i < 4; ++i) {
        f.Ethernet_IP[i] = QLatin1String(ip[i]);
        f.Ethernet_SM[i] = QLatin1String(sm[i]);
        f.Ethernet_GAT[i] = QLatin1String(gat[i]);
    }
    f.Ethernet_EN_GAT = false;
    return f;
}

namespace {

// A drop-down list's index as the dialog selects it: a number outside the list leaves no selection.
int List_Index(const TParGen_Reader &reader, const QString &key, int keyMissing, qsizetype itemCount)
{
    const int index = reader.Number(key, keyMissing);
    return index >= 0 && index < itemCount ? index : -1;
}

QString Field_Text(const TParGen_Reader &reader, const QString &key, const QString &keyMissing)
{
    return reader.Has(key) ? reader.Text(key) : keyMissing;
}

} // namespace

QString Octet_Key(const char *row, int byte)
{
    return QStringLiteral("Ethernet_%1%2").arg(QLatin1String(row)).arg(byte + 1);
}

bool Load_ParGen_File(TXml_Document &xml, const QString &parGenFile)
{
    if (!QFileInfo::exists(parGenFile))
        return false;
    xml.Load_File(parGenFile);
    return true;
}

TParGen_Fields ParGen_Fields_From(const TXml_Document &xml)
{
    const TParGen_Reader r(xml.Root());
    // Key missing values: those of a new configuration, except the device type (index 0).
    const TParGen_Fields d = No_File_Fields();
    TParGen_Fields f;
    f.Device_Type_Type = List_Index(r, QStringLiteral("Device_Type_Type"), 0, Device_Type_Items.size());
    f.Port_0_Baud = List_Index(r, QStringLiteral("Port_0_Baud"), d.Port_0_Baud, Baud_Rate_Items.size());
    f.Port_0_Par = List_Index(r, QStringLiteral("Port_0_Par"), d.Port_0_Par, Parity_Items.size());
    f.Port_0_DevID = Field_Text(r, QStringLiteral("Port_0_DevID"), d.Port_0_DevID);
    f.Port_0_BroadCast = r.Flag(QStringLiteral("Port_0_BroadCast"));
    f.Port_1_Port = List_Index(r, QStringLiteral("Port_1_Port"), d.Port_1_Port, Port_1_Serial_Items.size());
    f.Port_1_Baud = List_Index(r, QStringLiteral("Port_1_Baud"), d.Port_1_Baud, Baud_Rate_Items.size());
    f.Port_1_Par = List_Index(r, QStringLiteral("Port_1_Par"), d.Port_1_Par, Parity_Items.size());
    f.Port_1_DevID = Field_Text(r, QStringLiteral("Port_1_DevID"), d.Port_1_DevID);
    f.Port_1_BroadCast = r.Flag(QStringLiteral("Port_1_BroadCast"));
    f.Opt_Off_Reg = Field_Text(r, QStringLiteral("Opt_Off_Reg"), d.Opt_Off_Reg);
    f.Opt_Off_Status = Field_Text(r, QStringLiteral("Opt_Off_Status"), d.Opt_Off_Status);
    for (int i = 0; i < 4; ++i) {
        f.Ethernet_IP[i] = Field_Text(r, Octet_Key("IP", i), d.Ethernet_IP[i]);
        f.Ethernet_SM[i] = Field_Text(r, Octet_Key("SM", i), d.Ethernet_SM[i]);
        f.Ethernet_GAT[i] = Field_Text(r, Octet_Key("GAT", i), d.Ethernet_GAT[i]);
    }
    f.Ethernet_EN_GAT = r.Flag(QStringLiteral("Ethernet_EN_GAT"));
    return f;
}

TParGen_Fields Load_ParGen_Fields(TXml_Document &xml, const QString &parGenFile)
{
    return Load_ParGen_File(xml, parGenFile) ? ParGen_Fields_From(xml) : No_File_Fields();
}

TParGen_Snapshot ParGen_Snapshot(const QString &parGenFile)
{
    if (!QFileInfo::exists(parGenFile))
        return std::nullopt;
    try {
        return Read_Regular_File(parGenFile, Xml_File_Limit);
    } catch (const EQuillon_Error &) {
        // Nothing that can be read as ParGen.xml (a directory, a device, a file over the limit) holds values to
        // lose; the write reports what stands in its way.
        return std::nullopt;
    }
}

TParGen_Fields Load_ParGen_Fields(TXml_Document &xml, const QString &parGenFile, TParGen_Snapshot &snapshot)
{
    snapshot.reset();
    if (!QFileInfo::exists(parGenFile))
        return No_File_Fields();
    const QByteArray bytes = Read_Regular_File(parGenFile, Xml_File_Limit);
    snapshot = bytes;
    xml.Load_Bytes(bytes, QDir::toNativeSeparators(parGenFile));
    return ParGen_Fields_From(xml);
}

bool ParGen_Changed_Since(const TParGen_Snapshot &snapshot, const QString &parGenFile)
{
    return ParGen_Snapshot(parGenFile) != snapshot;
}

void Build_ParGen(TXml_Document &xml, const TParGen_Fields &f)
{
    const auto index = [](int i) { return QString::number(i); };
    const auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
    const QStringList values = {
        index(f.Device_Type_Type),
        index(f.Port_0_Baud),
        index(f.Port_0_Par),
        f.Port_0_DevID,
        flag(f.Port_0_BroadCast),
        index(f.Port_1_Port),
        index(f.Port_1_Baud),
        index(f.Port_1_Par),
        f.Port_1_DevID,
        flag(f.Port_1_BroadCast),
        f.Opt_Off_Reg,
        f.Opt_Off_Status,
        f.Ethernet_IP[0],
        f.Ethernet_IP[1],
        f.Ethernet_IP[2],
        f.Ethernet_IP[3],
        f.Ethernet_SM[0],
        f.Ethernet_SM[1],
        f.Ethernet_SM[2],
        f.Ethernet_SM[3],
        f.Ethernet_GAT[0],
        f.Ethernet_GAT[1],
        f.Ethernet_GAT[2],
        f.Ethernet_GAT[3],
        flag(f.Ethernet_EN_GAT),
    };
    Q_ASSERT(values.size() == ParGen_Keys.size());
    xml.Clear();
    QDomElement root = xml.Add_Root(ParGen_Root);
    xml.Append_Comment(ParGen_Comment);
    for (qsizetype i = 0; i < ParGen_Keys.size(); ++i)
        Add_Child(root, ParGen_Keys[i], values[i]);
}

void Save_ParGen(TXml_Document &xml, const TParGen_Fields &fields, const QString &parGenFile)
{
    Build_ParGen(xml, fields);
    xml.Save_File(parGenFile);
}

namespace {

// A field's text as the range check reads it: text that does not convert as a whole counts as -1.
bool In_Range(const QString &text, int low, int high)
{
    const int value = Str_To_Int_Def(text, -1);
    return value >= low && value <= high;
}

} // namespace

QString Rule_Entry_Key(int entry)
{
    // The range rules' entries, 476 to 491, in the order of Controllo_Dati_Failure's table.
    static const QStringList keys = {
        QStringLiteral("Port_0_DevID"), QStringLiteral("Port_1_DevID"), QStringLiteral("Opt_Off_Reg"),
        QStringLiteral("Opt_Off_Status"), Octet_Key("IP", 0), Octet_Key("IP", 1), Octet_Key("IP", 2),
        Octet_Key("IP", 3), Octet_Key("SM", 0), Octet_Key("SM", 1), Octet_Key("SM", 2), Octet_Key("SM", 3),
        Octet_Key("GAT", 0), Octet_Key("GAT", 1), Octet_Key("GAT", 2), Octet_Key("GAT", 3),
    };
    return entry >= 476 && entry < 476 + keys.size() ? keys[entry - 476] : QString();
}

int Controllo_Dati_Failure(const TParGen_Fields &f)
{
    enum TApplies
    {
        Always,
        Ethernet_Shown,
        Gateway_Ticked
    };
    struct TRule
    {
        TApplies Applies;
        const QString &Text;
        int Low;
        int High;
        int Entry;
    };
    // Tested in this order; the first failing rule is the one reported.
    const TRule rules[] = {
        {Always, f.Port_0_DevID, 1, 250, 476},
        {Always, f.Port_1_DevID, 1, 250, 477},
        {Always, f.Opt_Off_Reg, 0, 61535, 478},
        {Always, f.Opt_Off_Status, 0, 61535, 479},
        {Ethernet_Shown, f.Ethernet_IP[0], 0, 255, 480},
        {Ethernet_Shown, f.Ethernet_IP[1], 0, 255, 481},
        {Ethernet_Shown, f.Ethernet_IP[2], 0, 255, 482},
        {Ethernet_Shown, f.Ethernet_IP[3], 0, 255, 483},
        {Ethernet_Shown, f.Ethernet_SM[0], 0, 255, 484},
        {Ethernet_Shown, f.Ethernet_SM[1], 0, 255, 485},
        {Ethernet_Shown, f.Ethernet_SM[2], 0, 255, 486},
        {Ethernet_Shown, f.Ethernet_SM[3], 0, 255, 487},
        {Gateway_Ticked, f.Ethernet_GAT[0], 0, 255, 488},
        {Gateway_Ticked, f.Ethernet_GAT[1], 0, 255, 489},
        {Gateway_Ticked, f.Ethernet_GAT[2], 0, 255, 490},
        {Gateway_Ticked, f.Ethernet_GAT[3], 0, 255, 491},
    };
    // The Ethernet category is shown for every device type but the first.
    const bool ethernetShown = f.Device_Type_Type != 0;
    for (const TRule &rule : rules) {
        const bool applies =
            rule.Applies == Always || (ethernetShown && (rule.Applies == Ethernet_Shown || f.Ethernet_EN_GAT));
        if (applies && !In_Range(rule.Text, rule.Low, rule.High))
            return rule.Entry;
    }
    return 0;
}

const TSettings_List Settings_Lists[6] = {
    {"Device_Type_Type", 1133, Device_Type_Items, &TParGen_Fields::Device_Type_Type},
    {"Port_0_Baud", 1134, Baud_Rate_Items, &TParGen_Fields::Port_0_Baud},
    {"Port_0_Par", 1135, Parity_Items, &TParGen_Fields::Port_0_Par},
    {"Port_1_Port", 1136, Port_1_Serial_Items, &TParGen_Fields::Port_1_Port},
    {"Port_1_Baud", 1137, Baud_Rate_Items, &TParGen_Fields::Port_1_Baud},
    {"Port_1_Par", 1138, Parity_Items, &TParGen_Fields::Port_1_Par},
};

const TSettings_List *Settings_List_Of(const QString &key)
{
    for (const TSettings_List &list : Settings_Lists) {
        if (key == QLatin1String(list.Key))
            return &list;
    }
    return nullptr;
}

int List_Value_Index(const TSettings_List &list, const QString &value)
{
    const QString given = value.trimmed();
    for (qsizetype i = 0; i < list.Items.size(); ++i) {
        if (given.compare(list.Items[i], Qt::CaseInsensitive) == 0)
            return int(i);
    }
    // An index in plain digits only: "+1", " 0x1" or "1e0" are no way a person writes one.
    const bool digits = !given.isEmpty() && given.size() <= 3 &&
                        std::all_of(given.begin(), given.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    const int index = digits ? given.toInt() : -1;
    return index < list.Items.size() ? index : -1;
}

QString List_Item_Text(const TSettings_List &list, int index)
{
    return index >= 0 && index < list.Items.size() ? list.Items[index] : QString();
}

QString List_Choices(const TSettings_List &list)
{
    return QStringLiteral("%1 (or their index, 0 to %2)")
        .arg(list.Items.join(QStringLiteral(", ")))
        .arg(list.Items.size() - 1);
}

QString List_Selection_Failure(const TParGen_Fields &fields, TText_Source texts)
{
    for (const TSettings_List &list : Settings_Lists) {
        const int index = fields.*list.Field;
        if (index < 0 || index >= list.Items.size())
            return texts(1132).arg(texts(list.Name_Entry));
    }
    return QString();
}

TSend_Verdict Send_Verdict(const TXml_Document *xml, TText_Source texts)
{
    if (!xml)
        return {texts(1127), 0, QString()};
    const TParGen_Reader reader(xml->Root());
    // A list index outside its list makes the two images disagree (bank.bin keeps the raw index, bankK.bin
    // falls back to a default), and a missing one is no choice the dialog ever wrote.
    for (const TSettings_List &list : Settings_Lists) {
        const QString key = QLatin1String(list.Key);
        const QString shown = texts(list.Name_Entry);
        if (!reader.Has(key))
            return {texts(1128).arg(shown, key), 0, key};
        int index = 0;
        if (!Try_Str_To_Int(reader.Text(key), index))
            return {texts(1129).arg(shown, reader.Text(key)), 0, key};
        if (index < 0 || index >= list.Items.size())
            return {texts(1130).arg(shown, QString::number(index)), 0, key};
    }
    // bank.bin takes a broadcast key as a number and bankK.bin as "1" or not: only "0" and "1" mean the same
    // in both. The gateway flag is refused alike, since "true" or " 1" would silently turn the gateway off.
    const struct
    {
        const char *Key;
        int Shown;
    } flags[] = {{"Port_0_BroadCast", 1139}, {"Port_1_BroadCast", 1140}, {"Ethernet_EN_GAT", 1141}};
    for (const auto &flag : flags) {
        const QString key = QLatin1String(flag.Key);
        if (reader.Has(key) && reader.Text(key) != u"0" && reader.Text(key) != u"1")
            return {texts(1131).arg(texts(flag.Shown), reader.Text(key)), 0, key};
    }
    const int entry = Controllo_Dati_Failure(ParGen_Fields_From(*xml));
    if (entry != 0)
        return {texts(entry), entry, Rule_Entry_Key(entry)};
    return {};
}

TSend_Verdict Send_Verdict_Of_File(const QString &parGenFile, TText_Source texts)
{
    const QFileInfo file(parGenFile);
    if (!file.exists() && !file.isSymLink())
        return Send_Verdict(nullptr, texts);
    try {
        TXml_Document xml;
        xml.Load_Bytes(Read_Regular_File(parGenFile, Xml_File_Limit), QDir::toNativeSeparators(parGenFile));
        return Send_Verdict(&xml, texts);
    } catch (const EQuillon_Error &error) {
        return {error.Text(), 0, QString()};
    }
}

bool Option_Writes_Configuration(int optionIndex)
{
    return optionIndex == 0 || optionIndex == 2;
}

bool Is_Flag_Key(const QString &key)
{
    return key == u"Port_0_BroadCast" || key == u"Port_1_BroadCast" || key == u"Ethernet_EN_GAT";
}
