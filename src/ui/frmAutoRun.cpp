#include "ui/frmAutoRun.h"

#include "ui/ControlHelpers.h"

#include <QCloseEvent>
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
    layout->addLayout(makeCountdownRow(this, QStringLiteral("lblStartsIn"),
                                       QStringLiteral("Back up sequence will start in "),
                                       QStringLiteral("seconds"), lblTime));
    btnOK = makeButton(this, QStringLiteral("btnOK"), QStringLiteral("OK"),
                       QStringLiteral("Immediately starts back up sequence."));
    btnCancel = makeButton(this, QStringLiteral("btnCancel"), QStringLiteral("Cancel"),
                           QStringLiteral("Cancels automatic start of back up sequence."));
    layout->addLayout(makeCentredRow({btnOK, btnCancel}));
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
