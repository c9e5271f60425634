#pragma once

#include <QList>
#include <QString>

class QComboBox;
class QLabel;
class QLineEdit;
class QWidget;

// How one mail server is signed in to, on the User Settings page: the method (the
// password, or an access token that the user's command prints) and that command.
// With the token method the password's row gives way to the command's.
struct SignInFields
{
    QComboBox* method = nullptr;
    QLabel* tokenLabel = nullptr;
    QLineEdit* tokenCommand = nullptr;

    // protocol is "SMTP" or "IMAP"; tokenCaption the command's label text.
    static SignInFields make(QWidget* parent, const QString& protocol, const QString& tokenCaption);
    // Shows either the password's widgets or the command's, as the method says.
    void follow(const QList<QWidget*>& passwordRow) const;
    // The method as the settings store it, and back.
    int storedMethod() const;
    void showStoredMethod(int stored) const;
};
