// The Linux runtime starting a Windows program through Wine: the Windows
// probe (cross-compiled by the build) under a Wine prefix of the build's own.
#include "launch/launch_settings.hpp"
#include "runtime/runtime.hpp"
#include "runtime/windows_rules/command_line_limits.hpp"
#include "runtime/wine/wine_locale.hpp"
#include "runtime/utf.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <list>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

// glibc's newlocale leaks its copy of LOCPATH (string/argz-addsep.c), which
// the code page test sets.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:__argz_add_sep\n";
}

namespace dss {
namespace {

namespace fs = std::filesystem;

constexpr int kProbeBits = DSS_WINDOWS_PROBE_BITS;

// Sets an environment variable (or removes it, given nullopt) for the
// lifetime of the guard.
class ScopedVariable {
public:
    ScopedVariable(const char* name, std::optional<std::string> value) : name_(name)
    {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        Set(value);
    }
    ~ScopedVariable() { Set(old_); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    void Set(const std::optional<std::string>& value)
    {
        if (value) {
            setenv(name_, value->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

    const char* name_;
    std::optional<std::string> old_;
};

// Wine's default prefix maps drive Z: to the Linux root folder.
std::string WindowsPath(const fs::path& path)
{
    std::string windows = "Z:" + path.string();
    for (char& c : windows) {
        if (c == '/') {
            c = '\\';
        }
    }
    return windows;
}

// The path of the `wine` that a search of PATH finds, if any.
std::optional<std::string> WineOnPath()
{
    const char* path = std::getenv("PATH");
    const std::string folders = path ? path : "";
    for (std::size_t start = 0; start <= folders.size();) {
        std::size_t end = folders.find(':', start);
        end = end == std::string::npos ? folders.size() : end;
        const std::string wine = folders.substr(start, end - start) + "/wine";
        if (access(wine.c_str(), X_OK) == 0) {
            return wine;
        }
        start = end + 1;
    }
    return std::nullopt;
}

struct ProbeReport {
    std::string self;
    std::string show;
    std::string commandLine;
    std::string folder;
    // With DSS_PROBE_SPLIT: the words Windows finds in the probe's command
    // line, and in that text.
    std::vector<std::string> argv;
    std::vector<std::string> split;
};

// The probe in a folder whose name has spaces and non-ASCII letters, and a
// namesake decoy in the working folder.
class WineRuntimeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (kProbeBits == 0) {
            GTEST_SKIP() << "no MinGW-w64 cross-compiler was found when configuring: no Windows probe to start";
        }
        std::string pattern = (fs::temp_directory_path() / "dss-wine-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        folder_ = root_ / "My Server Папка 服务器 🎮";
        fs::create_directories(folder_);
        probe_ = fs::path(ToUtf8(SystemRuntime().AppPath())) / "probe-windows.exe";
        server_ = folder_ / "server.exe";
        fs::copy_file(probe_, server_);
        fs::copy_file(probe_, root_ / "server.exe");
        report_ = root_ / "report";
        workingFolder_ = fs::current_path();
        fs::current_path(root_);
    }

    void TearDown() override
    {
        if (!root_.empty()) {
            fs::current_path(workingFolder_);
            std::error_code ignored;
            fs::remove_all(root_, ignored);
        }
    }

    // Waits for the probe's report: the start returns once Wine has created
    // the program, which may not have written it yet.
    ProbeReport Collect(std::uint32_t /*pid*/)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!fs::exists(report_) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        std::ifstream in(report_, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::u16string all(bytes.size() / 2, u'\0');
        std::memcpy(all.data(), bytes.data(), all.size() * 2);
        std::vector<std::string> fields;
        for (std::size_t start = 0, end; (end = all.find(u'\0', start)) != std::u16string::npos; start = end + 1) {
            fields.push_back(ToUtf8(all.substr(start, end - start)));
        }
        ProbeReport report;
        if (fields.size() < 4) {
            ADD_FAILURE() << "no complete report from the probe";
            return report;
        }
        report.self = fields[0];
        report.show = fields[1];
        report.commandLine = fields[2];
        report.folder = fields[3];
        std::size_t next = 4;
        for (std::vector<std::string>* words : {&report.argv, &report.split}) {
            if (next < fields.size()) {
                const std::size_t count = std::stoul(fields[next++]);
                for (std::size_t i = 0; i < count && next < fields.size(); ++i) {
                    words->push_back(fields[next++]);
                }
            }
        }
        return report;
    }

    // What the probe needs to run under Wine and report, whatever the
    // environment of the test run.
    void UseWine(std::optional<std::string> wine)
    {
        environment_.clear();
        environment_.emplace_back("WINE", std::move(wine));
        environment_.emplace_back("WINEPREFIX", DSS_WINE_PREFIX);
        environment_.emplace_back("WINEDEBUG", "-all");
        environment_.emplace_back("DSS_PROBE_REPORT", WindowsPath(report_));
        // Wine reads file names in the locale's character set; the runtime
        // passes UTF-8.
        environment_.emplace_back("LC_ALL", "C.UTF-8");
    }

    Text Server() const { return FromUtf8(server_.string()); }

    fs::path root_, folder_, probe_, server_, report_, workingFolder_;
    std::list<ScopedVariable> environment_;
};

// Wine rebuilds a command line from the words (runtime/wine/
// wine_command_line.cpp tells how) that programs split back into the same
// words, so a Windows program sees the words that Windows finds in the
// composed command line: backslashes and apostrophes as typed.
TEST_F(WineRuntimeTest, AWindowsProgramGetsTheWordsWindowsFindsInItsCommandLine)
{
    if (!WineOnPath()) {
        GTEST_SKIP() << "Wine is not installed";
    }
    // With an execute bit Linux reads the file and knows no such format (ENOEXEC).
    fs::permissions(server_, fs::perms::owner_all);
    UseWine(std::nullopt);
    const Text map = u"missions/Bob's Room Карта 地図.mis";
    const Text arguments = uR"(-config C:\Games\x.cfg -name "Friday  Night" "say \"hi\"" "C:\My Games\\" "" %PATH% a\\\"b tr\\ 'x y')";
    const Text commandLine = ServerCommandLine(Server(), map, arguments);
    // Windows reads the program's own name by rules of its own; the words
    // after it are compared.
    environment_.emplace_back("DSS_PROBE_SPLIT", "server" + ToUtf8(commandLine.substr(Server().size())));
    const ProbeReport report = Collect(SystemRuntime().Shell(Server(), commandLine, kMinimizedFocus));

    EXPECT_EQ(report.self, WindowsPath(server_)) << "not the checked file (a decoy?)";
    EXPECT_EQ(report.show, "2") << "STARTF_USESHOWWINDOW with SW_SHOWMINIMIZED";
    EXPECT_EQ(report.folder, WindowsPath(root_)) << "the launcher's working folder";
    ASSERT_EQ(report.split.size(), 19u);
    EXPECT_EQ(report.split[8], R"(C:\Games\x.cfg)");
    ASSERT_EQ(report.argv.size(), report.split.size());
    EXPECT_EQ(report.argv[0], WindowsPath(server_));
    EXPECT_EQ(std::vector(report.argv.begin() + 1, report.argv.end()),
              std::vector(report.split.begin() + 1, report.split.end()));
}

// Wine refuses a command line longer than Windows takes, and `start`'s
// own, which holds the server's and more, reaches that first. The launcher
// refuses what Wine would, before anything starts, and starts the longest
// it allows whole. Wine's length is learned from a short run.
TEST_F(WineRuntimeTest, RefusesACommandLineLongerThanWineCanPassOn)
{
    if (!WineOnPath()) {
        GTEST_SKIP() << "Wine is not installed";
    }
    UseWine(std::nullopt);
    // Words that Wine quotes and escapes, then a filler.
    const Text words = uR"(-name "Friday \"Night\" 🎮" C:\Games\ "" )";
    const auto launch = [&](std::size_t filler) {
        fs::remove(report_);
        const Text commandLine = ServerCommandLine(Server(), u"m", words + Text(filler, u'x'));
        return SystemRuntime().Shell(Server(), commandLine, kMinimizedFocus);
    };
    const std::size_t shortest = FromUtf8(Collect(launch(1)).commandLine).size();
    std::size_t longest = 0;
    try {
        launch(kMaxWindowsCommandLine);
        ADD_FAILURE() << "a command line longer than Windows takes was started";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Code(), E2BIG);
        const std::string reason = ToUtf8(error.Reason());
        longest = std::stoul(reason.substr(reason.find("at most ") + 8));
    }
    ASSERT_LT(longest, kMaxWindowsCommandLine);
    EXPECT_EQ(FromUtf8(Collect(launch(1 + longest - shortest)).commandLine).size(), longest);
    fs::remove(report_);
    try {
        launch(2 + longest - shortest);
        ADD_FAILURE() << "a command line longer than the launcher allows was started";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Subject(), Server());
        EXPECT_EQ(error.Code(), E2BIG);
    }
}

// A folder whose name is Latin-1 bytes, as unzip leaves names from Windows
// archives. Wine is given those exact bytes. It has no character for them
// and shows the program U+FFFD instead, then finds files by that name: the
// program itself, and a report written into the same folder. (So two
// folders whose names differ only in such bytes look alike to the program.)
TEST_F(WineRuntimeTest, StartsAWindowsProgramFromAFolderWhoseNameIsNotUtf8)
{
    if (!WineOnPath()) {
        GTEST_SKIP() << "Wine is not installed";
    }
    const fs::path folder = root_ / "G\xE4me Files";
    fs::create_directories(folder);
    const fs::path server = folder / "server.exe";
    fs::copy_file(probe_, server);
    fs::permissions(server, fs::perms::owner_all);
    report_ = folder / "report";
    UseWine(std::nullopt);
    const Text program = FromSystemBytes(server.string());
    const ProbeReport report =
        Collect(SystemRuntime().Shell(program, ServerCommandLine(program, u"m", u""), kMinimizedFocus));

    const std::string seen = WindowsPath(root_) + "\\G\uFFFDme Files\\server.exe";
    EXPECT_EQ(report.self, seen);
    EXPECT_EQ(report.commandLine, "\"" + seen + "\" -dedicated -mission m");
}

// Without an execute bit Linux refuses the file before reading it; a name
// that looks like one of Wine's own options still names the file; and WINE,
// where set, names the Wine to use.
TEST_F(WineRuntimeTest, StartsAWindowsProgramWithoutExecuteBitUnderAnyNameThroughTheWineNamedByWine)
{
    const std::optional<std::string> wine = WineOnPath();
    if (!wine) {
        GTEST_SKIP() << "Wine is not installed";
    }
    const fs::path server = folder_ / "--version";
    fs::rename(server_, server);
    fs::permissions(server, fs::perms::owner_read | fs::perms::owner_write);
    fs::current_path(folder_);
    UseWine(*wine);
    // Only WINE can lead to Wine now.
    const ScopedVariable path("PATH", "");
    const std::uint32_t pid =
        SystemRuntime().Shell(u"--version", u"--version -dedicated -mission m ", kMinimizedFocus);
    const ProbeReport report = Collect(pid);

    EXPECT_EQ(report.self, WindowsPath(server));
    EXPECT_EQ(report.commandLine, "\"" + WindowsPath(server) + "\" -dedicated -mission m");
}

// Wine resolves ".." by the text, the kernel through the link before it:
// the file the check examined is the one that runs.
TEST_F(WineRuntimeTest, StartsTheFileTheKernelFindsThroughALinkAndDotDot)
{
    if (!WineOnPath()) {
        GTEST_SKIP() << "Wine is not installed";
    }
    fs::create_directories(root_ / "real" / "inner");
    fs::create_directory_symlink("real/inner", root_ / "link");
    fs::copy_file(probe_, root_ / "real" / "server.exe");
    UseWine(std::nullopt);
    const Text program = FromUtf8((root_ / "link" / ".." / "server.exe").string());
    const ProbeReport report =
        Collect(SystemRuntime().Shell(program, ServerCommandLine(program, u"m", u""), kMinimizedFocus));
    EXPECT_EQ(report.self, WindowsPath(root_ / "real" / "server.exe")) << "not the checked file";
}

// Files Wine would not start as the file that was checked, or not at all
// while answering that it did: refused with the reason, and nothing runs.
TEST_F(WineRuntimeTest, RefusesWhatWineWouldNotStartAsTheCheckedFile)
{
    const std::optional<std::string> wine = WineOnPath();
    if (!wine) {
        GTEST_SKIP() << "Wine is not installed";
    }
    // Wine, noting each start: the launcher waits for Wine's answer, so once
    // it has refused, the note tells at once whether Wine was ever asked.
    const fs::path noting = root_ / "noting-wine";
    const fs::path notes = root_ / "wine-starts";
    std::ofstream(noting) << "#!/bin/sh\necho \"$*\" >>'" << notes.string() << "'\nexec '" << *wine << "' \"$@\"\n";
    fs::permissions(noting, fs::perms::owner_all);
    UseWine(noting.string());
    std::ifstream in(probe_, std::ios::binary);
    const std::string program{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto write = [&](const fs::path& file, const std::string& bytes) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    };
    // Wine would read the backslash as a separator and start the decoy.
    write(root_ / "sub" / "server.exe", program);
    const struct {
        fs::path file;
        std::string reason;
    } cases[] = {
        // Wine's own words, in its code page: "ü" is 0x81 in 437.
        {write(root_ / "Jeu ü" / "cut.exe", program.substr(0, 4096)),
         "Bad EXE format for " + WindowsPath(root_ / "Jeu ü" / "cut.exe")},
        {write(root_ / "dos.exe", "MZ" + std::string(200, '\0')), "DOS program"},
        // Cut short within its headers, Wine's start opens box after box.
        {write(root_ / "head.exe", program.substr(0, 300)), "ends within its own headers"},
        {write(root_ / "sub\\server.exe", program), "backslash"},
        {write(root_ / "con.exe", program), "device"},
        {write(root_ / "con:x.exe", program), "device"},
        {write(root_ / "a*b" / "server.exe", program), "* ?"},
        {write(root_ / "dot." / "server.exe", program), "a dot or a space at the end"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.string());
        const Text file = FromUtf8(c.file.string());
        try {
            SystemRuntime().Shell(file, ServerCommandLine(file, u"m", u""), kMinimizedFocus);
            ADD_FAILURE() << "reported as started";
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.Subject(), file);
            EXPECT_NE(ToUtf8(error.Reason()).find(c.reason), std::string::npos) << ToUtf8(error.Reason());
        }
    }
    // Only the cut-short program reached Wine, which answered that it could not start it.
    std::ifstream started(notes);
    const std::string starts{std::istreambuf_iterator<char>(started), std::istreambuf_iterator<char>()};
    EXPECT_EQ(std::count(starts.begin(), starts.end(), '\n'), 1) << starts;
    EXPECT_NE(starts.find("cut.exe"), std::string::npos) << starts;
    EXPECT_FALSE(fs::exists(report_)) << "something ran";
}

// Wine's loader refuses a prefix on standard error, where a desktop
// program's user never looks, and a launcher started with SIGCHLD ignored
// would never learn that Wine ended, or take it for success. The reason
// reaches the message without Wine's debugging noise, however much of it.
TEST_F(WineRuntimeTest, ShowsWhyWineRefusedWhateverItWritesAndWhateverTheLauncherInherits)
{
    if (!WineOnPath()) {
        GTEST_SKIP() << "Wine is not installed";
    }
    const fs::path noisy = root_ / "noisy-wine";
    std::ofstream(noisy) << "#!/bin/sh\nhead -c 3000000 /dev/zero | tr '\\0' x\necho\n"
                            "for i in $(seq 300); do echo \"0024:fixme:heap:RtlSetHeapInformation $i\" >&2; done\n"
                            "echo 'wine: the reason' >&2\nexit 1\n";
    fs::permissions(noisy, fs::perms::owner_all);
    const fs::path file = root_ / "file";
    std::ofstream(file) << "";
    const struct {
        std::optional<std::string> wine;
        std::string prefix;
        std::string reason;
    } cases[] = {
        {std::nullopt, file.string(), "wine: cannot use directory " + file.string() + " : Not a directory"},
        {std::nullopt, "relative", "wine: invalid directory relative in WINEPREFIX: not an absolute path"},
        {noisy.string(), DSS_WINE_PREFIX, "wine: the reason"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.prefix);
        UseWine(c.wine);
        environment_.emplace_back("WINEPREFIX", c.prefix);
        signal(SIGCHLD, SIG_IGN);
        try {
            SystemRuntime().Shell(Server(), ServerCommandLine(Server(), u"m", u""), kMinimizedFocus);
            ADD_FAILURE() << "reported as started";
        } catch (const RuntimeError& error) {
            const std::string reason = ToUtf8(error.Reason());
            EXPECT_NE(reason.find(c.reason), std::string::npos) << reason.substr(0, 2000);
            EXPECT_EQ(reason.find("fixme"), std::string::npos);
            EXPECT_LT(reason.size(), 6000u);
            EXPECT_EQ(error.Domain(), ErrorDomain::WineExitStatus) << "Wine's status, not a system error";
        }
        signal(SIGCHLD, SIG_DFL);
    }
}

// Under a locale that is not UTF-8 Wine would read the launcher's UTF-8
// bytes as other characters.
TEST_F(WineRuntimeTest, AWindowsProgramGetsExactlyWhatWasTypedUnderALocaleThatIsNotUtf8)
{
    if (!WineOnPath()) {
        GTEST_SKIP() << "Wine is not installed";
    }
    UseWine(std::nullopt);
    environment_.emplace_back("LC_ALL", "C");
    const Text commandLine = ServerCommandLine(Server(), u"maps/été.mis", u"-name Sébastien");
    const ProbeReport report = Collect(SystemRuntime().Shell(Server(), commandLine, kMinimizedFocus));
    EXPECT_EQ(report.self, WindowsPath(server_));
    EXPECT_EQ(report.folder, WindowsPath(root_));
    EXPECT_EQ(report.commandLine,
              "\"" + WindowsPath(server_) + "\" -dedicated -mission maps/été.mis -name Sébastien");
}

// Wine missing or unstartable: the failure names the file, says what it is
// and what it needs, and nothing runs.
TEST_F(WineRuntimeTest, TellsThatWineIsNeededWhenItCannotBeStarted)
{
    const fs::path notExecutable = root_ / "not-executable";
    std::ofstream(notExecutable) << "#!/bin/sh\n";
    fs::permissions(notExecutable, fs::perms::owner_read);
    const char* systemPath = std::getenv("PATH");
    const std::string path = systemPath ? systemPath : "";
    struct Case {
        std::optional<std::string> wine;
        std::string path;
        std::string command;
        int code;
    };
    // WINE, where set, is used even when a `wine` is on PATH.
    const std::vector<Case> cases = {
        {std::nullopt, "", "wine", ENOENT},
        {"", "", "wine", ENOENT},
        {"/nonexistent/wine", path, "/nonexistent/wine", ENOENT},
        {notExecutable.string(), path, notExecutable.string(), EACCES},
        {root_.string(), path, root_.string(), EACCES},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("WINE=" + c.wine.value_or("(unset)") + " PATH=" + c.path);
        UseWine(c.wine);
        const ScopedVariable searched("PATH", c.path);
        try {
            SystemRuntime().Shell(Server(), ServerCommandLine(Server(), u"m", u""), kMinimizedFocus);
            ADD_FAILURE() << "something was started";
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.Action(), u"The server could not be started.");
            EXPECT_EQ(error.Subject(), Server());
            EXPECT_EQ(error.Code(), c.code);
            EXPECT_EQ(ToUtf8(error.Reason()),
                      "It is a Windows program, and Wine is needed to run it on Linux. The command \"" +
                          c.command + "\" could not be started: " + std::strerror(c.code));
        }
    }
    // No sleep needed: glibc's posix_spawnp reports a failed exec before it returns.
    EXPECT_FALSE(fs::exists(report_));
}

