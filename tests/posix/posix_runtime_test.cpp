#include "launch/launch_action.hpp"
#include "launch/launch_settings.hpp"
#include "runtime/runtime.hpp"
#include "runtime/utf.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <pthread.h>
#include <csignal>
#include <sstream>
#include <string>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace dss {
namespace {

namespace fs = std::filesystem;

struct ProbeReport {
    std::string self;
    std::string cwd;
    pid_t sessionId = 0;
    std::string inheritedDescriptors;
    std::vector<std::string> argv;
    std::string standardDescriptors;
};

// What `body` returns, run in a child process: for what needs a process of
// its own (another user, a mount namespace of its own).
std::string InChild(const std::function<std::string()>& body)
{
    int ends[2] = {};
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return "no pipe";
    }
    const pid_t child = fork();
    if (child == 0) {
        std::string said;
        try {
            said = body();
        } catch (const std::exception& error) {
            said = error.what();
        }
        _exit(write(ends[1], said.data(), said.size()) == static_cast<ssize_t>(said.size()) ? 0 : 1);
    }
    close(ends[1]);
    std::string said;
    char buffer[4096];
    for (ssize_t length; (length = read(ends[0], buffer, sizeof buffer)) > 0;) {
        said.append(buffer, static_cast<std::size_t>(length));
    }
    close(ends[0]);
    waitpid(child, nullptr, 0);
    return said;
}

// How a start of `path` ended: the error's code and reason, or the
// started program's exit status.
std::string Outcome(const fs::path& path)
{
    const Text program = FromSystemBytes(path.string());
    try {
        const auto pid = SystemRuntime().Shell(program, program + u" -dedicated -mission m ", kMinimizedFocus);
        int status = -1;
        waitpid(static_cast<pid_t>(pid), &status, 0);
        return "started, status " + std::to_string(status);
    } catch (const RuntimeError& error) {
        return std::to_string(error.Code()) + " " + ToUtf8(error.Reason());
    }
}

