#include "ui/RestoreWindow.h"

#include "backupdata/LogLineFormat.h"
#include "backupdata/SelectionTreeNode.h"
#include "core/Clock.h"
#include "core/KestrelError.h"
#include "core/Prompt.h"
#include "core/Services.h"
#include "restore/MailboxRestore.h"
#include "restore/MailboxSession.h"
#include "sequence/SequenceWorkerThread.h"
#include "ui/ControlHelpers.h"
#include "ui/PathTree.h"
#include "ui/TreeImages.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMutexLocker>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>

namespace {
// A version row keeps its index among the file's versions in this role; file and
// folder rows have none. (Qt::UserRole + 1 holds the tree image of every row.)
constexpr int VersionRole = Qt::UserRole + 16;
constexpr int VersionImage = 3;
constexpr int ProgressSteps = 1000;

QString archiveSizeText(qint64 bytes)
{
    // Rounded up, so a small archive never shows as 0 KB.
    return QString::number(qMax<qint64>(1, (bytes + 1023) / 1024)) + QStringLiteral(" KB");
}

QString seconds(qint64 milliseconds)
{
    return QString::number(static_cast<double>(milliseconds) / 1000.0, 'f', 1);
}
} // namespace

RestoreWindow::RestoreWindow(MailboxSourceFactory factory, QWidget* parent,
                             const QString& cacheFolder)
    : QDialog(parent), m_worker(std::make_unique<SequenceWorkerThread>())
{
    setObjectName(QStringLiteral("frmRestore"));
    setWindowTitle(QStringLiteral("Restore From Mailbox"));
    setModal(false);
    resize(620, 560);
    setHelpContext(this, HelpTopic);
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, [this] { Q_EMIT helpRequested(HelpTopic); });
    m_session = std::make_unique<MailboxSession>(
        std::move(factory),
        [worker = m_worker.get()](const std::function<void()>& step) { worker->run(step); },
        cacheFolder);

    auto* layout = new QVBoxLayout(this);
    edbSearch = makeEdit(this, QStringLiteral("edbSearch"),
                         QStringLiteral("Shows only the files whose path holds this text; * and "
                                        "? match any text and any one character."));
    edbSearch->setPlaceholderText(QStringLiteral("Search by name"));
    // A clear button of its own: the line edit's built-in one has no name a screen
    // reader could announce.
    QAction* clearSearch = edbSearch->addAction(
        style()->standardIcon(QStyle::SP_LineEditClearButton), QLineEdit::TrailingPosition);
    clearSearch->setObjectName(QStringLiteral("actClearSearch"));
    clearSearch->setText(QStringLiteral("Clear search"));
    clearSearch->setVisible(false);
    connect(clearSearch, &QAction::triggered, edbSearch, &QLineEdit::clear);
    connect(edbSearch, &QLineEdit::textChanged, clearSearch,
            [clearSearch](const QString& text) { clearSearch->setVisible(!text.isEmpty()); });
    auto* search = new QHBoxLayout;
    search->addWidget(
        makeLabel(this, QStringLiteral("lblSearch"), QStringLiteral("&Find:"), edbSearch));
    search->addWidget(edbSearch);
    layout->addLayout(search);

    trvSaved = new QTreeWidget(this);
    trvSaved->setObjectName(QStringLiteral("trvSaved"));
    trvSaved->setAccessibleName(QStringLiteral("Saved files"));
    trvSaved->setHeaderHidden(true);
    trvSaved->setSelectionMode(QAbstractItemView::ExtendedSelection);
    trvSaved->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_paths = new PathTree(trvSaved, PathTree::Kind::Files);
    layout->addWidget(trvSaved, 1);

    lblListing = makeLabel(this, QStringLiteral("lblListing"), QString());
    layout->addWidget(lblListing);

    auto* target = new QHBoxLayout;
    edbTargetFolder = makeEdit(this, QStringLiteral("edbTargetFolder"),
                               QStringLiteral("The folder the files are restored into, each "
                                              "below it under its original path."));
    edbTargetFolder->setText(MailboxRestore::defaultTargetFolder(Services::clock().now()));
    btnBrowse = makeButton(this, QStringLiteral("btnBrowse"), QStringLiteral("B&rowse..."));
    target->addWidget(makeLabel(this, QStringLiteral("lblTargetFolder"),
                                QStringLiteral("Restore &into:"), edbTargetFolder));
    target->addWidget(edbTargetFolder, 1);
    target->addWidget(btnBrowse);
    layout->addLayout(target);

    prbRestore = new QProgressBar(this);
    prbRestore->setObjectName(QStringLiteral("prbRestore"));
    prbRestore->setRange(0, ProgressSteps);
    prbRestore->setValue(0);
    prbRestore->setTextVisible(false);
    layout->addWidget(prbRestore);
    lblTransfer = makeLabel(this, QStringLiteral("lblTransfer"), QString());
    layout->addWidget(lblTransfer);
    lblStatus = makeLabel(this, QStringLiteral("lblStatus"), QString());
    lblStatus->setWordWrap(true);
    layout->addWidget(lblStatus);

    btnRestore = makeButton(this, QStringLiteral("btnRestore"), QStringLiteral("&Restore"),
                            QStringLiteral("Restore the selected files, folders or versions: a "
                                           "file or folder restores the latest version."));
    btnCancel = makeButton(this, QStringLiteral("btnCancel"), QStringLiteral("Close"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnRestore);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    btnRestore->setEnabled(false);

    connect(edbSearch, &QLineEdit::textChanged, this, &RestoreWindow::showFiles);
    connect(btnBrowse, &QPushButton::clicked, this, &RestoreWindow::browseTarget);
    connect(btnRestore, &QPushButton::clicked, this, &RestoreWindow::restoreSelected);
    connect(btnCancel, &QPushButton::clicked, this, &RestoreWindow::cancelOrClose);
    connect(trvSaved, &QTreeWidget::itemSelectionChanged, this,
            [this] { btnRestore->setEnabled(!m_busy && !trvSaved->selectedItems().isEmpty()); });
}

