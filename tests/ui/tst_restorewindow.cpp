#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "restore/MailboxSession.h"
#include "support/FakeMailboxReader.h"
#include "support/TestEnvironment.h"
#include "ui/BackUpLogPage.h"
#include "ui/BackUpLogView.h"
#include "ui/HelpWindow.h"
#include "ui/MainMenus.h"
#include "ui/RestoreWindow.h"
#include "ui/UserSettingsPage.h"
#include "ui/frmKestrelClientMain.h"

#include <QAccessible>
#include <QAction>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

namespace {
const QString Password = QStringLiteral("zip-secret-7");

// The test's one mailbox, handed to each connection the window makes; the fake stays
// with the test so that its counts can be read.
class SharedMailbox : public MailboxReader
{
public:
    explicit SharedMailbox(FakeMailboxReader& fake) : m_fake(fake) {}
    MailboxState open() override { return m_fake.open(); }
    QList<quint32> findSubjects(const QString& text, quint32 aboveUid) override
    {
        return m_fake.findSubjects(text, aboveUid);
    }
    QList<quint32> allUids() override { return m_fake.allUids(); }
    QList<MailboxNote> readNotes(const QList<quint32>& uids) override
    {
        return m_fake.readNotes(uids);
    }
    void fetchAttachment(const MailboxNote& note, QIODevice& decoded,
                         const Progress& progress) override
    {
        m_fake.fetchAttachment(note, decoded, progress);
    }
    QByteArray fetchAttachmentTail(const MailboxNote& note, qint64 maxBytes) override
    {
        return m_fake.fetchAttachmentTail(note, maxBytes);
    }
    QByteArray fetchAttachmentHead(const MailboxNote& note, qint64 maxBytes) override
    {
        return m_fake.fetchAttachmentHead(note, maxBytes);
    }
    void close() override { m_fake.close(); }

private:
    FakeMailboxReader& m_fake;
};

class RefusingMailbox : public SharedMailbox
{
public:
    using SharedMailbox::SharedMailbox;
    MailboxState open() override
    {
        throw KestrelError(QStringLiteral("The IMAP server refused the log-in."));
    }
};

QDateTime day(int d, int hour = 10)
{
    return QDateTime(QDate(2026, 11, d), QTime(hour, 0));
}

QTreeWidgetItem* childNamed(QTreeWidgetItem* node, const QString& text)
{
    for (int i = 0; i < node->childCount(); ++i)
        if (node->child(i)->text(0) == text)
            return node->child(i);
    return nullptr;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}
} // namespace

