#include "ui/BackUpLogView.h"

#include "backupdata/BackUpLogMaintenance.h"
#include "backupdata/BackUpLogReader.h"
#include "backupdata/LogLineFormat.h"
#include "core/Clock.h"
#include "core/EditionProfile.h"
#include "core/KestrelError.h"
#include "core/Prompt.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "restore/MailboxSession.h"
#include "restore/RestoreProgress.h"
#include "sequence/SequenceState.h"
#include "sequence/SequenceWorkerThread.h"
#include "ui/BackUpLogPage.h"
#include "ui/PathTree.h"
#include "ui/SummaryPage.h"
#include "ui/TreeImages.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGroupBox>
#include <QMenu>
#include <QScopeGuard>
#include <QThread>
#include <QTreeWidget>

#include <utility>

namespace {
constexpr qint64 LargeLogAtStart = 100000;
constexpr qint64 LargeLogOnShow = 300000;
// Events are pumped this often while a log loads: often enough to keep the window
// alive and Cancel prompt, rarely enough that a large log loads in seconds.
constexpr qint64 PumpIntervalMs = 50;
constexpr int MaxListedDamagedLines = 20;
const QString Caption = QStringLiteral("Backed Up Files");

qint64 fileSize(const QString& path)
{
    return QFileInfo(path).size();
}

// The rebuild's progress as lines of the status memo, each text once. A report from
// the worker thread is passed to the window's thread.
class StatusMemoProgress : public RestoreProgress
{
public:
    explicit StatusMemoProgress(SummaryPage* summary) : m_summary(summary) {}

    void status(const QString& text) override
    {
        if (QThread::currentThread() != m_summary->thread()) {
            // Without this object, which may be gone when the memo takes the line.
            SummaryPage* summary = m_summary;
            if (!text.isEmpty())
                QMetaObject::invokeMethod(
                    summary, [summary, text] { summary->addStatusLine(text); },
                    Qt::QueuedConnection);
            return;
        }
        if (text.isEmpty() || text == m_last)
            return;
        m_last = text;
        m_summary->addStatusLine(text);
    }
    void progress(qint64, qint64) override {}

private:
    SummaryPage* m_summary;
    QString m_last;
};
} // namespace

BackUpLogView::BackUpLogView(BackUpLogPage* page, SummaryPage* summary,
                             SequenceState& sequenceState, bool* loadLogTreeAtStart,
                             QObject* parent)
    : QObject(parent), m_page(page), m_summary(summary), m_sequenceState(sequenceState),
      m_loadLogTreeAtStart(loadLogTreeAtStart),
      m_paths(new PathTree(page->trvBackUpLog, PathTree::Kind::Files))
{
    connect(page, &BackUpLogPage::shown, this, &BackUpLogView::pageShown);

    pumLogTree = new QMenu(page->trvBackUpLog);
    pumLogTree->setObjectName(QStringLiteral("pumLogTree"));
    pumRestoreFromMailbox = pumLogTree->addAction(QStringLiteral("Restore From Mailbox..."));
    pumRestoreFromMailbox->setObjectName(QStringLiteral("pumRestoreFromMailbox"));
    connect(pumRestoreFromMailbox, &QAction::triggered, this, [this] {
        const QTreeWidgetItem* node = m_page->trvBackUpLog->currentItem();
        if (node)
            Q_EMIT restoreFromMailboxRequested(restorePathOf(node));
    });
    page->trvBackUpLog->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(page->trvBackUpLog, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) {
                QTreeWidget* tree = m_page->trvBackUpLog;
                QTreeWidgetItem* node = tree->itemAt(position);
                if (!node || !isEdition(Edition::KestrelSolo))
                    return;
                tree->setCurrentItem(node);
                pumLogTree->popup(tree->viewport()->mapToGlobal(position));
            });
}

QString BackUpLogView::restorePathOf(const QTreeWidgetItem* node)
{
    // A saved copy's node has the record image and hangs below its file's node.
    if (node && node->parent() && TreeImages::image(node) == RecordImage)
        node = node->parent();
    return PathTree::nodePath(node);
}

void BackUpLogView::setIconKeyList(const QStringList& keys)
{
    m_paths->setIconKeyList(keys);
}

QString BackUpLogView::recordText(int id, const QString& backupDate, const QString& sizeText)
{
    return QStringLiteral("ID: %1, Back up date: %2, File size: %3")
        .arg(id)
        .arg(backupDate, sizeText);
}

void BackUpLogView::RefreshLogTree(const QString& logPath)
{
    const std::optional<FileState> state = FileState::of(logPath);
    if (state && logPath == m_loadedPath && state == m_loadedState)
        return;
    LoadLogIntoTree(logPath);
}

