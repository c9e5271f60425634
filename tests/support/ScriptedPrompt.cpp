#include "support/ScriptedPrompt.h"

#include <utility>

Prompt::Answer ScriptedPrompt::ask(const QString& text, Buttons buttons, Icon)
{
    m_shown << text;
    m_questions << text;
    if (m_whileOpen)
        std::exchange(m_whileOpen, nullptr)();
    if (!m_answers.empty()) {
        const Answer result = m_answers.front();
        m_answers.pop_front();
        return result;
    }
    m_unexpected << text;
    return buttons == Buttons::YesNoCancel || buttons == Buttons::YesNoAllCancel ? Answer::Cancel
                                                                                 : Answer::No;
}

void ScriptedPrompt::notify(const QString& text, Icon)
{
    m_shown << text;
    m_notices << text;
}

std::optional<QString> ScriptedPrompt::nextText(const QString& shownText)
{
    m_shown << shownText;
    if (!m_texts.empty()) {
        std::optional<QString> result = std::move(m_texts.front());
        m_texts.pop_front();
        return result;
    }
    m_unexpected << shownText;
    return std::nullopt;
}

std::optional<QString> ScriptedPrompt::inputText(const QString& caption, const QString& label,
                                                 const QString&)
{
    return nextText(caption + QStringLiteral(": ") + label);
}

std::optional<QString> ScriptedPrompt::inputPassword(const QString& caption, const QString& label)
{
    return nextText(caption + QStringLiteral(": ") + label);
}

std::optional<QString> ScriptedPrompt::chooseFile(const QString& title, const QString&,
                                                  const QString&)
{
    return nextText(title);
}

std::optional<QStringList> ScriptedPrompt::chooseFiles(const QString& title, const QString&,
                                                       const QString&)
{
    m_shown << title;
    if (!m_fileLists.empty()) {
        std::optional<QStringList> result = std::move(m_fileLists.front());
        m_fileLists.pop_front();
        return result;
    }
    m_unexpected << title;
    return std::nullopt;
}

std::optional<QString> ScriptedPrompt::chooseNewFile(const QString& title, const QString&,
                                                     const QString&)
{
    return nextText(title);
}

std::optional<QString> ScriptedPrompt::chooseFolder(const QString& caption, const QString&)
{
    return nextText(caption);
}

std::optional<Prompt::PasswordPair> ScriptedPrompt::askPasswordPair(const QString& caption,
                                                                    const PasswordPair&)
{
    m_shown << caption;
    if (!m_passwords.empty()) {
        std::optional<PasswordPair> result = std::move(m_passwords.front());
        m_passwords.pop_front();
        return result;
    }
    m_unexpected << caption;
    return std::nullopt;
}

void ScriptedPrompt::clear()
{
    m_whileOpen = nullptr;
    m_answers.clear();
    m_texts.clear();
    m_fileLists.clear();
    m_passwords.clear();
    m_shown.clear();
    m_questions.clear();
    m_notices.clear();
    m_unexpected.clear();
}
