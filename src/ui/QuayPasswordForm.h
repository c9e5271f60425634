#pragma once

#include <QDialog>

class QLineEdit;

// The change-password dialog: two masked entries that must match.
class TQuayPasswordForm : public QDialog
{
    Q_OBJECT

public:
    explicit TQuayPasswordForm(QWidget* parent = nullptr);

    QLineEdit* ebPasswordOne;
    QLineEdit* ebPasswordTwo;
};
