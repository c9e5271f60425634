#include "ui/WidgetPrompt.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

// The program's message boxes: what pressing Enter answers.
class TestWidgetPrompt : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void enterTakesTheDefaultAnswer_data()
    {
        QTest::addColumn<Prompt::Buttons>("buttons");
        QTest::addColumn<Prompt::Answer>("answer");
        QTest::newRow("Yes and No") << Prompt::Buttons::YesNo << Prompt::Answer::Yes;
        // Trusting a certificate must never happen by pressing Enter.
        QTest::newRow("Yes and No, No the default")
            << Prompt::Buttons::YesNoDefaultNo << Prompt::Answer::No;
    }

    void enterTakesTheDefaultAnswer()
    {
        QFETCH(Prompt::Buttons, buttons);
        QFETCH(Prompt::Answer, answer);
        WidgetPrompt prompt;
        bool boxShown = false;
        QTimer::singleShot(0, this, [&boxShown] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            boxShown = box != nullptr;
            if (box)
                QTest::keyClick(box, Qt::Key_Return);
        });
        QCOMPARE(prompt.ask(QStringLiteral("Trust it?"), buttons, Prompt::Icon::Warning), answer);
        QVERIFY(boxShown);
    }
};

QTEST_MAIN(TestWidgetPrompt)
#include "tst_widgetprompt.moc"
