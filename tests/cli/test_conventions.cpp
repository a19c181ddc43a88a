// The host's command-line conventions and its paths: settings files, the
// environment, options, and the defaults of an installed program.
#include "hx_version.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

using namespace Qt::Literals::StringLiterals;

namespace {
struct Outcome {
    int status = -1;
    QString out, err;
};

class Conventions : public ::testing::Test {
protected:
    // Runs in the scratch folder with a clean home: no settings but the test's.
    Outcome run(const QStringList &args, const std::map<QString, QString> &env = {},
                const QString &program = QStringLiteral(HX_CLI_PATH)) {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        for (const QString &name : e.keys())
            if (name.startsWith(u"HXPOLLLOG_"_s) || name.startsWith(u"XDG_"_s) ||
                name.endsWith(u"_DIRECTORY"_s) || name == u"DISPLAY"_s || name == u"WAYLAND_DISPLAY"_s)
                e.remove(name);
        e.insert(u"HOME"_s, path(u"home"_s));
        e.insert(u"HXPOLLLOG_NOW"_s, u"2007-04-26 17:17:00"_s);
        for (const auto &[k, v] : env)
            e.insert(k, v);
        QProcess p;
        p.setProcessEnvironment(e);
        p.setWorkingDirectory(dir.path());
        p.start(program, args);
        p.closeWriteChannel();
        if (!p.waitForFinished(60000)) return {};
        return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()),
                QString::fromLocal8Bit(p.readAllStandardError())};
    }
    QString path(const QString &rel) const { return QDir::cleanPath(dir.filePath(rel)); }
    QString write(const QString &rel, const QByteArray &text) {
        QDir().mkpath(QFileInfo(path(rel)).absolutePath());
        QFile f(path(rel));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(text) == text.size());
        return path(rel);
    }
    // The paths as `paths --json` reports them.
    QJsonObject paths(const QStringList &args, const std::map<QString, QString> &env = {},
                      const QString &program = QStringLiteral(HX_CLI_PATH)) {
        const Outcome r = run(QStringList{u"paths"_s, u"--json"_s} + args, env, program);
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        return QJsonDocument::fromJson(r.out.toUtf8()).object();
    }
    QTemporaryDir dir;
};
} // namespace

TEST_F(Conventions, SettingsFilesThenEnvironmentThenOptions) {
    const QString user =
        write(u"home/.config/QX8/QX8.conf"_s,
              "[PollLog]\nDateWidth=100\n[Site]\nApplicationPath=user-app\nPollLogPath=polls\n"
              "Database=db/site.db\nErrorLogPath=/var/user-logs\n");
    const QString config =
        write(u"etc/site.conf"_s, "[Site]\nApplicationPath=../cfg-app\nDatabase=bare.db\n");
    const QString home = path(u"home/.config/QX8"_s);
    // {arguments, environment, key, path, source}
    const std::tuple<QStringList, std::map<QString, QString>, const char *, QString, const char *> cases[] = {
        {{}, {}, "application_path", home + u"/user-app"_s, "settings"},
        {{u"--config"_s, config}, {}, "application_path", path(u"cfg-app"_s), "settings"},
        {{}, {{u"HXPOLLLOG_CONFIG"_s, config}}, "database", path(u"cfg-app/bare.db"_s), "settings"},
        {{u"--config"_s, config}, {{u"HXPOLLLOG_APP_DIR"_s, u"/env/app"_s}}, "application_path", u"/env/app"_s, "environment"},
        {{u"--app-dir"_s, u"/opt/app"_s}, {{u"HXPOLLLOG_APP_DIR"_s, u"/env/app"_s}}, "application_path", u"/opt/app"_s, "option"},
        {{u"--db"_s, u"./x.db"_s}, {{u"HXPOLLLOG_DB"_s, u"/env/y.db"_s}}, "database", path(u"x.db"_s), "option"},
        {{u"--db=postgresql://h/db?a=1&b=2"_s}, {}, "database", u"postgresql://h/db?a=1&b=2"_s, "option"},
    };
    for (const auto &[args, env, key, expected, source] : cases) {
        const QJsonObject o = paths(args, env);
        const QJsonObject p = o.value(QLatin1String(key)).toObject();
        EXPECT_EQ(p.value(u"path"_s).toString(), expected) << key << " " << args.join(u' ').toStdString();
        EXPECT_EQ(p.value(u"source"_s).toString(), QLatin1String(source)) << key;
    }
    const QJsonObject o = paths({u"--config"_s, config});
    EXPECT_EQ(o.value(u"settings_files"_s).toVariant().toStringList(), (QStringList{user, config}));
}

