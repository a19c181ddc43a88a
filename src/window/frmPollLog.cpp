#include "window/frmPollLog.h"

#include "component/Database.h"
#include "component/ImportLock.h"
#include "component/Startup.h"
#include "component/modGlobal.h"
#include "import/ImportCommand.h"
#include "import/PollLogListModel.h"
#include "import/PollLogViewer.h"
#include "messages/LogFiles.h"
#include "messages/clsMessage.h"
#include "rules/clsTCrules.h"
#include "window/ExceptionsReportPrint.h"
#include "window/PollLogReport.h"
#include "window/QtMessageBox.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QScrollBar>
#include <QSettings>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>
#include <cmath>

static void initIcons() {
    Q_INIT_RESOURCE(icons);
}

namespace hx {

// The list with its small pictures: the core model knows only their names.
class ListPictureModel : public PollLogListModel {
public:
    using PollLogListModel::PollLogListModel;
    // Files imported while the window is open carry a check mark.
    void markImported(const QString &fileName) {
        m_imported.insert(fileName);
        const int row = rowOfFile(fileName);
        if (row >= 0) emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
    }
    void clearImported() { m_imported.clear(); }
    QVariant data(const QModelIndex &index, int role) const override {
        const bool imported =
            !m_imported.isEmpty() && m_imported.contains(PollLogListModel::data(index, FileNameRole).toString());
        if (imported && role == Qt::ToolTipRole) return QStringLiteral("Imported");
        if (imported && role == Qt::DecorationRole && index.column() == 0)
            return QApplication::style()->standardIcon(QStyle::SP_DialogApplyButton);
        if (role == Qt::DecorationRole) {
            const QString picture = PollLogListModel::data(index, PictureRole).toString();
            if (picture.isEmpty()) return {};
            return picture == QLatin1String("POLL_LOG_GOOD") ? m_good : m_bad;
        }
        return PollLogListModel::data(index, role);
    }

private:
    QIcon m_good{QStringLiteral(":/icons/POLL_LOG_GOOD.png")};
    QIcon m_bad{QStringLiteral(":/icons/POLL_LOG_BAD.png")};
    QSet<QString> m_imported;
};

namespace {
const QString kModule = QStringLiteral("frmPollLog");

struct WidthSetting {
    const char *key;
    int defaultTwips;
};
// Per column: the setting that keeps its width, and the default in twips.
constexpr WidthSetting kWidths[] = {{"DateWidth", 2280}, {"ClockNameWidth", 1890}, {"PunchCountWidth", 1440}};

QSettings widthSettings() {
    return QSettings(QStringLiteral("QX8"), QStringLiteral("QX8"));
}

class StatusLabel : public LabelElement {
public:
    explicit StatusLabel(QLabel *label) : m_label(label) {}
    void setCaption(const QString &text) override { m_label->setText(text); }
    void setVisible(bool visible) override { m_label->setVisible(visible); }

private:
    QLabel *m_label;
};

// One bar over the whole import: each file, and the posting after them, has
// an equal part of it, and the channel's own progress fills the current part.
class ProgressBar : public ProgressBarElement {
public:
    static constexpr int kPart = 1000;
    ProgressBar(QProgressBar *bar, int parts) : m_bar(bar) {
        m_bar->setRange(0, std::max(1, parts) * kPart);
        m_bar->setValue(0);
    }
    void setPart(int part) {
        m_part = part;
        m_min = 0;
        m_max = 100;
        show(0);
    }
    void setMinimum(int value) override { m_min = value; }
    void setMaximum(int value) override { m_max = value; }
    void setValue(int value) override {
        const int span = std::max(1, m_max - m_min);
        show(int(qint64(std::clamp(value - m_min, 0, span)) * kPart / span));
    }
    // The bar stays while the import runs, whatever a stage asks.
    void setVisible(bool) override {}

private:
    void show(int withinPart) {
        const int v = std::min(m_bar->maximum(), m_part * kPart + withinPart);
        if (v > m_bar->value()) m_bar->setValue(v);
    }
    QProgressBar *m_bar;
    int m_part = 0, m_min = 0, m_max = 100;
};

// Keeps the window alive during long work without paying a full event pass
// for every progress step.
class ThrottledRepaint {
public:
    void operator()() {
        if (m_timer.isValid() && m_timer.elapsed() < 40) return;
        m_timer.start();
        QCoreApplication::processEvents();
    }

private:
    QElapsedTimer m_timer;
};
} // namespace

frmPollLog::frmPollLog(QWidget *parent) : QDialog(parent) {
    initIcons();
    setWindowTitle(QStringLiteral("POLL LOG"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/POLL_LOG.png")));
    setSizeGripEnabled(true);

    m_toolBar = new QToolBar(this);
    m_toolBar->setIconSize(QSize(24, 24));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    auto addButton = [&](const char *key, const char *caption, const char *tip) {
        auto *a = new QAction(QIcon(QStringLiteral(":/icons/%1.png").arg(QLatin1String(key))),
                              QString::fromLatin1(caption), this);
        a->setObjectName(QString::fromLatin1(key));
        a->setToolTip(QString::fromLatin1(tip));
        a->setStatusTip(QString::fromLatin1(tip));
        connect(a, &QAction::triggered, this, [this, a] { buttonClick(a->objectName()); });
        m_toolBar->addAction(a);
        m_actions.insert(a->objectName(), a);
    };
    addButton("PRINT", "Print Log List", "Print the Poll Log List");
    addButton("VIEW", "View Log", "Open the Log file to view it's contents");

    // The empty slot between View and Import holds the check box, 100 twips in.
    auto *slot = new QWidget(m_toolBar);
    auto *slotLayout = new QHBoxLayout(slot);
    m_hideEmpty = new QCheckBox(QStringLiteral("Hide Empty Logs"), slot);
    slotLayout->setContentsMargins(twipsToPixels(100), 0, twipsToPixels(100), 0);
    slotLayout->addWidget(m_hideEmpty);
    slot->setMinimumWidth(std::max(twipsToPixels(1900), slot->sizeHint().width()));
    m_toolBar->addWidget(slot);
    connect(m_hideEmpty, &QCheckBox::clicked, this, [this] {
        subInitPollLogList();
        showIdleStatus();
    });

    addButton("IMPORT", "Import Log", "Import the Log File into the database.");
    addButton("EXCEPTIONS", "Exceptions...",
              "Preview the exceptions of the last week: pairs without an out punch, error codes, schedule "
              "violations, long pairs, unknown badges, refused access");
    m_actions.value(QStringLiteral("EXCEPTIONS"))
        ->setIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));

    m_model = new ListPictureModel(this);
    m_list = new QTreeView(this);
    m_list->setModel(m_model);
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setAlternatingRowColors(true);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setIconSize(QSize(16, 16));
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    QHeaderView *header = m_list->header();
    header->setStretchLastSection(false);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSectionsMovable(false);
    header->setHighlightSections(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    connect(header, &QHeaderView::sectionClicked, this, [this](int column) {
        model().headerClicked(column);
        m_list->header()->setSortIndicator(model().sortColumn(), model().sortOrder());
    });
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { subUpdateBar(); });
    connect(m_list, &QAbstractItemView::clicked, this, [this] { subUpdateBar(); });

    m_menu = new QMenu(QStringLiteral("Poll Log"), this);
    m_menu->addAction(m_actions.value(QStringLiteral("PRINT")));
    m_menu->addAction(m_actions.value(QStringLiteral("VIEW")));
    m_menu->addAction(m_actions.value(QStringLiteral("IMPORT")));
    m_menu->addSeparator();
    m_menu->addAction(m_actions.value(QStringLiteral("EXCEPTIONS")));
    connect(m_list, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { m_menu->popup(m_list->viewport()->mapToGlobal(pos)); });

    // Enter and a double click view the file; the usual keys print and refresh.
    connect(m_list, &QAbstractItemView::activated, this, [this] {
        if (!m_importing && selectedCount() == 1) view();
    });
    auto *printKey = new QShortcut(QKeySequence::Print, this);
    connect(printKey, &QShortcut::activated, this, [this] {
        if (!m_importing) print();
    });
    auto *refreshKey = new QShortcut(QKeySequence::Refresh, this);
    connect(refreshKey, &QShortcut::activated, this, [this] { refresh(); });

    // An empty list says where it looked.
    m_emptyNote = new QLabel(m_list->viewport());
    m_emptyNote->setAlignment(Qt::AlignCenter);
    m_emptyNote->setWordWrap(true);
    m_emptyNote->setTextFormat(Qt::PlainText);
    m_emptyNote->setForegroundRole(QPalette::PlaceholderText);
    auto *emptyLayout = new QVBoxLayout(m_list->viewport());
    emptyLayout->addWidget(m_emptyNote);
    m_emptyNote->hide();

    m_fileCount = new QLabel(this);
    m_fileCount->setTextFormat(Qt::PlainText);
    m_status = new QLabel(this);
    m_status->setTextFormat(Qt::PlainText);
    m_status->setMinimumWidth(1);
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_progress = new QProgressBar(this);
    m_progress->setTextVisible(false);
    m_progress->setMaximumHeight(m_status->sizeHint().height() + 4);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setToolTip(QStringLiteral("Stop after the file being read; nothing of this import is kept"));
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        m_cancelRequested = true;
        m_cancel->setEnabled(false);
        m_status->setText(QStringLiteral("Cancelling after this file..."));
    });
    auto *statusRow = new QHBoxLayout;
    statusRow->setContentsMargins(8, 2, 8, 6);
    statusRow->setSpacing(12);
    statusRow->addWidget(m_fileCount);
    statusRow->addWidget(m_status, 3);
    statusRow->addWidget(m_progress, 2);
    statusRow->addWidget(m_cancel);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolBar);
    auto *listRow = new QVBoxLayout;
    listRow->setContentsMargins(6, 2, 6, 6);
    listRow->addWidget(m_list);
    layout->addLayout(listRow, 1);
    layout->addLayout(statusRow);

    m_fileCount->hide();
    m_progress->hide();
    m_cancel->hide();
    int width = 0;
    for (const WidthSetting &w : kWidths)
        width += twipsToPixels(w.defaultTwips);
    resize(std::max(width + 40, m_toolBar->sizeHint().width() + 12), 500);
    subUpdateBar();
}

