// Times a program's window from outside, as an X client.
//
//     xbench start [--rss] [--settle MS] [--close] [--timeout S] -- COMMAND [ARG...]
//     xbench launch --click X Y [--stamp FILE] [--settle MS] [--timeout S] -- LAUNCHER [ARG...]
//
// Both start COMMAND and wait for its top-level window to be mapped: the
// map event arrives on the root window, which this client watches for
// changes of its children (SubstructureNotifyMask), so nothing is polled.
// Under a window manager the root's child is the manager's frame; the
// program's window is found inside it by _NET_WM_PID, which names COMMAND
// or a process it started (as when COMMAND is strace or Wine's loader).
//
// start prints map_ms (from just before the process was created to the map
// event), with --rss the peak resident set size (VmHWM) of the window's
// process after the map and the --settle time, then ends the program: with
// --close as a user would, by asking the window to close
// (WM_DELETE_WINDOW), and prints its exit status; otherwise with SIGTERM
// to the window's process, then to COMMAND.
//
// launch then clicks at X Y in the window with xdotool (real X input
// events) and prints, from the button's release, the time to the first
// instruction of the server the launcher starts (which writes it to FILE,
// named to it by DSS_BENCH_STAMP; see stamp_probe.cpp; without --stamp,
// not timed) and to the launcher's exit. The release is seen as an XInput 2 raw event on the
// root window, which every client may select.
//
// Figures go to standard output as name=value; the exit status is 0 only
// when everything was seen in time.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

long long Now()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

double Milliseconds(long long nanoseconds)
{
    return static_cast<double>(nanoseconds) / 1e6;
}

// The parent of `pid` from /proc, or 0.
pid_t ParentOf(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("PPid:", 0) == 0) {
            return static_cast<pid_t>(std::atol(line.c_str() + 5));
        }
    }
    return 0;
}

// True when `pid` is `ancestor` or one of its descendants.
bool Descends(pid_t pid, pid_t ancestor)
{
    for (int depth = 0; pid > 1 && depth < 16; ++depth, pid = ParentOf(pid)) {
        if (pid == ancestor) {
            return true;
        }
    }
    return false;
}

struct Options {
    std::string mode;
    bool rss = false;
    bool close = false;
    int settleMs = 0;
    double timeoutSeconds = 60;
    std::optional<std::pair<int, int>> click;
    std::string stamp;
    std::vector<char*> command;
};

[[noreturn]] void Usage()
{
    std::fprintf(stderr,
                 "usage: xbench start [--rss] [--settle MS] [--close] [--timeout S] -- COMMAND [ARG...]\n"
                 "       xbench launch --click X Y [--stamp FILE] [--settle MS] [--timeout S] -- LAUNCHER [ARG...]\n");
    std::exit(2);
}

Options ParseOptions(int argc, char** argv)
{
    if (argc < 2) {
        Usage();
    }
    Options options;
    options.mode = argv[1];
    if (options.mode != "start" && options.mode != "launch") {
        Usage();
    }
    int index = 2;
    auto value = [&]() -> const char* {
        if (index + 1 >= argc) {
            Usage();
        }
        return argv[++index];
    };
    for (; index < argc && std::strcmp(argv[index], "--") != 0; ++index) {
        const std::string option = argv[index];
        if (option == "--rss") {
            options.rss = true;
        } else if (option == "--close") {
            options.close = true;
        } else if (option == "--settle") {
            options.settleMs = std::atoi(value());
        } else if (option == "--timeout") {
            options.timeoutSeconds = std::atof(value());
        } else if (option == "--stamp") {
            options.stamp = value();
        } else if (option == "--click") {
            const int x = std::atoi(value());
            options.click = std::make_pair(x, std::atoi(value()));
        } else {
            Usage();
        }
    }
    for (++index; index < argc; ++index) {
        options.command.push_back(argv[index]);
    }
    if (options.command.empty() || (options.mode == "launch" && !options.click)) {
        Usage();
    }
    options.command.push_back(nullptr);
    return options;
}

// Windows can vanish between the event and the question about them; such
// errors only mean "not this one".
int IgnoreXError(Display*, XErrorEvent*)
{
    return 0;
}

class Bench {
public:
    explicit Bench(const Options& options);
    ~Bench();
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    int Start();
    int Launch();

private:
    void Spawn();
    void WaitForMap();
    bool Owned(Window window, int depth);
    void Settle() const;
    long PeakResidentKilobytes() const;
    void AskToClose();
    int WaitForExit();
    void Stop();
    bool WaitReadable(int extraFd);
    [[noreturn]] void Fail(const std::string& what);

