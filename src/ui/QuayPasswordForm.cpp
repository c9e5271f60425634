#include "ui/QuayPasswordForm.h"

#include "ui/ControlHelpers.h"

#include <QDialogButtonBox>
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
    setFixedSize(sizeHint());
}