// The code page Wine's start writes in, as Wine 8's GetOEMCP gave it for
// the environment the launcher gives Wine (measured with the locales built
// by localedef). The locales here are C.UTF-8 under other names: Wine and
// the launcher go by the name and whether the locale exists.
TEST(WineRuntime, ReadsWineInTheCodePageWineTakesFromTheLocale)
{
    if (!fs::exists("/usr/lib/locale/C.utf8/LC_CTYPE")) {
        GTEST_SKIP() << "no C.UTF-8 locale in /usr/lib/locale to install under other names";
    }
    const fs::path installed = fs::temp_directory_path() / ("dss-locales-" + std::to_string(getpid()));
    for (const char* name : {"de_DE.UTF-8", "hi_IN", "hy_AM", "ka_GE", "mt_MT", "kk_KZ", "az_AZ", "uz_UZ.UTF-8",
                             "bs_BA", "se_NO", "sr_RS@latin", "uz_UZ@cyrillic", "ckb_IQ", "de_BE.UTF-8", "vi_VN",
                             "ja_JP.UTF-8", "en_US.UTF-8"}) {
        fs::create_directories(installed);
        fs::create_directory_symlink("/usr/lib/locale/C.utf8", installed / name);
    }
    const ScopedVariable locales("LOCPATH", installed.string());
    const struct {
        std::vector<std::string> environment;
        unsigned codePage;
    } cases[] = {
        {{"LANG=de_DE.UTF-8", "LC_MESSAGES=fr_FR.UTF-8"}, 850},
        {{"LANG=de_DE"}, 850},
        {{"LANG=hi_IN"}, 65001},
        {{"LANG=hy_AM"}, 65001},
        {{"LANG=ka_GE"}, 65001},
        {{"LANG=mt_MT"}, 65001},
        {{"LANG=kk_KZ"}, 65001},
        {{"LANG=az_AZ"}, 437},
        {{"LANG=uz_UZ.UTF-8"}, 437},
        {{"LANG=bs_BA"}, 437},
        {{"LANG=se_NO"}, 850},
        {{"LANG=sr_RS@latin"}, 852},
        {{"LANG=uz_UZ@cyrillic"}, 866},
        {{"LANG=ckb_IQ"}, 720},
        {{"LANG=de_BE.UTF-8"}, 437},
        {{"LANG=vi_VN"}, 1258},
        {{"LANG=ja_JP.UTF-8", "LC_CTYPE=en_US.UTF-8"}, 437},
        {{"LANG=en_US.UTF-8", "LC_CTYPE=ja_JP.UTF-8"}, 932},
        {{"LANG=de_DE.UTF-8", "LC_CTYPE=xx_YY.UTF-8"}, 437},
        {{"LC_ALL=C", "LANG=de_DE.UTF-8"}, 437},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.environment.front() + (c.environment.size() > 1 ? " " + c.environment.back() : ""));
        EXPECT_EQ(WineLocaleFor(c.environment).oemCodePage, c.codePage);
    }
    fs::remove_all(installed);
    // Wine's own tables, where glibc has none (720) or loses letters (1258).
    EXPECT_EQ(FromCodePage("\xAB\xE9\x9F\xEA", 720), u"\u0633\u0644\u0627\u0645");
    EXPECT_EQ(FromCodePage("Kh\xF4ng \xD0i", 1258), u"Kh\u00F4ng \u0110i");
    EXPECT_EQ(FromCodePage("J\xC3\xBCrgen", 65001), u"J\u00FCrgen");
}

