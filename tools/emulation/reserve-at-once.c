/* Preloaded into Wine's 32-bit processes when they run under qemu-i386.
 *
 * Wine reserves its 32-bit address space with MAP_FIXED_NOREPLACE hints and halves every range that
 * fails, down to 64 KiB. qemu-i386 does not honour such hints at or above 0x80000000 and places the
 * mapping elsewhere, and every one of the ~65,000 attempts then costs a search of qemu's map. Here a
 * hint that qemu cannot honour fails at once with EEXIST, and one it placed elsewhere is given back
 * and fails the same way, as the kernel itself answers MAP_FIXED_NOREPLACE.
 *
 * Built freestanding (no i386 headers or libraries are needed): the few libc symbols are found in the
 * process at load time. */
typedef unsigned int size_t;
extern int *__errno_location(void);
extern void *dlsym(void *handle, const char *name);
extern int munmap(void *addr, size_t length);

#define RTLD_NEXT ((void *) -1l)
#define MAP_FIXED_NOREPLACE 0x100000
#define EEXIST 17
#define MAP_FAILED ((void *) -1)
#define FIRST_UNHONOURED_HINT 0x80000000ul

static void *refused(void)
{
    *__errno_location() = EEXIST;
    return MAP_FAILED;
}

static void *placed_where_asked(void *hint, size_t length, void *got)
{
    if (got == MAP_FAILED || got == hint) return got;
    munmap(got, length);
    return refused();
}

void *mmap(void *hint, size_t length, int prot, int flags, int fd, long offset)
{
    static void *(*next)(void *, size_t, int, int, int, long);
    if (!next) next = dlsym(RTLD_NEXT, "mmap");
    if (!(flags & MAP_FIXED_NOREPLACE)) return next(hint, length, prot, flags, fd, offset);
    if ((unsigned long) hint >= FIRST_UNHONOURED_HINT) return refused();
    return placed_where_asked(hint, length, next(hint, length, prot, flags, fd, offset));
}

void *mmap64(void *hint, size_t length, int prot, int flags, int fd, long long offset)
{
    static void *(*next)(void *, size_t, int, int, int, long long);
    if (!next) next = dlsym(RTLD_NEXT, "mmap64");
    if (!(flags & MAP_FIXED_NOREPLACE)) return next(hint, length, prot, flags, fd, offset);
    if ((unsigned long) hint >= FIRST_UNHONOURED_HINT) return refused();
    return placed_where_asked(hint, length, next(hint, length, prot, flags, fd, offset));
}
