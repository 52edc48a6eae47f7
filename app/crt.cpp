// The few C library functions the installer uses, on top of kernel32, so that the executable
// needs no C runtime DLL (which early Windows 95 lacks) and stays small. Built with
// -fno-builtin so that the compiler does not turn these loops back into calls to themselves.
//
// The copies and fills move whole 32-bit words with the string instructions (`rep movsd`,
// `rep stosd`, then the last bytes with `rep movsb`, `rep stosb`), which every 80386 has and
// later processors run at memory speed: the decoder's stored blocks and the reads and writes
// of the archive go through them. The direction flag is clear on entry, as both the Win32 and
// the System V ABI guarantee; the backward copy of memmove sets it and clears it again.
//
// The copy routines also build into the 32-bit Linux program that the benchmark times the
// decoder in; the allocation is the installer's alone.
#ifdef _WIN32
#include <windows.h>
#endif
#include <stddef.h>

extern "C" {

void *memcpy(void *target, const void *source, size_t count)
{
#if defined(__i386__)
    void *t = target;
    size_t words = count >> 2, bytes = count & 3;
    __asm__ volatile("rep movsl\n\t"
                     "movl %3, %%ecx\n\t"
                     "rep movsb"
                     : "+D"(t), "+S"(source), "+c"(words)
                     : "r"(bytes)
                     : "memory");
#else
    unsigned char *t = (unsigned char *)target;
    const unsigned char *s = (const unsigned char *)source;
    while (count--)
        *t++ = *s++;
#endif
    return target;
}

void *memmove(void *target, const void *source, size_t count)
{
    unsigned char *t = (unsigned char *)target;
    const unsigned char *s = (const unsigned char *)source;
    if (t < s || t >= s + count)
        return memcpy(target, source, count);
#if defined(__i386__)
    // Overlapping, the target after the source: from the last byte down.
    t += count - 1;
    s += count - 1;
    __asm__ volatile("std\n\t"
                     "rep movsb\n\t"
                     "cld"
                     : "+D"(t), "+S"(s), "+c"(count)
                     :
                     : "memory");
#else
    while (count--)
        t[count] = s[count];
#endif
    return target;
}

void *memset(void *target, int value, size_t count)
{
#if defined(__i386__)
    void *t = target;
    unsigned int pattern = (unsigned char)value * 0x01010101u;
    size_t words = count >> 2, bytes = count & 3;
    __asm__ volatile("rep stosl\n\t"
                     "movl %3, %%ecx\n\t"
                     "rep stosb"
                     : "+D"(t), "+c"(words)
                     : "a"(pattern), "r"(bytes)
                     : "memory");
#else
    unsigned char *t = (unsigned char *)target;
    while (count--)
        *t++ = (unsigned char)value;
#endif
    return target;
}

int memcmp(const void *a, const void *b, size_t count)
{
    const unsigned char *x = (const unsigned char *)a;
    const unsigned char *y = (const unsigned char *)b;
    for (; count; count--, x++, y++)
        if (*x != *y)
            return *x - *y;
    return 0;
}

size_t strlen(const char *text)
{
    size_t n = 0;
    while (text[n])
        n++;
    return n;
}

#ifdef _WIN32
// Returns NULL when the heap cannot give the memory; callers treat that as a failure.
void *malloc(size_t size)
{
    return HeapAlloc(GetProcessHeap(), 0, size);
}

void free(void *block)
{
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
}
#endif

}
