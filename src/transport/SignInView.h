#pragma once

#include <QString>
#include <QUrl>

// What the user sees of an OAuth2 sign-in: the window shows it in a dialog (opening
// the browser with the desktop's services), the terminal prints it. The sign-in calls
// these on the thread it runs on, in its waits too.
class SignInView
{
public:
    virtual ~SignInView() = default;

    // The browser sign-in: the provider's page to open. The redirect comes back to a
    // listener on this computer; the address carries no secret.
    virtual void openAddress(const QUrl& address) = 0;
    // The device sign-in: the user enters userCode at address on any device;
    // completeAddress, when the provider gives one, has the code in it already.
    virtual void showDeviceCode(const QString& userCode, const QUrl& address,
                                const QUrl& completeAddress) = 0;
    // A line on how it goes ("Waiting for the sign-in in the browser..."). Never holds
    // a token.
    virtual void showStatus(const QString& line) = 0;
};
