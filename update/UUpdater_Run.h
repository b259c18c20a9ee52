#pragma once

// The run of an external updater: started as a process of its own, awaited through the event loop for at
// most a limit. The program ends it only when the user cancels: then the updater and every process it started.

#include "UGround.h"
#include "ULanguage.h"
#include "UParGen_File.h"
#include "USerial_Ports.h"
#include "UUpdate_Logic.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

inline constexpr int Updater_Wait_Limit_Ms = 150000;
// How long a cancelled updater may take to end before it and its children are forced.
inline constexpr int Cancel_Grace_Ms = 3000;

enum class TRun_End
{
    Exited,        // the updater ended by itself; Exit_Code holds its exit code
    Crashed,       // the updater was ended by a signal or crashed
    Limit_Reached, // the limit passed: the program stops waiting, the updater goes on running
    Not_Started,   // the system could not start it after all; Error_Text tells why
    Cancelled      // the user stopped it: it and its children were ended
};

class TUpdater_Run : public QObject
{
    Q_OBJECT
public:
    explicit TUpdater_Run(QObject *parent = nullptr);
    ~TUpdater_Run() override;

    // Starts program with arguments in workingDir. In the Windows form arguments holds one element, the
    // argument text handed over character for character. False, with Error_Text set, when the program cannot
    // be started (missing, not executable); Ended then never follows.
    bool Start(const QString &program, const QStringList &arguments, TPlatform_Form form, const QString &workingDir,
               int limitMs = Updater_Wait_Limit_Ms);
    bool Running() const { return Process != nullptr; }
    // Ends the updater and every process it started: asked to end first, forced Cancel_Grace_Ms later. The run
    // then ends as Cancelled.
    void Cancel();
    bool Cancelling() const { return Cancel_Asked; }
    // Called once the updater runs, with its process id (its lock then names it).
    std::function<void(qint64 pid)> On_Started;
    // Called when an updater the program stopped waiting for ends at last, with how it ended (its ending can then
    // be recorded and its lock go).
    std::function<void(TRun_End end, int exitCode)> On_Abandoned_End;

    // Set before Start: the updater's standard output and error are appended to this file, which outlives the
    // program (an updater the program stops waiting for keeps writing there, never into a closed pipe).
    // Empty: the output goes where the program's goes.
    QString Output_File;
    // Whether the output went to Output_File. Not on Windows when the program has no console: a console
    // updater then shows its output in a console of its own.
    bool Output_Captured = false;

    TRun_End End = TRun_End::Exited;
    int Exit_Code = 0;
    // Why it could not be started, in English (quillon-cli, update.log); the parts below let a window tell it
    // in its own language: the entry of a reason the program states itself, else the system's reason.
    QString Error_Text;
    QString Failed_Program;
    int Failure_Entry = 0;
    QString Failure_Reason;
    qint64 Process_Id = 0;

signals:
    void Ended(TRun_End end);

private:
    void Stop_Waiting(TRun_End end);

    QProcess *Process = nullptr;
    bool Cancel_Asked = false;
#ifdef Q_OS_WIN
    void *Job = nullptr; // the job object holding the updater and its children
#endif
    QTimer Limit;
    bool Starting = false;
    bool Start_Failed = false;
};

// Whether process pid is an updater this program stopped waiting for and that still runs.
bool Is_Abandoned_Updater(qint64 pid);
// Ends such an updater and every process it started, as a cancel does; it then ends as Cancelled. False when
// pid is no such updater.
bool Stop_Abandoned_Updater(qint64 pid);

// Starts a run and waits for its end in a local event loop. False with Error_Text when it cannot start.
bool Run_Updater(TUpdater_Run &run, const QString &program, const QStringList &arguments, TPlatform_Form form,
                 const QString &workingDir, int limitMs = Updater_Wait_Limit_Ms);

// The message of an updater that cannot be started: its path and the reason. The messages below take their words
// from texts: the built-in English unless a window passes the language in force.
QString Start_Failure_Text(const QString &program, const QString &reason, TText_Source texts = English_Text);
QString Start_Failure_Text(const TUpdater_Run &run, TText_Source texts = English_Text);

// Linux: when the port's device file exists but this user may not read and write it, the warning that names
// the port and the remedy. Empty when there is nothing to say (elsewhere always).
QString Port_Permission_Problem(const QString &location, TText_Source texts = English_Text);

// What the file system reports of a port's device file.
struct TPort_Access
{
    QString Owner;
    QString Group;
    unsigned Group_Id = 0;
    unsigned Mode = 0; // permission bits, 0777 at most
};
// The warning for a port this user may not read and write: a group is named only when joining it gives access
// (the group may read and write the port, and it is not root's); otherwise what does.
QString Port_Permission_Advice(const QString &location, const TPort_Access &access, TText_Source texts = English_Text);
// Permission bits as ls shows them ("rw-rw----").
QString Mode_Text(unsigned mode);

