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
QLabel* makeLabel(QWidget* parent, const QString& objectName, const QString& caption);
QLineEdit* makeEdit(QWidget* parent, const QString& objectName, const QString& hint = {});
QPushButton* makeButton(QWidget* parent, const QString& objectName, const QString& caption,
                        const QString& hint = {});
QCheckBox* makeCheckBox(QWidget* parent, const QString& objectName, const QString& caption,
                        const QString& hint = {});
QGroupBox* makeGroup(QWidget* parent, const QString& objectName, const QString& caption);

// A control's help context number (0 when none is set).
int helpContext(const QWidget* widget);
void setHelpContext(QWidget* widget, int context);
