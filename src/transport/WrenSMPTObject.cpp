#include "transport/WrenSMPTObject.h"

#include "core/KestrelError.h"
#include "core/Prompt.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "transport/IdMessage.h"
#include "transport/ServerCertificateTrust.h"
#include "transport/ZipMaster.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

TWrenSMPTObject::TWrenSMPTObject()
{
    const TQuayRegistryObject settings;
    const QString host = settings.ReadUserSMPTName();
    const QString userName = settings.ReadUserSMPTServerName();
    const QString password = settings.ReadUserSMPTServerPassword();
    // Without a server nothing can be sent. A user name or password may be missing:
    // a server that asks for no log-in needs neither, and one that does is told
    // which field is empty when it refuses the message.
    if (host.isEmpty()) {
        Services::prompt().notify(QStringLiteral("Not all Internet fields are complete."),
                                  Prompt::Icon::Information);
        return;
    }
    m_smtp.Host = host;
    m_smtp.UserId = userName;
    m_smtp.Password = password;
    const int port = settings.ReadUserConnectionPort();
    m_smtp.Port = port > 0 && port <= 65535 ? port : DefaultPort;
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
    m_smtp.Send(message);
}

void TWrenSMPTObject::SendZip(TIdMessage& message, const TZipMaster& zip)
{
    SendZip(message, zip.ZipFileName());
}

void TWrenSMPTObject::SendZip(TIdMessage& message, const QString& zipFileName)
{
    // The part exists only for this send, whatever happens in it.
    struct PartRemover
    {
        TIdMessage& message;
        ~PartRemover() { message.clearParts(); }
    } partRemover{message};

    // The name is resolved against the zip folder instead of changing the process's
    // current folder, which would affect every other part of the program.
    const QString zipFolder = TQuayRegistryObject().ReadZipDirectory();
    if (QFileInfo(zipFileName).isRelative() && !QFileInfo(zipFolder).isDir()) {
        throw KestrelError(QStringLiteral("The zip folder \"%1\" does not exist.")
                               .arg(QDir::toNativeSeparators(zipFolder)));
    }
    const QString archive = QDir(zipFolder).filePath(zipFileName);
    message.addAttachment(archive);
    m_smtp.Send(message);
    QFile file(archive);
    if (!file.remove()) {
        throw KestrelError(QStringLiteral("The back up archive \"%1\" was sent but could not be "
                                          "deleted: %2")
                               .arg(archive, file.errorString()));
    }
}
