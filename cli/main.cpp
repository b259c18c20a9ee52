#include "UCli.h"
#include "UGround.h"
#include "UWorkspace.h"
#include "UConsole.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    // A name whose bytes are not UTF-8 cannot be passed on unchanged: say so with the name as it is, rather
    // than fail later on a name the program changed while decoding it.
    // (On Windows the arguments come as UTF-16 from the system and are whole.)
#ifndef Q_OS_WIN
    if (const int bad = First_Non_Utf8_Argument(argc, argv); bad > 0) {
        std::fprintf(stderr,
                     "quillon-cli: %s: the name is not valid UTF-8, and quillon-cli opens names in UTF-8 only\n",
                     argv[bad]);
        return 1;
    }
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillon-cli"));
    QCoreApplication::setApplicationVersion(Program_Version);
    TStd_Stream standardOutput(stdout);
    TStd_Stream standardError(stderr);
    QTextStream out(&standardOutput);
    QTextStream err(&standardError);
    const int code = Run_Cli(QCoreApplication::arguments(), out, err);
    out.flush();
    err.flush();
    return code;
}
