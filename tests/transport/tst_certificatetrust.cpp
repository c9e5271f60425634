#include "core/CertificateFingerprint.h"
#include "core/DateTimeText.h"
#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "support/ScriptedSmtpServer.h"
#include "support/TestCertificate.h"
#include "support/TestEnvironment.h"
#include "transport/CertificateDescription.h"
#include "transport/IdSMTP.h"
#include "transport/ServerCertificateTrust.h"
#include "transport/UntrustedCertificateError.h"

#include <QFile>
#include <QSslKey>
#include <QTest>

#include <optional>

using Kind = TestCertificate::Kind;

// Certificates the system does not trust: the session's typed failure, the one
// certificate the user trusts for a server, how that trust is stored, and the words
// that describe a certificate.
class TestCertificateTrust : public QObject
{
    Q_OBJECT

private:
    struct Made
    {
        QSslCertificate certificate;
        QSslKey key;
        QByteArray digest() const { return certificate.digest(QCryptographicHash::Sha256); }
    };

    QTemporaryDir m_dir;
    Made m_loopback;
    Made m_expired;
    Made m_otherHost;

    Made make(const QString& name, Kind kind)
    {
        QString certificateFile;
        QString keyFile;
        if (!TestCertificate::make(m_dir.path(), name, kind, &certificateFile, &keyFile))
            return Made{QSslCertificate(), QSslKey()};
        QFile key(keyFile);
        if (!key.open(QIODevice::ReadOnly))
            return Made{QSslCertificate(), QSslKey()};
        return {QSslCertificate::fromPath(certificateFile).value(0),
                QSslKey(key.readAll(), QSsl::Rsa)};
    }

    // Connects a session to a server showing the certificate; the failure, if any.
    static std::optional<UntrustedCertificateError>
    connectTo(const Made& shown, bool implicit, const QByteArray& trusted, bool* connected)
    {
        ScriptedSmtpServer server;
        server.enableTls(shown.certificate, shown.key, implicit);
        TIdSMTP session;
        session.Host = QStringLiteral("127.0.0.1");
        session.Port = server.port();
        session.setConnectTimeoutMs(5000);
        session.setReplyTimeoutMs(5000);
        if (implicit)
            session.setImplicitTlsPort(server.port());
        session.setTrustedCertificate(trusted);
        *connected = false;
        try {
            session.Connect();
            *connected = session.Connected() && session.isEncrypted();
            session.Disconnect();
        } catch (const UntrustedCertificateError& error) {
            return error;
        }
        return std::nullopt;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_loopback = make(QStringLiteral("loopback"), Kind::ForLoopback);
        m_expired = make(QStringLiteral("expired"), Kind::Expired);
        m_otherHost = make(QStringLiteral("other"), Kind::ForOtherHost);
        for (const Made* certificate : {&m_loopback, &m_expired, &m_otherHost})
            QVERIFY(!certificate->certificate.isNull() && !certificate->key.isNull());
    }

    void fingerprintTexts()
    {
        const QByteArray digest = m_loopback.digest();
        const QString paired = CertificateFingerprint::text(digest);
        QCOMPARE(paired.size(), 95);
        QCOMPARE(paired, paired.toUpper());
        QCOMPARE(CertificateFingerprint::parse(paired), digest);
        QCOMPARE(CertificateFingerprint::parse(paired.toLower()), digest);
        QCOMPARE(
            CertificateFingerprint::parse(QLatin1Char(' ') + CertificateFingerprint::hex(digest)),
            digest);
        const QString hex = CertificateFingerprint::hex(digest);
        for (const QString& wrong :
             {hex.left(63), hex + QLatin1Char('0'), QString(hex).replace(0, 1, QLatin1Char('g')),
              paired.mid(1), QString(paired).remove(2, 1), QString()})
            QVERIFY2(CertificateFingerprint::parse(wrong).isEmpty(), qPrintable(wrong));
    }

