#include "transport/WrenSMPTObject.h"

#include "core/KestrelError.h"
#include "core/Prompt.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "transport/IdMessage.h"
#include "transport/IdMessageWriter.h"
#include "transport/MessageIdentity.h"
#include "transport/ServerCertificateTrust.h"
#include "transport/ZipMaster.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

TWrenSMPTObject::TWrenSMPTObject()
    : TWrenSMPTObject([](const QString& notice) {
          Services::prompt().notify(notice, Prompt::Icon::Information);
      })
{}

TWrenSMPTObject::TWrenSMPTObject(const NoticeSink& notices)
{
    const TQuayRegistryObject settings;
    const QString host = settings.ReadUserSMPTName();
    const QString userName = settings.ReadUserSMPTServerName();
    const QString password = settings.ReadUserSMPTServerPassword();
    // Without a server nothing can be sent. A user name or password may be missing:
    // a server that asks for no log-in needs neither, and one that does is told
    // which field is empty when it refuses the message.
    if (host.isEmpty()) {
        notices(QStringLiteral("Not all Internet fields are complete."));
        return;
    }
    m_smtp.Host = host;
    m_smtp.UserId = userName;
    m_smtp.Password = password;
    const int port = settings.ReadUserConnectionPort();
    m_smtp.Port = port > 0 && port <= 65535 ? port : DefaultPort;
    m_smtp.Encryption = mailEncryptionFromSetting(settings.ReadUserSMTPEncryption());
    m_smtp.accessToken = accessTokenSource(mailAuthMethodFromSetting(settings.ReadSMTPAuthMethod()),
                                           settings.ReadSMTPTokenCommand(), QStringLiteral("SMTP"));
}

bool TWrenSMPTObject::Connected()
{
    return m_smtp.Connected();
}

void TWrenSMPTObject::Connect()
{
    // Read at every connect: the user may have trusted the certificate since.
    m_smtp.setTrustedCertificate(ServerCertificateTrust::trustedFor(m_smtp.Host, m_smtp.Port));
    m_smtp.Connect();
}

void TWrenSMPTObject::Disconnect()
{
    m_smtp.Disconnect();
}

void TWrenSMPTObject::Send(TIdMessage& message)
{
    MessageIdentity::stampRequest(message);
    m_smtp.Send(message);
}

namespace {

// A save note's identity headers exist only while it is counted or sent, so a
// request sent later with the same message object carries none of them.
void forgetNoteIdentity(TIdMessage& message)
{
    message.ExtraHeaders.setValue(MessageIdentity::SetHeader, QString());
    message.ExtraHeaders.setValue(MessageIdentity::MessageIdHeader, QString());
}

// Any set identifier has the same width, so a message is counted with this one.
const QString countingSetId(32, QLatin1Char('0'));

} // namespace

void TWrenSMPTObject::SendZip(TIdMessage& message, const TZipMaster& zip)
{
    SendZip(message, zip.ZipFileName());
}

QString TWrenSMPTObject::archivePath(const QString& zipFileName)
{
    // The name is resolved against the zip folder instead of changing the process's
    // current folder, which would affect every other part of the program.
    const QString zipFolder = TQuayRegistryObject().ReadZipDirectory();
    if (QFileInfo(zipFileName).isRelative() && !QFileInfo(zipFolder).isDir()) {
        throw KestrelError(QStringLiteral("The zip folder \"%1\" does not exist.")
                               .arg(QDir::toNativeSeparators(zipFolder)));
    }
    return QDir(zipFolder).filePath(zipFileName);
}

qint64 TWrenSMPTObject::messageSize(TIdMessage& message) const
{
    // Send adds this header before it writes the message.
    message.ExtraHeaders.setValue(QStringLiteral("X-Mailer"), m_smtp.MailAgent);
    TIdMessageWriter writer(message);
    // The message goes out later than this is counted, perhaps on a day of the month
    // with one digit more: the only part of the header whose width changes.
    writer.setNow(QDateTime(QDate(2000, 1, 10), QTime(0, 0)));
    return writer.size();
}

qint64 TWrenSMPTObject::ZipMessageSize(TIdMessage& message, const QString& zipFileName)
{
    const auto removePart = qScopeGuard([&message] {
        message.clearParts();
        forgetNoteIdentity(message);
    });
    message.addAttachment(archivePath(zipFileName));
    MessageIdentity::stampNote(message, countingSetId, 1, 1);
    return messageSize(message);
}

std::optional<ArchivePartPlan>
TWrenSMPTObject::PlanZipParts(TIdMessage& message, const QString& zipFileName, qint64 limit)
{
    const QString archive = archivePath(zipFileName);
    const QString subject = message.Subject;
    const auto restore = qScopeGuard([&message, subject] {
        message.clearParts();
        message.Subject = subject;
        forgetNoteIdentity(message);
    });
    const qint64 archiveBytes = QFileInfo(archive).size();
    return ArchivePartPlan::make(archiveBytes, limit, [&](int part, int count) {
        message.clearParts();
        message.Subject = subject + ArchivePartPlan::subjectSuffix(part, count);
        TIdAttachment& attachment = message.addAttachment(archive);
        attachment.PartName = ArchivePartPlan::partName(QFileInfo(archive).fileName(), part, count);
        attachment.Length = 0;
        MessageIdentity::stampNote(message, countingSetId, part, count);
        return messageSize(message);
    });
}

void TWrenSMPTObject::SendZipPart(TIdMessage& message, const QString& zipFileName,
                                  const ArchivePartPlan& plan, int part, const QString& setId)
{
    const QString subject = message.Subject;
    const auto restore = qScopeGuard([&message, subject] {
        message.clearParts();
        message.Subject = subject;
        forgetNoteIdentity(message);
    });
    const QString archive = archivePath(zipFileName);
    message.Subject = subject + ArchivePartPlan::subjectSuffix(part, plan.count());
    TIdAttachment& attachment = message.addAttachment(archive);
    attachment.PartName =
        ArchivePartPlan::partName(QFileInfo(archive).fileName(), part, plan.count());
    attachment.Offset = plan.offset(part);
    attachment.Length = plan.length(part);
    MessageIdentity::stampNote(message, setId, part, plan.count());
    m_smtp.Send(message);
}

void TWrenSMPTObject::DeleteZip(const QString& zipFileName)
{
    const QString archive = archivePath(zipFileName);
    QFile file(archive);
    if (!file.remove()) {
        throw KestrelError(QStringLiteral("The back up archive \"%1\" was sent but could not be "
                                          "deleted: %2")
                               .arg(archive, file.errorString()));
    }
}

void TWrenSMPTObject::SendZip(TIdMessage& message, const QString& zipFileName)
{
    // The part exists only for this send, whatever happens in it.
    const auto removePart = qScopeGuard([&message] {
        message.clearParts();
        forgetNoteIdentity(message);
    });
    message.addAttachment(archivePath(zipFileName));
    MessageIdentity::stampNote(message, MessageIdentity::newSetId(), 1, 1);
    m_smtp.Send(message);
    DeleteZip(zipFileName);
}
