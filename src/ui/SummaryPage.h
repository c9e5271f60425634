#pragma once

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
    void clearStatus();
    void addStatusLine(const QString& line);
    void appendToLastStatusLine(const QString& text);
    void setStatusColour(bool failed);
    QString statusText() const;

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
    QProgressBar* pbrSequence;
    QGroupBox* rdgBackUpType;
    QRadioButton* rdbIncrementalBackUp;
    QRadioButton* rdbFullBackUp;
    QPushButton* btnRunBackUp;
    QPushButton* btnBackUpSequenceCancel;
    QPushButton* btnExit;
};