RestoreWindow::~RestoreWindow() = default;

bool RestoreWindow::listed() const
{
    return m_session->listed();
}

void RestoreWindow::preselect(const QString& path)
{
    m_preselected = path;
    edbSearch->setText(path);
    selectPreselected();
}

void RestoreWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Listed once the window is on screen, so it shows while the mailbox is read.
    if (!m_listingStarted)
        QTimer::singleShot(0, this, [this] {
            if (!m_listingStarted)
                listMailbox();
        });
}

void RestoreWindow::listMailbox()
{
    if (m_busy)
        return;
    m_listingStarted = true;
    beginWork();
    lblListing->setText(QStringLiteral("Reading the save notes from the mailbox..."));
    try {
        const MailboxCatalog::Refresh refresh = m_session->list(*this);
        lblListing->setText(QStringLiteral("%1 save notes read (%2 from the cache) in %3 s")
                                .arg(refresh.notesRead + refresh.notesFromCache)
                                .arg(refresh.notesFromCache)
                                .arg(seconds(refresh.elapsedMs)));
        status(QString());
        progress(0, 0);
        showFiles();
        selectPreselected();
    } catch (const KestrelError& error) {
        // A listing the user stopped needs no message box.
        const bool stopped = m_cancelRequested;
        const QString line =
            stopped ? QStringLiteral("The listing was cancelled.")
                    : QStringLiteral("The mailbox could not be listed: ") + error.message();
        lblListing->setText(line);
        status(QString());
        endWork();
        if (!stopped)
            Services::prompt().notify(line, Prompt::Icon::Error);
        return;
    }
    endWork();
}

QString RestoreWindow::versionText(const SavedVersion& version)
{
    QString text = QStringLiteral("Saved: %1, Archive size: %2")
                       .arg(formatLogDateTime(version.noteDate.toLocalTime()),
                            archiveSizeText(version.archiveSize()));
    if (!version.complete())
        text += QStringLiteral(", Parts: %1 of %2 (%3)")
                    .arg(version.parts.size())
                    .arg(version.partCount)
                    .arg(version.fault());
    else if (version.partCount > 1)
        text += QStringLiteral(", Parts: %1").arg(version.partCount);
    return text;
}