// A folder whose name has spaces and non-ASCII letters, holding a copy of
// the probe, and a decoy where a word-by-word or PATH search would look.
class PosixRuntimeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "dss-runtime-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        folder_ = root_ / "My Server Папка 服务器 🎮";
        fs::create_directories(folder_);
        const fs::path probe = fs::path(ToUtf8(SystemRuntime().AppPath())) / "probe";
        server_ = folder_ / "server";
        fs::copy_file(probe, server_);
        decoy_ = root_ / "My";
        fs::copy_file(probe, decoy_);
        report_ = root_ / "report";
        setenv("DSS_PROBE_REPORT", report_.c_str(), 1);
    }

    void TearDown() override
    {
        unsetenv("DSS_PROBE_REPORT");
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // Waits for the started probe to exit and reads what it recorded.
    ProbeReport Collect(std::uint32_t pid)
    {
        int status = 0;
        EXPECT_EQ(waitpid(static_cast<pid_t>(pid), &status, 0), static_cast<pid_t>(pid));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "probe status " << status;
        std::ifstream in(report_, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        std::vector<std::string> fields;
        std::string field;
        while (std::getline(bytes, field, '\0')) {
            fields.push_back(field);
        }
        ProbeReport report;
        if (fields.size() < 6) {
            ADD_FAILURE() << "no complete report";
            return report;
        }
        report.self = fields[0];
        report.cwd = fields[1];
        report.sessionId = std::stoi(fields[2]);
        report.inheritedDescriptors = fields[3];
        report.argv.assign(fields.begin() + 5, fields.end() - 1);
        report.standardDescriptors = fields.back();
        EXPECT_EQ(std::stoul(fields[4]), report.argv.size());
        return report;
    }

    Text Server() const { return FromUtf8(server_.string()); }

    fs::path root_, folder_, server_, decoy_, report_;
};

TEST_F(PosixRuntimeTest, StartsTheNamedFileWithShellWordsAndNoExpansion)
{
    const Text map = u"missions/Карта 地図.mis";
    const Text arguments =
        u"-name \"Friday  Night\" 'single quoted' back\\ slash $HOME `id` $(id) * ; echo hi";
    const std::uint32_t pid =
        SystemRuntime().Shell(Server(), ServerCommandLine(Server(), map, arguments), kMinimizedFocus);
    const ProbeReport report = Collect(pid);

    EXPECT_EQ(report.self, server_.string());
    EXPECT_EQ(report.argv,
              (std::vector<std::string>{server_.string(), "-dedicated", "-mission",
                                        "missions/\xD0\x9A\xD0\xB0\xD1\x80\xD1\x82\xD0\xB0",
                                        "\xE5\x9C\xB0\xE5\x9B\xB3.mis", "-name", "Friday  Night",
                                        "single quoted", "back slash", "$HOME", "`id`", "$(id)", "*",
                                        ";", "echo", "hi"}));
}

TEST_F(PosixRuntimeTest, ServerRunsInItsOwnSessionWithOnlyStandardDescriptors)
{
    // Open without close-on-exec, as one the launcher inherits from a file
    // manager or terminal that leaks it.
    const int inherited = open("/dev/null", O_RDONLY);
    ASSERT_GE(inherited, 0);
    const char kFolder[] = "/";
    const fs::path before = fs::current_path();
    fs::current_path(kFolder);
    const std::uint32_t pid =
        SystemRuntime().Shell(Server(), ServerCommandLine(Server(), u"m", u""), kMinimizedFocus);
    close(inherited);
    fs::current_path(before);
    const ProbeReport report = Collect(pid);

    EXPECT_EQ(report.cwd, kFolder) << "the working folder is inherited";
    EXPECT_EQ(report.sessionId, static_cast<pid_t>(pid)) << "the server leads a new session";
    EXPECT_NE(report.sessionId, getsid(0));
    EXPECT_EQ(report.inheritedDescriptors, "");
    EXPECT_EQ(report.argv, (std::vector<std::string>{server_.string(), "-dedicated", "-mission", "m"}));
}

// Started with 0-2 closed (`<&- >&- 2>&-`), the launcher's own next file
// takes their number: the server gets them all the same, on /dev/null.
TEST_F(PosixRuntimeTest, ServerGetsStandardDescriptorsTheLauncherWasNotGiven)
{
    int saved[3] = {};
    for (int fd = 0; fd <= 2; ++fd) {
        saved[fd] = fcntl(fd, F_DUPFD_CLOEXEC, 10);
        close(fd);
    }
    const int own = open("/", O_PATH | O_CLOEXEC);
    std::uint32_t pid = 0;
    std::string failure;
    try {
        pid = SystemRuntime().Shell(Server(), ServerCommandLine(Server(), u"m", u""), kMinimizedFocus);
    } catch (const RuntimeError& error) {
        failure = error.what();
    }
    close(own);
    for (int fd = 0; fd <= 2; ++fd) {
        dup2(saved[fd], fd);
        close(saved[fd]);
    }
    ASSERT_EQ(own, 0);
    ASSERT_EQ(failure, "");
    EXPECT_EQ(Collect(pid).standardDescriptors, "/dev/null /dev/null /dev/null");
}

TEST_F(PosixRuntimeTest, NeverRunsANamesakeFoundBySearching)
{
    // The unquoted path's first word is the decoy's path; a relative name
    // with no such file here must not be looked for along PATH either.
    const Text firstWord = FromUtf8(decoy_.string());
    EXPECT_NE(Server().rfind(firstWord + u" ", 0), Text::npos);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", root_.c_str(), 1);
    const fs::path before = fs::current_path();
    fs::current_path(folder_);
    EXPECT_THROW(SystemRuntime().Shell(u"My", u"My -dedicated -mission m ", kMinimizedFocus), RuntimeError);
    fs::current_path(before);
    setenv("PATH", oldPath.c_str(), 1);

    const ProbeReport report =
        Collect(SystemRuntime().Shell(Server(), ServerCommandLine(Server(), u"m", u""), kMinimizedFocus));
    EXPECT_EQ(report.self, server_.string());
}

TEST_F(PosixRuntimeTest, ReportsWhatCannotBeStartedWithTheSystemsReason)
{
    const fs::path text = folder_ / "readme.txt";
    std::ofstream(text) << "not a program\n";
    fs::permissions(text, fs::perms::owner_all);
    const fs::path script = folder_ / "noexec";
    std::ofstream(script) << "#!/bin/sh\n";
    fs::permissions(script, fs::perms::owner_read);

    std::string reason;
    const auto failure = [&reason](const fs::path& path, const Text& tail) {
        const Text program = FromUtf8(path.string());
        try {
            SystemRuntime().Shell(program, program + tail, kMinimizedFocus);
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.Subject(), program);
            EXPECT_FALSE(error.Reason().empty());
            reason = ToUtf8(error.Reason());
            return error.Code();
        }
        ADD_FAILURE() << path << " started";
        return 0L;
    };
    EXPECT_EQ(failure(text, u" -dedicated -mission m "), ENOEXEC);
    EXPECT_EQ(failure(script, u" -dedicated -mission m "), EACCES);
    EXPECT_EQ(failure(folder_ / "missing", u" -dedicated -mission m "), ENOENT);
    // The kernel's ENOENT for a script is its interpreter's, here one named
    // with the carriage return of a file saved on Windows.
    for (const auto& [name, first, named] :
         {std::tuple{"crlf", "#!/bin/sh\r\necho\r\n", "\"/bin/sh\", ends in a Windows line ending"},
          std::tuple{"python9", "#! /nonexistent/python9 -u\n", "\"/nonexistent/python9\", which does not exist"}}) {
        std::ofstream(folder_ / name, std::ios::binary) << first;
        fs::permissions(folder_ / name, fs::perms::owner_all);
        EXPECT_EQ(failure(folder_ / name, u" -dedicated -mission m "), ENOENT);
        EXPECT_NE(reason.find(named), std::string::npos) << reason;
    }
    EXPECT_EQ(failure(server_, u" -dedicated -mission \"unbalanced"), EINVAL);
    // A single argument longer than the kernel takes (MAX_ARG_STRLEN, 128 KiB).
    EXPECT_EQ(failure(server_, u" -dedicated -mission " + Text(200000, u'x')), E2BIG);
    {
        // A program whose loader (ELF interpreter) is missing, as a program
        // built for another system: the kernel reports the loader's absence.
        const fs::path foreign = folder_ / "foreign";
        std::ifstream in(server_, std::ios::binary);
        std::string image{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        const std::string loader = "/lib64/ld-linux-x86-64.so.2";
        const std::size_t at = image.find(loader);
        ASSERT_NE(at, std::string::npos) << "the probe names no loader to replace";
        // Same length, so that nothing else in the file moves.
        std::string missing = "/nonexistent/ld-linux.so";
        missing.resize(loader.size(), '\0');
        image.replace(at, loader.size(), missing);
        std::ofstream(foreign, std::ios::binary) << image;
        fs::permissions(foreign, fs::perms::owner_all);
        EXPECT_EQ(failure(foreign, u" -dedicated -mission m "), ENOENT);
        EXPECT_NE(reason.find("loader \"/nonexistent/ld-linux.so\", which does not exist"), std::string::npos)
            << reason;
    }
    {
        // A server still being written, as during an update.
        std::ofstream writing(server_, std::ios::binary | std::ios::app);
        EXPECT_EQ(failure(server_, u" -dedicated -mission m "), ETXTBSY);
    }
    EXPECT_FALSE(fs::exists(report_));
}

// A user may run a program they cannot read (mode 711): Linux tries what
// cannot be examined, and where it cannot run it either, both reasons
// are told. Root reads every file, so the case runs as nobody there.
TEST_F(PosixRuntimeTest, RunsWhatItCannotReadAndTellsBothReasonsWhereLinuxCannot)
{
    fs::permissions(root_, fs::perms::all);
    fs::permissions(folder_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    const fs::perms runOnly = fs::perms::owner_write | fs::perms::owner_exec | fs::perms::group_exec |
                              fs::perms::others_exec;
    const fs::path windows = folder_ / "Quarnvale.exe";
    std::ofstream(windows, std::ios::binary) << "MZ" << std::string(400, '\0');
    fs::permissions(windows, runOnly);
    fs::permissions(server_, runOnly);
    const std::string outcomes = InChild([&] {
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
            return std::string("not nobody");
        }
        return Outcome(windows) + "\n" + Outcome(server_);
    });
    EXPECT_EQ(outcomes, "8 It could not be read to see whether it is a Windows program: Permission denied.\n"
                        "Linux could not run it: Exec format error\nstarted, status 0");
}

// Linux runs nothing from a file system mounted noexec, not even as root.
TEST_F(PosixRuntimeTest, SaysWhenTheFileSystemIsMountedNoexec)
{
    const fs::path drive = root_ / "game drive";
    fs::create_directory(drive);
    const std::string outcome = InChild([&] {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", drive.c_str(), "tmpfs", MS_NOEXEC, nullptr) != 0) {
            return "cannot mount: " + std::string(std::strerror(errno));
        }
        fs::copy_file(server_, drive / "server");
        return Outcome(drive / "server");
    });
    if (outcome.starts_with("cannot mount")) {
        GTEST_SKIP() << outcome;
    }
    EXPECT_EQ(outcome, "13 It is on a file system mounted with the option noexec (at " + drive.string() +
                           "), from which Linux runs no program. Mount it without noexec, or move the server to "
                           "another file system.");
}