frmPollLog::~frmPollLog() {
    shutDown();
}

PollLogListModel &frmPollLog::model() const {
    return *m_model;
}

int frmPollLog::twipsToPixels(int twips) const {
    return int(std::lround(twips * double(logicalDpiX()) / 1440.0));
}

int frmPollLog::pixelsToTwips(int pixels) const {
    return int(std::lround(pixels * 1440.0 / double(logicalDpiX())));
}

bool frmPollLog::startUp() {
    const int32_t opened = lngStartSession();
    m_databaseOpen = opened == -1;
    if (!m_databaseOpen) return false;
    m_progress->hide();
    m_recordset.build(PruneMode::Move);
    subInitPollLogList();
    model().sortNewestFirst();
    m_list->header()->setSortIndicator(model().sortColumn(), model().sortOrder());
    // Wide enough for the three columns and the scroll bar.
    int columns = 0;
    for (int c = 0; c < PollLogListModel::ColumnCount; ++c)
        columns += m_list->columnWidth(c);
    const int needed =
        columns + 2 * m_list->frameWidth() + m_list->verticalScrollBar()->sizeHint().width() + 14;
    resize(std::max(width(), needed), height());
    // Where the user left it last time.
    QSettings settings = widthSettings();
    settings.beginGroup(QStringLiteral("PollLog"));
    const QByteArray geometry = settings.value(QStringLiteral("Geometry")).toByteArray();
    if (!geometry.isEmpty()) restoreGeometry(geometry);
    showIdleStatus();
    return true;
}

