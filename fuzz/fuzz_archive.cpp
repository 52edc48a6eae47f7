// libFuzzer target of the whole-archive check: any bytes as the payload archive. Beyond the
// sanitizers' checks it asserts that the walk reports at most one failure that ends it, that
// a passing archive reports none, and that it ends on every input.
#include "archive/check.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

struct Source {
    const uint8_t *data;
    size_t size;
    size_t pos;
};

unsigned long fuzz_read(void *context, unsigned char *buffer, unsigned long count)
{
    Source *s = static_cast<Source *>(context);
    size_t n = count < s->size - s->pos ? count : s->size - s->pos;
    memcpy(buffer, s->data + s->pos, n);
    s->pos += n;
    return (unsigned long)n;
}

bool fuzz_seek(void *context, uint32_t offset)
{
    Source *s = static_cast<Source *>(context);
    s->pos = offset < s->size ? offset : s->size;
    return true;
}

int problems;
void status(void *, const char *, uint32_t) {}
void progress(void *, uint32_t) {}
bool stop_requested(void *) { return false; }
void problem(void *, const ArchiveProblem *p)
{
    if (!p->detail || !p->entry || p->kind == ARCHIVE_OK)
        abort();
    problems++;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Source s = { data, size, 0 };
    const ZipSource source = { fuzz_read, fuzz_seek, &s, size };
    const ArchiveReport report = { status, progress, problem, stop_requested, nullptr };
    problems = 0;
    ArchiveFailure result = check_archive(&source, "C:\\PROGRAM FILES\\KAVLIN", &report);
    if (problems > 1 || (result == ARCHIVE_OK && problems != 0)
        || (result != ARCHIVE_OK && result != ARCHIVE_NO_FILES && problems != 1))
        abort();
    return 0;
}
