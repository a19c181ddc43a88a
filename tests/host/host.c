/* A host program of the component, as a suite application would be: creates
 * the object by its id, writes and reads the paths, and shows the window on a
 * database that does not exist (false, and no box). */
#include <hxpolllog.h>

#include <stdio.h>
#include <string.h>

static int failures = 0;

static void expect(int ok, const char *what) {
    if (!ok) {
        fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

static void expect_property(HxPollLog *o, const char *name, const char *want) {
    char buffer[512];
    size_t n = hx_get_property(o, name, buffer, sizeof buffer);
    if (n != strlen(want) || strcmp(buffer, want) != 0) {
        fprintf(stderr, "FAILED: %s is \"%s\" (%zu), not \"%s\"\n", name, buffer, n, want);
        ++failures;
    }
}

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: host SCRATCH_DIR LIBRARY_DIR\n");
        return 2;
    }
    const char *dir = argv[1];
    char app[400], logs[400], expected[480];
    snprintf(app, sizeof app, "%s/suite//", dir);
    snprintf(logs, sizeof logs, "%s/logs/", dir);

    expect(hx_create_object("HXPollLog.Other") == NULL, "an unknown id gives no object");
    expect(hx_can_unload_now() == 1, "nothing alive at first");
    HxPollLog *first = hx_create_object("HXPollLog.clsQX8PollLog");
    HxPollLog *second = hx_create_object("HXPollLog.clsQX8PollLog");
    expect(first != NULL && second != NULL, "the component is created by its id");
    expect(hx_can_unload_now() == 0, "objects alive");

    expect_property(first, "DatabaseFilePath", "ChronbaseV7.mde");
    /* An installed library keeps its state outside its own folder (argv[2]):
       run_host.sh points XDG_STATE_HOME into the scratch folder. */
    snprintf(expected, sizeof expected, "%s/state/hxpolllog", dir);
    expect_property(first, "ApplicationPath", expected);
    snprintf(expected, sizeof expected, "%s/state/hxpolllog/log", dir);
    expect_property(first, "ErrorLogPath", expected);
    expect(hx_set_property(first, "ApplicationPath", app) == 0, "ApplicationPath is written");
    expect(hx_set_property(first, "ErrorLogPath", logs) == 0, "ErrorLogPath is written");
    expect(hx_set_property(first, "DatabaseFilePath", "missing.db") == 0, "DatabaseFilePath is written");
    expect(hx_set_property(first, "Colour", "red") == -1, "an unknown name is refused");
    /* The paths are the process's: the second object reads what the first wrote. */
    snprintf(expected, sizeof expected, "%s/suite", dir);
    expect_property(second, "ApplicationPath", expected);
    snprintf(expected, sizeof expected, "%s/suite/PollLogs", dir);
    expect_property(second, "PollLogPath", expected);
    snprintf(expected, sizeof expected, "%s/logs", dir);
    expect_property(second, "ErrorLogPath", expected);
    expect_property(second, "DatabaseFilePath", "missing.db");

    /* A short buffer gets a cut, terminated copy and the full length. */
    char small[5];
    expect(hx_get_property(second, "DatabaseFilePath", small, sizeof small) == strlen("missing.db"),
           "the full length is returned");
    expect(strcmp(small, "miss") == 0, "the copy is cut to size - 1");
    expect(hx_get_property(second, "Colour", small, sizeof small) == (size_t)-1, "an unknown name reads -1");

    expect(hx_show_poll_log(first) == 0, "ShowPollLog on a missing database is false");

    hx_release(first);
    expect(hx_can_unload_now() == 0, "one object still alive");
    hx_release(second);
    expect(hx_can_unload_now() == 1, "no object alive");
    if (failures == 0) printf("host: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
