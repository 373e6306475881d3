// Stands in for the game server: records how it was started in the file
// named by DSS_PROBE_REPORT, then exits. Fields are separated by NUL so that
// any argument text survives.
#include <dirent.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    const char* report = std::getenv("DSS_PROBE_REPORT");
    if (report == nullptr) {
        return 2;
    }
    std::string out;
    auto field = [&out](const std::string& text) {
        out += text;
        out += '\0';
    };

    char self[PATH_MAX] = {};
    field(readlink("/proc/self/exe", self, sizeof self - 1) > 0 ? self : "?");
    char cwd[PATH_MAX] = {};
    field(getcwd(cwd, sizeof cwd) ? cwd : "?");
    field(std::to_string(getsid(0)));

    // Descriptors inherited beyond standard input, output and error.
    std::string inherited;
    if (DIR* fds = opendir("/proc/self/fd")) {
        const int own = dirfd(fds);
        while (dirent* entry = readdir(fds)) {
            const int fd = std::atoi(entry->d_name);
            if (entry->d_name[0] != '.' && fd > 2 && fd != own) {
                inherited += std::to_string(fd) + ' ';
            }
        }
        closedir(fds);
    }
    field(inherited);

    field(std::to_string(argc));
    for (int i = 0; i < argc; ++i) {
        field(argv[i]);
    }

    // What standard input, output and error are open on.
    std::string standard;
    for (int fd = 0; fd <= 2; ++fd) {
        char target[PATH_MAX] = {};
        const std::string link = "/proc/self/fd/" + std::to_string(fd);
        standard += (fd > 0 ? " " : "") + std::string(readlink(link.c_str(), target, sizeof target - 1) > 0 ? target
                                                                                                         : "closed");
    }
    field(standard);

    // Written aside and renamed, so a reader never sees half a report.
    const std::string partial = std::string(report) + ".partial";
    FILE* file = std::fopen(partial.c_str(), "wb");
    if (file == nullptr) {
        return 3;
    }
    std::fwrite(out.data(), 1, out.size(), file);
    std::fclose(file);
    return std::rename(partial.c_str(), report) == 0 ? 0 : 4;
}
