#include "ui/QuayShutDown.h"

#include "core/EditionProfile.h"
#include "ui/ControlHelpers.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TQuayShutDown::TQuayShutDown()
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                           Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("QuayShutDown"));
    setWindowTitle(captionFor(currentProfile().name));
    setAttribute(Qt::WA_DeleteOnClose);
    // The main window alone decides when the program ends.
    setAttribute(Qt::WA_QuitOnClose, false);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(makeCountdownRow(this, QStringLiteral("lblShutDownIn"),
                                       QStringLiteral("Computer will be shut down in "),
                                       QStringLiteral("seconds."), lblTime));
    btnCancel = makeButton(this, QStringLiteral("btnCancel"), QStringLiteral("Cancel"), QString());
    btnCancel->setDefault(true);
    layout->addLayout(makeCentredRow({btnCancel}));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    btnCancel->setFocus();

    m_countdown = std::make_unique<ShutDownCountdown>(ShutDownCountdown::Actions{
        [this](int seconds) { lblTime->setText(QString::number(seconds)); },
        [this] {
            close();
        }});
    connect(btnCancel, &QPushButton::clicked, this, [this] { m_countdown->cancel(); });
}

TQuayShutDown::~TQuayShutDown() = default;

QString TQuayShutDown::captionFor(const QString& editionName)
{
    if (editionName == QLatin1String("KestrelSolo") || editionName == QLatin1String("KestrelCD") ||
        editionName == QLatin1String("KestrelDrive"))
        return editionName + QStringLiteral(" Shut Down");
    return QStringLiteral("Kestrel Shut Down");
}

void TQuayShutDown::closeEvent(QCloseEvent* event)
{
    // Closing the window by the desktop's means is a Cancel; the end of the program
    // closes it too and must not be held.
    m_countdown->cancel();
    event->accept();
}

void TQuayShutDown::reject()
{
    // Escape closes the window like Cancel.
    m_countdown->cancel();
}
