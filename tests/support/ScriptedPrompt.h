#pragma once

#include "core/Prompt.h"

#include <QStringList>

#include <deque>
#include <functional>

// A Prompt for tests: answers come from queues filled before the
// action (one queue for each kind of answer), and every text shown is recorded in order. A question
// with no queued answer is recorded in unexpected() and answered No (or Cancel), so a test sees it
// instead of hanging.
class ScriptedPrompt : public Prompt
{
public:
    void queueAnswer(Answer answer) { m_answers.push_back(answer); }
    // Input boxes, file dialogs and the folder browser; no value means Cancel.
    void queueText(std::optional<QString> text) { m_texts.push_back(std::move(text)); }
    // File dialogs that take several files; no value means Cancel.
    void queueFiles(std::optional<QStringList> files) { m_fileLists.push_back(std::move(files)); }
    void queuePasswords(std::optional<PasswordPair> pair)
    {
        m_passwords.push_back(std::move(pair));
    }

    // Runs the action at the next question while it is open, before its answer is
    // taken: what happens meanwhile in a program whose user takes time to answer.
    void whileNextQuestionIsOpen(std::function<void()> action) { m_whileOpen = std::move(action); }

    Answer ask(const QString& text, Buttons buttons, Icon icon) override;
    void notify(const QString& text, Icon icon) override;
    std::optional<QString> inputText(const QString& caption, const QString& label,
                                     const QString& initial) override;
    // Takes its answer from the text queue; the entry is never recorded.
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

    // Every question and notice text, in the order shown.
    const QStringList& shown() const { return m_shown; }
    const QStringList& questions() const { return m_questions; }
    const QStringList& notices() const { return m_notices; }
    // Texts that found no queued answer of the right kind.
    const QStringList& unexpected() const { return m_unexpected; }
    qsizetype pendingReplies() const
    {
        return static_cast<qsizetype>(m_answers.size() + m_texts.size() + m_fileLists.size() +
                                      m_passwords.size());
    }
    void clear();

private:
    std::optional<QString> nextText(const QString& shownText);

    std::function<void()> m_whileOpen;
    std::deque<Answer> m_answers;
    std::deque<std::optional<QString>> m_texts;
    std::deque<std::optional<QStringList>> m_fileLists;
    std::deque<std::optional<PasswordPair>> m_passwords;
    QStringList m_shown;
    QStringList m_questions;
    QStringList m_notices;
    QStringList m_unexpected;
};
