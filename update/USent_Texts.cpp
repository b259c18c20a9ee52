// The words the windows show for kept runs: the state line, a run's ending and option, the names and values of
// the fields that changed since.

#include "USent_Record.h"

#include "UImage_Keys.h"
#include "UParGen_File.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

// The items the settings dialog captions from the language table, as it captions them; the other lists' items
// (baud rates, RS232/RS485) read the same in every language.
int First_Item_Entry(const QString &key)
{
    if (key == u"Device_Type_Type")
        return 1163;
    if (key == u"Port_0_Par" || key == u"Port_1_Par")
        return 1165;
    return 0;
}

const TKey_Value *Find_Value(const QList<TKey_Value> &values, const QString &key)
{
    const auto found = std::find_if(values.begin(), values.end(), [&](const TKey_Value &v) { return v.Key == key; });
    return found == values.end() ? nullptr : &*found;
}

// A value as the settings dialog shows it: a list's item, Yes or No for a check box, else as stored.
QString Value_Shown(const QString &key, const TKey_Value *value, TText_Source texts)
{
    if (!value || !value->Bank_Value.isNull())
        return QString();
    const QString &stored = value->Value;
    if (const TSettings_List *list = Settings_List_Of(key)) {
        bool number = false;
        const int index = stored.toInt(&number);
        // A rate that is no item of the list is shown as the image holds it ("rate 1234").
        if (!number || index < 0 || index >= list->Items.size())
            return stored;
        const int entry = First_Item_Entry(key);
        return entry != 0 ? texts(entry + index) : list->Items[index];
    }
    if (Is_Flag_Key(key) && (stored == u"0" || stored == u"1"))
        return texts(stored == u"1" ? 1168 : 1169);
    return stored;
}

QString Read_Back_Text(const TSent_Run &run, TText_Source texts)
{
    return texts(run.Read_Back ? 1046 : 1047);
}

} // namespace

QString Shown_Run_Time(const QDateTime &time)
{
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString Run_Ending_Text(const TSent_Run &run, TText_Source texts)
{
    switch (run.Ending) {
    case TRun_Ending::Success:
        return texts(1050);
    case TRun_Ending::Failed:
        if (run.Exit_Code)
            return texts(1051).arg(*run.Exit_Code);
        break;
    case TRun_Ending::Crashed:
        return texts(1052);
    case TRun_Ending::Cancelled:
        return texts(1053);
    case TRun_Ending::Limit:
        return texts(1054);
    case TRun_Ending::Not_Started:
        return texts(1055);
    case TRun_Ending::Unknown:
        break;
    }
    return texts(1056);
}

QString Run_Option_Text(int option, TText_Source texts)
{
    return option >= 0 && option <= 2 ? texts(1015 + option) : QString::number(option);
}

QString Key_Shown_Name(const QString &key, TText_Source texts)
{
    if (const TSettings_List *list = Settings_List_Of(key))
        return texts(list->Name_Entry);
    static const struct
    {
        const char *Key;
        int Entry;
    } names[] = {{"Port_0_BroadCast", 1139},
                 {"Port_1_BroadCast", 1140},
                 {"Ethernet_EN_GAT", 1141},
                 {"Opt_Off_Reg", 427},
                 {"Opt_Off_Status", 429}};
    for (const auto &name : names) {
        if (key == QLatin1String(name.Key))
            return texts(name.Entry);
    }
    // An address byte by the name a screen reader gives its field: "IP Address, byte 2 of 4".
    static const QRegularExpression octet(QStringLiteral(R"(^Ethernet_(IP|SM|GAT)([1-4])$)"));
    if (const QRegularExpressionMatch match = octet.match(key); match.hasMatch()) {
        const QString row = match.captured(1);
        const int field = row == u"IP" ? 432 : row == u"SM" ? 437 : 442;
        return texts(1145).arg(texts(field), match.captured(2));
    }
    return key;
}

QString Send_State_Text(const TConfig_Status &status, TText_Source texts)
{
    const auto target = [](const TSent_Run &run) { return Escaped_Controls(run.Target); };
    switch (status.State) {
    case TSend_State::Never_Sent:
        break;
    case TSend_State::In_Sync:
        if (const std::optional<TSent_Run> &run = status.Last_Success)
            return texts(1044).arg(target(*run), Shown_Run_Time(run->Started), Read_Back_Text(*run, texts));
        break;
    case TSend_State::Changed:
        if (const std::optional<TSent_Run> &run = status.Last_Success) {
            QStringList changed;
            for (const QString &key : status.Changed)
                changed.append(Key_Shown_Name(key, texts));
            // Images that could not be compared: why, where the fields would be named.
            if (changed.isEmpty() && !status.Problems.isEmpty())
                changed.append(Escaped_Controls(status.Problems.last()));
            return texts(1045).arg(target(*run), Shown_Run_Time(run->Started), Read_Back_Text(*run, texts),
                                   changed.join(QStringLiteral(", ")));
        }
        break;
    case TSend_State::Failed:
        if (const std::optional<TSent_Run> &attempt = status.Last_Attempt) {
            const QString ending = Run_Ending_Text(*attempt, texts);
            const QString when = Shown_Run_Time(attempt->Started);
            if (const std::optional<TSent_Run> &success = status.Last_Success)
                return texts(1049).arg(ending, when, target(*success), Shown_Run_Time(success->Started));
            return texts(1048).arg(ending, when);
        }
        break;
    }
    return texts(1043);
}

QList<TKey_Change> Key_Changes(const TConfig_Images &then, const TConfig_Images &now, TText_Source texts)
{
    const QList<TKey_Value> a = Image_Key_Values(then.Param_Block, then.Bank_Image);
    const QList<TKey_Value> b = Image_Key_Values(now.Param_Block, now.Bank_Image);
    QList<TKey_Value> aBytes;
    QList<TKey_Value> bBytes;
    if (then.Bank_Image.size() == Config_Bank_Size && now.Bank_Image.size() == Config_Bank_Size)
        aBytes = Uncovered_Differences(then.Bank_Image, now.Bank_Image, &bBytes);
    QList<TKey_Change> changes;
    for (const QString &key : Changed_Keys(then, now)) {
        const TKey_Value *before = Find_Value(a, key);
        const TKey_Value *after = Find_Value(b, key);
        if (!before && !after) {
            before = Find_Value(aBytes, key);
            after = Find_Value(bBytes, key);
        }
        changes.append({key, Value_Shown(key, before, texts), Value_Shown(key, after, texts)});
    }
    return changes;
}

QString Key_Change_Text(const TKey_Change &change, TText_Source texts)
{
    const QString name = Key_Shown_Name(change.Key, texts);
    if (change.Then.isNull() && change.Now.isNull())
        return name;
    // A side without the field (the gateway's bytes while it is off) shows a dash.
    const auto side = [](const QString &value) { return value.isNull() ? QStringLiteral("\u2013") : value; };
    return QStringLiteral("%1: %2 \u2192 %3").arg(name, side(change.Then), side(change.Now));
}