// Opening a FIFO wakes a writer that waits for a reader, and its data is
// then lost; a device may act on being opened. Such a file is never opened.
TEST_F(PosixRuntimeTest, LeavesAFifoAndItsWaitingWriterAlone)
{
    const fs::path fifo = folder_ / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0700), 0);
    const pid_t writer = fork();
    ASSERT_NE(writer, -1);
    if (writer == 0) {
        const int fd = open(fifo.c_str(), O_WRONLY); // waits for a reader
        _exit(fd >= 0 && write(fd, "data", 4) == 4 ? 0 : 1);
    }
    // The kernel shows a task's system call while it sleeps in one, and
    // "running" from the moment it is woken.
    const std::string syscallFile = "/proc/" + std::to_string(writer) + "/syscall";
    const auto waitingInOpen = [&syscallFile] {
        std::string call;
        std::getline(std::ifstream(syscallFile), call);
        return call.starts_with(std::to_string(SYS_openat) + ' ');
    };
    for (int i = 0; i < 1000 && !waitingInOpen(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(waitingInOpen());

    const Text program = FromUtf8(fifo.string());
    try {
        SystemRuntime().Shell(program, program + u" -dedicated -mission m ", kMinimizedFocus);
        ADD_FAILURE() << "a FIFO started";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Code(), EACCES);
    }
    EXPECT_TRUE(waitingInOpen()) << "the writer was woken";

    // Not blocking: with the writer gone, nothing would ever come.
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    pollfd ready{reader, POLLIN, 0};
    char data[8] = {};
    EXPECT_EQ(poll(&ready, 1, 10000), 1);
    EXPECT_EQ(read(reader, data, sizeof data), 4);
    close(reader);
    EXPECT_EQ(std::string(data), "data");
    int status = 0;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer status " << status;
}

