#pragma once

#include <QString>
#include <QStringList>

// How a sequence shows how it gets on: the status memo, the progress bar, the file
// counters and the Run and Cancel buttons of the Summary page (standard output in the
// run without a window).
class SequenceStatusView
{
public:
    enum class StatusColour
    {
        Blue, // running, or the last sequence succeeded
        Red   // the last sequence failed
    };

    virtual ~SequenceStatusView() = default;

    // The status memo of the Summary page, one line per event.
    virtual void addStatusLine(const QString& line) = 0;
    // Clears the memo but for its lasting lines.
    virtual void clearStatus() = 0;
    // Adds a line that clearing the memo keeps, so that what a sequence could not
    // back up stays in view while the memo is cleared before each file; the next
    // sequence forgets them when it starts.
    virtual void addLastingStatusLine(const QString& line) = 0;
    virtual void clearLastingStatusLines() = 0;
    virtual void appendToLastStatusLine(const QString& text) = 0;
    virtual void setStatusColour(StatusColour colour) = 0;
    // The memo's lines as shown, for the sequence data file.
    virtual QStringList statusLines() const = 0;

    // The progress bar.
    virtual void setProgressRange(int minimum, int maximum) = 0;
    virtual void setProgressStep(int step) = 0;
    virtual void stepProgress() = 0;
    virtual void setProgressPosition(int position) = 0;

    // The file counters: edbFileNumber, edbNumberOfFiles, the "of " label between
    // them and the caption before them.
    virtual void setFileNumberText(const QString& text) = 0;
    virtual void setNumberOfFilesText(const QString& text) = 0;
    virtual void setProcessingCaption(const QString& caption) = 0;
    virtual void setFileCountersVisible(bool visible) = 0;
    // The line below the counters: the bytes of the due files sent so far and about
    // how long the rest takes; an empty text clears it.
    virtual void setTransferText(const QString& text) = 0;

    // btnRunBackUp and btnBackUpSequenceCancel.
    virtual void setRunButtonEnabled(bool enabled) = 0;
    virtual void setCancelButtonEnabled(bool enabled) = 0;
};
