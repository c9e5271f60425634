#include "ui/frmQuayMessage.h"

#include <QLabel>
#include <QVBoxLayout>

TfrmQuayMessage::TfrmQuayMessage(QWidget* owner, const QString& message) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmQuayMessage"));
    // A dialog-style window without border icons: it goes when the operation ends.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QStringLiteral("Kestrel Message"));
    auto* layout = new QVBoxLayout(this);
    lblMessage = new QLabel(message, this);
    lblMessage->setObjectName(QStringLiteral("lblMessage"));
    lblMessage->setAlignment(Qt::AlignCenter);
    lblMessage->setMinimumWidth(280);
    layout->addWidget(lblMessage);
    show();
    // The operation that follows keeps the event loop busy: paint the text now.
    repaint();
}
