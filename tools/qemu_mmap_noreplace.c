/* Preloaded into every 32-bit program that runs through qemu-i386-static
 * (tools/i386_via_qemu.sh). QEMU 7.2 takes MAP_FIXED_NOREPLACE as a mere
 * hint: when the range asked for is taken it maps somewhere else instead of
 * failing with EEXIST. Wine reserves its address space with that flag, and
 * the misplaced mappings make every 32-bit Wine process spend a minute in
 * mmap/munmap before it dies ("failed to map the shared user data"). Here a
 * misplaced mapping is undone and the call fails as the kernel's would.
 *
 * Built with -nostdlib against the i386 libc.so.6 alone: a machine that only
 * has 32-bit Wine has no 32-bit C headers, so what is used is declared here.
 */

typedef __SIZE_TYPE__ size_t;
typedef void *MmapFunction(void *, size_t, int, int, int, long);
typedef void *Mmap64Function(void *, size_t, int, int, int, long long);

#define MAP_FAILED ((void *)-1)
#define MAP_FIXED_NOREPLACE 0x100000 /* <linux/mman.h> */
#define EEXIST 17
#define RTLD_NEXT ((void *)-1)

extern void *dlsym(void *handle, const char *name);
extern int munmap(void *address, size_t length);
extern int *__errno_location(void);
extern int unsetenv(const char *name);

static MmapFunction *next_mmap;
static Mmap64Function *next_mmap64;

static void *as_the_kernel_would(void *wanted, void *got, size_t length, int flags)
{
    if (!(flags & MAP_FIXED_NOREPLACE) || got == MAP_FAILED || got == wanted)
        return got;
    munmap(got, length);
    *__errno_location() = EEXIST;
    return MAP_FAILED;
}

/* Looked up at the first call, not in the constructor: other libraries'
 * constructors may map memory before ours runs. Racing threads store the same
 * value. */
void *mmap(void *address, size_t length, int protection, int flags, int fd, long offset)
{
    if (!next_mmap)
        next_mmap = (MmapFunction *)dlsym(RTLD_NEXT, "mmap");
    return as_the_kernel_would(address, next_mmap(address, length, protection, flags, fd, offset),
                               length, flags);
}

void *mmap64(void *address, size_t length, int protection, int flags, int fd, long long offset)
{
    if (!next_mmap64)
        next_mmap64 = (Mmap64Function *)dlsym(RTLD_NEXT, "mmap64");
    return as_the_kernel_would(address, next_mmap64(address, length, protection, flags, fd, offset),
                               length, flags);
}

/* The interpreter sets LD_PRELOAD for each 32-bit program it starts; 64-bit
 * programs started from here (wineserver, wine64) could not load this
 * library and would complain. */
__attribute__((constructor)) static void forget_preload(void)
{
    unsetenv("LD_PRELOAD");
}
