#pragma once

#include <QString>

#include <initializer_list>

class QWidget;
class QLabel;
class QLineEdit;
class QPushButton;
class QCheckBox;
class QGroupBox;
class QAbstractButton;
class QHBoxLayout;

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

// The centred line of a countdown window: the text before (lblBefore), the seconds in
// bold (lblTime, returned through seconds) and the text after (lblSeconds).
QHBoxLayout* makeCountdownRow(QWidget* parent, const QString& beforeName, const QString& before,
                              const QString& after, QLabel*& seconds);
// The widgets side by side in the middle of a row.
QHBoxLayout* makeCentredRow(std::initializer_list<QWidget*> widgets);

// A control's help context number (0 when none is set).
int helpContext(const QWidget* widget);
void setHelpContext(QWidget* widget, int context);
