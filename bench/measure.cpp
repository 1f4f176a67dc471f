// bench_measure RUNS [--prepare SHELL-COMMAND] -- PROGRAM [ARGS...]
// Runs PROGRAM RUNS times (standard output to /dev/null), each time after the untimed SHELL-COMMAND, and
// prints one line: "median_ms min_ms max_ms peak_rss_kib", the peak being the largest resident set of any run
// (as /usr/bin/time reports it). Fails when a run fails, so that a broken program never passes for a fast
// one.
#include <fcntl.h>
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

namespace {

int Usage() {
    std::fprintf(stderr, "usage: bench_measure RUNS [--prepare SHELL-COMMAND] -- PROGRAM [ARGS...]\n");
    return 2;
}

struct Run {
    double milliseconds;
    long peakKib;
    int status;
};

Run Time(char** argv) {
    const auto started = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        execvp(argv[0], argv);
        std::perror(argv[0]);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    return {ms, usage.ru_maxrss, status};
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        return Usage();
    }
    const int runs = std::atoi(argv[1]);
    std::string prepare;
    int at = 2;
    if (std::strcmp(argv[at], "--prepare") == 0 && at + 1 < argc) {
        prepare = argv[at + 1];
        at += 2;
    }
    if (runs < 1 || at >= argc || std::strcmp(argv[at], "--") != 0 || at + 1 >= argc) {
        return Usage();
    }
    char** program = argv + at + 1;

    std::vector<double> times;
    long peak = 0;
    for (int i = 0; i < runs; ++i) {
        if (!prepare.empty() && std::system(prepare.c_str()) != 0) {
            std::fprintf(stderr, "bench_measure: preparation failed: %s\n", prepare.c_str());
            return 1;
        }
        const Run run = Time(program);
        if (!WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0) {
            std::fprintf(stderr, "bench_measure: %s failed (status %d)\n", program[0], run.status);
            return 1;
        }
        times.push_back(run.milliseconds);
        peak = std::max(peak, run.peakKib);
    }
    std::sort(times.begin(), times.end());
    const size_t n = times.size();
    const double median = n % 2 == 1 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    std::printf("%.1f %.1f %.1f %ld\n", median, times.front(), times.back(), peak);
    return 0;
}
