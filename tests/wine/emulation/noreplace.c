/* Tovinel Wine tests: libwine-noreplace, preloaded into Wine's 32-bit processes where they run
 * through qemu-i386 (a kernel without IA-32 emulation; tools/steps/wine_i386_emulation.sh builds and
 * installs it, tests/wine/wine_session.py names it in LD_PRELOAD). It gives mmap(MAP_FIXED_NOREPLACE)
 * the kernel's answer.
 *
 * qemu 7.2's user-mode mmap takes MAP_FIXED_NOREPLACE as a mere hint: when the range is taken it maps
 * the area somewhere else and returns that address. Wine's ntdll (virtual.c, anon_mmap_tryfixed)
 * keeps such a misplaced area as reserved address space when it lies above the user-space limit, so
 * the high addresses fill up with Wine's own reservations, and reserve_area() then halves its way
 * down to 64 KiB pieces over the whole range: some 65,000 mmap/munmap pairs, each a trip through
 * qemu, about 45 s of CPU for every 32-bit process, long enough for every Wine test to time out. The
 * kernel instead fails with EEXIST and maps nothing; given that, Wine reserves the range in a few
 * dozen calls and a process starts in a fraction of a second.
 *
 * ntdll.so calls mmap64 (it is built with 64-bit file offsets); mmap is covered for anything else.
 * No libc headers or start files, so that no i386 development package is needed: the system calls go
 * through int 0x80, and errno through libc's __errno_location, which the dynamic linker binds at
 * load time (libc is loaded in every Wine process). On a kernel that runs 32-bit code itself the
 * check below never fires. Built as
 *   gcc -m32 -O2 -fPIC -nostdlib -shared -Wl,-soname,libwine-noreplace.so -o libwine-noreplace.so noreplace.c
 */

#define SYS_munmap 91
#define SYS_mmap2 192
#define MAP_FIXED_NOREPLACE 0x100000
#define EINVAL 22
#define EEXIST 17
#define PAGE_SHIFT 12
#define MAP_FAILED ((void *)-1)

extern int *__errno_location(void);

static long syscall2(long number, long a1, long a2)
{
    long result;
    __asm__ volatile("int $0x80" : "=a"(result) : "a"(number), "b"(a1), "c"(a2) : "memory");
    return result;
}

/* The sixth argument goes in %ebp, which no operand can name: it is pushed before %esp moves (so
 * that an %esp-relative operand still reads right), then loaded from the stack. */
static long syscall6(long number, long a1, long a2, long a3, long a4, long a5, long a6)
{
    long result;
    __asm__ volatile("pushl %7\n\t"
                     "push %%ebp\n\t"
                     "mov 4(%%esp), %%ebp\n\t"
                     "int $0x80\n\t"
                     "pop %%ebp\n\t"
                     "add $4, %%esp"
                     : "=a"(result)
                     : "a"(number), "b"(a1), "c"(a2), "d"(a3), "S"(a4), "D"(a5), "g"(a6)
                     : "memory");
    return result;
}

static void *failed(int error)
{
    *__errno_location() = error;
    return MAP_FAILED;
}

void *mmap64(void *address, unsigned long length, int protection, int flags, int fd, long long offset)
{
    /* mmap2 takes the offset in pages. */
    if (offset & ((1 << PAGE_SHIFT) - 1))
        return failed(EINVAL);
    long result = syscall6(SYS_mmap2, (long)address, (long)length, protection, flags, fd,
                           (long)(offset >> PAGE_SHIFT));
    if ((unsigned long)result > -4096UL)
        return failed((int)-result);
    if ((flags & MAP_FIXED_NOREPLACE) && (void *)result != address) {
        /* Placed elsewhere: undo it, as the kernel would have mapped nothing. */
        syscall2(SYS_munmap, result, (long)length);
        return failed(EEXIST);
    }
    return (void *)result;
}

void *mmap(void *address, unsigned long length, int protection, int flags, int fd, long offset)
{
    return mmap64(address, length, protection, flags, fd, offset);
}
