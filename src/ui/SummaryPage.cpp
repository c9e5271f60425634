#include "ui/SummaryPage.h"

#include "ui/ControlHelpers.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

namespace {
QLineEdit* readOnlyField(QWidget* parent, const QString& name)
{
    QLineEdit* edit = makeEdit(parent, name);
    edit->setReadOnly(true);
    return edit;
}
} // namespace

SummaryPage::SummaryPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("tbsSummary"));
    setHelpContext(this, 150);
    auto* layout = new QVBoxLayout(this);

    QGroupBox* last = makeGroup(this, QStringLiteral("grbLastBackUpSequence"),
                                QStringLiteral("Last Back Up Sequence"));
    auto* lastForm = new QFormLayout(last);
    edbNumberOfFilesLastSequence =
        readOnlyField(last, QStringLiteral("edbNumberOfFilesLastSequence"));
    edbLastBackUp = readOnlyField(last, QStringLiteral("edbLastBackUp"));
    lastForm->addRow(QStringLiteral("Number of Files Backed Up In Last Sequence:"),
                     edbNumberOfFilesLastSequence);
    lastForm->addRow(QStringLiteral("Back  Up Sequence Last Run On:"), edbLastBackUp);
    layout->addWidget(last);

    QGroupBox* general = makeGroup(this, QStringLiteral("grbGeneral"), QStringLiteral("General"));
    auto* generalForm = new QFormLayout(general);
    edbTotalNumberOfBackUpSequences =
        readOnlyField(general, QStringLiteral("edbTotalNumberOfBackUpSequences"));
    edbTotalNumberOfFilesBackedUp =
        readOnlyField(general, QStringLiteral("edbTotalNumberOfFilesBackedUp"));
    edbTotalNumberOfBytesBackedUp =
        readOnlyField(general, QStringLiteral("edbTotalNumberOfBytesBackedUp"));
    btnNumberOfBytesReset =
        makeButton(general, QStringLiteral("btnNumberOfBytesReset"), QStringLiteral("Reset"),
                   QStringLiteral("Resets the number of bytes backed up to zero"));
    generalForm->addRow(QStringLiteral("Total Number Of Back Up Sequences Run:"),
                        edbTotalNumberOfBackUpSequences);
    generalForm->addRow(QStringLiteral("Total Number Of Files Processed:"),
                        edbTotalNumberOfFilesBackedUp);
    auto* bytesRow = new QHBoxLayout;
    bytesRow->addWidget(edbTotalNumberOfBytesBackedUp);
    bytesRow->addWidget(new QLabel(QStringLiteral("(an approximate number only)"), general));
    bytesRow->addWidget(btnNumberOfBytesReset);
    // A row holding more than the field names the field through its label's buddy.
    generalForm->addRow(makeLabel(general, QStringLiteral("lblTotalNumberOfBytesBackedUp"),
                                  QStringLiteral("Total Number Of Bytes Backed Up (MB): "),
                                  edbTotalNumberOfBytesBackedUp),
                        bytesRow);
    layout->addWidget(general);

    QGroupBox* status =
        makeGroup(this, QStringLiteral("grbProcessingStatus"), QStringLiteral("Processing Status"));
    auto* statusLayout = new QVBoxLayout(status);
    memStatus = new QPlainTextEdit(status);
    memStatus->setObjectName(QStringLiteral("memStatus"));
    memStatus->setReadOnly(true);
    memStatus->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    statusLayout->addWidget(memStatus, 1);
    auto* counterRow = new QHBoxLayout;
    // Counters the sequence fills in: read-only, so they are not announced as editable.
    edbFileNumber = readOnlyField(status, QStringLiteral("edbFileNumber"));
    edbFileNumber->setEnabled(false);
    lblProcessingFile = makeLabel(status, QStringLiteral("lblProcessingFile"),
                                  QStringLiteral("Processing File: "), edbFileNumber);
    edbNumberOfFiles = readOnlyField(status, QStringLiteral("edbNumberOfFiles"));
    edbNumberOfFiles->setEnabled(false);
    lblOf = makeLabel(status, QStringLiteral("lblOf"), QStringLiteral("of "), edbNumberOfFiles);
    counterRow->addWidget(lblProcessingFile);
    counterRow->addWidget(edbFileNumber);
    counterRow->addWidget(lblOf);
    counterRow->addWidget(edbNumberOfFiles);
    counterRow->addStretch();
    statusLayout->addLayout(counterRow);
    lblTransfer = makeLabel(status, QStringLiteral("lblTransfer"), QString());
    statusLayout->addWidget(lblTransfer);
    pbrSequence = new QProgressBar(status);
    pbrSequence->setObjectName(QStringLiteral("pbrSequence"));
    pbrSequence->setRange(0, 100);
    pbrSequence->setValue(0);
    statusLayout->addWidget(pbrSequence);
    layout->addWidget(status, 1);

    QGroupBox* actions = makeGroup(this, QStringLiteral("grbActions"), QStringLiteral("Actions"));
    auto* actionsLayout = new QVBoxLayout(actions);
    rdgBackUpType =
        makeGroup(actions, QStringLiteral("rdgBackUpType"), QStringLiteral("Back Up Type"));
    rdgBackUpType->setToolTip(QStringLiteral("Select type of back up to be performed."));
    auto* typeRow = new QHBoxLayout(rdgBackUpType);
    rdbIncrementalBackUp = new QRadioButton(QStringLiteral("Incremental Back Up"), rdgBackUpType);
    rdbIncrementalBackUp->setObjectName(QStringLiteral("rdbIncrementalBackUp"));
    rdbFullBackUp = new QRadioButton(QStringLiteral("Full Back Up"), rdgBackUpType);
    rdbFullBackUp->setObjectName(QStringLiteral("rdbFullBackUp"));
    rdbIncrementalBackUp->setChecked(true);
    typeRow->addWidget(rdbIncrementalBackUp);
    typeRow->addWidget(rdbFullBackUp);
    actionsLayout->addWidget(rdgBackUpType);
    auto* buttonRow = new QHBoxLayout;
    btnRunBackUp =
        makeButton(actions, QStringLiteral("btnRunBackUp"), QStringLiteral("Run Back Up Now"),
                   QStringLiteral("Run back up sequence now"));
    btnBackUpSequenceCancel =
        makeButton(actions, QStringLiteral("btnBackUpSequenceCancel"), QStringLiteral("Cancel"));
    btnBackUpSequenceCancel->setEnabled(false);
    btnExit = makeButton(actions, QStringLiteral("btnExit"), QStringLiteral("Exit"),
                         QStringLiteral("Exit the application"));
    buttonRow->addWidget(btnRunBackUp);
    buttonRow->addWidget(btnBackUpSequenceCancel);
    buttonRow->addWidget(btnExit);
    actionsLayout->addLayout(buttonRow);
    layout->addWidget(actions);
}

