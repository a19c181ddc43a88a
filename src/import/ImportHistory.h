#pragma once
// The account of one import: what it read and did and how it ended, kept in
// PollImportRun and printed by the hosts (JSON with snake_case keys).
#include "import/ImportSummary.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <vector>

namespace hx {

class Database;

enum class ImportSource { Window, Command, Watcher, Library };
QString importSourceText(ImportSource source);

struct ImportRunRecord {
    QDateTime started, finished;
    QString host, user, source;
    struct File {
        QString name;
        qint64 size = -1;
    };
    std::vector<File> files;
    ImportSummary summary;
    QString outcome; // "saved", "saved_with_errors", "not_saved"
    QString cause;   // why it was not saved, or what the errors were
    int exitStatus = 1;

    QJsonObject toJson() const;
    // The short block the command line prints, or its one line.
    QString toText(bool oneLine) const;
};

// The machine and the user running this process.
QString currentHostName();
QString currentUserName();

// Adds the run's row; the caller chooses the transaction.
void recordImportRun(Database &db, const ImportRunRecord &run);
// The newest runs first; limit <= 0 reads them all.
std::vector<ImportRunRecord> readImportRuns(Database &db, int limit);

} // namespace hx