void RestoreWindow::showFiles()
{
    trvSaved->clear();
    m_fileOfNode.clear();
    if (!m_session->listed()) {
        m_shown.clear();
        return;
    }
    m_shown = m_session->catalog().matching(edbSearch->text().trimmed());
    m_shownGeneration = m_session->generation();
    trvSaved->setUpdatesEnabled(false);
    for (qsizetype i = 0; i < m_shown.size(); ++i) {
        const SavedFile& file = m_shown.at(i);
        QTreeWidgetItem* node = m_paths->InsertFilePath(file.path);
        if (!node)
            continue;
        m_fileOfNode.insert(node, i);
        for (int v = 0; v < file.versions.size(); ++v) {
            // Text and role before the row joins the tree, so the path index stays.
            auto* row = new QTreeWidgetItem(QStringList{versionText(file.versions.at(v))});
            row->setData(0, VersionRole, v);
            TreeImages::setImage(row, TreeImages::List::Files, VersionImage);
            node->addChild(row);
        }
    }
    trvSaved->setUpdatesEnabled(true);
    // Folders open, versions folded: a filtered tree shows its files at once.
    for (QTreeWidgetItemIterator it(trvSaved); *it; ++it)
        (*it)->setExpanded(!m_fileOfNode.contains(*it));
}

void RestoreWindow::selectPreselected()
{
    if (m_preselected.isEmpty())
        return;
    const QStringList components = selectionPathComponents(m_preselected);
    const PathTree::Match match = m_paths->FindDeepestNode(components);
    if (!match.node || match.depth != components.size())
        return;
    trvSaved->clearSelection();
    match.node->setSelected(true);
    trvSaved->setCurrentItem(match.node);
    trvSaved->scrollToItem(match.node);
}

QString RestoreWindow::rowPath(const QTreeWidgetItem* item) const
{
    if (item && item->data(0, VersionRole).isValid())
        item = item->parent();
    return PathTree::nodePath(item);
}

void RestoreWindow::collectPicks(const QTreeWidgetItem* item, bool wholeNode,
                                 QList<RestorePick>& picks,
                                 QSet<const QTreeWidgetItem*>& seen) const
{
    if (seen.contains(item))
        return;
    seen.insert(item);
    const QVariant version = item->data(0, VersionRole);
    if (version.isValid()) {
        picks.append({&m_shown.at(m_fileOfNode.value(item->parent())), version.toInt()});
        return;
    }
    const auto file = m_fileOfNode.constFind(item);
    if (file != m_fileOfNode.cend())
        picks.append({&m_shown.at(*file), -1});
    if (!wholeNode)
        return;
    // A folder (or a file that is a folder as well) brings every file below it.
    for (int i = 0; i < item->childCount(); ++i) {
        const QTreeWidgetItem* child = item->child(i);
        if (!child->data(0, VersionRole).isValid())
            collectPicks(child, true, picks, seen);
    }
}

void RestoreWindow::restoreSelected()
{
    if (m_busy || !m_session->listed())
        return;
    QList<RestorePick> picks;
    QSet<const QTreeWidgetItem*> seen;
    for (QTreeWidgetItemIterator it(trvSaved, QTreeWidgetItemIterator::Selected); *it; ++it)
        collectPicks(*it, true, picks, seen);
    QStringList notices;
    const QList<SavedVersion> versions = versionsToRestore(picks, &notices);
    if (versions.isEmpty()) {
        Services::prompt().notify(QStringLiteral("Select the files, folders or versions to "
                                                 "restore."),
                                  Prompt::Icon::Information);
        return;
    }
    const QString target = edbTargetFolder->text().trimmed();
    // A relative folder would land wherever the program happened to start.
    if (target.isEmpty() || QDir::isRelativePath(target)) {
        Services::prompt().notify(
            QStringLiteral("Choose the folder to restore into: a full path, such as ") +
                MailboxRestore::defaultTargetFolder(Services::clock().now()),
            Prompt::Icon::Warning);
        return;
    }
    beginWork();
    m_restoring = true;
    m_estimate.start(-1, Services::clock().tickMs());
    std::optional<MailboxRestore::Summary> summary;
    QString failure;
    try {
        summary = m_session->restore(versions, target, *this);
    } catch (const KestrelError& error) {
        failure = error.message();
    }
    if (!summary) {
        // A mailbox listed again shows its new notes; otherwise the choice stays.
        if (m_session->generation() != m_shownGeneration)
            showFiles();
        status(QStringLiteral("The files could not be restored: ") + failure);
        endWork();
        Services::prompt().notify(failure, Prompt::Icon::Error);
        return;
    }
    summary->notices = notices;
    status(summary->text().section(QLatin1Char('\n'), 0, 0));
    endWork();
    const bool wentWrong = summary->failed > 0 || !notices.isEmpty();
    Services::prompt().notify(summary->text(),
                              wentWrong ? Prompt::Icon::Warning : Prompt::Icon::Information);
}

