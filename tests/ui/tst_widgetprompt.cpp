#include "ui/WidgetPrompt.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

// The program's message boxes: what pressing Enter answers, and texts shown as
// they are.
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

    // A certificate's name or a server's reply in a text is never read as markup.
    void textsAreShownAsPlainText()
    {
        WidgetPrompt prompt;
        const QString text = QStringLiteral("<b>The certificate is for <a href=\"x\">you</a></b>");
        QStringList shown;
        const auto look = [this, &shown] {
            QTimer::singleShot(0, this, [&shown] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!box)
                    return;
                if (box->textFormat() == Qt::PlainText)
                    shown << box->text();
                QTest::keyClick(box, Qt::Key_Escape);
            });
        };
        look();
        prompt.ask(text, Prompt::Buttons::YesNo, Prompt::Icon::Warning);
        look();
        prompt.notify(text, Prompt::Icon::Error);
        QCOMPARE(shown, (QStringList{text, text}));
    }

    // A box belongs to the window the user is in (it then stays above that window,
    // even one that stays on top), and that window may go while the box is open.
    void boxesBelongToTheActiveWindow()
    {
        WidgetPrompt prompt;
        QWidget mainWindow;
        prompt.setParentWindow(&mainWindow);
        auto* countdown = new QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint);
        countdown->show();
        QApplication::setActiveWindow(countdown);
        QTRY_VERIFY(countdown->isActiveWindow());
        QWidget* owner = nullptr;
        QTimer::singleShot(0, this, [&owner, countdown] {
            if (QWidget* box = QApplication::activeModalWidget())
                owner = box->parentWidget();
            delete countdown;
        });
        QCOMPARE(prompt.ask(QStringLiteral("Cancel back up sequence?"), Prompt::Buttons::YesNo,
                            Prompt::Icon::Confirmation),
                 Prompt::Answer::No);
        QCOMPARE(owner, countdown);
    }
};

QTEST_MAIN(TestWidgetPrompt)
#include "tst_widgetprompt.moc"
