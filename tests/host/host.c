/* A host program of the component, as a suite application would be: creates
 * the object by its id, writes and reads the paths, shows the window on a
 * database that does not exist (false, and no box), imports a site's poll log
 * without a window, and misuses handles and threads the way hosts do. */
#include <hxpolllog.h>

#include <pthread.h>
#include <stdio.h>
#include <string.h>

#define PROG_ID "HXPollLog.clsQX8PollLog"

static int failures = 0;

static void expect(int ok, const char *what) {
    if (!ok) {
        fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

/* want: a format with the scratch folder as its one %s. */
static void expect_property(HxPollLog *o, const char *name, const char *want, const char *dir) {
    char buffer[512], wanted[512];
    snprintf(wanted, sizeof wanted, want, dir);
    size_t n = hx_get_property(o, name, buffer, sizeof buffer);
    if (n != strlen(wanted) || strcmp(buffer, wanted) != 0) {
        fprintf(stderr, "FAILED: %s is \"%s\" (%zu), not \"%s\"\n", name, buffer, n, wanted);
        ++failures;
    }
}

/* The last error (of the object, or of this thread for NULL) holds every word given. */
static void expect_error(HxPollLog *o, const char *word1, const char *word2) {
    char why[1024] = "";
    hx_last_error(o, why, sizeof why);
    if (!strstr(why, word1) || (word2 && !strstr(why, word2))) {
        fprintf(stderr, "FAILED: the last error \"%s\" does not name \"%s\"%s%s\n", why, word1,
                word2 ? " and " : "", word2 ? word2 : "");
        ++failures;
    }
}

static void set_paths(HxPollLog *o, const char *site) {
    char value[600];
    const char *names[] = {"DatabaseFilePath", "ApplicationPath", "PollLogPath", "ErrorLogPath"};
    const char *parts[] = {"site.db", "app", "polllogs", "logs"};
    for (int i = 0; i < 4; ++i) {
        snprintf(value, sizeof value, "%s/%s", site, parts[i]);
        expect(hx_set_property(o, names[i], value) == 0, "a site path is written");
    }
}

static hx_import_summary fresh_summary(size_t size) {
    hx_import_summary s;
    memset(&s, 0xff, sizeof s); /* every count -1 until filled */
    s.struct_size = size;
    return s;
}

static void check_import(HxPollLog *o, const char *poll) {
    const char *names[] = {poll};
    /* In order: a dry run saves nothing, so the first saved run meets no seen
       record; a re-run leaving out the seen records adds nothing. */
    const struct {
        const char *what;
        unsigned flags;
        long long skipped, punches_new, pairs_opened;
    } runs[] = {
        {"dry run", HX_IMPORT_DRY_RUN, 0, 3, 2},
        {"first saved run", HX_IMPORT_SKIP_SEEN, 0, 3, 2},
        {"re-run of seen records", HX_IMPORT_SKIP_SEEN, 3, 0, 0},
    };
    for (size_t i = 0; i < sizeof runs / sizeof runs[0]; ++i) {
        hx_import_summary s = fresh_summary(sizeof s);
        expect(hx_import(o, names, 1, runs[i].flags, &s) == HX_IMPORT_SAVED && s.files == 1 && s.records_read == 3 &&
                   s.records_skipped_seen == runs[i].skipped && s.punches_new == runs[i].punches_new &&
                   s.bad_lines == 0 && s.errors == 0 && s.pairs_opened == runs[i].pairs_opened && s.seconds > 0,
               runs[i].what);
    }

    /* An older host's shorter summary: only the fields within its size are written. */
    hx_import_summary s = fresh_summary(offsetof(hx_import_summary, records_skipped_seen));
    const char *missing[] = {"nothing-here.}01"};
    expect(hx_import(o, missing, 1, 0, &s) == HX_IMPORT_NOT_SAVED, "a missing poll log saves nothing");
    expect_error(o, "nothing-here.}01", "could not be read");
    expect(s.records_read == 0 && s.records_skipped_seen == -1, "the summary is filled up to struct_size");

    expect(hx_import(o, names, 1, 0x80u, NULL) == HX_IMPORT_BAD_CALL, "an unknown flag is a bad call");
    expect_error(o, "flags", NULL);
}

struct thread_result {
    HxPollLog *object;
    int refused;
};

static void *from_second_thread(void *arg) {
    struct thread_result *r = arg;
    char why[512] = "";
    r->refused = hx_create_object(PROG_ID) == NULL && hx_set_property(r->object, "PollLogPath", "/x") == -1 &&
                 hx_import(r->object, NULL, 0, 0, NULL) == HX_IMPORT_REFUSED;
    hx_last_error(NULL, why, sizeof why);
    r->refused = r->refused && strstr(why, "thread") != NULL;
    return NULL;
}

int main(int argc, char **argv) {
    if (argc < 5) return 2; /* host SCRATCH_DIR LIBRARY_DIR SITE_DIR POLL_LOG */
    const char *dir = argv[1];
    char app[400], logs[400], expected[480];
    snprintf(app, sizeof app, "%s/suite//", dir);
    snprintf(logs, sizeof logs, "%s/logs/", dir);

    snprintf(expected, sizeof expected, "%d.%d.%d", HX_VERSION_MAJOR, HX_VERSION_MINOR, HX_VERSION_PATCH);
    expect(strcmp(hx_version(), expected) == 0, "the header's version is the library's");

    expect(hx_create_object("HXPollLog.Other") == NULL, "an unknown id gives no object");
    expect_error(NULL, "HXPollLog.Other", NULL);
    expect(hx_can_unload_now() == 1, "nothing alive at first");
    HxPollLog *first = hx_create_object(PROG_ID);
    HxPollLog *second = hx_create_object(PROG_ID);
    expect(first != NULL && second != NULL, "the component is created by its id");
    expect(hx_can_unload_now() == 0, "objects alive");

    expect_property(first, "DatabaseFilePath", "ChronbaseV7.mde", dir);
    /* An installed library keeps its state outside its own folder (argv[2]):
       run_host.sh points XDG_STATE_HOME into the scratch folder. */
    expect_property(first, "ApplicationPath", "%s/state/hxpolllog", dir);
    expect_property(first, "ErrorLogPath", "%s/state/hxpolllog/log", dir);
    expect(hx_set_property(first, "ApplicationPath", app) == 0, "ApplicationPath is written");
    expect(hx_set_property(first, "ErrorLogPath", logs) == 0, "ErrorLogPath is written");
    expect(hx_set_property(first, "DatabaseFilePath", "missing.db") == 0, "DatabaseFilePath is written");
    expect(hx_set_property(first, "Colour", "red") == -1, "an unknown name is refused");
    expect_error(first, "Colour", NULL);
    /* The paths are the process's: the second object reads what the first wrote. */
    expect_property(second, "PollLogPath", "%s/suite/PollLogs", dir);
    expect_property(second, "ErrorLogPath", "%s/logs", dir);

    /* A short buffer gets a cut, terminated copy and the full length. */
    char small[5];
    expect(hx_get_property(second, "DatabaseFilePath", small, sizeof small) == strlen("missing.db") &&
               strcmp(small, "miss") == 0,
           "a short buffer gets the full length and a copy cut to size - 1");
    expect(hx_get_property(second, "Colour", small, sizeof small) == (size_t)-1, "an unknown name reads -1");

    expect(hx_show_poll_log(first) == 0, "ShowPollLog on a missing database is false");
    expect_error(first, "database not found", "suite/missing.db");

    /* A handle released twice, and a pointer the library never gave. */
    HxPollLog *third = hx_create_object(PROG_ID);
    hx_release(third);
    hx_release(third);
    expect_error(NULL, "hx_release", "not a live object");
    expect(hx_set_property(third, "PollLogPath", "/x") == -1, "a released handle is refused");
    HxPollLog *recreated = hx_create_object(PROG_ID);
    expect(recreated != third, "a released handle's address names no later object");
    hx_release(recreated);
    int not_an_object = 7;
    HxPollLog *foreign = (HxPollLog *)&not_an_object;
    hx_release(foreign);
    expect(not_an_object == 7, "a foreign pointer is left alone");
    expect(hx_show_poll_log(foreign) == 0, "a foreign pointer is refused");
    expect_error(foreign, "hx_show_poll_log", "not a live object");

    set_paths(first, argv[3]);
    check_import(first, argv[4]);

    struct thread_result r = {first, 0};
    pthread_t thread;
    expect(pthread_create(&thread, NULL, from_second_thread, &r) == 0 && pthread_join(thread, NULL) == 0,
           "a second thread runs");
    expect(r.refused, "calls from a second thread are refused, with the reason");

    hx_release(first);
    expect(hx_can_unload_now() == 0, "one object still alive");
    hx_release(second);
    expect(hx_can_unload_now() == 1, "no object alive");
    if (failures == 0) printf("host: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