void frmPollLog::refresh() {
    if (m_importing || !m_databaseOpen) return;
    m_recordset.build(PruneMode::Move);
    m_model->clearImported();
    subInitPollLogList();
    model().sortNewestFirst();
    m_list->header()->setSortIndicator(model().sortColumn(), model().sortOrder());
    showIdleStatus();
}

void frmPollLog::showIdleStatus() {
    m_fileCount->hide();
    m_progress->hide();
    m_cancel->hide();
    const QString folder = strGetPollLogPath();
    QString text;
    if (!m_recordset.folderError().isEmpty()) {
        text = m_recordset.folderError().left(1).toUpper() + m_recordset.folderError().mid(1) + QLatin1Char('.');
    } else {
        long long punches = 0;
        for (int r = 0; r < m_model->rowCount(); ++r)
            punches += m_model->rowAt(r).approximatePunches;
        text = QStringLiteral("%1 poll log%2, about %3 punch%4  \u00b7  %5  \u00b7  %6")
                   .arg(m_model->rowCount())
                   .arg(m_model->rowCount() == 1 ? QString() : QStringLiteral("s"))
                   .arg(punches)
                   .arg(punches == 1 ? QString() : QStringLiteral("es"))
                   .arg(folder, maskPassword(strDatabaseFullPath(strGetDatabaseFilePath())));
    }
    m_status->setText(text);
    m_status->setToolTip(text);
    m_status->show();
    m_emptyNote->setText(m_recordset.folderError().isEmpty()
                             ? QStringLiteral("No poll logs in %1").arg(folder)
                             : m_status->text());
    m_emptyNote->setVisible(m_model->rowCount() == 0);
}

