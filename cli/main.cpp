#include "UCli.h"
#include "UComon.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillon-cli"));
    QCoreApplication::setApplicationVersion(Program_Version);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int code = Run_Cli(QCoreApplication::arguments(), out, err);
    out.flush();
    err.flush();
    return code;
}
