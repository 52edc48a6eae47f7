// The messages the user sees for failures of the archive walks: each kind of failure has its
// text (and the text or path that follows it), shown with the stop icon.
#ifndef KAVLIN_APP_ARCHIVE_MESSAGES_H
#define KAVLIN_APP_ARCHIVE_MESSAGES_H

#include "archive/report.h"

#include <windows.h>

// The message for a failure of the archive walks: the id of its text and the id of the text
// that follows it, or 0 when the problem's own detail (a name or a path) follows.
void archive_problem_text(const ArchiveProblem *problem, int *text_id, int *detail_id);

// Shows that message with the stop icon, owned by `owner`.
void show_archive_problem(HWND owner, const ArchiveProblem *problem);

#endif
