#pragma once

#include "core/Prompt.h"

class QTextStream;

// The prompt of a run without a window: every question and notice is written to a
// stream (standard error) and nobody is waited for. Questions are answered No, a box
// with only OK is acknowledged, and dialogs are cancelled.
class StreamPrompt : public Prompt
{
public:
    explicit StreamPrompt(QTextStream& out) : m_out(out) {}

    bool answersQuestions() const override { return false; }
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
    std::nullopt_t cancelled(const QString& text);

    QTextStream& m_out;
};
