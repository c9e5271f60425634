#include "transport/SecretMask.h"

#include "transport/ImapCommandText.h"

#include <QStringList>

#include <algorithm>

QString maskedSecret(QString text, const QString& userName, const QString& password)
{
    if (password.isEmpty())
        return text;
    const QByteArray bytes = password.toUtf8();
    QStringList forms{
        password, QString::fromLatin1(bytes.toBase64()),
        QString::fromLatin1((QByteArray(1, '\0') + userName.toUtf8() + '\0' + bytes).toBase64())};
    if (ImapCommandText::fitsQuoted(bytes)) {
        const QByteArray quoted = ImapCommandText::quoted(bytes);
        forms.append(QString::fromLatin1(quoted.mid(1, quoted.size() - 2)));
    }
    // The longest first, so that no form is left half masked by a shorter one inside it.
    std::sort(forms.begin(), forms.end(),
              [](const QString& a, const QString& b) { return a.size() > b.size(); });
    for (const QString& form : std::as_const(forms))
        text.replace(form, QStringLiteral("***"));
    return text;
}
