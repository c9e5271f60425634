#pragma once

#include "core/Prompt.h"

#include <QPointer>

class QMessageBox;
class QWidget;

// The program's Prompt: modal message boxes, input box, file dialog, folder
// browser and the change-password dialog, parented to the main window; message boxes
// belong to the window the user is in.
class WidgetPrompt : public Prompt
{
public:
    void setParentWindow(QWidget* window) { m_parent = window; }

    Answer ask(const QString& text, Buttons buttons, Icon icon) override;
    void notify(const QString& text, Icon icon) override;
    std::optional<QString> inputText(const QString& caption, const QString& label,
                                     const QString& initial) override;
    std::optional<QString> inputPassword(const QString& caption, const QString& label) override;
    std::optional<QString> chooseFile(const QString& title, const QString& startFolder,
                                      const QString& filter) override;
    std::optional<QStringList> chooseFiles(const QString& title, const QString& startFolder,
                                           const QString& filter) override;
    std::optional<QString> chooseNewFile(const QString& title, const QString& startPath,
                                         const QString& filter) override;
    std::optional<QString> chooseFolder(const QString& caption,
                                        const QString& startFolder) override;
    std::optional<PasswordPair> askPasswordPair(const QString& caption,
                                                const PasswordPair& typed) override;

private:
    QPointer<QMessageBox> makeBox(Icon icon, const QString& text) const;

    QWidget* m_parent = nullptr;
};