TEST(WineRuntime, TheProbeIsBuiltForTheWineOfThisMachine)
{
    if (kProbeBits == 0) {
        GTEST_SKIP() << "no MinGW-w64 cross-compiler was found when configuring";
    }
    // The PE header's offset is at 0x3C; the machine follows "PE\0\0".
    std::ifstream in(fs::path(ToUtf8(SystemRuntime().AppPath())) / "probe-windows.exe", std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_GT(bytes.size(), 0x40u);
    std::uint32_t header = 0;
    std::memcpy(&header, bytes.data() + 0x3C, sizeof header);
    ASSERT_LT(header + 6, bytes.size());
    std::uint16_t machine = 0;
    std::memcpy(&machine, bytes.data() + header + 4, sizeof machine);
    EXPECT_EQ(bytes.substr(header, 4), std::string("PE\0\0", 4));
    EXPECT_EQ(machine, kProbeBits == 32 ? 0x014C : 0x8664) << "IMAGE_FILE_MACHINE_I386 or _AMD64";
    if (kProbeBits == 64) {
        GTEST_SKIP() << "32-bit Wine cannot run on this machine (DSS_WINE_32BIT is OFF): "
                        "the Wine tests start a 64-bit Windows probe instead of a 32-bit one";
    }
}

} // namespace
} // namespace dss
