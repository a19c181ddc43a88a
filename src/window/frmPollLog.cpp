#include "window/frmPollLog.h"

#include "component/ImportLock.h"
#include "component/Startup.h"
#include "component/modGlobal.h"
#include "import/ImportCommand.h"
#include "import/PollLogListModel.h"
#include "import/PollLogViewer.h"
#include "messages/LogFiles.h"
#include "messages/clsMessage.h"
#include "rules/clsTCrules.h"
#include "window/PollLogReport.h"
#include "window/QtMessageBox.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
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
    QVariant data(const QModelIndex &index, int role) const override {
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

class ProgressBar : public ProgressBarElement {
public:
    explicit ProgressBar(QProgressBar *bar) : m_bar(bar) {}
    void setMinimum(int value) override { m_bar->setMinimum(value); }
    void setMaximum(int value) override { m_bar->setMaximum(value); }
    void setValue(int value) override {
        m_bar->setValue(std::clamp(value, m_bar->minimum(), m_bar->maximum()));
    }
    void setVisible(bool visible) override { m_bar->setVisible(visible); }

private:
    QProgressBar *m_bar;
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
    connect(m_hideEmpty, &QCheckBox::clicked, this, [this] { subInitPollLogList(); });

    addButton("IMPORT", "Import Log", "Import the Log File into the database.");

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
    connect(m_list, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { m_menu->popup(m_list->viewport()->mapToGlobal(pos)); });

    m_status = new QLabel(this);
    m_status->setTextFormat(Qt::PlainText);
    m_status->setMinimumWidth(1);
    m_progress = new QProgressBar(this);
    m_progress->setTextVisible(false);
    m_progress->setMaximumHeight(m_status->sizeHint().height() + 4);
    auto *statusRow = new QHBoxLayout;
    statusRow->setContentsMargins(8, 2, 8, 6);
    statusRow->addWidget(m_status, 3);
    statusRow->addWidget(m_progress, 2);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolBar);
    auto *listRow = new QVBoxLayout;
    listRow->setContentsMargins(6, 2, 6, 6);
    listRow->addWidget(m_list);
    layout->addLayout(listRow, 1);
    layout->addLayout(statusRow);

    m_status->hide();
    m_progress->hide();
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
    m_status->hide();
    m_progress->hide();
    m_recordset.build(PruneMode::Move);
    subInitPollLogList();
    if (!m_recordset.folderError().isEmpty()) {
        m_status->setText(m_recordset.folderError().left(1).toUpper() + m_recordset.folderError().mid(1) +
                          QLatin1Char('.'));
        m_status->show();
    }
    model().sortNewestFirst();
    m_list->header()->setSortIndicator(model().sortColumn(), model().sortOrder());
    // Wide enough for the three columns and the scroll bar.
    int columns = 0;
    for (int c = 0; c < PollLogListModel::ColumnCount; ++c)
        columns += m_list->columnWidth(c);
    const int needed =
        columns + 2 * m_list->frameWidth() + m_list->verticalScrollBar()->sizeHint().width() + 14;
    resize(std::max(width(), needed), height());
    return true;
}

void frmPollLog::shutDown() {
    if (!m_databaseOpen) return;
    m_databaseOpen = false;
    m_status->hide();
    m_progress->hide();
    subSaveColumnWidths();
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
}

void frmPollLog::buttonClick(const QString &key) {
    if (key == QLatin1String("PRINT"))
        print();
    else if (key == QLatin1String("VIEW"))
        view();
    else if (key == QLatin1String("IMPORT"))
        import();
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
    auto channel = std::make_shared<clsMessage>();
    StatusLabel status(m_status);
    ProgressBar progress(m_progress);
    channel->setLblStatus(&status);
    channel->setProProgressBar(&progress);
    m_status->show();
    m_importing = true;
    setRepaintHook([] { QCoreApplication::processEvents(); });

    std::vector<ImportFile> files;
    for (int r = 0; r < m_model->rowCount(); ++r) {
        if (!m_list->selectionModel()->isRowSelected(r, {})) continue;
        const QString name = m_model->rowAt(r).fileName;
        files.push_back({name, strPollLogFilePath(name)});
    }
    m_list->selectionModel()->clearSelection();
    auto repaintFile = [&](int i) {
        selectOnly(m_model->rowOfFile(files[size_t(i)].name));
        subUpdateBar();
        repaint();
        QCoreApplication::processEvents();
    };

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
        try {
            runImportCommand(files, channel, ImportOptions{}, repaintFile, repaintFile);
        } catch (const std::exception &e) {
            // The command reports its own failures; anything else still leaves the window usable.
            subReportError(kModule, QStringLiteral("barPollLog"), QStringLiteral("ButtonClick"), QString(),
                           HxError(errorDescription(e)));
        }
        lock.reset();
    }

    m_importing = false;
    subUpdateBar();
    setRepaintHook({});
    channel.reset();
    m_status->hide();
    m_progress->hide();
    m_toolBar->setEnabled(true);
    m_list->setEnabled(true);
    m_list->setFocus();
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

bool ShowPollLog() {
    try {
        if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
            subLogNote(kModule, QStringLiteral("ShowPollLog: there is no application object for windows."));
            return false;
        }
        // The Qt boxes, unless the host installed a face of its own.
        struct FaceInUse {
            QtMessageBox qt;
            const bool own = !hasMessageBoxFace();
            FaceInUse() {
                if (own) setMessageBoxFace(&qt);
            }
            ~FaceInUse() {
                if (own) setMessageBoxFace(nullptr);
            }
        } face;
        frmPollLog form;
        if (!form.startUp()) return false;
        form.exec();
        form.shutDown();
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace hx
