#include "UApplication.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    // Answered on the terminal: no window, no display needed.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (const std::optional<QString> text = Information_Option_Text(arguments)) {
        std::fputs(text->toLocal8Bit().constData(), stdout);
        return 0;
    }
    return Run_Program(argc, argv);
}
