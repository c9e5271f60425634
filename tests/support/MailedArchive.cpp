#include "support/MailedArchive.h"

#include "support/SmtpSink.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

MailedArchive MailedArchive::read(const QString& messagePath, const QString& workFolder,
                                  const QString& zipPassword)
{
    const QString parsedFolder = workFolder + QStringLiteral("/parsed/");
    QDir().mkpath(parsedFolder);
    const QJsonObject parsed =
        QJsonDocument::fromJson(
            SmtpSink::run(QStringLiteral("/usr/bin/python3"),
                          {QStringLiteral(KESTREL_TEST_SCRIPTS "/mail_attachments.py"), messagePath,
                           parsedFolder}))
            .object();
    MailedArchive mailed{parsed.value(QLatin1String("subject")).toString(), {}, parsed, {}, {}};
    const QJsonArray attachments = parsed.value(QLatin1String("attachments")).toArray();
    if (attachments.size() != 1)
        return mailed;
    const QString zipPath = workFolder + QStringLiteral("/archive.zip");
    QFile::rename(attachments[0].toObject().value(QLatin1String("path")).toString(), zipPath);
    mailed.attachmentName = attachments[0].toObject().value(QLatin1String("filename")).toString();
    QFile attachment(zipPath);
    if (attachment.open(QIODevice::ReadOnly))
        mailed.attachment = attachment.readAll();
    // A part of an archive mailed in parts opens only together with the others.
    if (!mailed.attachmentName.endsWith(QLatin1String(".zip")))
        return mailed;
    const QString unpacked = workFolder + QStringLiteral("/unpacked/");
    SmtpSink::run(QStringLiteral("7zz"),
                  {QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-p") + zipPassword,
                   QStringLiteral("-o") + unpacked, zipPath});
    const QStringList files = QDir(unpacked).entryList(QDir::Files | QDir::Hidden);
    QFile file(unpacked + files.value(0));
    if (files.size() == 1 && file.open(QIODevice::ReadOnly))
        mailed.content = file.readAll();
    return mailed;
}

MailedArchive MailedArchive::readText(const QByteArray& received, const QString& workFolder,
                                      const QString& zipPassword)
{
    // Undo the dot-stuffing of the transfer, then read it as a stored message.
    QByteArray text = received;
    if (text.startsWith(".."))
        text.remove(0, 1);
    text.replace("\r\n..", "\r\n.");
    QDir().mkpath(workFolder);
    const QString messagePath = workFolder + QStringLiteral("/message.eml");
    QFile message(messagePath);
    if (!message.open(QIODevice::WriteOnly) || message.write(text) != text.size())
        return {};
    message.close();
    return read(messagePath, workFolder, zipPassword);
}