void frmPollLog::shutDown() {
    if (!m_databaseOpen) return;
    m_databaseOpen = false;
    m_status->hide();
    m_progress->hide();
    subSaveColumnWidths();
    QSettings settings = widthSettings();
    settings.beginGroup(QStringLiteral("PollLog"));
    settings.setValue(QStringLiteral("Geometry"), saveGeometry());
    m_recordset.clear();
    subEndSession();
}

void frmPollLog::subInitPollLogList() {
    QSettings settings = widthSettings();
    settings.beginGroup(QStringLiteral("PollLog"));
    bool stored[PollLogListModel::ColumnCount] = {};
    for (int c = 0; c < PollLogListModel::ColumnCount; ++c) {
        const QString key = QString::fromLatin1(kWidths[c].key);
        bool ok = false;
        int twips =
            settings.value(key, QString::number(kWidths[c].defaultTwips)).toString().trimmed().toInt(&ok);
        stored[c] = ok && settings.contains(key);
        if (!ok || twips < 500) {
            // Too narrow to be of use: the default applies.
            settings.remove(key);
            twips = kWidths[c].defaultTwips;
            stored[c] = false;
        }
        m_list->setColumnWidth(c, twipsToPixels(twips));
    }
    m_recordset.setHideEmpty(m_hideEmpty->isChecked());
    model().refill(m_recordset);
    // A default width still shows the heading and the rows whole in this font.
    for (int c = 0; c < PollLogListModel::ColumnCount; ++c) {
        if (stored[c]) continue;
        const int width = m_list->columnWidth(c);
        m_list->resizeColumnToContents(c);
        m_list->setColumnWidth(c, std::max(width, m_list->columnWidth(c)));
    }
    subUpdateBar();
}

void frmPollLog::subSaveColumnWidths() {
    QSettings settings = widthSettings();
    settings.beginGroup(QStringLiteral("PollLog"));
    for (int c = 0; c < PollLogListModel::ColumnCount; ++c)
        settings.setValue(QString::fromLatin1(kWidths[c].key),
                          QString::number(pixelsToTwips(m_list->columnWidth(c))));
}

int frmPollLog::selectedCount() const {
    return int(m_list->selectionModel()->selectedRows().size());
}

void frmPollLog::subUpdateBar() {
    const int selected = m_importing ? 0 : selectedCount();
    m_actions.value(QStringLiteral("PRINT"))->setEnabled(selected >= 1);
    m_actions.value(QStringLiteral("VIEW"))->setEnabled(selected == 1);
    QAction *import = m_actions.value(QStringLiteral("IMPORT"));
    import->setText(selected >= 2 ? QStringLiteral("Import Logs") : QStringLiteral("Import Log"));
    import->setEnabled(selected >= 1);
    m_actions.value(QStringLiteral("EXCEPTIONS"))->setEnabled(!m_importing);
}

