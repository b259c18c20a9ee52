#pragma once

// File work seen from a window: the work runs on the file-work thread while the windows keep painting and
// take no input.

#include <functional>

class QWidget;

// Runs work (file work: reading, writing, syncing) on the program's file-work thread and returns when it has
// ended, rethrowing here whatever it threw. Meanwhile the windows keep painting and take no input (a click, a
// key or a close is dropped, never delivered late), and window's buttons are disabled when the work lasts long
// enough to be seen.
void Run_File_Work(QWidget *window, const std::function<void()> &work);
