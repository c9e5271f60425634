#pragma once

#include "core/Prompt.h"

#include <QSet>
#include <QString>

#include <functional>

// Runs steps the user did not ask for (the main window's creation, the save when the
// window is left or closed) so that a fault in one of them is told as a notice and
// the program goes on. Each fault is told once: the save on leaving the window would
// otherwise repeat it every time. A settings file that cannot be opened is told as
// such, once, for all the writes that fail because of it.
class UnattendedSteps
{
public:
    // Tells a settings file that cannot be opened, or one that was found damaged and
    // set aside.
    void checkSettings();
    // Runs the step; whatever error it raises is told, never thrown on.
    void run(const std::function<void()>& step);

private:
    void tell(const QString& text, Prompt::Icon icon = Prompt::Icon::Error);

    QSet<QString> m_told;
};