void RestoreWindow::browseTarget()
{
    const auto folder = Services::prompt().chooseFolder(QStringLiteral("Restore Into Folder"),
                                                        edbTargetFolder->text());
    if (folder)
        edbTargetFolder->setText(*folder);
}

void RestoreWindow::beginWork()
{
    m_busy = true;
    m_cancelRequested = false;
    m_restoring = false;
    m_estimate = TransferEstimate(QStringLiteral("restored"));
    lblTransfer->clear();
    progress(0, 0);
    btnRestore->setEnabled(false);
    btnBrowse->setEnabled(false);
    edbSearch->setEnabled(false);
    btnCancel->setText(QStringLiteral("Cancel"));
}

void RestoreWindow::endWork()
{
    m_busy = false;
    showReports();
    btnBrowse->setEnabled(true);
    edbSearch->setEnabled(true);
    btnRestore->setEnabled(!trvSaved->selectedItems().isEmpty());
    btnCancel->setText(QStringLiteral("Close"));
    Q_EMIT workFinished();
    if (m_closeWhenDone)
        QTimer::singleShot(0, this, &QDialog::close);
}

void RestoreWindow::cancelOrClose()
{
    if (m_busy) {
        m_cancelRequested = true;
        status(QStringLiteral("Cancelling..."));
        return;
    }
    close();
}

void RestoreWindow::reject()
{
    // Escape while the mailbox is being read stops the work first.
    if (m_busy) {
        cancelOrClose();
        return;
    }
    QDialog::reject();
}

void RestoreWindow::closeEvent(QCloseEvent* event)
{
    // The worker's step must end before the window (and the thread) may go.
    if (m_busy) {
        m_cancelRequested = true;
        m_closeWhenDone = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void RestoreWindow::status(const QString& text)
{
    {
        const QMutexLocker lock(&m_reportMutex);
        m_reportedStatus = text;
    }
    showReports();
}

void RestoreWindow::progress(qint64 done, qint64 total)
{
    {
        const QMutexLocker lock(&m_reportMutex);
        m_reportedDone = done;
        m_reportedTotal = total;
    }
    showReports();
}

void RestoreWindow::showReports()
{
    // The restore reports from inside its steps, on the worker thread: the controls
    // are set on the window's thread, always from the latest report, so that a late
    // one never shows an older state over a newer.
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, &RestoreWindow::showReports, Qt::QueuedConnection);
        return;
    }
    QString text;
    qint64 done = 0;
    qint64 total = 0;
    {
        const QMutexLocker lock(&m_reportMutex);
        text = m_reportedStatus;
        done = m_reportedDone;
        total = m_reportedTotal;
    }
    lblStatus->setText(text);
    if (m_restoring && total > 0 && m_estimate.report(done, total, Services::clock().tickMs()))
        lblTransfer->setText(m_estimate.text());
    if (total <= 0) {
        // Unknown: a busy bar while working.
        prbRestore->setRange(0, m_busy ? 0 : ProgressSteps);
        prbRestore->setValue(0);
        return;
    }
    prbRestore->setRange(0, ProgressSteps);
    // In floating point: sizes a server announced may be as large as a qint64 holds.
    const auto steps =
        static_cast<qint64>(static_cast<double>(done) / static_cast<double>(total) * ProgressSteps);
    prbRestore->setValue(static_cast<int>(std::clamp<qint64>(steps, 0, ProgressSteps)));
}
