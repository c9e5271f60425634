#pragma once

#include "transport/OAuthClientSettings.h"
#include "transport/SignInView.h"

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;

// The window's side of an OAuth2 sign-in: opens the provider's page in the desktop's
// browser, or shows the code to enter and where, with a line on how it goes. Cancel,
// and "Use a Code Instead" while the browser is awaited, end the running attempt.
class OAuthSignInDialog : public QDialog, public SignInView
{
    Q_OBJECT

public:
    OAuthSignInDialog(QWidget* parent, MailServerSide side);

    // Signs the side in with the client stored for it: the browser first, the code
    // when the user asks for it or no browser page is known. Tells the outcome through
    // the prompt; true once signed in.
    static bool signIn(QWidget* parent, MailServerSide side);

    void openAddress(const QUrl& address) override;
    void showDeviceCode(const QString& userCode, const QUrl& address,
                        const QUrl& completeAddress) override;
    void showStatus(const QString& line) override;

    // What ends the running attempt: cancel sets it, and so does the code button.
    void onStop(std::function<void()> stop) { m_stop = std::move(stop); }
    bool codeWanted() const { return m_codeWanted; }
    void offerCode(bool offered);

protected:
    void reject() override;

private:
    QLabel* m_status;
    QLabel* m_code;
    QLabel* m_address;
    QPushButton* m_useCode;
    std::function<void()> m_stop;
    bool m_codeWanted = false;
};