void BackUpLogView::LoadLogIntoTree(const QString& logPath)
{
    // A Cancel during the load stops it. The flag itself is the sequence's: clearing it
    // here would let a cancelled sequence that reloads the tree go on.
    const bool cancelledBefore = m_sequenceState.SequenceCancelled;
    QTreeWidget* tree = m_page->trvBackUpLog;
    tree->clear();
    m_loadedPath.clear();
    // Taken before reading: a log that changes meanwhile differs from it afterwards.
    const std::optional<FileState> state = FileState::of(logPath);
    BackUpLogReader reader(logPath);
    TTernBackUpFileObject record;
    QList<int> damagedLines;
    QElapsedTimer sincePump;
    sincePump.start();
    tree->setUpdatesEnabled(false);
    const auto restore = qScopeGuard([tree] { tree->setUpdatesEnabled(true); });
    bool showName = true;
    for (;;) {
        if (sincePump.elapsed() >= PumpIntervalMs) {
            Services::clock().waitPumping(0);
            sincePump.restart();
            showName = true;
        }
        if (!cancelledBefore && m_sequenceState.SequenceCancelled)
            return;
        const BackUpLogReader::Status status = reader.readNext(record);
        if (status == BackUpLogReader::Status::End)
            break;
        if (status == BackUpLogReader::Status::Damaged) {
            damagedLines << reader.damage().lineNumber;
            continue;
        }
        // The caption can only be seen when events are processed: it names the file
        // being added then, instead of being set for every record.
        if (std::exchange(showName, false))
            m_page->gpbBackedUpFiles->setTitle(QStringLiteral("Backed Up Files - Adding File: ") +
                                               record.NamePart());
        QTreeWidgetItem* fileNode = m_paths->InsertFilePath(record.FileName());
        if (!fileNode)
            continue;
        // The node gets its text before it joins the tree: a text change of a node in
        // the tree would make the path index start over.
        auto* copy = new QTreeWidgetItem(QStringList{
            recordText(record.ID(), formatLogDateTime(record.BackupDate()), record.SizeText())});
        TreeImages::setImage(copy, TreeImages::List::Files, RecordImage);
        fileNode->addChild(copy);
    }
    m_page->gpbBackedUpFiles->setTitle(Caption);
    m_loadedPath = logPath;
    m_loadedState = state;
    if (!damagedLines.isEmpty()) {
        QStringList numbers;
        for (int i = 0; i < damagedLines.size() && i < MaxListedDamagedLines; ++i)
            numbers << QString::number(damagedLines.at(i));
        if (damagedLines.size() > MaxListedDamagedLines)
            numbers << QStringLiteral("...");
        Services::prompt().notify(
            QStringLiteral("Error reading log file.") + QLatin1Char('\n') +
                tr("Lines not read: %1").arg(numbers.join(QStringLiteral(", "))),
            Prompt::Icon::Information);
    }
}

void BackUpLogView::loadAtStartUp(const QString& logPath)
{
    if (!QFileInfo::exists(logPath))
        return;
    const TQuayRegistryObject store;
    if (fileSize(logPath) > LargeLogAtStart) {
        if (!store.ReadLoadLogTree()) {
            *m_loadLogTreeAtStart = false;
        } else if (
            Services::prompt().ask(QStringLiteral(
                "The log file is large and will take some time to load, it is recommended to "
                "load the file only when required.  This can be done by clicking the log tab.  "
                "Defer loading the log file?")) == Prompt::Answer::Yes) {
            *m_loadLogTreeAtStart = false;
            const bool makeDefault =
                Services::prompt().ask(QStringLiteral(
                    "Do you want to make this the default setting for large log files?")) ==
                Prompt::Answer::Yes;
            store.WriteLoadLogTree(!makeDefault);
        } else {
            *m_loadLogTreeAtStart = true;
        }
    }
    if (*m_loadLogTreeAtStart && store.ReadLoadLogTree())
        LoadLogIntoTree(logPath);
}

void BackUpLogView::pageShown()
{
    const QString logPath = TQuayRegistryObject().ReadLogFile();
    if (m_page->trvBackUpLog->topLevelItemCount() > 0 || !QFileInfo::exists(logPath))
        return;
    if (fileSize(logPath) > LargeLogOnShow)
        *m_loadLogTreeAtStart = Services::prompt().ask(QStringLiteral(
                                    "Load the log file?  If this file is large it "
                                    "may take several minutes to load.")) == Prompt::Answer::Yes;
    else
        *m_loadLogTreeAtStart = true;
    if (*m_loadLogTreeAtStart)
        LoadLogIntoTree(logPath);
}

