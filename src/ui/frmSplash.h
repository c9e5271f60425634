#pragma once

#include <QDialog>
#include <QPointer>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QVBoxLayout;

// The splash window shown while the program loads, and the About window it turns
// into. At start-up the main window owns one for the length of its creation; each
// About is a window of its own that frees itself when the user closes it.
class TfrmSplash : public QDialog
{
    Q_OBJECT

public:
    // Builds the window for the running edition; showSplash() puts it on screen.
    explicit TfrmSplash(QWidget* owner);

    // Shows the window centred on its owner, paints it at once (the start-up work
    // that follows keeps the event loop from painting) and starts tmrClose.
    void showSplash();
    // The About window: the product name alone, the version line, no loading text nor
    // live bar, a Close button and a system menu to close it by, and the taller client
    // area.
    void turnIntoAbout();
    // The end of start-up: pauses through the program's clock, 500 ms at a time for
    // as long as tmrClose runs (once when it is stopped), then hides and closes.
    void finishStartUp();

    // Timer1's tick: steps the live bar, starting again after the maximum.
    void stepLiveBar();
    // tmrClose's tick: it only stops itself.
    void closeTimerElapsed();

    QLabel* imgEditionPicture;
    QLabel* lblWelcome;
    QLabel* lblProductVersion;
    QLabel* lblStatus;
    QProgressBar* pgbLive;
    QPushButton* btnClose;
    QTimer* Timer1;
    QTimer* tmrClose;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMakerDetails(QVBoxLayout* layout);

    // The question or notice the window stepped aside for: a window kept on top
    // would otherwise hide a message box asked during start-up.
    QPointer<QWidget> m_gaveWayTo;
};
