#pragma once

// The file-work thread: reading, writing and syncing run there, so that a slow disk never stalls the thread
// that paints the windows.

#include <QThreadPool>

#include <functional>

// The one thread every piece of file work runs on, made at the first use and ended with the application
// object.
QThreadPool &File_Work_Pool();

// Runs work on the file-work thread and returns when it has ended, rethrowing here whatever it threw.
// Meanwhile this thread keeps processing its events in a local event loop.
void Run_On_File_Thread(const std::function<void()> &work);
