#pragma once

// Kept runs for window tests, written as the update pipeline writes them: the images the configuration builds
// now, kept under its sent/ and ended as the test says. A start time, when given, replaces the real one in
// run.json (runs kept within a minute would otherwise show the same time); the order stays the keeping order.

#include "UGround.h"
#include "USent_Record.h"

#include <QDateTime>
#include <QFileInfo>

#include <optional>

inline TSent_Run Keep_Run(const QString &confDir, const QString &kind, const QString &target, TRun_Ending ending,
                          std::optional<int> exitCode = 0, int option = 2, bool readBack = true,
                          const QDateTime &started = QDateTime())
{
    TSent_Request request;
    request.Configuration = QFileInfo(confDir).fileName();
    request.Kind = kind;
    request.Target = target;
    request.Option = option;
    request.Read_Back = readBack;
    QByteArray parGenXml;
    const TConfig_Images images = Make_Config_Data(Join_Path(confDir, ParGen_File_Name), English_Text, &parGenXml);
    TSent_Run run = Keep_Sent_Run(confDir, request, images, parGenXml);
    if (started.isValid())
        run.Started = started;
    Finish_Sent_Run(run, ending, exitCode);
    return run;
}
