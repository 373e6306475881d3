// Stands in for the game server in the launch benchmark. It notes the time
// of its first instruction (CLOCK_MONOTONIC, which is the same clock in
// every process) in the file that DSS_BENCH_STAMP names, as nanoseconds in
// decimal, and exits. Linked without the C library: there is no loader and
// no start-up code to run before _start, and nothing for it to wait for.
#include <fcntl.h>
#include <sys/syscall.h>
#include <time.h>

namespace {

long SystemCall(long number, long first = 0, long second = 0, long third = 0)
{
    long result = 0;
    asm volatile("syscall"
                 : "=a"(result)
                 : "a"(number), "D"(first), "S"(second), "d"(third)
                 : "rcx", "r11", "memory");
    return result;
}

[[noreturn]] void Exit(int status)
{
    for (;;) {
        SystemCall(SYS_exit_group, status);
    }
}

// The value of `name` in the environment block, or nullptr.
const char* Environment(char** environment, const char* name)
{
    for (; *environment != nullptr; ++environment) {
        const char* entry = *environment;
        const char* wanted = name;
        while (*wanted != '\0' && *entry == *wanted) {
            ++entry;
            ++wanted;
        }
        if (*wanted == '\0' && *entry == '=') {
            return entry + 1;
        }
    }
    return nullptr;
}

} // namespace

// The stack as the kernel leaves it: argc, the arguments, a null, then the
// environment.
extern "C" [[noreturn]] void ProbeMain(long* stack)
{
    timespec now{};
    SystemCall(SYS_clock_gettime, CLOCK_MONOTONIC, reinterpret_cast<long>(&now));

    char** arguments = reinterpret_cast<char**>(stack + 1);
    const char* path = Environment(arguments + stack[0] + 1, "DSS_BENCH_STAMP");
    if (path == nullptr) {
        Exit(2);
    }

    // Digits from the right; 20 hold any 64-bit count.
    char text[21];
    int start = 20;
    text[start] = '\n';
    unsigned long long nanoseconds =
        static_cast<unsigned long long>(now.tv_sec) * 1000000000ULL + static_cast<unsigned long long>(now.tv_nsec);
    do {
        text[--start] = static_cast<char>('0' + nanoseconds % 10);
        nanoseconds /= 10;
    } while (nanoseconds != 0);

    const long file = SystemCall(SYS_open, reinterpret_cast<long>(path), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (file < 0) {
        Exit(3);
    }
    const long length = 21 - start;
    const bool written = SystemCall(SYS_write, file, reinterpret_cast<long>(text + start), length) == length;
    SystemCall(SYS_close, file);
    Exit(written ? 0 : 4);
}

// The entry the kernel jumps to: hands the stack to ProbeMain, aligned as
// the calling convention wants.
asm(R"(
    .text
    .globl _start
    .type _start, @function
_start:
    xor %rbp, %rbp
    mov %rsp, %rdi
    and $-16, %rsp
    call ProbeMain
    hlt
)");
