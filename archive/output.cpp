// Output file writes and the stored-entry copy.
#include "archive/output.h"
#include "archive/crc32.h"
#include "app/state.h"

#include <stdlib.h>

void begin_entry_output(EntryOutput *output)
{
    output->crc = 0;
    output->size = 0;
}

bool write_entry_output(EntryOutput *output, const unsigned char *data, DWORD count)
{
    DWORD written = 0;
    if (!WriteFile(installer.output_file, data, count, &written, NULL) || written != count) {
        output->size += written;
        return false;
    }
    output->crc = crc32_update(output->crc, data, count);
    output->size += count;
    return true;
}

bool copy_stored_entry(EntryOutput *output)
{
    const LONG chunk = ENTRY_CHUNK;
    LONG first = installer.entry_remaining < chunk ? installer.entry_remaining : chunk;
    unsigned char *buffer;
    bool copied = true;

    if (first <= 0)
        return true;
    buffer = (unsigned char *)malloc((size_t)first + 2);
    if (!buffer)
        return false;
    while (installer.entry_remaining > 0) {
        DWORD want = (DWORD)(installer.entry_remaining < chunk ? installer.entry_remaining : chunk);
        DWORD got = 0;
        if (!ReadFile(installer.archive_file, buffer, want, &got, NULL) || got == 0) {
            copied = false;     // the archive ends inside the entry
            break;
        }
        installer.entry_remaining -= (LONG)got;
        if (!write_entry_output(output, buffer, got)) {
            copied = false;
            break;
        }
    }
    free(buffer);
    return copied;
}
