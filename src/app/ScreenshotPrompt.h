#pragma once

#include "core/Prompt.h"

#include <utility>

// The prompt while the program saves pictures of its windows: nobody is there, so
// every question is answered No or Cancel unseen; the next file or folder dialog
// may be given the path to choose.
class ScreenshotPrompt : public Prompt
{
public:
    void chooseNextPath(const QString& path) { m_path = path; }

    Answer ask(const QString&, Buttons, Icon) override { return Answer::No; }
    void notify(const QString&, Icon) override {}
    std::optional<QString> inputText(const QString&, const QString&, const QString&) override
    {
        return std::nullopt;
    }
    std::optional<QString> inputPassword(const QString&, const QString&) override
    {
        return std::nullopt;
    }
    std::optional<QString> chooseFile(const QString&, const QString&, const QString&) override
    {
        return std::exchange(m_path, std::nullopt);
    }
    std::optional<QStringList> chooseFiles(const QString&, const QString&, const QString&) override
    {
        return std::nullopt;
    }
    std::optional<QString> chooseNewFile(const QString&, const QString&, const QString&) override
    {
        return std::exchange(m_path, std::nullopt);
    }
    std::optional<QString> chooseFolder(const QString&, const QString&) override
    {
        return std::exchange(m_path, std::nullopt);
    }
    std::optional<PasswordPair> askPasswordPair(const QString&, const PasswordPair&) override
    {
        return std::nullopt;
    }

private:
    std::optional<QString> m_path;
};
