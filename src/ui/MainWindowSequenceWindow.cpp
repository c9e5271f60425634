#include "ui/MainWindowSequenceWindow.h"

#include "sequence/SequenceCompletion.h"
#include "ui/BackUpSettingsPage.h"
#include "ui/FolderSelectionPage.h"
#include "ui/SummaryPage.h"
#include "ui/frmKestrelClientMain.h"
#include "winintegration/SessionEndHandling.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

MainWindowSequenceWindow::MainWindowSequenceWindow(TfrmKestrelClientMain& window,
                                                   std::function<void()> loadLogIntoTree)
    : m_window(window), m_loadLogIntoTree(std::move(loadLogIntoTree))
{}

void MainWindowSequenceWindow::addStatusLine(const QString& line)
{
    m_window.summaryPage->addStatusLine(line);
}

void MainWindowSequenceWindow::clearStatus()
{
    m_window.summaryPage->clearStatus();
    for (const QString& line : std::as_const(m_lastingLines))
        m_window.summaryPage->addStatusLine(line);
}

void MainWindowSequenceWindow::addLastingStatusLine(const QString& line)
{
    m_lastingLines << line;
    m_window.summaryPage->addStatusLine(line);
}

void MainWindowSequenceWindow::appendToLastStatusLine(const QString& text)
{
    m_window.summaryPage->appendToLastStatusLine(text);
}

void MainWindowSequenceWindow::setStatusColour(StatusColour colour)
{
    m_window.summaryPage->setStatusColour(colour == StatusColour::Red);
}

QStringList MainWindowSequenceWindow::statusLines() const
{
    const QString text = m_window.summaryPage->statusText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

void MainWindowSequenceWindow::setProgressRange(int minimum, int maximum)
{
    m_window.summaryPage->showPendingStatus();
    m_window.summaryPage->pbrSequence->setRange(minimum, maximum);
}

void MainWindowSequenceWindow::stepProgress()
{
    m_window.summaryPage->stepProgress(m_progressStep);
}

void MainWindowSequenceWindow::setProgressPosition(int position)
{
    m_window.summaryPage->showPendingStatus();
    m_window.summaryPage->pbrSequence->setValue(position);
}

void MainWindowSequenceWindow::setFileNumberText(const QString& text)
{
    m_window.summaryPage->setFileNumberText(text);
}

void MainWindowSequenceWindow::setNumberOfFilesText(const QString& text)
{
    m_window.summaryPage->edbNumberOfFiles->setText(text);
}

void MainWindowSequenceWindow::setProcessingCaption(const QString& caption)
{
    m_window.summaryPage->lblProcessingFile->setText(caption);
}

void MainWindowSequenceWindow::setFileCountersVisible(bool visible)
{
    m_window.summaryPage->edbFileNumber->setVisible(visible);
    m_window.summaryPage->lblOf->setVisible(visible);
    m_window.summaryPage->edbNumberOfFiles->setVisible(visible);
}

void MainWindowSequenceWindow::setTransferText(const QString& text)
{
    m_window.summaryPage->lblTransfer->setText(text);
}

void MainWindowSequenceWindow::setRunButtonEnabled(bool enabled)
{
    m_window.summaryPage->btnRunBackUp->setEnabled(enabled);
}

void MainWindowSequenceWindow::setCancelButtonEnabled(bool enabled)
{
    m_window.summaryPage->btnBackUpSequenceCancel->setEnabled(enabled);
}

SequenceChoices MainWindowSequenceWindow::userChoices() const
{
    SequenceChoices choices;
    choices.backUpType = m_window.summaryPage->backUpType() == SummaryPage::FullBackUp
                             ? BackUpType::Full
                             : BackUpType::Incremental;
    choices.backUpSubFolders = m_window.folderSelectionPage->ckbBackUpSubFolders->isChecked();
    choices.disconnectAfterBackUp =
        m_window.backUpSettingsPage->ckbDisconnectConnection->isChecked();
    return choices;
}

void MainWindowSequenceWindow::saveUserChoices()
{
    m_window.SaveTreesAndSettings();
}

void MainWindowSequenceWindow::loadLogIntoTree()
{
    if (m_loadLogIntoTree)
        m_loadLogIntoTree();
}

void MainWindowSequenceWindow::startFolderDotsTimer()
{
    m_window.tmrFindSubFolders->start();
}

void MainWindowSequenceWindow::stopFolderDotsTimer()
{
    m_window.tmrFindSubFolders->stop();
}

void MainWindowSequenceWindow::refreshFromSettings()
{
    m_window.RefreshFromSettings();
}

void MainWindowSequenceWindow::openShutDownCountdown()
{
    Q_EMIT m_window.shutDownCountdownRequested();
}

void MainWindowSequenceWindow::startShutDownDelayTimer()
{
    m_window.sessionEnd().startShutDownDelayTimer();
}

void MainWindowSequenceWindow::terminateApplication()
{
    m_window.TerminateApplication();
}

bool MainWindowSequenceWindow::isInFront() const
{
    return m_window.isVisible() && !m_window.isMinimized() && m_window.isActiveWindow();
}

void MainWindowSequenceWindow::beep()
{
    QApplication::beep();
}