// Why the serial port at location cannot be used: none chosen, or neither listed nor a device that exists.
// Empty when it is there.
QString Serial_Port_Absence(const QString &location, const QList<TSerial_Port> &listed,
                            TText_Source texts = English_Text);
// Why an update needing firmwareFile cannot run: the file is not in masterDir. Empty when it is there.
QString Firmware_Absence(const QString &masterDir, const QString &firmwareFile, TText_Source texts = English_Text);
// Why an update with this option must not start, checked before anything is started: the send verdict when the
// option writes the configuration, then the firmware file the option needs for the serial or Ethernet way.
// Empty when it may start.
QString Update_Refusal(const TSend_Verdict &verdict, int optionIndex, bool ethernet, const QString &masterDir,
                       TText_Source texts = English_Text);

// The record of one updater run, appended to update.log in the configuration's directory.
struct TUpdate_Record
{
    QDateTime Started;
    QString Program;
    // The serial updater's arguments; for the Ethernet updater the address its parameter file names.
    QStringList Arguments;
    QString Ethernet_Address;
    // What was changed in the arguments before the run (a path handed in its short form), in English.
    QStringList Notes;
    int Option = 0;
    bool Read_Back = true;
    TRun_End End = TRun_End::Exited;
    int Exit_Code = 0;
    // Why it could not be started, in English, as update.log says it (a window tells it from the run itself, in
    // its own language: Start_Failure_Text).
    QString Error_Text;
    qint64 Elapsed_Ms = 0;
    // What the updater wrote on its output and error (the last part of it when it wrote much).
    QByteArray Output;
    qint64 Output_Left_Out = 0;
    bool Output_Captured = false;
    // The file the updater goes on writing its output to, after the wait limit.
    QString Output_File;
    int Limit_Ms = Updater_Wait_Limit_Ms;
};

inline const QString Update_Log_File_Name = QStringLiteral("update.log");
// At most this much of an updater's output is kept in the record.
inline constexpr qint64 Update_Output_Kept = 64 * 1024;

// The last Update_Output_Kept bytes of an updater's output file (empty when it cannot be read); leftOut, when
// given, receives how many bytes before them were left out.
QByteArray Output_File_Tail(const QString &path, qint64 *leftOut = nullptr);
// Starts the record of a run: the time, and a new file in confDir that the updater's output goes to.
void Begin_Update_Record(TUpdater_Run &run, TUpdate_Record &record, const QString &confDir);
// Completes the record from how run ended, taking the output from its file (removed unless the updater goes on
// writing it), and appends the record to confDir/update.log. Throws EQuillon_Error when update.log cannot be
// written.
void Finish_Update_Record(const TUpdater_Run &run, TUpdate_Record &record, const QString &confDir);
// The ending of a run recorded as no longer awaited (record as Finish_Update_Record left it), once its updater has
// ended at last: how it ended and the output it wrote, then its output file is removed. Throws EQuillon_Error
// when update.log cannot be written.
void Finish_Late_Update_Record(TUpdate_Record record, TRun_End end, int exitCode, const QString &confDir);
// Appends text to confDir/update.log and syncs it; a log past 4 MiB is first moved aside to update.log.1. A link
// in the log's place is refused, never written through. Throws EQuillon_Error naming the log and the reason.
void Append_Update_Log(const QString &confDir, const QString &text);
// The lines update.log keeps of an Ethernet update whose echo check found no device (failure empty) or could
// not be made (failure says why): no updater ran.
QString Echo_Failure_Log_Text(const QDateTime &started, const QString &address, int attempts, const QString &failure);
// The record as the lines update.log holds.
QString Update_Log_Text(const TUpdate_Record &record);
// One line for the user on how the run ended ("The updater ended with exit code 3."), neutral about what an
// exit code means; empty for a run that never started (its own error says why).
QString Run_End_Text(const TUpdate_Record &record, TText_Source texts = English_Text);

// Whether the run ended well: exited by itself with exit code 0. Anything else deserves a warning.
bool Run_Succeeded(const TUpdate_Record &record);
// The last lines of an updater's output (at most lines), control characters escaped.
QStringList Output_Tail(const QByteArray &output, int lines);
inline constexpr int Verdict_Output_Lines = 10;
// What the user is told when a run has ended: how it ended, the last lines of its output and where update.log is.
QString Run_Verdict_Text(const TUpdate_Record &record, const QString &logPath, TText_Source texts = English_Text);
