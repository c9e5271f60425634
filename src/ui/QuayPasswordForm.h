#pragma once

#include <QDialog>

class QLineEdit;

// The change-password dialog: two masked entries that must match. Its size is fixed,
// and wide enough for its caption ("Change SMPT Server Password"), which a title bar
// too narrow for it would cut short.
class TQuayPasswordForm : public QDialog
{
    Q_OBJECT

public:
    explicit TQuayPasswordForm(QWidget* parent = nullptr);

    QLineEdit* ebPasswordOne;
    QLineEdit* ebPasswordTwo;

protected:
    void changeEvent(QEvent* event) override;

private:
    void fitCaption();
};
