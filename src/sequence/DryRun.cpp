#include "sequence/DryRun.h"

#include "backupdata/BackUpLogReader.h"
#include "backupdata/SelectionList.h"
#include "backupdata/TernBackUpFileObjectList.h"
#include "core/KestrelError.h"
#include "core/Prompt.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "core/TerminalText.h"
#include "sequence/FolderWalk.h"

#include <QFileInfo>
#include <QTextStream>

int DryRun::exec()
{
    try {
        const TQuayRegistryObject store;
        FolderWalk walk;
        walk.setFilter(WalkFilter::fromSettings());
        TTernBackUpFileObjectList log;
        if (const QString logFile = store.ReadLogFile(); QFileInfo::exists(logFile))
            BackUpLogReader::readAll(logFile, log);
        qsizetype due = 0;
        const auto consider = [&](const QString& path, const LocalFileStatus& status) {
            if (status.isFile && (m_fullBackUp || log.IsDueAt(path, status.fileDateSeconds))) {
                m_out << QStringLiteral("Would back up: ") << terminalLine(path) << Qt::endl;
                ++due;
            }
        };
        for (const QString& path : readSelectionList(store.ReadFileOfFiles())) {
            const LocalFileStatus status = LocalFileStatus::of(path);
            if (const QString reason = walk.pickedFileLeftOut(path, status); !reason.isEmpty())
                walk.leaveOut(path, reason, false);
            else
                consider(path, status);
        }
        walk.read(readSelectionList(store.ReadFileOfDirectories()), store.ReadBackUpSubFolders());
        // What the sequence would report and skip: names no list can hold, folders it
        // cannot read.
        for (const QString& problem : walk.problems())
            m_out << QStringLiteral("Cannot back up: ") << terminalLine(problem) << Qt::endl;
        for (qsizetype index = 0; index < walk.folders().size(); ++index) {
            std::optional<FolderWalk::Visit> visit = walk.visit(index, 0, true);
            if (!visit)
                continue;
            for (const QString& problem : visit->listing().fileProblems)
                m_out << QStringLiteral("Cannot back up: ") << terminalLine(problem) << Qt::endl;
            for (qsizetype i = 0; i < visit->fileCount(); ++i) {
                const QString path = visit->pathOf(i);
                const LocalFileStatus status = visit->currentStatusOf(i);
                if (!walk.leavesOutBySize(path, status))
                    consider(path, status);
            }
        }
        for (const LeftOutEntry& entry : walk.leftOut()) {
            m_out << QStringLiteral("Left out: ") << terminalLine(entry.path)
                  << (entry.isFolder ? QStringLiteral("/") : QString()) << QStringLiteral(" (")
                  << terminalLine(entry.reason) << QStringLiteral(")") << Qt::endl;
        }
        m_out << (due == 1 ? QStringLiteral("1 file would be backed up.")
                           : QStringLiteral("%1 files would be backed up.").arg(due))
              << Qt::endl;
        if (const QString leftOut =
                FolderWalk::leftOutSummary(walk.leftOutFiles(), walk.leftOutFolders());
            !leftOut.isEmpty())
            m_out << leftOut << Qt::endl;
    } catch (const KestrelError& error) {
        Services::prompt().notify(error.message(), Prompt::Icon::Error);
        return 1;
    }
    return 0;
}