void BackUpLogView::newLogFile()
{
    const auto name = Services::prompt().inputText(
        QStringLiteral("New Log File"), QStringLiteral("Enter a new log file name."), QString());
    if (!name)
        return;
    if (Services::prompt().ask(QStringLiteral("Start new log file?")) != Prompt::Answer::Yes)
        return;
    const TQuayRegistryObject store;
    const QString path = BackUpLogMaintenance::newLogPath(store.ReadLogFile(), *name);
    BackUpLogMaintenance::createNewLog(path);
    store.WriteLogFile(path);
    LoadLogIntoTree(path);
}

void BackUpLogView::openExistingLogFile()
{
    const TQuayRegistryObject store;
    const auto chosen = Services::prompt().chooseFile(
        QStringLiteral("Select An Alternative Back Up Log File"), store.ReadQuayDirectory(),
        QStringLiteral("Text files (*.txt *.TXT);;Back up files (*.bak *.BAK)"));
    if (!chosen)
        return;
    if (Services::prompt().ask(QStringLiteral("Replace existing log file?")) != Prompt::Answer::Yes)
        return;
    if (!BackUpLogMaintenance::looksLikeLog(*chosen)) {
        Services::prompt().notify(QStringLiteral("File format incorrect."),
                                  Prompt::Icon::Confirmation);
        return;
    }
    Services::prompt().notify(QStringLiteral("Existing log file saved as ") + store.ReadLogFile(),
                              Prompt::Icon::Confirmation);
    store.WriteLogFile(*chosen);
    m_page->trvBackUpLog->clear();
    if (fileSize(*chosen) < LargeLogOnShow + 1 ||
        Services::prompt().ask(QStringLiteral("Load the log file tree?  If this file is large it "
                                              "may take several minutes to load.")) ==
            Prompt::Answer::Yes)
        LoadLogIntoTree(*chosen);
}

void BackUpLogView::showLogFileName()
{
    Services::prompt().notify(QStringLiteral("The log file currently being used is: ") +
                              TQuayRegistryObject().ReadLogFile());
}

void BackUpLogView::archiveLogFile()
{
    m_summary->clearStatus();
    m_summary->setStatusColour(false);
    const QString logPath = TQuayRegistryObject().ReadLogFile();
    const auto status = [this](const QString& line) {
        m_summary->addStatusLine(line);
    };
    BackUpLogMaintenance::archive(logPath, Services::clock().now(), status);
    status(QStringLiteral("Refreshing log file tree..."));
    if (QFileInfo::exists(logPath))
        LoadLogIntoTree(logPath);
    status(QStringLiteral("Archive complete."));
}

void BackUpLogView::rebuildLogFromMailbox()
{
    if (Services::prompt().ask(QStringLiteral(
            "Rebuild the log file from the save notes in the backup mailbox?  The current log "
            "file is archived first.")) != Prompt::Answer::Yes)
        return;
    m_summary->clearStatus();
    m_summary->setStatusColour(false);
    m_summary->addStatusLine(QStringLiteral("Reading the save notes from the mailbox..."));
    StatusMemoProgress progress(m_summary);
    MailboxLogRebuild::Result result;
    try {
        SequenceWorkerThread worker;
        MailboxSession session(m_mailboxSource,
                               [&worker](const std::function<void()>& step) { worker.run(step); });
        result = session.rebuildLog(progress);
    } catch (const KestrelError& error) {
        const QString line =
            QStringLiteral("The log file could not be rebuilt from the mailbox: ") +
            error.message();
        m_summary->setStatusColour(true);
        m_summary->addStatusLine(line);
        Services::prompt().notify(line, Prompt::Icon::Error);
        return;
    }
    m_summary->addStatusLine(QStringLiteral("Refreshing log file tree..."));
    const QString logPath = TQuayRegistryObject().ReadLogFile();
    if (QFileInfo::exists(logPath))
        LoadLogIntoTree(logPath);
    QString text =
        QStringLiteral("The log file was rebuilt from the mailbox with %1 %2.")
            .arg(result.records)
            .arg(result.records == 1 ? QStringLiteral("record") : QStringLiteral("records"));
    if (!result.archivedLog.isEmpty())
        text += QLatin1Char('\n') + QStringLiteral("The previous log file was archived as ") +
                result.archivedLog;
    m_summary->addStatusLine(QStringLiteral("Rebuild complete."));
    Services::prompt().notify(text, Prompt::Icon::Information);
}