// Whatever started the launcher may have left SIGCHLD blocked, which would
// keep the main loop from hearing that Wine's start ended.
TEST_F(PosixRuntimeTest, UnblocksAnInheritedBlockedSigchld)
{
    sigset_t child;
    sigemptyset(&child);
    sigaddset(&child, SIGCHLD);
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &child, nullptr), 0);
    Collect(SystemRuntime().Shell(Server(), Server() + u" -dedicated -mission m", kMinimizedFocus));
    sigset_t now;
    ASSERT_EQ(pthread_sigmask(SIG_SETMASK, nullptr, &now), 0);
    EXPECT_EQ(sigismember(&now, SIGCHLD), 0);
}

TEST_F(PosixRuntimeTest, ExaminesFilesAsTheyAre)
{
    Runtime& runtime = SystemRuntime();
    EXPECT_EQ(runtime.GetAttr(Server()) & kDirectoryAttribute, 0u);
    EXPECT_EQ(runtime.GetAttr(FromUtf8(folder_.string())) & kDirectoryAttribute, kDirectoryAttribute);
    EXPECT_THROW(runtime.GetAttr(u""), RuntimeError);
    EXPECT_THROW(runtime.GetAttr(FromUtf8((folder_ / "missing").string())), RuntimeError);
    // A name cut short at a null character would name another file.
    EXPECT_THROW(runtime.GetAttr(Server() + Text(1, u'\0') + u"x"), RuntimeError);

    const fs::path hidden = folder_ / ".hidden read-only";
    std::ofstream(hidden) << "x";
    fs::permissions(hidden, fs::perms::owner_read);
    EXPECT_TRUE(FileExists(runtime, FromUtf8(hidden.string())));
    EXPECT_FALSE(FileExists(runtime, FromUtf8(folder_.string())));
    EXPECT_FALSE(FileExists(runtime, u""));
}

TEST(PosixRuntime, AppPathIsTheFolderOfTheRunningProgram)
{
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    EXPECT_EQ(ToUtf8(SystemRuntime().AppPath()), fs::path(self).parent_path().string());
    EXPECT_EQ(SystemRuntime().FolderSeparator(), u'/');
}

} // namespace
} // namespace dss
