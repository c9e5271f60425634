#include "ui/HelpWindow.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextBlock>
#include <QTextBrowser>
#include <QVBoxLayout>

static void loadHelpResources()
{
    // The topics live in a static library: register them explicitly.
    Q_INIT_RESOURCE(help);
}

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent)
{
    loadHelpResources();
    setObjectName(QStringLiteral("HelpWindow"));
    resize(520, 460);
    auto* layout = new QVBoxLayout(this);
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("HelpBrowser"));
    m_browser->setOpenLinks(true);
    layout->addWidget(m_browser);
    // A link followed in the window (Contents, a topic of the contents) changes the
    // topic as much as showTopic does.
    connect(m_browser, &QTextBrowser::sourceChanged, this, &HelpWindow::topicShown);
}

QString HelpWindow::topicResource(int context)
{
    const QString resource = QStringLiteral(":/help/%1.html").arg(context);
    return QFile::exists(resource) ? resource : QStringLiteral(":/help/%1.html").arg(ContentsTopic);
}

void HelpWindow::showTopic(int context)
{
    m_browser->setSource(QUrl(QStringLiteral("qrc") + topicResource(context)));
    show();
    raise();
}

void HelpWindow::topicShown(const QUrl& source)
{
    bool isTopic = false;
    const int topic = QFileInfo(source.path()).completeBaseName().toInt(&isTopic);
    if (isTopic)
        m_topic = topic;
    // The topic's heading, which opens every page.
    const QString heading = m_topic == ContentsTopic
                                ? QStringLiteral("Contents")
                                : m_browser->document()->firstBlock().text().trimmed();
    setWindowTitle(
        QStringLiteral("%1 Help - %2").arg(QCoreApplication::applicationName(), heading));
}
