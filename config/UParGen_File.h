#pragma once

// ParGen.xml, the communication parameters of one configuration: its keys, the settings dialog's view of
// them (load with the dialog's defaults, save in the fixed key order) and the range rules checked on OK.

#include "ULanguage.h"

#include <QByteArray>
#include <QDomElement>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

class TXml_Document;

inline const QString ParGen_Root = QStringLiteral("Par_Gen");
inline const QString ParGen_Comment = QStringLiteral("SW_VERSION = 2.002");

// The 25 keys in file order.
extern const QStringList ParGen_Keys;

// Item lists of the dialog's drop-down lists (fixed texts, never translated).
extern const QStringList Device_Type_Items;
extern const QStringList Baud_Rate_Items;
extern const QStringList Parity_Items;
extern const QStringList Port_1_Serial_Items;

// What the communication settings dialog shows and saves. A list index of -1 means no selection.
struct TParGen_Fields
{
    int Device_Type_Type = 0;
    int Port_0_Baud = 7;
    int Port_0_Par = 0;
    QString Port_0_DevID = QStringLiteral("1");
    bool Port_0_BroadCast = false;
    int Port_1_Port = 0;
    int Port_1_Baud = 7;
    int Port_1_Par = 0;
    QString Port_1_DevID = QStringLiteral("1");
    bool Port_1_BroadCast = false;
    QString Opt_Off_Reg = QStringLiteral("1");
    QString Opt_Off_Status = QStringLiteral("1");
    QString Ethernet_IP[4] = {QStringLiteral("192"), QStringLiteral("168"), QStringLiteral("0"), QStringLiteral("5")};
    QString Ethernet_SM[4] = {QStringLiteral("192"), QStringLiteral("168"), QStringLiteral("0"), QStringLiteral("5")};
    QString Ethernet_GAT[4] = {QStringLiteral("192"), QStringLiteral("168"), QStringLiteral("0"), QStringLiteral("5")};
    bool Ethernet_EN_GAT = false;

    bool operator==(const TParGen_Fields &) const = default;
};

// Whether key is one of the flags the settings dialog shows as a check box (the broadcasts, the gateway's).
bool Is_Flag_Key(const QString &key);

// The drop-down lists of the settings dialog by their ParGen.xml key, in the dialog's order: the items it lists,
// the language-table entry of the list's name, and the field. ParGen.xml keeps a list's value as the index of
// its item; this one table maps index and item both ways for the dialog's checks and for quillon-cli.
struct TSettings_List
{
    const char *Key;
    int Name_Entry;
    const QStringList &Items;
    int TParGen_Fields::*Field;
};
extern const TSettings_List Settings_Lists[6];
// The list of key, or nullptr when key is no list's.
const TSettings_List *Settings_List_Of(const QString &key);
// A list's value given as the text of one of its items (in any case, blanks around it ignored) or as the
// index of one (decimal digits): the index, or -1 when it is neither.
int List_Value_Index(const TSettings_List &list, const QString &value);
// The text of the item at index, or empty outside the list.
QString List_Item_Text(const TSettings_List &list, int index);
// The choices as a message lists them: "NONE, EVEN, ODD (or their index, 0 to 2)".
QString List_Choices(const TSettings_List &list);

// The key of an address, mask or gateway byte: row "IP", "SM" or "GAT", byte 0 to 3.
QString Octet_Key(const char *row, int byte);

// Loads the ParGen.xml at path into xml; false when there is no such file (every reader then takes its
// no-file behaviour). Throws EQuillon_Error when the file is not well formed.
bool Load_ParGen_File(TXml_Document &xml, const QString &parGenFile);

// The dialog's values before its first load (its design values).
TParGen_Fields Form_Initial_Fields();
// The dialog's values for a configuration without ParGen.xml.
TParGen_Fields No_File_Fields();

// Loads a ParGen.xml as the dialog does: No file values when it does not exist, Key missing values per key.
// Throws EQuillon_Error when the file is not well formed.
TParGen_Fields Load_ParGen_Fields(TXml_Document &xml, const QString &parGenFile);

