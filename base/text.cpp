// Bounded text helpers.
#include "base/text.h"

bool text_copy(char *target, const char *source, size_t size)
{
    size_t n = strlen(source);
    if (n >= size) {
        if (size)
            target[0] = 0;
        return false;
    }
    for (size_t i = 0; i <= n; i++)
        target[i] = source[i];
    return true;
}

bool text_append(char *target, const char *source, size_t size)
{
    size_t have = strlen(target);
    size_t add = strlen(source);
    if (have + add >= size)
        return false;
    for (size_t i = 0; i <= add; i++)
        target[have + i] = source[i];
    return true;
}

bool text_equal(const char *a, const char *b)
{
    while (*a && *a == *b) {
        a++;
        b++;
    }
    return *a == *b;
}

char text_upper(char c)
{
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

bool text_equal_nocase(const char *a, const char *b)
{
    while (*a && text_upper(*a) == text_upper(*b)) {
        a++;
        b++;
    }
    return text_upper(*a) == text_upper(*b);
}

bool is_path_separator(char c)
{
    return c == '\\' || c == '/';
}

char *to_backslashes(char *text)
{
    for (char *p = text; *p; p++)
        if (*p == '/')
            *p = '\\';
    return text;
}
