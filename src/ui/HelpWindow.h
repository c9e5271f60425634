#pragma once

#include <QDialog>

class QTextBrowser;

// The program's help window: one HTML topic per help context number, bundled with
// the program. A number without a topic shows the contents.
class HelpWindow : public QDialog
{
    Q_OBJECT

public:
    explicit HelpWindow(QWidget* parent = nullptr);

    static constexpr int ContentsTopic = 100;

    void showTopic(int context);
    int currentTopic() const { return m_topic; }
    static QString topicResource(int context);

private:
    QTextBrowser* m_browser;
    int m_topic = ContentsTopic;
};
