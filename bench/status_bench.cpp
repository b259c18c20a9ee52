// Status benchmark: prints figures, passes or fails nothing.
// quillon-cli status of a whole workspace (Run_Cli in this process, --workspace, no configuration named) for
// 100, 1 000 and 10 000 configurations, each keeping 1 run and 100 runs, the newest a success: the median time
// of a call, per configuration, and the ratio 100 runs / 1 run. As a yardstick, at 100 and 1 000
// configurations, every kept run of every configuration read (Read_Sent_Runs), what a reading of the whole
// history would cost.
// Usage: quillon_status_bench [scratch directory, default the system's temporary one] [counts, default 100,1000,10000]

#include "UCli.h"
#include "UGround.h"
#include "UParGen_File.h"
#include "USaveBincc.h"
#include "USent_Record.h"
#include "UXml_Document.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

const QStringList Kept_Files = {QStringLiteral("bank.bin"), QStringLiteral("bankK.bin"), ParGen_File_Name,
                                Run_Json_Name};

fs::path Fs_Path(const QString &path)
{
    return fs::path(path.toStdU16String());
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A hard link where the file system takes one (a file can have only so many), a copy elsewhere: the
// workspaces then hold one copy of each kept file, not one per configuration.
void Link_Or_Copy(const fs::path &from, const fs::path &to)
{
    std::error_code error;
    fs::create_hard_link(from, to, error);
    if (error)
        fs::copy_file(from, to);
}

QString Configuration_Name(int i)
{
    return QStringLiteral("Line%1").arg(i, 5, 10, QLatin1Char('0'));
}

// A configuration made as the program makes one: ParGen.xml as the settings dialog saves it for a new
// configuration, then runs kept and finished in success, the newest last.
QStringList Make_Model(const QString &confDir, int runs)
{
    QDir().mkpath(confDir);
    const QString parGenFile = Join_Path(confDir, ParGen_File_Name);
    TXml_Document xml;
    Save_ParGen(xml, No_File_Fields(), parGenFile);
    QByteArray parGenXml;
    const TConfig_Images images = Make_Config_Data(parGenFile, English_Text, &parGenXml);
    TSent_Request request;
    request.Configuration = QFileInfo(confDir).fileName();
    request.Kind = QStringLiteral("serial");
    request.Target = QStringLiteral("/dev/ttyUSB0");
    for (int i = 0; i < runs; ++i) {
        TSent_Run run = Keep_Sent_Run(confDir, request, images, parGenXml);
        Finish_Sent_Run(run, TRun_Ending::Success, 0);
    }
    return Sent_Run_Ids(confDir);
}

// Configurations from..to-1 of projectsDir, each the model's ParGen.xml and its newest runs, linked.
void Add_Configurations(const QString &projectsDir, int from, int to, const QString &modelDir,
                        const QStringList &runIds)
{
    const fs::path model = Fs_Path(modelDir);
    for (int i = from; i < to; ++i) {
        const fs::path dir = Fs_Path(Join_Path(projectsDir, Configuration_Name(i)));
        fs::create_directory(dir);
        Link_Or_Copy(model / ParGen_File_Name.toStdU16String(), dir / ParGen_File_Name.toStdU16String());
        const fs::path sent = dir / Sent_Dir_Name.toStdU16String();
        fs::create_directory(sent);
        for (const QString &id : runIds) {
            const fs::path from_run = model / Sent_Dir_Name.toStdU16String() / id.toStdU16String();
            const fs::path run = sent / id.toStdU16String();
            fs::create_directory(run);
            for (const QString &file : Kept_Files)
                Link_Or_Copy(from_run / file.toStdU16String(), run / file.toStdU16String());
        }
    }
}

// One status call of the whole workspace; exits when it finds the workspace not as made (every configuration
// in sync, one line each).
double Time_Status(const QString &workspaceDir, int configurations)
{
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    QElapsedTimer clock;
    clock.start();
    const int code =
        Run_Cli({QStringLiteral("quillon-cli"), QStringLiteral("--workspace"), workspaceDir, QStringLiteral("status")},
                out, err);
    out.flush();
    err.flush();
    const double ms = clock.nsecsElapsed() / 1e6;
    if (code != 0 || !errText.isEmpty() || outText.count(u'\n') != configurations ||
        outText.count(QStringLiteral("  in-sync  ")) != configurations) {
        std::fprintf(stderr, "status of %d configurations: exit code %d, %lld lines\n%s", configurations, code,
                     qlonglong(outText.count(u'\n')), qPrintable(errText.left(2000)));
        std::exit(1);
    }
    return ms;
}

// The part of status that lists and orders each configuration's kept runs, reading none.
double Time_Run_Ids(const QString &projectsDir, int configurations, qsizetype runsPerConfiguration)
{
    QElapsedTimer clock;
    clock.start();
    qsizetype listed = 0;
    for (int i = 0; i < configurations; ++i)
        listed += Sent_Run_Ids(Join_Path(projectsDir, Configuration_Name(i))).size();
    const double ms = clock.nsecsElapsed() / 1e6;
    if (listed != configurations * runsPerConfiguration) {
        std::fprintf(stderr, "run ids: %lld listed\n", qlonglong(listed));
        std::exit(1);
    }
    return ms;
}

// Every kept run of every configuration read, the yardstick.
double Time_Whole_History(const QString &projectsDir, int configurations, qsizetype runsPerConfiguration)
{
    QElapsedTimer clock;
    clock.start();
    qsizetype read = 0;
    for (const QString &name : QDir(projectsDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        read += Read_Sent_Runs(Join_Path(projectsDir, name)).size();
    const double ms = clock.nsecsElapsed() / 1e6;
    if (read != configurations * runsPerConfiguration) {
        std::fprintf(stderr, "whole history: %lld runs read\n", qlonglong(read));
        std::exit(1);
    }
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString parent = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    QTemporaryDir scratch(Join_Path(parent, QStringLiteral("quillon-status-XXXXXX")));
    if (!scratch.isValid()) {
        std::fprintf(stderr, "no scratch directory in %s: %s\n", qPrintable(parent), qPrintable(scratch.errorString()));
        return 1;
    }
    const QString modelDir = Join_Path(scratch.path(), QStringLiteral("Model"));
    QStringList modelRuns;
    try {
        modelRuns = Make_Model(modelDir, Kept_Runs);
    } catch (const EQuillon_Error &error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.Text()));
        return 1;
    }
    if (modelRuns.size() != Kept_Runs) {
        std::fprintf(stderr, "the model keeps %lld runs, not %d\n", qlonglong(modelRuns.size()), Kept_Runs);
        return 1;
    }

    std::vector<int> counts;
    for (const QString &count : (argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("100,1000,10000"))
                                    .split(u',', Qt::SkipEmptyParts))
        counts.push_back(count.toInt());
    if (counts.empty() || !std::is_sorted(counts.begin(), counts.end()) || counts.front() < 1) {
        std::fprintf(stderr, "the counts are rising numbers, 100,1000,10000 say\n");
        return 2;
    }
    const int keptRuns[] = {1, Kept_Runs};
    // Calls per case: fewer where one call takes seconds.
    const auto calls = [](int count) { return count <= 100 ? 15 : count <= 1000 ? 7 : 3; };
    const int historyCalls = 3;
    std::map<std::pair<int, int>, double> median, historyMedian;

    std::printf("quillon-cli status of a whole workspace, in process (Run_Cli); median of the timed calls after one "
                "untimed call\n");
    std::printf("%14s %10s %6s %12s %16s %16s %16s\n", "configurations", "runs kept", "calls", "median ms",
                "per config. us", "of it run ids us", "whole history ms");
    for (const int runs : keptRuns) {
        const QString workspaceDir = Join_Path(scratch.path(), QStringLiteral("Workspace%1").arg(runs));
        const QString projectsDir = Join_Path(workspaceDir, QStringLiteral("PROJECTS"));
        QDir().mkpath(projectsDir);
        const QStringList runIds = modelRuns.mid(0, runs);
        int made = 0;
        for (const int count : counts) {
            QElapsedTimer making;
            making.start();
            try {
                Add_Configurations(projectsDir, made, count, modelDir, runIds);
            } catch (const fs::filesystem_error &error) {
                std::fprintf(stderr, "the workspace cannot be made: %s\n", error.what());
                return 1;
            }
            made = count;
            std::fprintf(stderr, "(%d configurations of %d runs made, %.1f s for the last %s)\n", count, runs,
                         making.nsecsElapsed() / 1e9, count == counts[0] ? "all" : "added");

            Time_Status(workspaceDir, count);
            std::vector<double> times;
            for (int i = 0; i < calls(count); ++i)
                times.push_back(Time_Status(workspaceDir, count));
            median[{count, runs}] = Median(times);
            std::vector<double> idTimes;
            for (int i = 0; i < calls(count); ++i)
                idTimes.push_back(Time_Run_Ids(projectsDir, count, runs));
            const double idsPerConfiguration = Median(idTimes) * 1000 / count;
            QString history = QStringLiteral("-");
            if (count <= 1000) {
                std::vector<double> historyTimes;
                for (int i = 0; i < historyCalls; ++i)
                    historyTimes.push_back(Time_Whole_History(projectsDir, count, runs));
                historyMedian[{count, runs}] = Median(historyTimes);
                history = QString::number(historyMedian[{count, runs}], 'f', 1);
            }
            std::printf("%14d %10d %6d %12.1f %16.1f %16.1f %16s\n", count, runs, calls(count), median[{count, runs}],
                        median[{count, runs}] * 1000 / count, idsPerConfiguration, qPrintable(history));
            std::fflush(stdout);
        }
        // 1M directories at the largest: gone before the next workspace is made.
        QElapsedTimer removing;
        removing.start();
        std::error_code error;
        fs::remove_all(Fs_Path(workspaceDir), error);
        std::fprintf(stderr, "(workspace of %d runs removed in %.1f s)\n", runs, removing.nsecsElapsed() / 1e9);
    }

    std::printf("\nratio %d runs kept / 1 run kept (status reads the newest records only: near 1; the whole "
                "history: near %d)\n",
                Kept_Runs, Kept_Runs);
    for (const int count : counts) {
        std::printf("%14d configurations: status %.2f", count, median[{count, Kept_Runs}] / median[{count, 1}]);
        if (historyMedian.count({count, 1}))
            std::printf("   whole history %.1f", historyMedian[{count, Kept_Runs}] / historyMedian[{count, 1}]);
        std::printf("\n");
    }
    // Linear growth: the ratio of the times equals that of the counts.
    for (size_t i = 1; i < counts.size(); ++i) {
        const int a = counts[i - 1], b = counts[i];
        std::printf("time of %d configurations / of %d (linear: %.1f): %.1f with 1 run kept, %.1f with %d\n", b, a,
                    double(b) / a, median[{b, 1}] / median[{a, 1}], median[{b, Kept_Runs}] / median[{a, Kept_Runs}],
                    Kept_Runs);
    }
    return 0;
}
