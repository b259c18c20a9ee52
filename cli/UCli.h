#pragma once

// quillon-cli: the headless face of the configurator's own rules and builders.

#include <QStringList>
#include <QTextStream>

// Exit codes: 0 success, 1 the work failed (reason on err), 2 the command line was wrong.
int Run_Cli(const QStringList &arguments, QTextStream &out, QTextStream &err);