    const Options& options_;
    Display* display_;
    Window root_;
    long long deadline_ = 0;
    pid_t pid_ = -1;
    int pidFd_ = -1;
    pid_t windowPid_ = -1;
    long long started_ = 0;
    long long mapped_ = 0;
    Window window_ = None;
    int xiOpcode_ = 0;
};

Bench::Bench(const Options& options) : options_(options), display_(XOpenDisplay(nullptr))
{
    if (display_ == nullptr) {
        throw std::runtime_error("cannot open the X display (is DISPLAY set?)");
    }
    XSetErrorHandler(IgnoreXError);
    root_ = DefaultRootWindow(display_);
    XSelectInput(display_, root_, SubstructureNotifyMask);
    XSync(display_, False);
    deadline_ = Now() + static_cast<long long>(options.timeoutSeconds * 1e9);
}

Bench::~Bench()
{
    Stop();
    XCloseDisplay(display_);
}

void Bench::Fail(const std::string& what)
{
    Stop();
    throw std::runtime_error(what);
}

void Bench::Spawn()
{
    started_ = Now();
    const int result = posix_spawnp(&pid_, options_.command[0], nullptr, nullptr, options_.command.data(), environ);
    if (result != 0) {
        pid_ = -1;
        Fail(std::string("cannot start ") + options_.command[0] + ": " + std::strerror(result));
    }
    // Through syscall(): glibc 2.36's <sys/pidfd.h> lacks extern "C" for C++.
    pidFd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    if (pidFd_ < 0) {
        Fail(std::string("pidfd_open: ") + std::strerror(errno));
    }
}

// Waits until the X connection has something to read (true) or extraFd
// does (false), failing at the deadline.
bool Bench::WaitReadable(int extraFd)
{
    for (;;) {
        if (XPending(display_) > 0) {
            return true;
        }
        const long long left = deadline_ - Now();
        if (left <= 0) {
            Fail("timed out");
        }
        pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {extraFd, POLLIN, 0}};
        const int count = poll(fds, extraFd >= 0 ? 2 : 1, static_cast<int>(left / 1000000 + 1));
        if (count < 0 && errno != EINTR) {
            Fail(std::string("poll: ") + std::strerror(errno));
        }
        // Events first: they were sent before whatever ended the process.
        if (count > 0 && (fds[0].revents & POLLIN) != 0 && XEventsQueued(display_, QueuedAfterReading) > 0) {
            return true;
        }
        if (count > 0 && extraFd >= 0 && fds[1].revents != 0) {
            return false;
        }
    }
}

