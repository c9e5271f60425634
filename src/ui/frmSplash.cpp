#include "ui/frmSplash.h"

#include "core/Clock.h"
#include "core/EditionProfile.h"
#include "core/Services.h"
#include "ui/EditionPicture.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int PictureSize = 96;
constexpr int SplashWidth = 460;
constexpr int SplashClientHeight = 250;
constexpr int AboutClientHeight = 300;
constexpr int Timer1Interval = 1000;
constexpr int CloseInterval = 30000;
constexpr int LiveStep = 10;
constexpr int StartUpPauseStep = 500;

QLabel* addLabel(QWidget* parent, QVBoxLayout* layout, const QString& objectName,
                 const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    layout->addWidget(label);
    return label;
}
} // namespace

TfrmSplash::TfrmSplash(QWidget* owner) : QDialog(owner)
{
    const QString product = currentProfile().name;
    setObjectName(QStringLiteral("frmSplash"));
    // No border icons and always on top; single border, so the user cannot resize it.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowStaysOnTopHint);
    setWindowTitle(QStringLiteral("Orrery Limited's ") + product);
    setBackgroundRole(QPalette::Midlight);
    setAutoFillBackground(true);
    setFixedSize(SplashWidth, SplashClientHeight);

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    layout->addLayout(top);
    imgEditionPicture = new QLabel(this);
    imgEditionPicture->setObjectName(QStringLiteral("imgEditionPicture"));
    imgEditionPicture->setPixmap(EditionPicture::pixmap(currentEdition(), PictureSize));
    imgEditionPicture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    imgEditionPicture->setFixedWidth(PictureSize + 16);
    top->addWidget(imgEditionPicture);

    auto* texts = new QVBoxLayout;
    top->addLayout(texts, 1);
    lblWelcome = addLabel(this, texts, QStringLiteral("lblWelcome"),
                          QStringLiteral("Welcome to ") + product);
    QFont welcomeFont = lblWelcome->font();
    welcomeFont.setPointSizeF(welcomeFont.pointSizeF() * 1.5);
    welcomeFont.setBold(true);
    lblWelcome->setFont(welcomeFont);
    lblProductVersion = addLabel(this, texts, QStringLiteral("lblProductVersion"),
                                 QStringLiteral("Product Version: V2 (2.1.2.0)"));
    lblProductVersion->setVisible(false);
    lblStatus = addLabel(this, texts, QStringLiteral("lblStatus"),
                         QStringLiteral("Loading data, please wait..."));
    pgbLive = new QProgressBar(this);
    pgbLive->setObjectName(QStringLiteral("pgbLive"));
    pgbLive->setRange(0, 100);
    pgbLive->setValue(0);
    // A smooth bar that only says loading goes on: no percentage to read.
    pgbLive->setTextVisible(false);
    texts->addWidget(pgbLive);
    texts->addStretch();

    layout->addStretch();
    buildMakerDetails(layout);
    // Only the About window has it; Escape closes that window as well.
    btnClose = new QPushButton(QStringLiteral("Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setVisible(false);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::close);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnClose);
    layout->addLayout(buttons);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(Timer1Interval);
    connect(Timer1, &QTimer::timeout, this, &TfrmSplash::stepLiveBar);
    Timer1->start();
    tmrClose = new QTimer(this);
    tmrClose->setObjectName(QStringLiteral("tmrClose"));
    tmrClose->setInterval(CloseInterval);
    connect(tmrClose, &QTimer::timeout, this, &TfrmSplash::closeTimerElapsed);
    qApp->installEventFilter(this);
}

bool TfrmSplash::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != this && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Show && !m_gaveWayTo && isVisible() && widget->isWindow() &&
            widget->isModal()) {
            m_gaveWayTo = widget;
            hide();
        } else if (event->type() == QEvent::Hide && widget == m_gaveWayTo) {
            m_gaveWayTo = nullptr;
            show();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmSplash::buildMakerDetails(QVBoxLayout* layout)
{
    addLabel(this, layout, QStringLiteral("lblMaker"), QStringLiteral("Orrery Limited"));
    addLabel(this, layout, QStringLiteral("lblAddress"),
             QStringLiteral("1 Observatory Lane, Kestrel Park, KP1 2OR"));
    addLabel(this, layout, QStringLiteral("lblContact"),
             QStringLiteral("support@orrery.example    https://www.orrery.example/"));
    addLabel(this, layout, QStringLiteral("lblCopyright"),
             QStringLiteral("Copyright \u00a9 2026 Orrery Limited. All rights reserved."));
}

void TfrmSplash::showSplash()
{
    // A dialog is placed over the middle of its owner when shown, or of the screen
    // while the owner is not yet on screen.
    show();
    repaint();
    tmrClose->start();
}

void TfrmSplash::turnIntoAbout()
{
    lblWelcome->setText(currentProfile().name);
    lblProductVersion->setVisible(true);
    // Nothing is loading any more.
    lblStatus->setVisible(false);
    pgbLive->setVisible(false);
    btnClose->setVisible(true);
    btnClose->setDefault(true);
    btnClose->setFocus();
    const bool shown = isVisible();
    setWindowFlags(windowFlags() | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(width(), AboutClientHeight);
    // New window flags take the window off screen; put it back.
    if (shown)
        show();
}

void TfrmSplash::finishStartUp()
{
    do
        Services::clock().waitPumping(StartUpPauseStep);
    while (tmrClose->isActive());
    hide();
    close();
}

void TfrmSplash::stepLiveBar()
{
    const int next = pgbLive->value() + LiveStep;
    pgbLive->setValue(next > pgbLive->maximum() ? pgbLive->minimum() : next);
}

void TfrmSplash::closeTimerElapsed()
{
    tmrClose->stop();
}