void frmPollLog::buttonClick(const QString &key) {
    if (key == QLatin1String("PRINT"))
        print();
    else if (key == QLatin1String("VIEW"))
        view();
    else if (key == QLatin1String("IMPORT"))
        import();
    else if (key == QLatin1String("EXCEPTIONS"))
        exceptions();
}

std::optional<ExceptionsReport> frmPollLog::readExceptions() {
    if (!gConn) return std::nullopt;
    try {
        const auto [since, until] = defaultExceptionsRange(gConn.get());
        return collectExceptions(*gConn, since, until);
    } catch (const std::exception &e) {
        subReportError(kModule, QStringLiteral("Procedure"), QStringLiteral("Exceptions"), QString(),
                       HxError(errorDescription(e)));
        return std::nullopt;
    }
}

void frmPollLog::exceptions() {
    if (m_importing) return;
    if (const auto report = readExceptions()) showExceptionsReportPreview(*report, this);
}

void frmPollLog::offerExceptions(const QString &summary) {
    // What the import did, and the exceptions it left, in one box.
    const auto report = readExceptions();
    const int n = report ? report->distinctCount() : 0;
    QString prompt = summary.trimmed();
    prompt.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    if (n > 0)
        prompt += QStringLiteral("\r\n\r\nThe import left %1 exception%2 to look at (%3). Show them now?")
                      .arg(n)
                      .arg(n == 1 ? QString() : QStringLiteral("s"))
                      .arg(report->nonEmptySections().join(QStringLiteral(", ")));
    const int answer = intShowMessage(kModule, QStringLiteral("barPollLog"), QStringLiteral("ButtonClick"),
                                      QString(), QStringLiteral("Import Summary"), prompt,
                                      n > 0 ? Buttons::YesNo | Buttons::Question : Buttons::OkOnly | Buttons::Information,
                                      0);
    if (n > 0 && answer == Answer::Yes) showExceptionsReportPreview(*report, this);
}

void frmPollLog::print() {
    showPollLogReportPreview(m_recordset.rows(), this);
}

void frmPollLog::view() {
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    if (rows.isEmpty()) return;
    blnViewPollLog(strPollLogFilePath(rows.first().data(PollLogListModel::FileNameRole).toString()));
}

void frmPollLog::selectOnly(int row) {
    if (row < 0) return;
    const QModelIndex index = m_model->index(row, 0);
    m_list->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    m_list->scrollTo(index);
}

