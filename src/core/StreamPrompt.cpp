#include "core/StreamPrompt.h"

#include "core/TerminalText.h"

#include <QTextStream>

Prompt::Answer StreamPrompt::ask(const QString& text, Buttons buttons, Icon)
{
    if (buttons == Buttons::Ok) {
        m_out << terminalText(text) << Qt::endl;
        return Answer::Ok;
    }
    m_out << terminalText(text) << QStringLiteral(" [answered No]") << Qt::endl;
    return Answer::No;
}

void StreamPrompt::notify(const QString& text, Icon)
{
    m_out << terminalText(text) << Qt::endl;
}

std::nullopt_t StreamPrompt::cancelled(const QString& text)
{
    m_out << terminalText(text) << QStringLiteral(" [cancelled]") << Qt::endl;
    return std::nullopt;
}

std::optional<QString> StreamPrompt::inputText(const QString& caption, const QString& label,
                                               const QString&)
{
    return cancelled(caption + QStringLiteral(": ") + label);
}

std::optional<QString> StreamPrompt::inputPassword(const QString& caption, const QString& label)
{
    return cancelled(caption + QStringLiteral(": ") + label);
}

std::optional<QString> StreamPrompt::chooseFile(const QString& title, const QString&,
                                                const QString&)
{
    return cancelled(title);
}

std::optional<QStringList> StreamPrompt::chooseFiles(const QString& title, const QString&,
                                                     const QString&)
{
    return cancelled(title);
}

std::optional<QString> StreamPrompt::chooseNewFile(const QString& title, const QString&,
                                                   const QString&)
{
    return cancelled(title);
}

std::optional<QString> StreamPrompt::chooseFolder(const QString& caption, const QString&)
{
    return cancelled(caption);
}

std::optional<Prompt::PasswordPair> StreamPrompt::askPasswordPair(const QString& caption,
                                                                  const PasswordPair&)
{
    return cancelled(caption);
}
