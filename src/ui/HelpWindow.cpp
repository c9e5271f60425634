#include "ui/HelpWindow.h"

#include <QCoreApplication>
#include <QFile>
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
}

QString HelpWindow::topicResource(int context)
{
    const QString resource = QStringLiteral(":/help/%1.html").arg(context);
    return QFile::exists(resource) ? resource : QStringLiteral(":/help/%1.html").arg(ContentsTopic);
}

void HelpWindow::showTopic(int context)
{
    m_topic = context;
    m_browser->setSource(QUrl(QStringLiteral("qrc") + topicResource(context)));
    setWindowTitle(
        QStringLiteral("%1 Help - topic %2").arg(QCoreApplication::applicationName()).arg(context));
    show();
    raise();
}
