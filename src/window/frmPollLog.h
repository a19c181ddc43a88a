#pragma once
// The poll log window: the list of poll log files with its toolbar (Print,
// View, Import and "Hide Empty Logs"), pop-up menu, and a status line that
// names the folder and the database, with "File n of N", one progress bar
// and a Cancel button during an import.
#include "hours/ExceptionsReport.h"
#include "import/PollLogList.h"

#include <QDialog>
#include <QHash>
#include <memory>
#include <optional>

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QToolBar;
class QTreeView;

namespace hx {

class PollLogListModel;
class ListPictureModel;

class frmPollLog : public QDialog {
    Q_OBJECT
public:
    explicit frmPollLog(QWidget *parent = nullptr);
    ~frmPollLog() override;

    // Opens the database, loads the rules and builds the list; false when the
    // database could not be opened (the window is then of no use).
    bool startUp();
    // Saves the column widths and closes the list and the connection; runs
    // once, and only after a start-up that opened the database.
    void shutDown();

    // The commands by their key: "PRINT", "VIEW", "IMPORT", "EXCEPTIONS"; others do nothing.
    void buttonClick(const QString &key);
    void print();
    void view();
    void import();
    // Previews the exceptions report of the default range.
    void exceptions();

    // Enables and captions the commands from the selection.
    void subUpdateBar();
    // Columns, filter and rows from the list.
    void subInitPollLogList();
    void subSaveColumnWidths();
    // Builds the list again from the folder (F5), pruning as at start-up.
    void refresh();

    // The parts, for the tests and the screenshots.
    QTreeView *listView() const { return m_list; }
    QToolBar *toolBar() const { return m_toolBar; }
    QAction *action(const QString &key) const { return m_actions.value(key); }
    QMenu *popupMenu() const { return m_menu; }
    QCheckBox *hideEmptyBox() const { return m_hideEmpty; }
    QLabel *statusLine() const { return m_status; }
    QProgressBar *progressBar() const { return m_progress; }
    QLabel *fileCountLabel() const { return m_fileCount; }
    QPushButton *cancelButton() const { return m_cancel; }
    QLabel *emptyNote() const { return m_emptyNote; }
    const PollLogList &recordset() const { return m_recordset; }
    PollLogListModel &model() const;
    bool isImporting() const { return m_importing; }

    // Twips (1440 to the inch) and pixels of the list's screen.
    int twipsToPixels(int twips) const;
    int pixelsToTwips(int pixels) const;

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    void selectOnly(int row);
    // The idle status line: folder, database, files and punches listed.
    void showIdleStatus();
    int selectedCount() const;
    // The report of the default range; none (the error reported) when it cannot be read.
    std::optional<ExceptionsReport> readExceptions();
    // After a saved import: asks whether to preview the exceptions, when there are any.
    void offerExceptions();

    QToolBar *m_toolBar = nullptr;
    QHash<QString, QAction *> m_actions;
    QCheckBox *m_hideEmpty = nullptr;
    QTreeView *m_list = nullptr;
    QMenu *m_menu = nullptr;
    QLabel *m_status = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_fileCount = nullptr;
    QLabel *m_emptyNote = nullptr;
    QPushButton *m_cancel = nullptr;
    bool m_cancelRequested = false;
    ListPictureModel *m_model = nullptr;
    PollLogList m_recordset;
    bool m_databaseOpen = false;
    bool m_importing = false;
};

// Shows the poll log window modally and returns when the user has closed it:
// true then, false when the window could not be shown (the database did not
// open, or there is no application object for widgets). Uses the message box
// face in force, or the Qt face when none was installed. *why, when given,
// receives the reason of a false result.
bool ShowPollLog(QString *why = nullptr);

} // namespace hx
