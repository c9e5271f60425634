#pragma once

#include "ui/SignInFields.h"

#include <QDialog>

class QLineEdit;

// The OAuth2 client's values beyond the provider and the client ID: the client secret
// some providers hand out, and for a Custom provider its addresses and scopes. A
// preset's addresses and scopes are shown as the preset has them, not editable.
class OAuthDetailsDialog : public QDialog
{
    Q_OBJECT

public:
    OAuthDetailsDialog(QWidget* parent, MailServerSide side, OAuthProvider provider,
                       const SignInFields::OAuthDetails& details);

    SignInFields::OAuthDetails details() const;

private:
    QLineEdit* m_clientSecret;
    QLineEdit* m_authorizationEndpoint;
    QLineEdit* m_tokenEndpoint;
    QLineEdit* m_deviceEndpoint;
    QLineEdit* m_scopes;
    bool m_custom;
    SignInFields::OAuthDetails m_stored;
};
