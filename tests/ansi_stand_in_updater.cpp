// A stand-in for an updater that reads its command line in the system's ANSI code page (a plain char main, no
// Qt): it opens the last two arguments (the firmware and the image) as such a program would, and writes one
// line per file to ansi_stand_in.log in its working directory: "opened" or "cannot open", then the argument.

#include <cstdio>

int main(int argc, char *argv[])
{
    std::FILE *log = std::fopen("ansi_stand_in.log", "ab");
    if (!log)
        return 3;
    int failed = 0;
    for (int i = argc >= 3 ? argc - 2 : 1; i < argc; ++i) {
        std::FILE *file = std::fopen(argv[i], "rb");
        std::fprintf(log, "%s %s\n", file ? "opened" : "cannot open", argv[i]);
        if (file)
            std::fclose(file);
        else
            failed = 1;
    }
    std::fclose(log);
    return failed;
}
