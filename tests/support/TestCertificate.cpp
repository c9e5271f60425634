#include "support/TestCertificate.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

bool openssl(const QString& folder, const QStringList& arguments)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("openssl"), arguments);
    const bool ok = process.waitForFinished(60000) &&
                    process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!ok)
        qWarning("openssl %s: %s", qPrintable(arguments.join(QLatin1Char(' '))),
                 process.readAll().constData());
    return ok;
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// "openssl req -x509" cannot date a certificate in the past; "openssl ca" can, with a
// throw-away database of its own.
bool makeExpired(const QString& folder, const QString& name, const QString& subject,
                 const QString& altNames, const QString& certificateFile, const QString& keyFile)
{
    const QDir dir(folder);
    const QString base = dir.filePath(name);
    const QString config = base + QStringLiteral("-ca.cnf");
    const QByteArray configText = "[ ca ]\ndefault_ca = test_ca\n[ test_ca ]\n"
                                  "database = " +
                                  base.toUtf8() + "-index.txt\nnew_certs_dir = " + folder.toUtf8() +
                                  "\nserial = " + base.toUtf8() +
                                  "-serial\ndefault_md = sha256\npolicy = any\n"
                                  "copy_extensions = copy\nunique_subject = no\n"
                                  "[ any ]\ncommonName = supplied\n";
    const QString request = base + QStringLiteral("-request.csr");
    return writeFile(config, configText) && writeFile(base + QStringLiteral("-index.txt"), {}) &&
           writeFile(base + QStringLiteral("-serial"), "01\n") &&
           openssl(folder,
                   {QStringLiteral("req"), QStringLiteral("-new"), QStringLiteral("-newkey"),
                    QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-subj"),
                    subject, QStringLiteral("-addext"), altNames, QStringLiteral("-keyout"),
                    keyFile, QStringLiteral("-out"), request}) &&
           openssl(folder, {QStringLiteral("ca"), QStringLiteral("-batch"),
                            QStringLiteral("-config"), config, QStringLiteral("-selfsign"),
                            QStringLiteral("-keyfile"), keyFile, QStringLiteral("-in"), request,
                            QStringLiteral("-out"), certificateFile, QStringLiteral("-notext"),
                            QStringLiteral("-startdate"), QStringLiteral("20200101000000Z"),
                            QStringLiteral("-enddate"), QStringLiteral("20200102000000Z")});
}

} // namespace

bool TestCertificate::make(const QString& folder, const QString& name, Kind kind,
                           QString* certificateFile, QString* keyFile)
{
    *certificateFile = QDir(folder).filePath(name + QStringLiteral("-cert.pem"));
    *keyFile = QDir(folder).filePath(name + QStringLiteral("-key.pem"));
    const bool loopback = kind != Kind::ForOtherHost;
    const QString subject = loopback ? QStringLiteral("/CN=127.0.0.1/O=Kestrel tests")
                                     : QStringLiteral("/CN=other.example");
    const QString altNames = loopback ? QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost")
                                      : QStringLiteral("subjectAltName=DNS:other.example");
    if (kind == Kind::Expired)
        return makeExpired(folder, name, subject, altNames, *certificateFile, *keyFile);
    return openssl(folder,
                   {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                    QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                    QStringLiteral("2"), QStringLiteral("-subj"), subject,
                    QStringLiteral("-addext"), altNames, QStringLiteral("-keyout"), *keyFile,
                    QStringLiteral("-out"), *certificateFile});
}
