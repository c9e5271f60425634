#pragma once

#include <QWidget>

class QGroupBox;
class QPushButton;
class QTreeWidget;

// The "Back Up Log" page: the backed-up files by folder, one child per saved copy.
class BackUpLogPage : public QWidget
{
    Q_OBJECT

public:
    explicit BackUpLogPage(QWidget* parent = nullptr);

    QGroupBox* gpbBackedUpFiles;
    QTreeWidget* trvBackUpLog;
    QPushButton* btnAddFileBackUpRequest;

Q_SIGNALS:
    void shown();

protected:
    void showEvent(QShowEvent* event) override;
};
