#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "support/ScriptedOAuthServer.h"
#include "support/TestEnvironment.h"
#include "transport/AccessToken.h"
#include "transport/OAuthAccessToken.h"
#include "transport/OAuthSignIn.h"
#include "transport/SignInView.h"

#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTest>

#include <memory>

namespace {

// Plays the user: the browser follows the sign-in address to the scripted server,
// whose answer redirects it to the program's listener; the device code is noted.
class FakeSignInView : public SignInView
{
public:
    void openAddress(const QUrl& address) override
    {
        lines << address.toString();
        reply = network.get(QNetworkRequest(address));
    }
    void showDeviceCode(const QString& userCode, const QUrl& address,
                        const QUrl& completeAddress) override
    {
        lines << userCode + QLatin1Char(' ') + address.toString() + QLatin1Char(' ') +
                     completeAddress.toString();
        deviceCode = userCode;
    }
    void showStatus(const QString& line) override { lines << line; }

    // The page the browser was left with.
    QString page()
    {
        if (!reply)
            return {};
        if (!reply->isFinished() && !QTest::qWaitFor([this] { return reply->isFinished(); }))
            return QStringLiteral("(no page)");
        return QString::fromUtf8(reply->readAll());
    }

    QNetworkAccessManager network;
    QPointer<QNetworkReply> reply;
    QStringList lines;
    QString deviceCode;
};

QString failureOf(const std::function<void()>& step)
{
    try {
        step();
    } catch (const KestrelError& error) {
        return error.message();
    }
    return {};
}

} // namespace

