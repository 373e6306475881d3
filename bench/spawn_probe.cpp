// The launch baseline: starts the stand-in server with a bare posix_spawn,
// the least any launcher does, and prints per run, in milliseconds, the time
// to the server's first instruction and the time until posix_spawn returned.
//
//     spawn-probe PROBE STAMP-FILE RUNS
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

extern char** environ;

namespace {

long long Now()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: spawn-probe PROBE STAMP-FILE RUNS\n");
        return 2;
    }
    const std::string probe = argv[1];
    const std::string stamp = argv[2];
    const int runs = std::atoi(argv[3]);
    setenv("DSS_BENCH_STAMP", stamp.c_str(), 1);
    // The words the launcher gives the server by default.
    std::string words[] = {probe, "-dedicated", "-mission", "base/data/missions/bedroom.mis"};
    char* serverArgv[] = {words[0].data(), words[1].data(), words[2].data(), words[3].data(), nullptr};

    for (int run = 0; run < runs; ++run) {
        unlink(stamp.c_str());
        const long long start = Now();
        pid_t pid = 0;
        const int result = posix_spawn(&pid, probe.c_str(), nullptr, nullptr, serverArgv, environ);
        const long long returned = Now();
        if (result != 0) {
            std::fprintf(stderr, "spawn-probe: cannot start %s (error %d)\n", probe.c_str(), result);
            return 1;
        }
        int status = 0;
        if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "spawn-probe: the probe failed (status %d)\n", status);
            return 1;
        }
        long long firstInstruction = 0;
        if (!(std::ifstream(stamp) >> firstInstruction)) {
            std::fprintf(stderr, "spawn-probe: no time in %s\n", stamp.c_str());
            return 1;
        }
        std::printf("to_probe_ms=%.3f spawn_returned_ms=%.3f\n", (firstInstruction - start) / 1e6,
                    (returned - start) / 1e6);
    }
    return 0;
}
