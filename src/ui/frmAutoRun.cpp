#include "ui/frmAutoRun.h"

#include "ui/ControlHelpers.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TfrmAutoRun::TfrmAutoRun(std::function<void()> startSequence)
    : QWidget(nullptr,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmAutoRun"));
    setWindowTitle(QStringLiteral("Auto Run Back Up Sequence"));
    // The main window alone decides when the program ends.
    setAttribute(Qt::WA_QuitOnClose, false);

    auto* layout = new QVBoxLayout(this);
    auto* time = new QHBoxLayout;
    time->addStretch();
    time->addWidget(makeLabel(this, QStringLiteral("lblStartsIn"),
                              QStringLiteral("Back up sequence will start in ")));
    lblTime = makeLabel(this, QStringLiteral("lblTime"), QString());
    QFont bold = lblTime->font();
    bold.setBold(true);
    lblTime->setFont(bold);
    time->addWidget(lblTime);
    time->addWidget(makeLabel(this, QStringLiteral("lblSeconds"), QStringLiteral("seconds")));
    time->addStretch();
    layout->addLayout(time);

    auto* buttons = new QHBoxLayout;
    btnOK = makeButton(this, QStringLiteral("btnOK"), QStringLiteral("OK"),
                       QStringLiteral("Immediately starts back up sequence."));
    btnCancel = makeButton(this, QStringLiteral("btnCancel"), QStringLiteral("Cancel"),
                           QStringLiteral("Cancels automatic start of back up sequence."));
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_countdown = std::make_unique<AutoRunCountdown>(AutoRunCountdown::Actions{
        [this](int seconds) { lblTime->setText(QString::number(seconds)); },
        std::move(startSequence),
        [this] {
            deleteLater();
        }});
    connect(btnOK, &QPushButton::clicked, this, [this] { m_countdown->startNow(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { m_countdown->askToCancel(); });
}

TfrmAutoRun::~TfrmAutoRun() = default;

void TfrmAutoRun::closeEvent(QCloseEvent* event)
{
    // Accepted always: the end of the program closes every window and must not be held.
    m_countdown->abandon();
    event->accept();
}
