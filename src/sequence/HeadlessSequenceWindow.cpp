#include "sequence/HeadlessSequenceWindow.h"

#include "core/QuayRegistryObject.h"
#include "core/TerminalText.h"
#include "sequence/SequenceSummary.h"

#include <QTextStream>

HeadlessSequenceWindow::HeadlessSequenceWindow(QTextStream& out, BackUpType type)
    : m_out(out), m_type(type)
{}

void HeadlessSequenceWindow::addStatusLine(const QString& line)
{
    m_memo.append(line);
    // Flushed with every line, so a reader of the output follows the run as it goes.
    m_out << terminalText(line) << Qt::endl;
}

void HeadlessSequenceWindow::appendToLastStatusLine(const QString& text)
{
    if (m_memo.isEmpty())
        m_memo.append(text);
    else
        m_memo.last() += text;
}

void HeadlessSequenceWindow::setTransferText(const QString& text)
{
    if (!text.isEmpty())
        m_out << terminalText(text) << Qt::endl;
}

SequenceChoices HeadlessSequenceWindow::userChoices() const
{
    const TQuayRegistryObject store;
    SequenceChoices choices;
    choices.backUpType = m_type;
    choices.backUpSubFolders = store.ReadBackUpSubFolders();
    choices.disconnectAfterBackUp = store.ReadDialUpDisconnect();
    return choices;
}

void HeadlessSequenceWindow::refreshFromSettings()
{
    m_memo = sequenceSummaryMemo();
}