// What ParGen.xml held when a window read it: its bytes, or none when there was no regular file to read. A writer
// compares it with the file before writing, so that what another program wrote meanwhile is never lost unasked.
using TParGen_Snapshot = std::optional<QByteArray>;
// The snapshot of the file as it is now.
TParGen_Snapshot ParGen_Snapshot(const QString &parGenFile);
// Load_ParGen_Fields, with the snapshot of the very bytes it read. The snapshot is set before the bytes are
// parsed: a file that is not well formed counts as read too.
TParGen_Fields Load_ParGen_Fields(TXml_Document &xml, const QString &parGenFile, TParGen_Snapshot &snapshot);
// Whether the file differs from snapshot now: written, removed or put in place since.
bool ParGen_Changed_Since(const TParGen_Snapshot &snapshot, const QString &parGenFile);
// The key-by-key load from an already loaded document.
TParGen_Fields ParGen_Fields_From(const TXml_Document &xml);

// Builds the 25-key document (root Par_Gen, then the comment) from the fields.
void Build_ParGen(TXml_Document &xml, const TParGen_Fields &fields);
// Builds and saves it, replacing the file atomically; throws EQuillon_Error when it cannot be written.
void Save_ParGen(TXml_Document &xml, const TParGen_Fields &fields, const QString &parGenFile);

// The range check of OK: the language-table entry of the first failing rule, or 0 when every applicable
// rule passes. The Ethernet rules apply while the Ethernet category is shown (device type not index 0),
// the gateway rules only while Gateway is ticked as well.
int Controllo_Dati_Failure(const TParGen_Fields &fields);
// The ParGen.xml key a range rule's entry checks, or empty for another entry.
QString Rule_Entry_Key(int entry);

// The dialog's check before its range rules: a drop-down list without a selection (a hand-edited index outside
// its list loads so) would be saved as -1. The message for the first such list, or empty.
QString List_Selection_Failure(const TParGen_Fields &fields, TText_Source texts = English_Text);

// Reading one key of a loaded ParGen.xml: the element and whether it was there. The keys are found in one pass
// over the root's children, so reading all of them costs one pass, not one per key (provision reads every row).
struct TParGen_Reader
{
    explicit TParGen_Reader(const QDomElement &root);
    bool Has(const QString &key) const;
    QString Text(const QString &key) const;
    // The key's text by the text-to-integer rule; fallback when missing or not a number.
    int Number(const QString &key, int fallback) const;
    // Set exactly when the text is "1".
    bool Flag(const QString &key) const;

    QDomElement Root;

private:
    // The first child element of each name.
    QHash<QString, QDomElement> Children;
};

// Whether a configuration may be sent to a device by an update that writes its configuration. The first
// failure found is the answer, worded for a person; an empty Reason means it may be sent.
struct TSend_Verdict
{
    QString Reason;
    // The language-table entry of a failing range rule, else 0.
    int Rule_Entry = 0;
    // The ParGen.xml key to blame, when the failure is one key's (empty for a file that was never saved or
    // cannot be read).
    QString Key;

    bool May_Send() const { return Reason.isEmpty(); }
};

// The verdict on a loaded ParGen.xml (null: the configuration has none, it was never saved). In this order:
// every list key holds an index inside its list, the three flags are "0" or "1", and the range rules of OK
// pass as they do in the dialog. The words come from texts: the built-in English unless a window passes the
// language in force.
TSend_Verdict Send_Verdict(const TXml_Document *xml, TText_Source texts = English_Text);
// The verdict on the ParGen.xml at path, read with the readers' bounds; a file that cannot be read or is not
// well formed is refused with the reader's message.
TSend_Verdict Send_Verdict_Of_File(const QString &parGenFile, TText_Source texts = English_Text);

// Update options 0 (firmware and configuration) and 2 (configuration only) write the configuration to the
// device and need the verdict to pass; option 1 (firmware only) does not.
bool Option_Writes_Configuration(int optionIndex);
