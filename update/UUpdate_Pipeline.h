#pragma once

// One device update, the same for the update dialog, quillon-cli update and provision --update, in this order:
// the images built in memory and the send verdict on them -> the way, the firmware and the port checked ->
// update.lock taken -> the images written to bin/ under the lock -> the echo check (Ethernet) ->
// Ethernet_Update.xml or the serial argument line -> the updater run, awaited, cancellable -> update.log.
// The pipeline owns the lock from the moment it is taken to the moment the updater is known to be gone, on
// every path. It reads no window state: the caller hands it the workspace, the configuration and the choices,
// and shows its progress.

#include "UAnsi_Paths.h"
#include "UEcho_Client.h"
#include "USaveBincc.h"
#include "USent_Record.h"
#include "USerial_Ports.h"
#include "UUpdater_Lock.h"
#include "UUpdater_Run.h"
#include "UWorkspace.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

enum class TUpdate_Way
{
    Serial,
    Ethernet
};

struct TUpdate_Request
{
    TWorkspace Workspace;
    TConfiguration Configuration;
    TUpdate_Way Way = TUpdate_Way::Serial;
    // Serial: the port as listed (COM3, ttyUSB0) and where the updater opens it.
    TSerial_Port Port;
    // Ethernet: the device's dotted address.
    QString Address;
    int Option = 0;
    bool Read_Back = true;
    int Limit_Ms = Updater_Wait_Limit_Ms;
    // Send even when the address last received another configuration of the workspace.
    bool Force_Target = false;
};

enum class TUpdate_Ending
{
    Refused,         // checked before anything was written or started: Message says why
    Wrong_Way,       // the configuration's device is updated the other way: Message says which
    Busy,            // another updater holds the workspace: Message and Holder name it
    Other_Target,    // the address last received another configuration (Target_Holder): asked before sending
    Echo_Unanswered, // the device did not answer the echo check
    Echo_Failed,     // the echo check could not be made: Message says why
    Aborted,         // the echo check was ended on request
    Not_Started,     // the updater could not be started: Message says why (recorded in update.log and sent/)
    Ran              // the updater ran: Record tells how it ended
};

// Where a run has got to, for a window or a terminal to show.
enum class TUpdate_Stage
{
    Images_Written,     // Sent holds the images, now in bin/
    Echo_Check,         // the echo check of Request.Address begins
    Echo_Answered,      // Echo_Replies replies
    Parameters_Written, // Ethernet_Update.xml in the workspace
    Updater_Starting    // Record names the program, its arguments and notes
};

struct TUpdate_Result
{
    TUpdate_Ending Ending = TUpdate_Ending::Refused;
    // In the pipeline's language; empty for Ran.
    QString Message;
    // A refusal that is a warning (a port the user may not open, a path the updater cannot read, a busy
    // workspace) rather than an error.
    bool Warning = false;
    TUpdater_Lock_Record Holder;
    std::optional<TAddress_Holder> Target_Holder;
    int Echo_Attempts = 0;
    int Echo_Replies = 0;
    // What was handed to the updater (from Images_Written on).
    TConfig_Images Sent;
    TUpdate_Record Record;
    // The updater's process, once started.
    qint64 Updater_Pid = 0;
    // The run kept under the configuration's sent/ (from the moment the updater is about to start).
    std::optional<TSent_Run> Kept;
    // Why update.log could not be written (empty when it was, or nothing was to be recorded).
    QString Log_Problem;

    bool Succeeded() const { return Ending == TUpdate_Ending::Ran && Run_Succeeded(Record); }
};

class TUpdate_Pipeline : public QObject
{
    Q_OBJECT
public:
    explicit TUpdate_Pipeline(QObject *parent = nullptr);
    ~TUpdate_Pipeline() override;

    // Runs the whole update to its end. The thread's events are processed meanwhile (the echo check and the
    // updater are awaited in local event loops, or by Wait).
    TUpdate_Result Run(const TUpdate_Request &request);
    // Ends the echo check under way; the run then ends as Aborted. (The running updater is cancelled through the
    // run that Wait is handed.)
    void Abort_Check();
    bool Running() const { return Is_Running; }

    // Where the words of the messages come from: the built-in English, or a window's language in force.
    TText_Source Texts = English_Text;
    // The ports, the echo client, the port access check and the ANSI code page; tests put their own in.
    std::function<QList<TSerial_Port>()> Port_Source = List_COM_Ports;
    std::function<std::unique_ptr<TEcho_Client>()> Echo_Client_Source;
    std::function<QString(const QString &location)> Port_Check;
    TAnsi_System Ansi = Native_Ansi_System();
    // Awaits a started run until its Ended; by default in a local event loop. A window shows its wait window.
    std::function<void(TUpdater_Run &run, const QString &program)> Wait;
    // Runs a piece of file work (update.log appended and synced); by default here. A window runs it off its
    // thread.
    std::function<void(const std::function<void()> &work)> File_Work;
    // Each stage as it is reached.
    std::function<void(TUpdate_Stage stage, const TUpdate_Result &sofar)> On_Progress;

private:
    void Run_Checked(const TUpdate_Request &request, TUpdate_Result &result);
    void Run_Updater_Of(const TUpdate_Request &request, const std::shared_ptr<TUpdater_Lock> &lock,
                        TUpdate_Result &result);
    void Progress(TUpdate_Stage stage, const TUpdate_Result &sofar);

    bool Is_Running = false;
    TEcho_Check *Check = nullptr;
};

// Why bin/ of the configuration at confDir must not be rewritten now: an updater of its workspace was handed
// its files (the same words as a second update's refusal). Empty when none was. holder, when given, receives
// the lock's record.
QString Bin_Busy_Refusal(const QString &confDir, TText_Source texts = English_Text,
                         TUpdater_Lock_Record *holder = nullptr);

// "192.168.2.17 last received Halle 8 on 2026-12-11 10:14: send Halle 9 there?"
QString Other_Target_Text(const QString &address, const TAddress_Holder &holder, const QString &name,
                          TText_Source texts = English_Text);

// What a program that died while it ran an update left behind (the lock it held, taken over from it): the run
// recorded in its configuration's update.log as far as it is known, and the updater's output files there taken
// into the record and removed. Throws nothing.
void Record_Orphaned_Run(const TUpdater_Lock_Record &orphan);
// At a start: when a program that died left the workspace's lock, takes it for a moment to record its run.
// Nothing when a live program holds it.
void Recover_Orphaned_Run(const QString &workspaceDir);
