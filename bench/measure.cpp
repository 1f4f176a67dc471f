// bench_measure RUNS PROGRAM [--also PROGRAM]...
//   PROGRAM: [--prepare SHELL-COMMAND] [--check SHELL-COMMAND] -- COMMAND [ARGS...]
// Runs each COMMAND RUNS times (standard output to /dev/null), the programs in turn (the first program's
// first run, the second's first run, ..., then every program's second run, and so on), so that a change in
// the machine's load hits them alike. Before each run, the untimed preparation; right after a program's last
// run, before anything else runs, the untimed check (e.g. that the files written are right). Prints one line
// per program, in the order given: "median_ms min_ms max_ms peak_rss_kib median_cpu_ms", wall-clock times,
// the largest resident set of any run (as /usr/bin/time reports it), and the median CPU time (user plus
// system, of all the process's threads, as wait4 reports it). Fails when a run, a preparation or a check
// fails, so that a broken program never passes for a fast one.
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
#include <string_view>
#include <vector>

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: bench_measure RUNS PROGRAM [--also PROGRAM]...\n"
                 "  PROGRAM: [--prepare SHELL-COMMAND] [--check SHELL-COMMAND] -- COMMAND [ARGS...]\n");
    return 2;
}

struct Program {
    std::string prepare, check;
    std::vector<char*> command; // ends with nullptr
    std::vector<double> wallMs, cpuMs;
    long peakKib = 0;
};

struct Run {
    double wallMs, cpuMs;
    long peakKib;
    int status;
};

double Milliseconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1e3 + t.tv_usec / 1e3;
}

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
    return {ms, Milliseconds(usage.ru_utime) + Milliseconds(usage.ru_stime), usage.ru_maxrss, status};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

bool Shell(const std::string& command, const char* what) {
    if (!command.empty() && std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "bench_measure: %s failed: %s\n", what, command.c_str());
        return false;
    }
    return true;
}

// Programs from argv[at..argc), or nothing when they do not read as PROGRAM [--also PROGRAM]...
std::vector<Program> ParsePrograms(int argc, char** argv, int at) {
    std::vector<Program> programs;
    while (at < argc) {
        Program program;
        while (at + 1 < argc &&
               (std::strcmp(argv[at], "--prepare") == 0 || std::strcmp(argv[at], "--check") == 0)) {
            (argv[at][2] == 'p' ? program.prepare : program.check) = argv[at + 1];
            at += 2;
        }
        if (at >= argc || std::strcmp(argv[at], "--") != 0) {
            return {};
        }
        for (++at; at < argc && std::strcmp(argv[at], "--also") != 0; ++at) {
            program.command.push_back(argv[at]);
        }
        if (program.command.empty() || (at < argc && ++at == argc)) { // nothing after a trailing --also
            return {};
        }
        program.command.push_back(nullptr);
        programs.push_back(std::move(program));
    }
    return programs;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 0;
    std::vector<Program> programs = ParsePrograms(argc, argv, 2);
    if (runs < 1 || programs.empty()) {
        return Usage();
    }
    for (int i = 0; i < runs; ++i) {
        for (Program& program : programs) {
            if (!Shell(program.prepare, "preparation")) {
                return 1;
            }
            const Run run = Time(program.command.data());
            if (!WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0) {
                std::fprintf(stderr, "bench_measure: %s failed (status %d)\n", program.command[0],
                             run.status);
                return 1;
            }
            program.wallMs.push_back(run.wallMs);
            program.cpuMs.push_back(run.cpuMs);
            program.peakKib = std::max(program.peakKib, run.peakKib);
            if (i + 1 == runs && !Shell(program.check, "check")) {
                return 1;
            }
        }
    }
    for (const Program& program : programs) {
        const auto [least, most] = std::minmax_element(program.wallMs.begin(), program.wallMs.end());
        std::printf("%.1f %.1f %.1f %ld %.1f\n", Median(program.wallMs), *least, *most, program.peakKib,
                    Median(program.cpuMs));
    }
    return 0;
}
