#pragma once

// The run of an external updater: started as a process of its own, awaited through the event loop for at
// most a limit, never killed by the program.

#include "UUpdate_Logic.h"

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

inline constexpr int Updater_Wait_Limit_Ms = 150000;

enum class TRun_End
{
    Exited,        // the updater ended by itself; Exit_Code holds its exit code
    Crashed,       // the updater was ended by a signal or crashed
    Limit_Reached, // the limit passed: the program stops waiting, the updater goes on running
    Not_Started    // the system could not start it after all; Error_Text tells why
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

    TRun_End End = TRun_End::Exited;
    int Exit_Code = 0;
    QString Error_Text;
    qint64 Process_Id = 0;

signals:
    void Ended(TRun_End end);

private:
    void Stop_Waiting(TRun_End end);

    QProcess *Process = nullptr;
    QTimer Limit;
    bool Starting = false;
    bool Start_Failed = false;
};

// Starts a run and waits for its end in a local event loop. False with Error_Text when it cannot start.
bool Run_Updater(TUpdater_Run &run, const QString &program, const QStringList &arguments, TPlatform_Form form,
                 const QString &workingDir, int limitMs = Updater_Wait_Limit_Ms);

// The message of an updater that cannot be started: its path and the system's reason.
QString Start_Failure_Text(const QString &program, const QString &reason);

// Linux: when the port's device file exists but this user may not read and write it, the warning that names
// the port, the group that owns it and the remedy. Empty when there is nothing to say (elsewhere always).
QString Port_Permission_Problem(const QString &location);
// The warning's text, for a port owned by group.
QString Port_Permission_Text(const QString &location, const QString &group);
