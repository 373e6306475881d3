#include "runtime/posix/child_wait.hpp"

#include <glib-unix.h>
#include <glib.h>

#include <array>
#include <cerrno>
#include <list>
#include <memory>
#include <string_view>
#include <unistd.h>

namespace dss {
namespace {

struct Wait {
    GMainLoop* loop;
    int status;
};

// Reads what is there without blocking; false at the pipe's end.
bool ReadAvailable(const ChildOutput& output) noexcept
{
    std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t length = read(output.fd.get(), buffer.data(), buffer.size());
        if (length > 0) {
            if (output.echo >= 0) {
                // A copy for whoever reads the launcher's own output; a
                // failure to write it changes nothing.
                [[maybe_unused]] const ssize_t written =
                    write(output.echo, buffer.data(), static_cast<std::size_t>(length));
            }
            try {
                output.lines->Append(std::string_view(buffer.data(), static_cast<std::size_t>(length)));
            } catch (...) {
                // Out of memory: the child's words are lost, not its end.
            }
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
    return ReadAvailable(*static_cast<const ChildOutput*>(data)) ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

void OnChildEnded(GPid /*pid*/, gint status, gpointer data) noexcept
{
    auto& wait = *static_cast<Wait*>(data);
    wait.status = status;
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

int AwaitChild(pid_t pid, std::vector<ChildOutput> outputs)
{
    // The default context: the one the window's events come through.
    const std::unique_ptr<GMainLoop, LoopDeleter> loop(g_main_loop_new(nullptr, FALSE));
    Wait wait{loop.get(), 0};
    {
        std::list<SourceGuard> readers;
        for (const ChildOutput& output : outputs) {
            readers.emplace_back(g_unix_fd_add(output.fd.get(),
                                               static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), OnOutput,
                                               const_cast<ChildOutput*>(&output)));
        }
        const SourceGuard watch(g_child_watch_add(pid, OnChildEnded, &wait));
        g_main_loop_run(loop.get());
        // What the child wrote just before it ended.
        for (const ChildOutput& output : outputs) {
            ReadAvailable(output);
        }
    }
    return wait.status;
}

} // namespace dss
