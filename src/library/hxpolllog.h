/* hxpolllog.h: the poll log component for host programs.
 *
 * A host creates the component's object by its identifier, sets the four
 * paths and calls hx_show_poll_log, which shows the poll log window modally
 * and returns when the user closes it; or hx_import, which imports poll logs
 * without a window. The paths are held once per process: every object sees
 * and changes the same four values.
 *
 * Properties (UTF-8 text):
 *   "DatabaseFilePath"  database file, data-link file (.udl) or postgresql:// URL;
 *                       default "ChronbaseV7.mde", a bare name being looked up in
 *                       the application folder. Stored unchanged.
 *   "ApplicationPath"   the suite's folder; default the folder of this library in
 *                       its build tree, else (installed) $STATE_DIRECTORY or
 *                       $XDG_STATE_HOME/hxpolllog (~/.local/state/hxpolllog).
 *   "PollLogPath"       the poll log folder; default ApplicationPath + "/PollLogs".
 *   "ErrorLogPath"      the folder of QX8log.txt; default the folder of this library
 *                       in its build tree, else $LOGS_DIRECTORY or the state
 *                       folder's "log".
 *   The three folders are stored with every trailing "/" removed.
 *
 * There is no registry on Linux: installing the library (with hxpolllog.pc and
 * the CMake package HXPollLog) is its registration. Link with
 * `pkg-config --cflags --libs hxpolllog`.
 *
 * Ownership. A handle from hx_create_object belongs to the host until it hands
 * it to hx_release. Text passed in is copied; the library keeps no pointer to
 * it. Text given out is copied into the host's buffer: the value's UTF-8 bytes,
 * cut to size - 1 bytes and NUL-terminated (nothing is written when buffer is
 * NULL or size is 0), and the function returns the value's full length in
 * bytes without the NUL, so a host can ask with size 0 and call again with a
 * buffer of length + 1. hx_version's text belongs to the library and lives as
 * long as the process.
 *
 * Handles. A released handle, or a pointer that hx_create_object never gave,
 * is refused by every function with its failure value and a reason in
 * hx_last_error; the library never frees anything twice. A released handle
 * stays refused: its address is not given to a later object.
 *
 * Threads. hx_create_object and every function that takes a handle must be
 * called on one thread, the one that created the first object (the host's
 * main thread: the window needs it). Calls from any other thread are refused.
 * hx_version, hx_last_error and hx_can_unload_now may be called from any
 * thread.
 *
 * Errors. A call that fails returns its failure value and records the reason
 * (UTF-8 text) for the calling thread and, when it was given a live handle,
 * for that object too. A reason stays until the next failure replaces it; a
 * call that succeeds leaves it as it was. No function lets an exception out.
 *
 * hx_show_poll_log needs no Qt in the host: it makes the application object
 * it needs, or uses the host's QApplication. It needs a display (or
 * QT_QPA_PLATFORM=offscreen).
 */
#ifndef HXPOLLLOG_H
#define HXPOLLLOG_H

#include <stddef.h>
#include <stdint.h>

/* The version of these declarations; hx_version() gives the library's. */
#define HX_VERSION_MAJOR 0
#define HX_VERSION_MINOR 1
#define HX_VERSION_PATCH 0

#ifdef __cplusplus
extern "C" {
#endif

typedef struct HxPollLog HxPollLog;

/* "MAJOR.MINOR.PATCH" of the library loaded. */
const char *hx_version(void);

/* "HXPollLog.clsQX8PollLog"; NULL for any other id (or from a second thread). */
HxPollLog *hx_create_object(const char *prog_id);
/* Ends the handle. NULL does nothing; a handle that is not alive is left alone
   (reason recorded). */
void hx_release(HxPollLog *object);
/* 0 done, -1 unknown name or refused handle. */
int hx_set_property(HxPollLog *object, const char *name, const char *utf8_value);
/* Copies the value as described above; (size_t)-1 for an unknown name or a refused handle. */
size_t hx_get_property(HxPollLog *object, const char *name, char *buffer, size_t size);
/* Shows the poll log window modally: 1 true (shown and closed by the user), 0 false
   (the reason in hx_last_error: the database not found, or why it did not open, ...). */
int hx_show_poll_log(HxPollLog *object);
/* 1 when no object is alive. */
int hx_can_unload_now(void);

/* The reason of the last failure, copied as described above; 0 when none was
   recorded. With a live handle, on its thread: that object's last failure. With
   NULL, or a handle that is refused: the calling thread's last failure (where
   a refused handle or thread is recorded). */
size_t hx_last_error(HxPollLog *object, char *buffer, size_t size);

/* hx_import flags. */
#define HX_IMPORT_SKIP_SEEN 0x1u /* leave out records an earlier import has met */
#define HX_IMPORT_DRY_RUN 0x2u   /* read, post and recalculate, then undo it all */

/* hx_import results, the exit statuses of `hxpolllog import`. */
#define HX_IMPORT_REFUSED (-1)        /* handle not alive, another thread, or a window's session open */
#define HX_IMPORT_SAVED 0             /* imported and saved */
#define HX_IMPORT_NOT_SAVED 1         /* nothing was saved (reason in hx_last_error) */
#define HX_IMPORT_BAD_CALL 2          /* names, flags or summary not acceptable; nothing done */
#define HX_IMPORT_SAVED_WITH_ERRORS 3 /* saved, but errors were reported (see QX8log.txt) */

/* What an import did. The host sets struct_size to sizeof(hx_import_summary);
   the library fills only the fields that lie whole within struct_size, so
   fields added at the end later never write past an older host's struct. */
typedef struct hx_import_summary {
    size_t struct_size;
    int64_t files;                /* poll log files read whole */
    int64_t records_read;         /* poll records read, those skipped as seen included */
    int64_t records_skipped_seen; /* records left out by HX_IMPORT_SKIP_SEEN */
    int64_t bad_lines;            /* lines of the wrong size, skipped */
    int64_t punches_new;          /* imported punches left to post after the duplicate removal */
    int64_t duplicates_removed;
    int64_t pairs_opened;      /* not counted yet: 0 */
    int64_t pairs_closed;      /* not counted yet: 0 */
    int64_t scheduled_pairs;   /* not counted yet: 0 */
    int64_t rows_recalculated; /* punch rows whose hours were recalculated */
    int64_t employees;         /* not counted yet: 0 */
    int64_t errors;            /* errors reported (boxes and log entries) */
    double seconds;            /* from the start of the work to its end */
} hx_import_summary;

/* Imports the poll logs named, in order, as the window's Import command does
   after the user confirmed it (calling is the host's confirmation): empties
   IMPORT, reads every file, posts and recalculates, in one unit of work, then
   closes the session. Names are bare file names of PollLogPath, or paths (a
   name containing "/"). Waits up to 10 minutes for an import already running
   on the database. The messages the window would show go to the log only.
   summary may be NULL; it is filled whenever the import ran, also on failure.
   A dry run returns what the import would have: 0, 3 or 1. */
int hx_import(HxPollLog *object, const char *const *names, size_t count, unsigned flags,
              hx_import_summary *summary);

#ifdef __cplusplus
}
#endif

#endif /* HXPOLLLOG_H */