// True when `window` or a window inside it (a manager's frame holds the
// program's window) belongs to the started process.
bool Bench::Owned(Window window, int depth)
{
    static const Atom pidAtom = XInternAtom(display_, "_NET_WM_PID", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data) == Success &&
        data != nullptr) {
        const pid_t owner = format == 32 && count == 1 ? static_cast<pid_t>(*reinterpret_cast<long*>(data)) : -1;
        XFree(data);
        if (owner > 0 && Descends(owner, pid_)) {
            window_ = window;
            windowPid_ = owner;
            return true;
        }
    }
    if (depth == 0) {
        return false;
    }
    Window rootReturn = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int childCount = 0;
    if (XQueryTree(display_, window, &rootReturn, &parent, &children, &childCount) == 0) {
        return false;
    }
    bool found = false;
    for (unsigned int index = 0; index < childCount && !found; ++index) {
        found = Owned(children[index], depth - 1);
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

void Bench::WaitForMap()
{
    for (;;) {
        if (!WaitReadable(pidFd_)) {
            int status = 0;
            waitpid(pid_, &status, 0);
            pid_ = -1;
            Fail("the program ended before its window was mapped (status " + std::to_string(status) + ")");
        }
        XEvent event;
        XNextEvent(display_, &event);
        const long long now = Now();
        if (event.type != MapNotify || event.xmap.event != root_ || event.xmap.override_redirect) {
            continue;
        }
        if (Owned(event.xmap.window, 3)) {
            mapped_ = now;
            return;
        }
    }
}

void Bench::Settle() const
{
    timespec pause{options_.settleMs / 1000, (options_.settleMs % 1000) * 1000000L};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

long Bench::PeakResidentKilobytes() const
{
    std::ifstream status("/proc/" + std::to_string(windowPid_) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

// What a window manager's close button sends.
void Bench::AskToClose()
{
    XEvent message{};
    message.xclient.type = ClientMessage;
    message.xclient.window = window_;
    message.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    message.xclient.format = 32;
    message.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    message.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, window_, False, NoEventMask, &message);
    XFlush(display_);
}

// The exit status of the started process once it has ended.
int Bench::WaitForExit()
{
    while (WaitReadable(pidFd_)) {
        XEvent event;
        XNextEvent(display_, &event);
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    close(pidFd_);
    pidFd_ = -1;
    return status;
}

void Bench::Stop()
{
    if (pid_ > 0) {
        // The window's process first: a tracer between it and COMMAND would
        // let it go on alone.
        if (windowPid_ > 0 && windowPid_ != pid_) {
            kill(windowPid_, SIGTERM);
            pollfd ended{pidFd_, POLLIN, 0};
            poll(&ended, 1, 10000);
        }
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    if (pidFd_ >= 0) {
        close(pidFd_);
        pidFd_ = -1;
    }
}

int Bench::Start()
{
    Spawn();
    WaitForMap();
    std::printf("map_ms=%.3f", Milliseconds(mapped_ - started_));
    Settle();
    if (options_.rss) {
        std::printf(" hwm_kb=%ld", PeakResidentKilobytes());
    }
    if (options_.close) {
        AskToClose();
        const int status = WaitForExit();
        if (WIFEXITED(status)) {
            std::printf(" exit=%d", WEXITSTATUS(status));
        } else {
            std::printf(" signal=%d", WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        }
    }
    std::printf("\n");
    return 0;
}

int Bench::Launch()
{
    int first = 0;
    int error = 0;
    // From 2.1 on, raw events reach the root window even while a client
    // holds a grab, as a button does from its press to its release.
    int major = 2;
    int minor = 2;
    if (!XQueryExtension(display_, "XInputExtension", &xiOpcode_, &first, &error) ||
        XIQueryVersion(display_, &major, &minor) != Success || major * 10 + minor < 21) {
        throw std::runtime_error("the X server has no XInput 2.1");
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawButtonPress);
    XISetMask(bits, XI_RawButtonRelease);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
    XISelectEvents(display_, root_, &mask, 1);
    XSync(display_, False);

    // The server outlives the launcher in a session of its own; as the
    // subreaper this process still learns when it has ended.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    if (!options_.stamp.empty()) {
        setenv("DSS_BENCH_STAMP", options_.stamp.c_str(), 1);
        unlink(options_.stamp.c_str());
    }

    Spawn();
    WaitForMap();
    std::printf("map_ms=%.3f", Milliseconds(mapped_ - started_));
    // Lets the launcher finish drawing, so that the click is not queued
    // behind its first frame.
    Settle();

    const std::string windowId = std::to_string(window_);
    const std::string x = std::to_string(options_.click->first);
    const std::string y = std::to_string(options_.click->second);
    std::string words[] = {"xdotool", "mousemove", "--window", windowId, x, y, "click", "1"};
    std::vector<char*> xdotool;
    for (std::string& word : words) {
        xdotool.push_back(word.data());
    }
    xdotool.push_back(nullptr);
    pid_t clicker = -1;
    if (posix_spawnp(&clicker, "xdotool", nullptr, nullptr, xdotool.data(), environ) != 0) {
        Fail("cannot start xdotool");
    }

    long long pressed = 0;
    long long released = 0;
    while (WaitReadable(pidFd_)) {
        XEvent event;
        XNextEvent(display_, &event);
        const long long now = Now();
        if (event.type != GenericEvent || event.xcookie.extension != xiOpcode_) {
            continue;
        }
        if (event.xcookie.evtype == XI_RawButtonPress && pressed == 0) {
            pressed = now;
        } else if (event.xcookie.evtype == XI_RawButtonRelease && pressed != 0 && released == 0) {
            released = now;
        }
    }
    const long long exited = Now();
    const int status = WaitForExit();
    // Whatever is left: xdotool, and the server, handed to this process.
    while (waitpid(-1, nullptr, 0) > 0 || errno == EINTR) {
    }
    if (clicker < 0 || released == 0) {
        Fail("the launcher ended without the click being seen");
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        Fail("the launcher failed (status " + std::to_string(status) + ")");
    }
    std::printf(" press_to_release_ms=%.3f to_exit_ms=%.3f", Milliseconds(released - pressed),
                Milliseconds(exited - released));
    long long firstInstruction = 0;
    if (options_.stamp.empty()) {
        std::printf("\n");
        return 0;
    }
    if (!(std::ifstream(options_.stamp) >> firstInstruction)) {
        Fail("the server noted no time in " + options_.stamp + ": was it started?");
    }
    std::printf(" to_probe_ms=%.3f\n", Milliseconds(firstInstruction - released));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const Options options = ParseOptions(argc, argv);
    try {
        Bench bench(options);
        return options.mode == "start" ? bench.Start() : bench.Launch();
    } catch (const std::exception& failure) {
        std::fflush(stdout);
        std::fprintf(stderr, "\nxbench: %s\n", failure.what());
        return 1;
    }
}