SummaryPage::BackUpType SummaryPage::backUpType() const
{
    return rdbFullBackUp->isChecked() ? FullBackUp : IncrementalBackUp;
}

void SummaryPage::clearStatus()
{
    m_pending.cleared = true;
    m_pending.lines.clear();
    schedulePendingStatus();
}

void SummaryPage::addStatusLine(const QString& line)
{
    m_pending.lines.append(line);
    schedulePendingStatus();
}

void SummaryPage::setFileNumberText(const QString& text)
{
    m_pending.fileNumber = text;
    schedulePendingStatus();
}

void SummaryPage::stepProgress(int step)
{
    m_pending.progressSteps += step;
    schedulePendingStatus();
}

void SummaryPage::schedulePendingStatus()
{
    if (m_pending.scheduled)
        return;
    m_pending.scheduled = true;
    QTimer::singleShot(PendingStatusIntervalMs, this, &SummaryPage::showPendingStatus);
}

void SummaryPage::showPendingStatus()
{
    PendingStatus pending = std::exchange(m_pending, PendingStatus{});
    if (pending.cleared)
        memStatus->clear();
    // One paragraph per line, as if they had been added one by one.
    if (!pending.lines.isEmpty()) {
        memStatus->appendPlainText(pending.lines.join(QLatin1Char('\n')));
        // The memo follows its newest line, also when the user had scrolled it.
        memStatus->verticalScrollBar()->setValue(memStatus->verticalScrollBar()->maximum());
    }
    if (pending.fileNumber)
        edbFileNumber->setText(*pending.fileNumber);
    if (pending.progressSteps != 0) {
        // A value past the maximum would be ignored; a folder that grew since it was
        // counted keeps the bar full instead.
        pbrSequence->setValue(
            qMin(pbrSequence->value() + pending.progressSteps, pbrSequence->maximum()));
    }
}

void SummaryPage::appendToLastStatusLine(const QString& text)
{
    showPendingStatus();
    QTextCursor cursor(memStatus->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
}

void SummaryPage::setStatusColour(bool failed)
{
    QPalette colours = memStatus->palette();
    colours.setColor(QPalette::Text, failed ? Qt::red : Qt::blue);
    memStatus->setPalette(colours);
}

QString SummaryPage::statusText()
{
    showPendingStatus();
    return memStatus->toPlainText();
}
