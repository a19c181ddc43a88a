/* hxpolllog.h: the poll log component for host programs.
 *
 * A host creates the component's object by its identifier, sets the four
 * paths and calls hx_show_poll_log, which shows the poll log window modally
 * and returns when the user closes it. The paths are held once per process:
 * every object sees and changes the same four values.
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
 * hx_show_poll_log needs no Qt in the host: it makes the application object
 * it needs, or uses the host's QApplication. It needs a display (or
 * QT_QPA_PLATFORM=offscreen) and must be called on the host's main thread.
 * No function lets an exception out.
 */
#ifndef HXPOLLLOG_H
#define HXPOLLLOG_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct HxPollLog HxPollLog;

/* "HXPollLog.clsQX8PollLog"; NULL for any other id. */
HxPollLog *hx_create_object(const char *prog_id);
void hx_release(HxPollLog *object);
/* 0 done, -1 unknown name. */
int hx_set_property(HxPollLog *object, const char *name, const char *utf8_value);
/* Copies the value (UTF-8, NUL-terminated, cut to size - 1 bytes) and returns its full length in bytes
   without the NUL; (size_t)-1 for an unknown name. */
size_t hx_get_property(HxPollLog *object, const char *name, char *buffer, size_t size);
/* Shows the poll log window modally: 1 true (shown and closed by the user), 0 false. */
int hx_show_poll_log(HxPollLog *object);
/* 1 when no object is alive. */
int hx_can_unload_now(void);

#ifdef __cplusplus
}
#endif

#endif /* HXPOLLLOG_H */
