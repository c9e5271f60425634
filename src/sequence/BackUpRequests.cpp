#include "sequence/BackUpRequests.h"

#include "backupdata/MachineNumber.h"
#include "backupdata/TernFileObject.h"
#include "core/Clock.h"
#include "core/EditionProfile.h"
#include "core/KestrelError.h"
#include "core/PlatformServices.h"
#include "core/Prompt.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "sequence/CertificateTrustQuestion.h"
#include "transport/IdMessage.h"
#include "transport/WrenSMPTObject.h"

#include <memory>

namespace {

const QString RequestPrefix = QStringLiteral("Kestrel Request#");
const QString ConnectionFailed = QStringLiteral("Could not establish connection with SMTP server.");

// Runs one guarded step of a request: any failure becomes the one designed notice.
template <typename Steps> void guarded(Steps steps)
{
    try {
        steps();
    } catch (const std::exception&) {
        Services::prompt().notify(ConnectionFailed, Prompt::Icon::Information);
    }
}

} // namespace

QString BackUpRequests::lastLogSubject()
{
    return RequestPrefix + TQuayRegistryObject().ReadLastBackUpLogFileName() +
           QStringLiteral(".zip");
}

QString BackUpRequests::fileSubject(const QString& recordNodeText, const QString& fileNodeText)
{
    // Record nodes begin "ID: "; the id runs from the fifth character to the first ",".
    const qsizetype comma = recordNodeText.indexOf(QLatin1Char(','));
    const QString idText = recordNodeText.mid(4, comma < 0 ? -1 : comma - 4);
    const TQuayRegistryObject store;
    const QChar hash = QLatin1Char('#');
    return RequestPrefix + store.ReadUserID() + hash + machineNumberText() + hash +
           store.ReadUserQuayName() + hash + idText + hash + fileNodeText;
}

void BackUpRequests::address(TIdMessage& message, const QString& subject)
{
    const TQuayRegistryObject store;
    message.clearParts();
    // The sender the backups carry: servers take mail only from the account's address,
    // and the answer goes back to it. The user's own address, when set, is where the
    // answer is wanted.
    const QString own = store.ReadUserEmailAddress().trimmed();
    const QString sender = TTernFileObject::SaveNoteSender();
    message.From = TIdEmailAddressItem(QString(), sender);
    message.ReplyTo.setText(own.isEmpty() || own == sender ? QString() : own);
    message.Recipients.setText(store.ReadUserBackUpEmailAddress());
    message.Subject = subject;
    // A plain text part tells a person who opens the request what it asks for.
    message.ContentType = QStringLiteral("text/plain");
    message.CharSet = QStringLiteral("utf-8");
    message.Body = {QStringLiteral("%1 asks for the saved copy named in the subject of this "
                                   "message to be sent back to its sender.")
                        .arg(currentProfile().name),
                    QString(), QStringLiteral("Subject: ") + subject};
}

void BackUpRequests::requestLastLog(TIdMessage& message,
                                    const std::function<void()>& hangUpAndShutDownIfSet)
{
    auto smtp = std::make_unique<TWrenSMPTObject>();
    if (Services::prompt().ask(QStringLiteral("Send back up request for last back up log file?")) !=
        Prompt::Answer::Yes)
        return;
    address(message, lastLogSubject());
    guarded([&] {
        if (smtp->Connected())
            smtp->Disconnect();
        CertificateTrustQuestion::connect([&smtp] { smtp->Connect(); });
        smtp->Send(message);
        if (Services::prompt().ask(QStringLiteral("Disconnect?")) == Prompt::Answer::Yes) {
            smtp->Disconnect();
            hangUpAndShutDownIfSet();
        }
    });
}

void BackUpRequests::requestFile(TIdMessage& message, const QString& recordNodeText,
                                 const QString& fileNodeText, bool nodeHasChildren)
{
    if (Services::prompt().ask(QStringLiteral("Send back up request for file.")) !=
        Prompt::Answer::Yes)
        return;
    if (nodeHasChildren) {
        Services::prompt().notify(QStringLiteral("Please select Kestrel save note from tree."),
                                  Prompt::Icon::Information);
        return;
    }
    address(message, fileSubject(recordNodeText, fileNodeText));
    Services::dialUp().dial();
    auto smtp = std::make_unique<TWrenSMPTObject>();
    guarded([&] {
        CertificateTrustQuestion::connect([&smtp] { smtp->Connect(); });
        smtp->Send(message);
        Services::prompt().notify(QStringLiteral("Request for file has been sent."),
                                  Prompt::Icon::Information);
        Services::clock().waitPumping(5000);
        if (Services::prompt().ask(QStringLiteral("Hang up now?")) == Prompt::Answer::Yes)
            Services::dialUp().hangUp();
    });
}
