// File reads, writes and seeks over Win32 handles.
#include "base/file_io.h"

unsigned long read_file(void *handle, unsigned char *buffer, unsigned long count)
{
    DWORD got = 0;
    if (!ReadFile((HANDLE)handle, buffer, count, &got, NULL))
        return 0;
    return got;
}

bool write_file(void *handle, const unsigned char *data, unsigned long count)
{
    DWORD written = 0;
    return WriteFile((HANDLE)handle, data, count, &written, NULL) && written == count;
}

bool seek_file(void *handle, uint32_t offset)
{
    DWORD reached = SetFilePointer((HANDLE)handle, (LONG)offset, NULL, FILE_BEGIN);
    return !(reached == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}
