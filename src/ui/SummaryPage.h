#pragma once

#include <QStringList>

#include <optional>

#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QGroupBox;
class QRadioButton;

// The "Summary" page: last sequence, totals, the status memo with the progress
// controls, and the actions.
class SummaryPage : public QWidget
{
    Q_OBJECT

public:
    explicit SummaryPage(QWidget* parent = nullptr);

    enum BackUpType
    {
        IncrementalBackUp = 0,
        FullBackUp = 1
    };
    BackUpType backUpType() const;

    // The status memo: one line per event, blue while running or after success,
    // red after a failure.
    // A sequence reports every file it looks at, thousands a second. The memo, the
    // file number and the progress bar take these reports at once and show the latest
    // of them a moment later, when the window processes its events: laying out the
    // text of every report would cost far more than looking at the file. Whatever
    // reads the memo sees every report.
    void clearStatus();
    void addStatusLine(const QString& line);
    void setFileNumberText(const QString& text);
    // Moves the progress bar on by step; it stays full once it is.
    void stepProgress(int step);
    // Shows what is pending at once.
    void showPendingStatus();
    // Pending reports are shown this often: ten times a second reads as live.
    static constexpr int PendingStatusIntervalMs = 100;
    void appendToLastStatusLine(const QString& text);
    void setStatusColour(bool failed);
    QString statusText();

    QLineEdit* edbNumberOfFilesLastSequence;
    QLineEdit* edbLastBackUp;
    QLineEdit* edbTotalNumberOfBackUpSequences;
    QLineEdit* edbTotalNumberOfFilesBackedUp;
    QLineEdit* edbTotalNumberOfBytesBackedUp;
    QPushButton* btnNumberOfBytesReset;
    QPlainTextEdit* memStatus;
    QLabel* lblProcessingFile;
    QLineEdit* edbFileNumber;
    QLabel* lblOf;
    QLineEdit* edbNumberOfFiles;
    // Bytes of the due files sent and about how long the rest takes; empty when idle.
    QLabel* lblTransfer;
    QProgressBar* pbrSequence;
    QGroupBox* rdgBackUpType;
    QRadioButton* rdbIncrementalBackUp;
    QRadioButton* rdbFullBackUp;
    QPushButton* btnRunBackUp;
    QPushButton* btnBackUpSequenceCancel;
    QPushButton* btnExit;

private:
    void schedulePendingStatus();

    // Reports taken but not yet shown.
    struct PendingStatus
    {
        bool cleared = false;
        QStringList lines;
        std::optional<QString> fileNumber;
        int progressSteps = 0;
        bool scheduled = false;
    };
    PendingStatus m_pending;
};
