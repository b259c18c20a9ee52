#pragma once

// Tells the benchmark runner when a program's window is shown and idle: after the window's first paint, a
// zero-delay timer runs once the pending events are handled; it prints "IDLE <steady clock in ns>" on
// standard output and ends the process at once. Nothing after that point is measured, and ending there keeps
// each program's clean-up (and the program's settings file written at its end) out of the next start.

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <cstdlib>

class TIdle_Probe : public QObject
{
public:
    explicit TIdle_Probe(QWidget *window) : QObject(window) { window->installEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !Painted) {
            Painted = true;
            QTimer::singleShot(0, this, [] {
                const auto now = std::chrono::steady_clock::now().time_since_epoch();
                std::printf("IDLE %lld\n",
                            static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
                std::fflush(stdout);
                std::_Exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool Painted = false;
};
