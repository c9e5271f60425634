#pragma once

#include <QDialog>

class QTextBrowser;

// The program's help window: one HTML topic per help context number, bundled with
// the program. A number without a topic shows the contents. The title names the
// topic shown, also after a link was followed.
class HelpWindow : public QDialog
{
    Q_OBJECT

public:
    explicit HelpWindow(QWidget* parent = nullptr);

    static constexpr int ContentsTopic = 100;

    void showTopic(int context);
    // The topic shown: the contents for a number without a topic of its own.
    int currentTopic() const { return m_topic; }
    static QString topicResource(int context);

private:
    void topicShown(const QUrl& source);

    QTextBrowser* m_browser;
    int m_topic = ContentsTopic;
};
