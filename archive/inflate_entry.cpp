// The DEFLATE decoder bound to the installer's files: it reads the current entry's data from
// the staged archive and writes through the output tally.
#include "archive/output.h"
#include "app/state.h"
#include "inflate/inflate.h"

static unsigned long read_archive(void *context, unsigned char *buffer, unsigned long count)
{
    DWORD got = 0;
    if (!ReadFile(installer.archive_file, buffer, count, &got, NULL))
        return 0;
    return got;
}

static int write_output(void *context, const unsigned char *buffer, unsigned long count)
{
    return write_entry_output((EntryOutput *)context, buffer, count);
}

bool inflate_entry(EntryOutput *output)
{
    InflateIo io = { read_archive, write_output, output };
    return inflate_stream(&io, &installer.entry_remaining) == INFLATE_OK;
}
