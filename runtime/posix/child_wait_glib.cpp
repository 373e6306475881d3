#include "runtime/posix/child_wait.hpp"

#include <glib-unix.h>
#include <glib.h>

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace dss {
namespace {

// Wine explains a failed start in a line or two; a child that writes more
// is not explaining anything.
constexpr std::size_t kOutputLimit = 4096;

struct Wait {
    GMainLoop* loop;
    int fd;
    ChildEnd end;
};

// Reads what is there without blocking; false at the pipe's end.
bool ReadAvailable(Wait& wait)
{
    std::array<char, 1024> buffer{};
    for (;;) {
        const ssize_t length = read(wait.fd, buffer.data(), buffer.size());
        if (length > 0) {
            const std::size_t room = kOutputLimit - std::min(kOutputLimit, wait.end.output.size());
            wait.end.output.append(buffer.data(), std::min(room, static_cast<std::size_t>(length)));
            continue;
        }
        if (length < 0 && errno == EINTR) {
            continue;
        }
        return length < 0 && errno == EAGAIN;
    }
}

gboolean OnOutput(gint /*fd*/, GIOCondition /*condition*/, gpointer data) noexcept
{
    return ReadAvailable(*static_cast<Wait*>(data)) ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

void OnChildEnded(GPid /*pid*/, gint status, gpointer data) noexcept
{
    auto& wait = *static_cast<Wait*>(data);
    wait.end.status = status;
    g_main_loop_quit(wait.loop);
}

struct LoopDeleter {
    void operator()(GMainLoop* loop) const noexcept { g_main_loop_unref(loop); }
};

class SourceGuard {
public:
    explicit SourceGuard(guint id) : id_(id) {}
    ~SourceGuard()
    {
        if (GSource* source = g_main_context_find_source_by_id(nullptr, id_)) {
            g_source_destroy(source);
        }
    }
    SourceGuard(const SourceGuard&) = delete;
    SourceGuard& operator=(const SourceGuard&) = delete;

private:
    guint id_;
};

} // namespace

ChildEnd AwaitChild(pid_t pid, int output)
{
    fcntl(output, F_SETFL, fcntl(output, F_GETFL) | O_NONBLOCK);
    // The default context: the one the window's events come through.
    const std::unique_ptr<GMainLoop, LoopDeleter> loop(g_main_loop_new(nullptr, FALSE));
    Wait wait{loop.get(), output, {}};
    {
        const SourceGuard reader(g_unix_fd_add(output, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                                               OnOutput, &wait));
        const SourceGuard watch(g_child_watch_add(pid, OnChildEnded, &wait));
        g_main_loop_run(loop.get());
        // What the child wrote just before it ended.
        ReadAvailable(wait);
    }
    close(output);
    return std::move(wait.end);
}

} // namespace dss
