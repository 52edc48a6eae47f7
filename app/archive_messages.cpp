// The archive walks' failures as the user's messages.
#include "app/archive_messages.h"
#include "app/strings.h"
#include "res/resource.h"

void archive_problem_text(const ArchiveProblem *problem, int *text_id, int *detail_id)
{
    *detail_id = 0;
    switch (problem->kind) {
    case ARCHIVE_BAD_ENTRY:
        *text_id = IDS_ARCHIVE_ERROR;
        *detail_id = IDS_ARCHIVE_READ_ERROR;
        break;
    case ARCHIVE_PATH_TOO_LONG:
    case ARCHIVE_CREATE_FAILED:
    case ARCHIVE_LOG_FAILED:
        *text_id = IDS_CANNOT_OPEN_FILE;
        break;
    case ARCHIVE_FOLDER_FAILED:
        *text_id = IDS_DIRECTORY_ERROR;
        break;
    case ARCHIVE_UNKNOWN_METHOD:
        *text_id = IDS_EXTRACTION_ERROR;
        *detail_id = IDS_UNKNOWN_METHOD;
        break;
    case ARCHIVE_CLOSE_FAILED:
        *text_id = IDS_CANNOT_CLOSE_FILE;
        break;
    default:
        // The entry's data could not be decoded, checked or written in full (or its record in
        // the install log could not be written: its path follows).
        *text_id = IDS_EXTRACTION_ERROR;
        break;
    }
}

void show_archive_problem(HWND owner, const ArchiveProblem *problem)
{
    int text_id, detail_id;
    archive_problem_text(problem, &text_id, &detail_id);
    show_failure(owner, text_id, detail_id ? load_string(detail_id) : problem->detail,
                 problem->system_error);
}
