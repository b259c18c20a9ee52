#pragma once

// The regular-file reader every reader of the program starts from; the limits are in UComon.h.

#include <QByteArray>
#include <QString>

// The whole contents of the regular file at path, at most limit bytes. A missing file, a directory, a FIFO, a
// device and a file larger than limit are refused before they are read (a FIFO never blocks), with
// EQuillon_Error naming the path and the reason.
QByteArray Read_Regular_File(const QString &path, qint64 limit);
