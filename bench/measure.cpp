// measure RUNS -- COMMAND ARGS...: runs a command RUNS times and prints its median wall time
// (seconds) and its largest peak resident memory (MiB), as "median_s peak_mib status".

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char* argv[]) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: measure RUNS -- COMMAND ARGS...\n");
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    char** command = argv + 3;
    std::vector<double> times;
    long peakKiB = 0;
    int status = 0;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execvp(command[0], command);
            std::_Exit(127);
        }
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        peakKiB = std::max(peakKiB, usage.ru_maxrss);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) break;
    }
    std::sort(times.begin(), times.end());
    std::printf("%.3f %.1f %d\n", times[times.size() / 2], static_cast<double>(peakKiB) / 1024.0,
                WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    return 0;
}
