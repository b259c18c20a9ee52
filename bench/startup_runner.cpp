// Starts each program many times, alternating, and measures from just before the process is spawned to the
// moment it reports its window shown and idle (same steady clock on both sides). Prints the figures and the
// ratio of the medians.
// Usage: startup_runner <runs> <program A> <program B>

#include <spawn.h>
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

// One start: milliseconds to idle, or a negative value when the program did not report.
double Measure(const char *program)
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
    waitpid(pid, &status, 0);
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
    if (argc != 4) {
        std::fprintf(stderr, "usage: startup_runner <runs> <program A> <program B>\n");
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    const char *programs[2] = {argv[2], argv[3]};
    std::vector<double> times[2];
    // Two warm-up starts each fill the file cache; they are not counted.
    for (int i = 0; i < 2; ++i)
        for (const char *program : programs)
            Measure(program);
    for (int i = 0; i < runs; ++i) {
        for (int p = 0; p < 2; ++p) {
            const double ms = Measure(programs[p]);
            if (ms < 0) {
                std::fprintf(stderr, "%s did not report its window shown and idle\n", programs[p]);
                return 1;
            }
            times[p].push_back(ms);
        }
    }
    std::printf("%-28s %8s %8s %8s %8s   (ms, %d starts each)\n", "program", "min", "median", "mean", "max", runs);
    TFigures f[2];
    for (int p = 0; p < 2; ++p) {
        f[p] = Figures(times[p]);
        const char *name = std::strrchr(programs[p], '/');
        std::printf("%-28s %8.1f %8.1f %8.1f %8.1f\n", name ? name + 1 : programs[p], f[p].Min, f[p].Median,
                    f[p].Mean, f[p].Max);
    }
    std::printf("ratio of medians: %.2f\n", f[0].Median / f[1].Median);
    return 0;
}
