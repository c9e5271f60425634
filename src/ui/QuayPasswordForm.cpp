#include "ui/QuayPasswordForm.h"

#include "ui/ControlHelpers.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QFontMetrics>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

TQuayPasswordForm::TQuayPasswordForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("QuayPasswordForm"));
    setWindowTitle(QStringLiteral("Change Password"));
    setHelpContext(this, 501);
    auto* layout = new QFormLayout(this);
    ebPasswordOne = makeEdit(this, QStringLiteral("ebPasswordOne"));
    ebPasswordOne->setEchoMode(QLineEdit::Password);
    ebPasswordTwo = makeEdit(this, QStringLiteral("ebPasswordTwo"));
    ebPasswordTwo->setEchoMode(QLineEdit::Password);
    layout->addRow(QStringLiteral("Type Password:"), ebPasswordOne);
    layout->addRow(QStringLiteral("Re-type Password:"), ebPasswordTwo);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addRow(buttons);
    fitCaption();
}

void TQuayPasswordForm::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowTitleChange)
        fitCaption();
}

void TQuayPasswordForm::fitCaption()
{
    // The desktop draws the caption, commonly in bold, beside the title bar's icon and
    // buttons, which TitleBarRoom leaves room for.
    constexpr int TitleBarRoom = 160;
    QFont captionFont = font();
    captionFont.setBold(true);
    const int captionWidth =
        QFontMetrics(captionFont).horizontalAdvance(windowTitle()) + TitleBarRoom;
    const QSize fields = sizeHint();
    setFixedSize(qMax(fields.width(), captionWidth), fields.height());
}
