// Starts each program many times, alternating, and measures from just before the process is spawned to the
// moment it reports its window shown and idle (same steady clock on both sides). Prints the figures and the
// ratio of the first program's median to each other's.
// Usage: startup_runner <runs> <program> <yardstick>...

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char **environ;

namespace {

// One start: milliseconds to idle, or a negative value when the program did not report; peakKiB gets the
// process's peak resident memory.
double Measure(const char *program, long *peakKiB = nullptr)
{
    int out[2];
    if (pipe(out) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    char *argv[] = {const_cast<char *>(program), nullptr};
    pid_t pid = 0;
    const auto start = std::chrono::steady_clock::now().time_since_epoch();
    const int spawned = posix_spawn(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        return -1;
    }
    std::string text;
    char buffer[256];
    ssize_t n;
    while (text.find('\n') == std::string::npos && (n = read(out[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (peakKiB)
        *peakKiB = usage.ru_maxrss;
    const size_t at = text.find("IDLE ");
    if (at == std::string::npos)
        return -1;
    const long long idle = std::atoll(text.c_str() + at + 5);
    const long long begun = std::chrono::duration_cast<std::chrono::nanoseconds>(start).count();
    return static_cast<double>(idle - begun) / 1e6;
}

struct TFigures
{
    double Min, Median, Mean, Max;
};

TFigures Figures(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    double sum = 0;
    for (double x : v)
        sum += x;
    const size_t n = v.size();
    const double median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    return {v.front(), median, sum / static_cast<double>(n), v.back()};
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: startup_runner <runs> <program> <yardstick>...\n");
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    const std::vector<const char *> programs(argv + 2, argv + argc);
    std::vector<std::vector<double>> times(programs.size());
    std::vector<std::vector<double>> peaks(programs.size());
    // Two warm-up starts each fill the file cache; they are not counted.
    for (int i = 0; i < 2; ++i)
        for (const char *program : programs)
            Measure(program);
    for (int i = 0; i < runs; ++i) {
        for (size_t p = 0; p < programs.size(); ++p) {
            long peak = 0;
            const double ms = Measure(programs[p], &peak);
            if (ms < 0) {
                std::fprintf(stderr, "%s did not report its window shown and idle\n", programs[p]);
                return 1;
            }
            times[p].push_back(ms);
            peaks[p].push_back(static_cast<double>(peak) / 1024.0);
        }
    }
    std::printf("%-28s %8s %8s %8s %8s %10s   (ms, %d starts each; peak resident memory, median)\n", "program",
                "min", "median", "mean", "max", "peak MiB", runs);
    std::vector<TFigures> figures;
    std::vector<const char *> names;
    for (size_t p = 0; p < programs.size(); ++p) {
        figures.push_back(Figures(times[p]));
        const char *name = std::strrchr(programs[p], '/');
        names.push_back(name ? name + 1 : programs[p]);
        const TFigures &f = figures.back();
        std::printf("%-28s %8.1f %8.1f %8.1f %8.1f %10.1f\n", names.back(), f.Min, f.Median, f.Mean, f.Max,
                    Figures(peaks[p]).Median);
    }
    for (size_t p = 1; p < programs.size(); ++p)
        std::printf("ratio of medians, %s / %s: %.2f\n", names[0], names[p], figures[0].Median / figures[p].Median);
    return 0;
}
