#include "core/Services.h"

#include <QProcess>
#include <QtTest>

// A service nobody installed ends the process with its name: no stand-in lets a
// program that forgot one run on, say, never powering off.
class tst_Services : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void missingServiceEndsTheProcess_data()
    {
        QTest::addColumn<QString>("service");
        QTest::newRow("prompt") << "prompt";
        QTest::newRow("clock") << "clock";
        QTest::newRow("power-off") << "power-off";
        QTest::newRow("secret store") << "secret store";
    }

    void missingServiceEndsTheProcess()
    {
        QFETCH(QString, service);
        if (qEnvironmentVariableIsSet("KESTREL_USE_MISSING_SERVICE")) {
            useMissingService(qEnvironmentVariable("KESTREL_USE_MISSING_SERVICE"));
            return;
        }
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("KESTREL_USE_MISSING_SERVICE", service);
        child.setProcessEnvironment(environment);
        // The test log of the child says it on standard output, a plain run on standard error.
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {"missingServiceEndsTheProcess:" + QString(QTest::currentDataTag())});
        QVERIFY(child.waitForFinished(60000));
        QVERIFY(child.exitStatus() == QProcess::CrashExit || child.exitCode() != 0);
        QVERIFY2(
            child.readAll().contains(QString("No %1 service is installed").arg(service).toUtf8()),
            qPrintable(service));
    }

private:
    static void useMissingService(const QString& service)
    {
        if (service == "prompt")
            Services::prompt();
        else if (service == "clock")
            Services::clock();
        else if (service == "power-off")
            Services::powerOff();
        else if (service == "secret store")
            Services::secretStore();
    }
};

QTEST_GUILESS_MAIN(tst_Services)
#include "tst_services.moc"