TEST_F(Conventions, ASettingsFileThatCannotBeUsedIsAUsageErrorNamingIt) {
    const QString misspelt = write(u"misspelt.conf"_s, "[PollLog]\nAnything=1\n[Site]\nDatabse=x.db\n");
    const QString broken = write(u"broken.conf"_s, "[Site\nDatabase=x.db\n");
    // {arguments, environment, what the error names}
    const std::tuple<QStringList, std::map<QString, QString>, QStringList> cases[] = {
        {{u"--config"_s, u"missing.conf"_s}, {}, {path(u"missing.conf"_s)}},
        {{u"--config"_s, misspelt}, {}, {misspelt, u"\"Databse\""_s}},
        {{u"--config"_s, broken}, {}, {broken}},
        {{}, {{u"XDG_CONFIG_HOME"_s, path(u"xdg"_s)}}, {path(u"xdg/QX8/QX8.conf"_s), u"\"Databse\""_s}},
    };
    write(u"xdg/QX8/QX8.conf"_s, "[Site]\nDatabse=x.db\n");
    for (const auto &[args, env, named] : cases) {
        const Outcome r = run(QStringList{u"paths"_s} + args, env);
        EXPECT_EQ(r.status, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(r.err.startsWith(u"hxpolllog: error: "_s)) << r.err.toStdString();
        for (const QString &n : named)
            EXPECT_TRUE(r.err.contains(n)) << n.toStdString() << " in " << r.err.toStdString();
    }
}

TEST_F(Conventions, HelpVersionSuggestionsAndOneErrorStyle) {
    // {arguments, status, text on standard output (0) or standard error (2)}
    const std::tuple<const char *, int, QString> cases[] = {
        {"--version", 0, u"hxpolllog " HX_VERSION "\n"_s},
        {"--help import", 0, u"Usage: hxpolllog [global options] import "_s},
        {"imprt", 2, u"hxpolllog: error: unknown command \"imprt\". Did you mean 'import'?\n"_s},
        {"import --yes", 2, u"hxpolllog: error: no poll log named.\n"_s},
    };
    for (const auto &[line, status, text] : cases) {
        const Outcome r = run(QString::fromLatin1(line).split(u' '));
        EXPECT_EQ(r.status, status) << line << ": " << r.err.toStdString();
        EXPECT_TRUE((status == 0 ? r.out : r.err).contains(text))
            << line << ": " << r.out.toStdString() << r.err.toStdString();
        EXPECT_TRUE(status != 0 || r.err.isEmpty()) << line << ": " << r.err.toStdString();
    }
}

TEST_F(Conventions, AnInstalledProgramKeepsItsStateOutsideItsFolder) {
    ASSERT_EQ(run({u"init-db"_s, u"site.db"_s}).status, 0);
    const QString program = path(u"bin/hxpolllog"_s);
    QDir().mkpath(path(u"bin"_s));
    ASSERT_TRUE(QFile::copy(QStringLiteral(HX_CLI_PATH), program));
    // {environment, the application folder, the log folder}
    const std::tuple<std::map<QString, QString>, QString, QString> cases[] = {
        {{}, path(u"home/.local/state/hxpolllog"_s), path(u"home/.local/state/hxpolllog/log"_s)},
        {{{u"STATE_DIRECTORY"_s, path(u"sd"_s)}, {u"LOGS_DIRECTORY"_s, path(u"ld"_s)}}, path(u"sd"_s), path(u"ld"_s)},
    };
    for (const auto &[env, app, logs] : cases) {
        // A failing import writes the log and reads the register.
        const Outcome r =
            run({u"--db"_s, path(u"site.db"_s), u"import"_s, u"--yes"_s, u"NOSUCH07.}01"_s}, env, program);
        EXPECT_EQ(r.status, 1) << r.err.toStdString();
        EXPECT_TRUE(QFile::exists(logs + u"/QX8log.txt"_s)) << logs.toStdString();
        const QJsonObject o = paths({}, env, program);
        EXPECT_EQ(o.value(u"application_path"_s).toObject().value(u"path"_s).toString(), app);
        EXPECT_EQ(o.value(u"poll_log_path"_s).toObject().value(u"path"_s).toString(), app + u"/PollLogs"_s);
        EXPECT_EQ(QDir(path(u"bin"_s)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                  QStringList{u"hxpolllog"_s});
    }
}
