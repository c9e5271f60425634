#pragma once

#include <QDialog>

class QLabel;

// A line of text shown while a long operation runs. The window is on screen from
// construction and goes when it is freed, so an operation that fails or stops early
// never leaves it behind.
class TfrmQuayMessage : public QDialog
{
    Q_OBJECT

public:
    TfrmQuayMessage(QWidget* owner, const QString& message);

    QLabel* lblMessage;
};
