// The few C library functions the installer uses, on top of kernel32, so that the executable
// needs no C runtime DLL (which early Windows 95 lacks) and stays small. Built with
// -fno-builtin so that the compiler does not turn these loops back into calls to themselves.
#include <windows.h>
#include <stddef.h>

extern "C" {

void *memcpy(void *target, const void *source, size_t count)
{
    unsigned char *t = (unsigned char *)target;
    const unsigned char *s = (const unsigned char *)source;
    while (count--)
        *t++ = *s++;
    return target;
}

void *memmove(void *target, const void *source, size_t count)
{
    unsigned char *t = (unsigned char *)target;
    const unsigned char *s = (const unsigned char *)source;
    if (t < s || t >= s + count) {
        while (count--)
            *t++ = *s++;
    } else {
        while (count--)
            t[count] = s[count];
    }
    return target;
}

void *memset(void *target, int value, size_t count)
{
    unsigned char *t = (unsigned char *)target;
    while (count--)
        *t++ = (unsigned char)value;
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

}
