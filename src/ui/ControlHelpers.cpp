#include "ui/ControlHelpers.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVariant>

namespace {
const char* const HelpContextProperty = "helpContext";

template <typename Control>
Control* named(Control* control, const QString& objectName, const QString& hint)
{
    control->setObjectName(objectName);
    if (!hint.isEmpty()) {
        control->setToolTip(hint);
        control->setStatusTip(hint);
    }
    return control;
}
} // namespace

QLabel* makeLabel(QWidget* parent, const QString& objectName, const QString& caption,
                  QWidget* buddy)
{
    auto* label = named(new QLabel(caption, parent), objectName, {});
    if (buddy)
        label->setBuddy(buddy);
    return label;
}

QLineEdit* makeEdit(QWidget* parent, const QString& objectName, const QString& hint)
{
    return named(new QLineEdit(parent), objectName, hint);
}

QPushButton* makeButton(QWidget* parent, const QString& objectName, const QString& caption,
                        const QString& hint)
{
    return named(new QPushButton(caption, parent), objectName, hint);
}

QCheckBox* makeCheckBox(QWidget* parent, const QString& objectName, const QString& caption,
                        const QString& hint)
{
    return named(new QCheckBox(caption, parent), objectName, hint);
}

QGroupBox* makeGroup(QWidget* parent, const QString& objectName, const QString& caption)
{
    return named(new QGroupBox(caption, parent), objectName, {});
}

int helpContext(const QWidget* widget)
{
    return widget ? widget->property(HelpContextProperty).toInt() : 0;
}

void setHelpContext(QWidget* widget, int context)
{
    widget->setProperty(HelpContextProperty, context);
}

QHBoxLayout* makeCountdownRow(QWidget* parent, const QString& beforeName, const QString& before,
                              const QString& after, QLabel*& seconds)
{
    seconds = makeLabel(parent, QStringLiteral("lblTime"), QString());
    QFont bold = seconds->font();
    bold.setBold(true);
    seconds->setFont(bold);
    return makeCentredRow({makeLabel(parent, beforeName, before), seconds,
                           makeLabel(parent, QStringLiteral("lblSeconds"), after)});
}

QHBoxLayout* makeCentredRow(std::initializer_list<QWidget*> widgets)
{
    auto* row = new QHBoxLayout;
    row->addStretch();
    for (QWidget* widget : widgets)
        row->addWidget(widget);
    row->addStretch();
    return row;
}
