#pragma once

#include "winintegration/AutoRunCountdown.h"

#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QPushButton;

// The small always-on-top window of the automatic start: it counts down the seconds
// before a backup sequence starts, and lets the user start it at once or cancel it.
// It has no owner window, so it stays on the desktop while the main window is
// minimised, and it releases itself when the countdown is over.
class TfrmAutoRun : public QWidget
{
    Q_OBJECT

public:
    // startSequence is the main window's "Run Back Up Now" routine.
    explicit TfrmAutoRun(std::function<void()> startSequence);
    ~TfrmAutoRun() override;

    QLabel* lblTime;
    QPushButton* btnOK;
    QPushButton* btnCancel;

    const AutoRunCountdown& countdown() const { return *m_countdown; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<AutoRunCountdown> m_countdown;
};
