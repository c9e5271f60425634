#pragma once

#include "transport/OAuthClientSettings.h"

#include <QList>
#include <QString>

#include <memory>

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// How one mail server is signed in to, on the User Settings page: the method (the
// password, OAuth2, or an access token that the user's command prints) and what the
// method needs. The password's row gives way to the command's or the provider's; with
// OAuth2 a row for the client ID and the Sign In button appear.
struct SignInFields
{
    // The OAuth2 client's values that only the details dialog shows.
    struct OAuthDetails
    {
        QString clientSecret;
        QString authorizationEndpoint;
        QString tokenEndpoint;
        QString deviceEndpoint;
        QString scopes;
    };

    MailServerSide side = MailServerSide::Smtp;
    QComboBox* method = nullptr;
    QLabel* tokenLabel = nullptr;
    QLineEdit* tokenCommand = nullptr;
    QLabel* providerLabel = nullptr;
    QComboBox* provider = nullptr;
    QLabel* clientIdLabel = nullptr;
    QLineEdit* clientId = nullptr;
    QPushButton* detailsButton = nullptr;
    QPushButton* signInButton = nullptr;
    std::shared_ptr<OAuthDetails> details;

    // tokenCaption is the command's label text.
    static SignInFields make(QWidget* parent, MailServerSide side, const QString& tokenCaption);
    // Puts the method beside its label in methodRow, the command and the provider in the
    // password's row and the client ID in the row below it.
    void place(QGridLayout* grid, int methodRow, int passwordRow) const;
    // Shows the password's widgets, the command's or OAuth2's, as the method says.
    void follow(const QList<QWidget*>& passwordRow) const;
    // The method as the settings store it, and back.
    int storedMethod() const;
    void showStoredMethod(int stored) const;
    // Every value of the side, from the store and into it.
    void showStored() const;
    void store() const;
    // Opens the details of the OAuth2 client; OK keeps what was typed.
    void editDetails(QWidget* parent) const;
    // The provider as the settings store it.
    OAuthProvider chosenProvider() const;
};
