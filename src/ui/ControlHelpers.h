#pragma once

#include <QString>

class QWidget;
class QLabel;
class QLineEdit;
class QPushButton;
class QCheckBox;
class QGroupBox;
class QAbstractButton;

// Small builders that give every control its design name (the object name tests
// find it by), caption and hint in one line.
// A label with a buddy names that field to screen readers, and an "&" in its caption
// gives the field a keyboard mnemonic.
QLabel* makeLabel(QWidget* parent, const QString& objectName, const QString& caption,
                  QWidget* buddy = nullptr);
QLineEdit* makeEdit(QWidget* parent, const QString& objectName, const QString& hint = {});
QPushButton* makeButton(QWidget* parent, const QString& objectName, const QString& caption,
                        const QString& hint = {});
QCheckBox* makeCheckBox(QWidget* parent, const QString& objectName, const QString& caption,
                        const QString& hint = {});
QGroupBox* makeGroup(QWidget* parent, const QString& objectName, const QString& caption);

// A control's help context number (0 when none is set).
int helpContext(const QWidget* widget);
void setHelpContext(QWidget* widget, int context);