void frmPollLog::import() {
    if (m_importing) return;
    // The whole window but its status line stays disabled until the end.
    m_toolBar->setEnabled(false);
    m_list->setEnabled(false);
    std::vector<ImportFile> files;
    for (int r = 0; r < m_model->rowCount(); ++r) {
        if (!m_list->selectionModel()->isRowSelected(r, {})) continue;
        const QString name = m_model->rowAt(r).fileName;
        files.push_back({name, strPollLogFilePath(name)});
    }
    auto channel = std::make_shared<clsMessage>();
    StatusLabel status(m_status);
    ProgressBar progress(m_progress, int(files.size()) + 1);
    channel->setLblStatus(&status);
    channel->setProProgressBar(&progress);
    m_status->clear();
    m_status->show();
    m_importing = true;
    m_cancelRequested = false;
    ThrottledRepaint repaint;
    setRepaintHook([&repaint] { repaint(); });

    m_list->selectionModel()->clearSelection();
    // The list is left alone while the files are read: selecting, scrolling
    // and repainting it for every file cost more than the import itself.
    auto startFile = [&](int i) {
        m_fileCount->setText(QStringLiteral("File %1 of %2").arg(i + 1).arg(files.size()));
        progress.setPart(i);
        QCoreApplication::processEvents();
    };
    auto failedFile = [&](int i) { selectOnly(m_model->rowOfFile(files[size_t(i)].name)); };

    bool offerAfter = false;
    QString summary;
    QString why;
    auto lock = gConn ? ImportLock::acquire(*gConn, std::chrono::milliseconds(0), &why) : nullptr;
    if (!lock) {
        if (why.isEmpty()) why = QStringLiteral("The database is not open.");
        why[0] = why[0].toUpper();
        intShowMessage(kModule, QStringLiteral("barPollLog"), QStringLiteral("ButtonClick"), QString(),
                       QStringLiteral("Import Poll Log"), why, Buttons::OkOnly | Buttons::Exclamation, 0);
        // Nothing was started: the rows stay chosen for another try.
        for (const ImportFile &f : files)
            m_list->selectionModel()->select(m_model->index(m_model->rowOfFile(f.name), 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    } else {
        // The rules as they stand now that no other import can change them.
        gTCRules = std::make_unique<clsTCrules>();
        gTCRules->ReadValues();
        m_fileCount->show();
        m_progress->show();
        m_cancel->setEnabled(true);
        m_cancel->show();
        ImportOptions options;
        options.source = ImportSource::Window;
        // Asked once before each file and once before the posting.
        options.cancelRequested = [this, &progress, &files, &repaint, asked = size_t(0)]() mutable {
            repaint();
            if (!m_cancelRequested && ++asked > files.size()) {
                progress.setPart(int(files.size()));
                m_fileCount->setText(QStringLiteral("Posting %1 file%2")
                                         .arg(files.size())
                                         .arg(files.size() == 1 ? QString() : QStringLiteral("s")));
            }
            return m_cancelRequested;
        };
        ImportResult result;
        try {
            result = runImportCommand(files, channel, options, startFile, failedFile);
        } catch (const std::exception &e) {
            // The command reports its own failures; anything else still leaves the window usable.
            subReportError(kModule, QStringLiteral("barPollLog"), QStringLiteral("ButtonClick"), QString(),
                           HxError(errorDescription(e)));
        }
        lock.reset();
        if (result.saved())
            for (const ImportFile &f : files)
                m_model->markImported(f.name);
        // The last file handled stays selected.
        if (result.lastFile >= 0) selectOnly(m_model->rowOfFile(files[size_t(result.lastFile)].name));
        offerAfter = result.saved();
        summary = result.run.toText(false);
    }

    m_importing = false;
    subUpdateBar();
    setRepaintHook({});
    channel.reset();
    showIdleStatus();
    m_toolBar->setEnabled(true);
    m_list->setEnabled(true);
    m_list->setFocus();
    if (offerAfter) offerExceptions(summary);
}

void frmPollLog::closeEvent(QCloseEvent *event) {
    if (m_importing) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void frmPollLog::reject() {
    if (!m_importing) QDialog::reject();
}

bool ShowPollLog(QString *why) {
    auto fail = [why](const QString &reason) {
        if (why) *why = reason;
        return false;
    };
    try {
        if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
            subLogNote(kModule, QStringLiteral("ShowPollLog: there is no application object for windows."));
            return fail(QStringLiteral("there is no application object for windows"));
        }
        // The Qt boxes, unless the host installed a face of its own; the last
        // prompt tells why the database did not open.
        struct FaceInUse : MessageBoxFace {
            QtMessageBox qt;
            const bool own = !hasMessageBoxFace();
            MessageBoxFace &inner = own ? static_cast<MessageBoxFace &>(qt) : messageBoxFace();
            QString lastPrompt;
            FaceInUse() { setMessageBoxFace(this); }
            ~FaceInUse() override { setMessageBoxFace(own ? nullptr : &inner); }
            int show(const QString &title, const QString &prompt, int buttons, int helpId) override {
                lastPrompt = prompt;
                return inner.show(title, prompt, buttons, helpId);
            }
            void beep() override { inner.beep(); }
        } face;
        frmPollLog form;
        if (!form.startUp()) return fail(strStartFailure(lngLastStartResult(), face.lastPrompt));
        form.exec();
        form.shutDown();
        return true;
    } catch (const std::exception &e) {
        return fail(QStringLiteral("the window failed: ") + errorDescription(e));
    } catch (...) {
        return fail(QStringLiteral("the window failed"));
    }
}

} // namespace hx
