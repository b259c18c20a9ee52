#pragma once

// What each converter holds: every run that hands files to an updater is kept under its configuration as a
// directory of its own, sent/<started>-<n>/, holding the exact bank.bin and bankK.bin handed on, ParGen.xml as
// it stood and run.json (what was sent where, and how the run ended). A run is staged beside sent/ and renamed
// into place whole; run.json is written again when the run ends. From these records and the configuration as
// it stands, the state of a configuration: never sent, in sync, changed since, or failed.

#include "USaveBincc.h"
#include "UWorkspace.h"
#include "UUpdater_Run.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

inline const QString Sent_Dir_Name = QStringLiteral("sent");
inline const QString Run_Json_Name = QStringLiteral("run.json");
// The newest runs kept per configuration; older ones are removed when a new one is kept.
inline constexpr int Kept_Runs = 100;
// The largest run.json that is read.
inline constexpr qint64 Run_Json_Limit = 64 * 1024;

enum class TRun_Ending
{
    Success,
    Failed,
    Crashed,
    Cancelled,
    Limit,
    Not_Started,
    Unknown // the run's end was never written: the program died while the updater ran
};

// "success", "failed", "crashed", "cancelled", "limit", "not-started", "unknown".
QString Ending_Name(TRun_Ending ending);
// How a run of the updater ended, as the record keeps it.
TRun_Ending Ending_Of(TRun_End end, int exitCode);

struct TSent_Firmware
{
    QString Name;
    qint64 Size = 0;
    QString Sha256;
};

// One kept run, as run.json says it.
struct TSent_Run
{
    QString Id; // its directory's name under sent/
    QString Dir;
    QDateTime Started; // UTC
    QDateTime Ended;   // invalid while the run has not ended
    double Duration_S = 0;
    QString Kind;   // "serial" or "ethernet"
    QString Target; // the port or the address the device was reached at
    // The Ethernet address the sent image gives the device (devices with an Ethernet port only).
    QString Device_Address;
    QString Configuration;
    int Option = 0;
    bool Read_Back = true;
    std::optional<TSent_Firmware> Firmware;
    QString Bank_Sha256;
    QString BankK_Sha256;
    TRun_Ending Ending = TRun_Ending::Unknown;
    std::optional<int> Exit_Code;
    QString Program_Version;
    // Not empty: the record is damaged (why), and nothing else of it is to be trusted.
    QString Problem;

    // Whether the run handed the configuration on (options 0 and 2), not the firmware alone.
    bool Sent_Configuration() const { return Option == 0 || Option == 2; }
};

// What a run about to start hands on.
struct TSent_Request
{
    QString Configuration;
    QString Kind;
    QString Target;
    int Option = 0;
    bool Read_Back = true;
    // The firmware file the option sends, empty when it sends none.
    QString Firmware_File;
};

// Keeps a run before its updater starts: the images, ParGen.xml (its bytes as read, null when there is none)
// and run.json with the ending "unknown", staged, synced and renamed into confDir/sent/ whole; older runs past
// Kept_Runs are removed. Throws EQuillon_Error (a full disk, say) naming what could not be written: the update
// must then not start.
TSent_Run Keep_Sent_Run(const QString &confDir, const TSent_Request &request, const TConfig_Images &images,
                        const QByteArray &parGenXml);
// Writes run.json of a kept run again with how it ended. Throws EQuillon_Error when it cannot be written.
void Finish_Sent_Run(TSent_Run &run, TRun_Ending ending, std::optional<int> exitCode);

// run.json of a run.
QByteArray Run_Json_Bytes(const TSent_Run &run);
// A run from its run.json; Problem set when the bytes are no such record.
TSent_Run Parse_Run_Json(const QByteArray &bytes);

// The ids of the kept runs of confDir, newest first (only names a run directory takes; nothing is read).
QStringList Sent_Run_Ids(const QString &confDir);
// A kept run read (its run.json with a size cap; its images checked to be there, regular files of their
// sizes). A damaged one comes back with Problem set.
TSent_Run Read_Sent_Run(const QString &confDir, const QString &id);
// The newest runs of confDir, at most count (all with -1), newest first.
QList<TSent_Run> Read_Sent_Runs(const QString &confDir, int count = -1);
// The two images a kept run sent, checked against run.json's SHA-256; throws EQuillon_Error when they are not
// what it says.
TConfig_Images Sent_Images(const TSent_Run &run);

enum class TSend_State
{
    Never_Sent,
    In_Sync,
    Changed,
    Failed
};
// "never-sent", "in-sync", "changed", "failed".
QString State_Name(TSend_State state);

struct TConfig_Status
{
    TSend_State State = TSend_State::Never_Sent;
    // The newest run that sent the configuration and ended in success.
    std::optional<TSent_Run> Last_Success;
    // The newest run that sent (or tried to send) the configuration.
    std::optional<TSent_Run> Last_Attempt;
    // The keys whose value differs between what the last success sent and what build writes now.
    QStringList Changed;
    // Damaged records passed over, one line each.
    QStringList Problems;
};

// The state of the configuration at confDir: the newest records only, read until the last success is found.
// Firmware-only runs do not count. Never throws: what cannot be read is a problem named in the result.
TConfig_Status Config_Status(const QString &confDir);
// The keys whose values differ between two sets of images, in key order; bytes no key sets as "bankK.bin byte
// 0xNNN".
QStringList Changed_Keys(const TConfig_Images &then, const TConfig_Images &now);

// The configuration of a workspace last sent successfully to a device at address (the address it was reached
// at, or the Ethernet address its image gave it), and that run.
struct TAddress_Holder
{
    TConfiguration Configuration;
    TSent_Run Run;
};
// Reads each configuration's newest records only, until its last success.
std::optional<TAddress_Holder> Last_Sent_To(const TWorkspace &workspace, const QString &address);
// The newest successful run of confDir that sent the configuration, if any.
std::optional<TSent_Run> Last_Success(const QString &confDir);

// ---- The words the windows show for kept runs, from texts (the language in force, or the built-in English) ----

// A run's time as the windows show it: local, to the minute ("2026-12-11 10:14").
QString Shown_Run_Time(const QDateTime &time);
// How a run ended, in a word or two ("success", "exit code 3").
QString Run_Ending_Text(const TSent_Run &run, TText_Source texts = English_Text);
// What a run sent: the update option's name as the update dialog lists it.
QString Run_Option_Text(int option, TText_Source texts = English_Text);
// A ParGen.xml key by the name the settings dialog gives its field where the language table has one, else the
// key itself.
QString Key_Shown_Name(const QString &key, TText_Source texts = English_Text);
// The state of a configuration in one line: never sent, in sync, changed since (naming the changed fields) or
// failed (with its ending and the last success, if any).
QString Send_State_Text(const TConfig_Status &status, TText_Source texts = English_Text);

// A field that differs between what a run sent and what build writes now, each side's value as the settings
// dialog shows it; a side's value is null where it holds none or its two images disagree on it.
struct TKey_Change
{
    QString Key;
    QString Then;
    QString Now;
};
// The fields of Changed_Keys with their values.
QList<TKey_Change> Key_Changes(const TConfig_Images &then, const TConfig_Images &now,
                               TText_Source texts = English_Text);
// "Port 0 baud rate: 9600 → 19200"; the name alone when neither side has a value to show.
QString Key_Change_Text(const TKey_Change &change, TText_Source texts = English_Text);