// The restore window over an in-memory mailbox, its menus, and the IMAP settings.
class TestRestoreWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<FakeMailboxReader> mailbox;
    bool refuse = false;

    MailboxSourceFactory source()
    {
        return [this]() {
            MailboxSource made;
            made.key = QStringLiteral("imap.example.org:993 ann INBOX");
            if (refuse)
                made.reader = std::make_unique<RefusingMailbox>(*mailbox);
            else
                made.reader = std::make_unique<SharedMailbox>(*mailbox);
            return made;
        };
    }

    std::unique_ptr<RestoreWindow> listedWindow()
    {
        auto window = std::make_unique<RestoreWindow>(source(), nullptr, env->path("cache"));
        window->listMailbox();
        return window;
    }

    // "/" > home > ann > docs
    static QTreeWidgetItem* docsNode(const RestoreWindow& window)
    {
        QTreeWidgetItem* root = window.trvSaved->topLevelItem(0);
        return childNamed(
            childNamed(childNamed(root, QStringLiteral("home")), QStringLiteral("ann")),
            QStringLiteral("docs"));
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnvironment>();
        TQuayRegistryObject().WriteUserZipPassword(Password);
        mailbox = std::make_unique<FakeMailboxReader>();
        refuse = false;
        const auto archive = [](const char* name, const QByteArray& content) {
            return FakeMailboxReader::archive(QString::fromLatin1(name), content, Password, day(1));
        };
        mailbox->addSaveNote(QStringLiteral("/home/ann/docs/a.txt"), day(1),
                             archive("a.txt", "first a"));
        mailbox->addSaveNote(QStringLiteral("/home/ann/docs/a.txt"), day(3),
                             archive("a.txt", "second a"));
        mailbox->addSaveNote(QStringLiteral("/home/ann/docs/b.txt"), day(2),
                             archive("b.txt", QByteArray(5000, 'b')), 2);
        const QList<quint32> c = mailbox->addSaveNote(QStringLiteral("/home/ann/c.txt"), day(2),
                                                      archive("c.txt", "c"), 3);
        mailbox->removeNote(c.at(1));
    }
    void cleanup()
    {
        mailbox.reset();
        env.reset();
    }

    void listsFilesWithVersionsNewestFirst()
    {
        auto window = listedWindow();
        QVERIFY(window->listed());
        QCOMPARE(window->trvSaved->topLevelItemCount(), 1);
        QTreeWidgetItem* docs = docsNode(*window);
        QVERIFY(docs);
        QTreeWidgetItem* a = childNamed(docs, QStringLiteral("a.txt"));
        QVERIFY(a);
        QCOMPARE(a->childCount(), 2);
        QVERIFY(a->child(0)->text(0).startsWith(QStringLiteral("Saved: 03/11/2026 10:00:00")));
        QVERIFY(a->child(1)->text(0).startsWith(QStringLiteral("Saved: 01/11/2026 10:00:00")));
        QVERIFY(childNamed(docs, QStringLiteral("b.txt"))
                    ->child(0)
                    ->text(0)
                    .endsWith(QStringLiteral(", Parts: 2")));
        QTreeWidgetItem* c = childNamed(docs->parent(), QStringLiteral("c.txt"));
        QVERIFY(c->child(0)->text(0).endsWith(
            QStringLiteral(", Parts: 2 of 3 (incomplete: part 2 of 3 is missing)")));
        QVERIFY2(window->lblListing->text().startsWith(
                     QStringLiteral("6 save notes read (0 from the cache) in ")),
                 qPrintable(window->lblListing->text()));

        // A second window reads the same notes from the catalog's cache.
        mailbox->resetCounts();
        auto again = listedWindow();
        QVERIFY2(again->lblListing->text().startsWith(
                     QStringLiteral("6 save notes read (6 from the cache) in ")),
                 qPrintable(again->lblListing->text()));
        QCOMPARE(mailbox->notesRead(), 0);
        QVERIFY(env->prompt.notices().isEmpty());
    }

    void searchAndPreselectNarrowTheTree()
    {
        auto window = listedWindow();
        window->edbSearch->setText(QStringLiteral("B.TXT"));
        QTreeWidgetItem* docs = docsNode(*window);
        QCOMPARE(docs->childCount(), 1);
        QCOMPARE(docs->child(0)->text(0), QStringLiteral("b.txt"));
        QVERIFY(!childNamed(docs->parent(), QStringLiteral("c.txt")));
        // The search's clear button is named for a screen reader, and clears it.
        QToolButton* clear = nullptr;
        for (QToolButton* button : window->edbSearch->findChildren<QToolButton*>())
            if (button->isVisibleTo(window.get()) &&
                QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name) ==
                    QStringLiteral("Clear search"))
                clear = button;
        QVERIFY(clear);
        clear->click();
        QVERIFY(window->edbSearch->text().isEmpty());
        QVERIFY(childNamed(docsNode(*window)->parent(), QStringLiteral("c.txt")));
        window->edbSearch->setText(QStringLiteral("B.TXT"));
        docs = docsNode(*window);

        window->preselect(QStringLiteral("/home/ann/docs"));
        const QList<QTreeWidgetItem*> selected = window->trvSaved->selectedItems();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(window->rowPath(selected.first()), QStringLiteral("/home/ann/docs"));
        QVERIFY(!childNamed(docsNode(*window)->parent(), QStringLiteral("c.txt")));
        QVERIFY(window->btnRestore->isEnabled());
    }

    void restoringAFolderWritesItsFilesAndAChosenVersion()
    {
        auto window = listedWindow();
        const QString target = env->path("restored");
        window->edbTargetFolder->setText(target);
        QTreeWidgetItem* docs = docsNode(*window);
        docs->setSelected(true);
        // The older version of a.txt, chosen on its own, wins over the folder's latest.
        childNamed(docs, QStringLiteral("a.txt"))->child(1)->setSelected(true);
        window->restoreSelected();

        QCOMPARE(readAll(target + QStringLiteral("/home/ann/docs/a.txt")), QByteArray("first a"));
        QCOMPARE(readAll(target + QStringLiteral("/home/ann/docs/b.txt")), QByteArray(5000, 'b'));
        QVERIFY(!QFile::exists(target + QStringLiteral("/home/ann/c.txt")));
        QCOMPARE(env->prompt.notices().size(), 1);
        QVERIFY2(env->prompt.notices().first().startsWith(
                     QStringLiteral("2 files restored, 0 skipped, 0 failed")),
                 qPrintable(env->prompt.notices().first()));
        QVERIFY(!window->busy());
        QCOMPARE(window->btnCancel->text(), QStringLiteral("Close"));

        // The incomplete file is refused with its reason.
        env->prompt.clear();
        window->trvSaved->clearSelection();
        childNamed(docs->parent(), QStringLiteral("c.txt"))->setSelected(true);
        window->restoreSelected();
        QCOMPARE(env->prompt.notices().size(), 1);
        QVERIFY(env->prompt.notices().first().contains(QStringLiteral("1 failed")));
        QVERIFY(env->prompt.notices().first().contains(
            QStringLiteral("The newest version of /home/ann/c.txt, saved 2026-11-02 10:00:00, is "
                           "incomplete: part 2 of 3 is missing, and no older version is whole.")));
        QVERIFY(!QFile::exists(target + QStringLiteral("/home/ann/c.txt")));

        // With an older whole version, that one is restored, and said so.
        env->prompt.clear();
        mailbox->addSaveNote(
            QStringLiteral("/home/ann/c.txt"), day(1),
            FakeMailboxReader::archive(QStringLiteral("c.txt"), "old c", Password));
        window->listMailbox();
        childNamed(docsNode(*window)->parent(), QStringLiteral("c.txt"))->setSelected(true);
        window->restoreSelected();
        QCOMPARE(readAll(target + QStringLiteral("/home/ann/c.txt")), QByteArray("old c"));
        QCOMPARE(env->prompt.notices().size(), 1);
        QCOMPARE(env->prompt.notices().first(),
                 QStringLiteral("1 file restored, 0 skipped, 0 failed\nThe newest version of "
                                "/home/ann/c.txt, saved 2026-11-02 10:00:00, is incomplete: part "
                                "2 of 3 is missing. The version saved 2026-11-01 10:00:00 is "
                                "restored instead."));
        QCOMPARE(window->lblStatus->text(), QStringLiteral("1 file restored, 0 skipped, 0 failed"));
        // The bytes of the archive, all of them, stay in view after the restore.
        QVERIFY2(QRegularExpression(QStringLiteral("^(\\d+) bytes of \\1 bytes restored$"))
                     .match(window->lblTransfer->text())
                     .hasMatch(),
                 qPrintable(window->lblTransfer->text()));
        QVERIFY(!env->prompt.shown().join(u'\n').contains(Password));
    }

    void cancelStopsBeforeTheNextFile()
    {
        auto window = listedWindow();
        const QString target = env->path("restored");
        window->edbTargetFolder->setText(target);
        env->writeFile(QStringLiteral("restored/home/ann/docs/a.txt"), "kept");
        docsNode(*window)->setSelected(true);
        // Cancel is clicked while the question about a.txt is open.
        env->prompt.whileNextQuestionIsOpen([&] {
            QVERIFY(window->busy());
            QCOMPARE(window->btnCancel->text(), QStringLiteral("Cancel"));
            window->btnCancel->click();
        });
        env->prompt.queueAnswer(Prompt::Answer::No);
        window->restoreSelected();
        QCOMPARE(readAll(target + QStringLiteral("/home/ann/docs/a.txt")), QByteArray("kept"));
        QVERIFY(!QFile::exists(target + QStringLiteral("/home/ann/docs/b.txt")));
        QCOMPARE(env->prompt.notices().size(), 1);
        QVERIFY(env->prompt.notices().first().contains(QStringLiteral("cancelled")));
        QVERIFY(!window->busy());
    }

    void aChangedMailboxIsListedAgainBeforeAnyRestore()
    {
        auto window = listedWindow();
        const QString target = env->path("restored");
        window->edbTargetFolder->setText(target);
        mailbox->setUidValidity(2);
        docsNode(*window)->setSelected(true);
        window->restoreSelected();
        QCOMPARE(env->prompt.notices(), QStringList{MailboxSession::mailboxChangedText()});
        QVERIFY(!QFile::exists(target + QStringLiteral("/home/ann/docs/a.txt")));
        QVERIFY(docsNode(*window));
        QVERIFY(window->trvSaved->selectedItems().isEmpty());
    }

    void aRefusedRestoreKeepsTheChoice()
    {
        auto window = listedWindow();
        window->edbTargetFolder->setText(env->path("restored"));
        docsNode(*window)->setSelected(true);
        refuse = true;
        window->restoreSelected();
        QCOMPARE(env->prompt.notices().size(), 1);
        QVERIFY(env->prompt.notices().first().contains(QStringLiteral("refused the log-in")));
        QCOMPARE(window->trvSaved->selectedItems(), QList<QTreeWidgetItem*>{docsNode(*window)});

        // A relative folder is refused before anything is fetched.
        refuse = false;
        env->prompt.clear();
        mailbox->resetCounts();
        window->edbTargetFolder->setText(QStringLiteral("restored"));
        window->restoreSelected();
        QCOMPARE(mailbox->fetches(), 0);
        QVERIFY(env->prompt.notices().first().startsWith(
            QStringLiteral("Choose the folder to restore into: a full path")));
    }

    void aFailedConnectionIsToldInTheWindowAndThePrompt()
    {
        refuse = true;
        auto window = listedWindow();
        QVERIFY(!window->listed());
        QVERIFY(window->lblListing->text().contains(QStringLiteral("refused the log-in")));
        QCOMPARE(env->prompt.notices().size(), 1);
        QVERIFY(env->prompt.notices().first().contains(QStringLiteral("refused the log-in")));
        QCOMPARE(window->trvSaved->topLevelItemCount(), 0);
        QVERIFY(!window->busy());
    }

    void settingsGroupReadsAndWritesTheStore()
    {
        const TQuayRegistryObject store;
        store.WriteWizzardRun(true);
        store.WriteUserSMPTName(QStringLiteral("smtp.example.org"));
        store.WriteUserIMAPPort(143);
        store.WriteUserIMAPUserName(QStringLiteral("ann"));
        store.WriteUserIMAPPassword(QStringLiteral("imap-secret"));
        TfrmKestrelClientMain window;
        UserSettingsPage* page = window.userSettingsPage;
        QVERIFY(!page->grbIMAPInformation->isHidden());
        QVERIFY(page->edbIMAPServer->text().isEmpty());
        QCOMPARE(page->edbIMAPServer->placeholderText(), QStringLiteral("imap.example.org"));
        QCOMPARE(page->spnIMAPPort->value(), 143);
        QCOMPARE(page->edbIMAPUserName->text(), QStringLiteral("ann"));
        // Compared without printing: a failure must not show a password.
        QVERIFY(page->edbIMAPPassword->text() == QStringLiteral("imap-secret"));
        QCOMPARE(page->edbIMAPPassword->echoMode(), QLineEdit::Password);
        QVERIFY(page->edbIMAPMailbox->text().isEmpty());

        page->edbIMAPServer->setText(QStringLiteral(" mail.example.org "));
        page->spnIMAPPort->setValue(993);
        page->edbIMAPMailbox->setText(QStringLiteral("Backups"));
        window.StoreSettings();
        QCOMPARE(store.ReadUserIMAPServer(), QStringLiteral("mail.example.org"));
        QCOMPARE(store.ReadUserIMAPPort(), 993);
        QCOMPARE(store.ReadUserIMAPMailbox(), QStringLiteral("Backups"));
        QVERIFY(store.ReadUserIMAPPassword() == QStringLiteral("imap-secret"));

        env->prompt.queuePasswords(
            Prompt::PasswordPair{QStringLiteral("new"), QStringLiteral("new")});
        page->btnChangeIMAPPassword->click();
        QVERIFY(store.ReadUserIMAPPassword() == QStringLiteral("new"));
    }

    void otherEditionsShowNoMailbox()
    {
        env.reset();
        env = std::make_unique<TestEnvironment>(QStringLiteral("KestrelCD"));
        TQuayRegistryObject().WriteWizzardRun(true);
        TfrmKestrelClientMain window;
        QVERIFY(window.userSettingsPage->grbIMAPInformation->isHidden());
        QVERIFY(!window.menus->RestoreFromMailbox1->isVisible());
        QVERIFY(!window.menus->RebuildLogFromMailbox1->isVisible());
        QVERIFY(!window.ShowRestoreWindow());
    }

    void logTreeMenuOpensTheWindowOnItsNode()
    {
        TQuayRegistryObject().WriteWizzardRun(true);
        QFile log(TQuayRegistryObject().ReadLogFile());
        QVERIFY(log.open(QIODevice::WriteOnly));
        log.write("/home/ann/docs/a.txt;01/03/2004 10:00:00;37 KB;02/03/2004 10:00:00;0\r\n");
        log.close();
        TQuayRegistryObject().WriteLoadLogTree(true);
        TfrmKestrelClientMain window;
        window.setMailboxSource(source());
        QTreeWidget* tree = window.backUpLogPage->trvBackUpLog;
        QTreeWidgetItem* a = tree->topLevelItem(0)->child(0)->child(0)->child(0)->child(0);
        // The saved copy's row stands for its file.
        tree->setCurrentItem(a->child(0));
        window.logView->pumRestoreFromMailbox->trigger();
        RestoreWindow* restore = window.restoreWindow();
        QVERIFY(restore);
        QCOMPARE(restore->edbSearch->text(), QStringLiteral("/home/ann/docs/a.txt"));
        QTRY_VERIFY(restore->listed());
        const QList<QTreeWidgetItem*> selected = restore->trvSaved->selectedItems();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(restore->rowPath(selected.first()), QStringLiteral("/home/ann/docs/a.txt"));

        // F1 in the window opens its own help topic.
        QTest::keyClick(restore->trvSaved, Qt::Key_F1);
        QVERIFY(window.helpWindow());
        QCOMPARE(window.helpWindow()->currentTopic(), RestoreWindow::HelpTopic);
        QFile help(HelpWindow::topicResource(RestoreWindow::HelpTopic));
        QVERIFY(help.open(QIODevice::ReadOnly) && help.readAll().contains("Restore From Mailbox"));
    }

    void rebuildAsksThenReloadsTheLog()
    {
        const TQuayRegistryObject store;
        store.WriteWizzardRun(true);
        QFile log(store.ReadLogFile());
        QVERIFY(log.open(QIODevice::WriteOnly));
        log.write("/old/x.txt;01/03/2004 10:00:00;37 KB;02/03/2004 10:00:00;0\r\n");
        log.close();
        TfrmKestrelClientMain window;
        window.setMailboxSource(source());
        env->prompt.queueAnswer(Prompt::Answer::No);
        window.menus->RebuildLogFromMailbox1->trigger();
        QCOMPARE(mailbox->notesRead(), 0);

        env->prompt.queueAnswer(Prompt::Answer::Yes);
        window.menus->RebuildLogFromMailbox1->trigger();
        QCOMPARE(env->prompt.notices().size(), 1);
        const QStringList lines = env->prompt.notices().first().split(u'\n');
        QCOMPARE(lines.first(),
                 QStringLiteral("The log file was rebuilt from the mailbox with 3 records."));
        QVERIFY(
            lines.value(1).startsWith(QStringLiteral("The previous log file was archived as ")));
        QVERIFY(QFile::exists(lines.value(1).section(QStringLiteral(" as "), 1)));
        // The tree shows the new log: both versions of a.txt, nothing of the old one.
        QTreeWidget* tree = window.backUpLogPage->trvBackUpLog;
        QCOMPARE(tree->topLevelItemCount(), 1);
        QTreeWidgetItem* home = childNamed(tree->topLevelItem(0), QStringLiteral("home"));
        QVERIFY(home);
        QVERIFY(!childNamed(tree->topLevelItem(0), QStringLiteral("old")));
        QTreeWidgetItem* docs =
            childNamed(childNamed(home, QStringLiteral("ann")), QStringLiteral("docs"));
        QCOMPARE(childNamed(docs, QStringLiteral("a.txt"))->childCount(), 2);
        QVERIFY(env->prompt.unexpected().isEmpty());
    }
};

QTEST_MAIN(TestRestoreWindow)
#include "tst_restorewindow.moc"
