#pragma once

#include "winintegration/ShutDownCountdown.h"

#include <QDialog>

#include <memory>

class QLabel;
class QPushButton;

// The thirty-second countdown before the program shuts the computer down, with
// Cancel. Non-modal and without an owner, so it stays on the desktop while the main
// window is minimised; it releases itself when the countdown is over.
class TQuayShutDown : public QDialog
{
    Q_OBJECT

public:
    TQuayShutDown();
    ~TQuayShutDown() override;

    // "Kestrel Shut Down", or the edition's own caption.
    static QString captionFor(const QString& editionName);

    QLabel* lblTime;
    QPushButton* btnCancel;

    const ShutDownCountdown& countdown() const { return *m_countdown; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    std::unique_ptr<ShutDownCountdown> m_countdown;
};