// The program's own OAuth2 sign-in against a scripted authorization server on
// 127.0.0.1: in the browser and with a device code, then the access tokens the
// log-ins get, renewed with the stored refresh token.
class TestOAuthSignIn : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScriptedOAuthServer> m_server;

    // Signs the SMTP side in with a device code; the server's answers stay as set.
    void signIn(FakeSignInView& view)
    {
        OAuthSignIn(MailServerSide::Smtp, view).run(OAuthSignIn::Flow::DeviceCode);
    }

    // No status line, page or error ever holds a token the server issued.
    void verifyNoTokenIn(const QStringList& texts)
    {
        for (const QString& text : texts)
            QVERIFY2(!text.contains(QLatin1String("at-")) && !text.contains(QLatin1String("rt-")),
                     qPrintable(text));
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_server = std::make_unique<ScriptedOAuthServer>(QStringLiteral(KESTREL_TEST_SCRIPTS));
        QVERIFY2(m_server->port() != 0, qPrintable(m_server->errorText()));
    }

    void init()
    {
        OAuthAccessToken::forgetAll();
        m_server->control({{"device_answers", QJsonArray()},
                           {"wrong_state", false},
                           {"authorize_error", ""},
                           {"access_lifetime", 3600},
                           {"rotate", true}});
    }

    // A preset names its endpoints and scopes whatever is stored beside it; the IMAP
    // side without a client ID of its own takes the SMTP side's whole client.
    void clientOfEachSide_data()
    {
        QTest::addColumn<int>("smtpProvider");
        QTest::addColumn<QString>("imapClient");
        QTest::addColumn<int>("imapProvider");
        QTest::addColumn<QString>("expected"); // the IMAP side: client, token endpoint, scopes
        QTest::newRow("Google shared") << 3 << QString() << 0
                                       << "smtp-app|https://oauth2.googleapis.com/token|"
                                          "https://mail.google.com/";
        QTest::newRow("Microsoft work, own client")
            << 0 << "imap-app" << 2
            << "imap-app|https://login.microsoftonline.com/organizations/oauth2/v2.0/token|"
               "https://outlook.office.com/SMTP.Send "
               "https://outlook.office.com/IMAP.AccessAsUser.All offline_access";
        QTest::newRow("custom shared")
            << 0 << QString() << 1 << "smtp-app|https://stored.example/token|a b";
        QTest::newRow("unknown provider is custom")
            << 0 << "imap-app" << 9 << "imap-app|https://stored.example/imap-token|";
    }

    void clientOfEachSide()
    {
        QFETCH(int, smtpProvider);
        QFETCH(QString, imapClient);
        QFETCH(int, imapProvider);
        QFETCH(QString, expected);
        TestEnvironment env;
        const TQuayRegistryObject store;
        store.WriteSMTPOAuthProvider(smtpProvider);
        store.WriteSMTPOAuthClientId("smtp-app");
        store.WriteSMTPOAuthTokenEndpoint("https://stored.example/token");
        store.WriteSMTPOAuthScopes(" a  b ");
        store.WriteIMAPOAuthProvider(imapProvider);
        store.WriteIMAPOAuthClientId(imapClient);
        store.WriteIMAPOAuthTokenEndpoint("https://stored.example/imap-token");
        const OAuthClientSettings client = OAuthClientSettings::fromStore(MailServerSide::Imap);
        QCOMPARE(QStringList({client.clientId, client.tokenEndpoint.toString(), client.scopes})
                     .join('|'),
                 expected);
    }

    void signInInTheBrowser_data()
    {
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("page");
        QTest::newRow("signed in")
            << QJsonObject() << QString() << "Signed in: you can close this page.";
        QTest::newRow("answer of another sign-in")
            << QJsonObject{{"wrong_state", true}} << "does not belong to this sign-in"
            << "does not belong to the sign-in that was started";
        QTest::newRow("refused by the user") << QJsonObject{{"authorize_error", "access_denied"}}
                                             << "refused in the browser (access_denied)"
                                             << "did not succeed (access_denied)";
    }

    void signInInTheBrowser()
    {
        QFETCH(QJsonObject, fault);
        QFETCH(QString, error);
        QFETCH(QString, page);
        TestEnvironment env;
        m_server->storeAsClient();
        m_server->control(fault);
        const int codesBefore = m_server->counts().value("authorization_code").toInt();
        FakeSignInView view;
        OAuthSignIn signIn(MailServerSide::Smtp, view);
        const QString failure = failureOf([&] { signIn.run(OAuthSignIn::Flow::Browser); });
        QVERIFY2(error.isEmpty() ? failure.isEmpty() : failure.contains(error),
                 qPrintable(failure));
        const QString shown = view.page();
        QVERIFY2(shown.contains(page), qPrintable(shown));
        // The server checked the PKCE verifier against the challenge before it issued.
        QCOMPARE(m_server->counts().value("authorization_code").toInt(),
                 codesBefore + (error.isEmpty() ? 1 : 0));
        QCOMPARE(TQuayRegistryObject().ReadSMTPRefreshToken().isEmpty(), !error.isEmpty());
        QVERIFY(view.lines.first().contains(QLatin1String("code_challenge_method=S256")));
        // The first line is the address the browser opened.
        verifyNoTokenIn(view.lines.mid(1) << failure << shown);
    }

    // The device grant polls at the interval the server named, five seconds more
    // after each slow_down, until the user has entered the code.
    void signInWithACode_data()
    {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QList<int>>("waits");
        QTest::addColumn<QString>("error");
        QTest::newRow("pending, slowed down, signed in")
            << QStringList{"authorization_pending", "slow_down", "authorization_pending"}
            << QList<int>{5000, 5000, 10000, 10000} << QString();
        QTest::newRow("declined") << QStringList{"authorization_pending", "access_denied"}
                                  << QList<int>{5000, 5000} << "declined";
        QTest::newRow("code ran out") << QStringList{"expired_token"} << QList<int>{5000}
                                      << "ran out before the sign-in was finished";
    }

    void signInWithACode()
    {
        QFETCH(QStringList, answers);
        QFETCH(QList<int>, waits);
        QFETCH(QString, error);
        TestEnvironment env;
        m_server->storeAsClient();
        m_server->control({{"device_answers", QJsonArray::fromStringList(answers)}});
        FakeSignInView view;
        const QString failure = failureOf([&] { signIn(view); });
        QVERIFY2(error.isEmpty() ? failure.isEmpty() : failure.contains(error),
                 qPrintable(failure));
        QCOMPARE(view.deviceCode, QStringLiteral("WDJB-MJHT"));
        QCOMPARE(env.clock.waits(), waits);
        QCOMPARE(TQuayRegistryObject().ReadSMTPRefreshToken().isEmpty(), !error.isEmpty());
        verifyNoTokenIn(view.lines << failure);
    }

    // After a sign-in the log-ins take the kept access token until it has less than
    // five minutes left, then renew it; the rotated refresh token replaces the stored
    // one. An IMAP side without a client of its own shares the SMTP side's sign-in.
    void accessTokensAreRenewedBeforeTheyRunOut()
    {
        TestEnvironment env;
        m_server->storeAsClient();
        TQuayRegistryObject().WriteIMAPOAuthClientId(QString());
        FakeSignInView view;
        signIn(view);
        const QString firstRefresh = TQuayRegistryObject().ReadSMTPRefreshToken();
        const int refreshesBefore = m_server->counts().value("refresh_token").toInt();
        const AccessTokenSource smtp =
            accessTokenSource(MailAuthMethod::OAuth2, QString(), QStringLiteral("SMTP"));
        const AccessTokenSource imap =
            accessTokenSource(MailAuthMethod::OAuth2, QString(), QStringLiteral("IMAP"));
        const QString first = smtp();
        QVERIFY(first.startsWith(QLatin1String("at-")));
        QCOMPARE(imap(), first);
        env.clock.advance(3600 * 1000 - OAuthAccessToken::RefreshMarginSeconds * 1000 - 1000);
        QCOMPARE(smtp(), first);
        QCOMPARE(m_server->counts().value("refresh_token").toInt(), refreshesBefore);

        // A later log-in in the same run, the token nearly spent.
        env.clock.advance(2000);
        const QString second = imap();
        QVERIFY(second != first);
        QCOMPARE(smtp(), second);
        QCOMPARE(m_server->counts().value("refresh_token").toInt(), refreshesBefore + 1);
        const QString rotated = TQuayRegistryObject().ReadSMTPRefreshToken();
        QVERIFY(!rotated.isEmpty() && rotated != firstRefresh);
        QVERIFY(TQuayRegistryObject().ReadIMAPRefreshToken().isEmpty());

        // Without a rotation the stored token stays.
        m_server->control({{"rotate", false}});
        env.clock.advance(3600 * 1000);
        QVERIFY(smtp() != second);
        QCOMPARE(TQuayRegistryObject().ReadSMTPRefreshToken(), rotated);
    }

    // A log-in that cannot get a token says to sign in again and names the command.
    void logInWithoutAUsableSignIn_data()
    {
        QTest::addColumn<QString>("side");
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<QString>("error");
        QTest::newRow("never signed in")
            << "SMTP" << false << "not signed in to the SMTP server with OAuth2";
        QTest::newRow("refresh token withdrawn") << "SMTP" << true << "has lapsed or was withdrawn";
        QTest::newRow("IMAP, withdrawn") << "IMAP" << true << "has lapsed or was withdrawn";
    }

    void logInWithoutAUsableSignIn()
    {
        QFETCH(QString, side);
        QFETCH(bool, signedIn);
        QFETCH(QString, error);
        TestEnvironment env;
        m_server->storeAsClient();
        m_server->storeAsClient(true);
        if (signedIn) {
            FakeSignInView view;
            OAuthSignIn(side == QLatin1String("IMAP") ? MailServerSide::Imap : MailServerSide::Smtp,
                        view)
                .run(OAuthSignIn::Flow::DeviceCode);
            m_server->control({{"revoke_all", true}});
            OAuthAccessToken::forgetAll();
        }
        const QString failure =
            failureOf([&] { accessTokenSource(MailAuthMethod::OAuth2, QString(), side)(); });
        QVERIFY2(failure.contains(error), qPrintable(failure));
        QVERIFY2(
            failure.contains(QStringLiteral("\"kestrelsolo --sign-in %1\"").arg(side.toLower())),
            qPrintable(failure));
        verifyNoTokenIn({failure});
    }
};

QTEST_GUILESS_MAIN(TestOAuthSignIn)
#include "tst_oauthsignin.moc"
