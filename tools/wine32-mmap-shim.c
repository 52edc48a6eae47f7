/* i386 only; built without libc. Gives MAP_FIXED_NOREPLACE its kernel meaning by reading the
   process's own memory map, instead of letting the emulator search for another place. */
#define MAP_FIXED_ 0x10
#define MAP_FIXED_NOREPLACE_ 0x100000
extern int *__errno_location(void);
extern int unsetenv(const char *);
static long sys3(long nr, long a, long b, long c)
{
    long ret;
    __asm__ volatile("int $0x80" : "=a"(ret) : "0"(nr), "b"(a), "c"(b), "d"(c) : "memory");
    return ret;
}
static char buf[65536];
/* 1 when [lo, hi) overlaps a mapping listed in /proc/self/maps, 0 when free, -1 on error */
static int overlaps(unsigned long lo, unsigned long hi)
{
    long fd = sys3(5, (long)"/proc/self/maps", 0, 0);
    if (fd < 0) return -1;
    long n = 0, r;
    while (n < (long)sizeof buf - 1 && (r = sys3(3, fd, (long)(buf + n), sizeof buf - 1 - n)) > 0) n += r;
    sys3(6, fd, 0, 0);
    buf[n] = 0;
    char *p = buf;
    while (*p) {
        unsigned long a = 0, b = 0;
        while (*p && *p != '-') { a = a * 16 + (*p <= '9' ? *p - '0' : (*p | 32) - 'a' + 10); p++; }
        if (*p) p++;
        while (*p && *p != ' ') { b = b * 16 + (*p <= '9' ? *p - '0' : (*p | 32) - 'a' + 10); p++; }
        if (a < hi && b > lo) return 1;
        while (*p && *p != '\n') p++;
        if (*p) p++;
    }
    return 0;
}
static void *do_mmap(void *addr, unsigned long len, int prot, int flags, int fd, long long off)
{
    if (flags & MAP_FIXED_NOREPLACE_) {
        unsigned long lo = (unsigned long)addr, hi = lo + ((len + 4095) & ~4095UL);
        if (hi < lo || overlaps(lo, hi) != 0) { *__errno_location() = 17; return (void *)-1; }
        flags = (flags & ~MAP_FIXED_NOREPLACE_) | MAP_FIXED_;
    }
    unsigned long args[6] = { (unsigned long)addr, len, (unsigned long)prot, (unsigned long)flags, (unsigned long)fd, (unsigned long)off };
    long r = sys3(90, (long)args, 0, 0); /* old_mmap: arguments in memory */
    if ((unsigned long)r > 0xfffff000UL) { *__errno_location() = -r; return (void *)-1; }
    return (void *)r;
}
void *mmap(void *a, unsigned long l, int p, int f, int fd, long o) { return do_mmap(a, l, p, f, fd, o); }
void *mmap64(void *a, unsigned long l, int p, int f, int fd, long long o) { return do_mmap(a, l, p, f, fd, o); }
__attribute__((constructor)) static void init(void) { unsetenv("LD_PRELOAD"); }