    // The stored trust holds for its host (whatever the case of its letters) on its
    // port, for no other server; a new trust replaces the old one.
    void trustIsBoundToOneServer()
    {
        TestEnvironment env;
        const QByteArray digest = m_loopback.digest();
        QVERIFY(
            ServerCertificateTrust::trustedFor(QStringLiteral("mail.example.org"), 587).isEmpty());
        ServerCertificateTrust::trust(QStringLiteral("Mail.Example.org"), 587, digest);
        QCOMPARE(TQuayRegistryObject().ReadTrustedServerCertificate(),
                 QStringLiteral("Mail.Example.org:587 ") + CertificateFingerprint::hex(digest));
        QCOMPARE(ServerCertificateTrust::trustedFor(QStringLiteral("mail.example.org"), 587),
                 digest);
        QVERIFY(
            ServerCertificateTrust::trustedFor(QStringLiteral("mail.example.org"), 465).isEmpty());
        QVERIFY(ServerCertificateTrust::trustedFor(QStringLiteral("example.org"), 587).isEmpty());
        QVERIFY(ServerCertificateTrust::trustedFor(QStringLiteral("mail.example.org.evil"), 587)
                    .isEmpty());

        ServerCertificateTrust::trust(QStringLiteral("::1"), 2525, m_expired.digest());
        QCOMPARE(ServerCertificateTrust::trustedFor(QStringLiteral("::1"), 2525),
                 m_expired.digest());
        QVERIFY(
            ServerCertificateTrust::trustedFor(QStringLiteral("mail.example.org"), 587).isEmpty());

        for (const char* damaged : {"", "mail.example.org:587", "mail.example.org 00ff",
                                    "mail.example.org:x 00", ":587 00"}) {
            TQuayRegistryObject().WriteTrustedServerCertificate(QLatin1String(damaged));
            QVERIFY(ServerCertificateTrust::trustedFor(QStringLiteral("mail.example.org"), 587)
                        .isEmpty());
        }
    }

    // The trusted certificate is taken whatever its faults; another one, even for a
    // server whose certificate is trusted, fails and names the one trusted before.
    void onlyTheTrustedCertificateIsTaken_data()
    {
        QTest::addColumn<bool>("implicit");
        QTest::newRow("STARTTLS") << false;
        QTest::newRow("implicit TLS") << true;
    }

    void onlyTheTrustedCertificateIsTaken()
    {
        QFETCH(bool, implicit);
        bool connected = false;
        for (const Made* shown : {&m_loopback, &m_expired, &m_otherHost}) {
            QVERIFY(!connectTo(*shown, implicit, shown->digest(), &connected).has_value());
            QVERIFY(connected);
        }
        const auto changed = connectTo(m_expired, implicit, m_loopback.digest(), &connected);
        QVERIFY(changed.has_value());
        QVERIFY(!connected);
        QCOMPARE(changed->trustedBefore(), m_loopback.digest());
        QCOMPARE(changed->digest(), m_expired.digest());
    }

    // Letting the trusted certificate through once must not let another through on
    // the session's next connection.
    void trustEndsWithItsConnection()
    {
        ScriptedSmtpServer trustedServer;
        trustedServer.enableTls(m_loopback.certificate, m_loopback.key);
        ScriptedSmtpServer otherServer;
        otherServer.enableTls(m_expired.certificate, m_expired.key);
        TIdSMTP session;
        session.Host = QStringLiteral("127.0.0.1");
        session.setConnectTimeoutMs(5000);
        session.setReplyTimeoutMs(5000);
        session.setTrustedCertificate(m_loopback.digest());
        session.Port = trustedServer.port();
        session.Connect();
        QVERIFY(session.isEncrypted());
        session.Disconnect();
        session.Port = otherServer.port();
        QVERIFY_THROWS_EXCEPTION(UntrustedCertificateError, session.Connect());
        QVERIFY(!session.Connected());
    }

    void certificateInWords()
    {
        const QString details = CertificateDescription::details(m_expired.certificate);
        QVERIFY2(details.contains(QStringLiteral("Subject: CN=127.0.0.1\n")), qPrintable(details));
        QVERIFY(details.contains(QStringLiteral("Issuer: CN=127.0.0.1\n")));
        const QDateTime from(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC);
        QVERIFY2(details.contains(QStringLiteral("Valid from %1 to %2\n")
                                      .arg(dateTimeText(from.toLocalTime()),
                                           dateTimeText(from.addDays(1).toLocalTime()))),
                 qPrintable(details));
        QVERIFY(details.endsWith(QStringLiteral("SHA-256 fingerprint: ") +
                                 CertificateFingerprint::text(m_expired.digest())));
        QCOMPARE(CertificateDescription::subject(m_loopback.certificate),
                 QStringLiteral("CN=127.0.0.1, O=Kestrel tests"));
        QCOMPARE(CertificateDescription::names(m_loopback.certificate),
                 (QStringList{"localhost", "127.0.0.1"}));
    }
};

QTEST_GUILESS_MAIN(TestCertificateTrust)
#include "tst_certificatetrust.moc"
