#pragma once

// quillon-cli: the headless face of the configurator's own rules and builders.

#include <QByteArray>
#include <QStringList>
#include <QTextStream>

// Exit codes: 0 success, 1 the work failed (reason on err), 2 the command line was wrong.
int Run_Cli(const QStringList &arguments, QTextStream &out, QTextStream &err);

// inspect on bytes already read: decodes a bank.bin or bankK.bin named name. Exit code as Run_Cli's.
int Inspect_Bytes(const QByteArray &bytes, const QString &name, bool json, QTextStream &out, QTextStream &err);

// The first argument (argv[1] on) whose bytes are not valid UTF-8, or -1; such a name cannot be passed on
// unchanged to the file functions, which take names in UTF-8.
int First_Non_Utf8_Argument(int argc, const char *const argv[]);
