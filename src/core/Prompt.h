#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Every question and notice of the program goes through this one interface: modal
// message boxes in the program, scripted answers in tests, so no test ever blocks
// on a dialog.
class Prompt
{
public:
    enum class Answer
    {
        Yes,
        No,
        Cancel,
        Ok,
        YesToAll
    };
    enum class Buttons
    {
        YesNo,
        // Yes and No with No as the default button, for a Yes that must be chosen
        // deliberately (trusting a certificate), never by pressing Enter.
        YesNoDefaultNo,
        YesNoCancel,
        // Yes, No, Yes to All and Cancel, for one of a run of like questions (a file
        // to be written over): Yes to All answers the rest of the run.
        YesNoAllCancel,
        Ok
    };
    enum class Icon
    {
        Information,
        Confirmation,
        Warning,
        Error
    };

    struct PasswordPair
    {
        QString first;
        QString second;
    };

    virtual ~Prompt() = default;

    // Whether someone is there to answer. False where every question is answered No
    // unseen (the run without a window), so that a caller can say what to do instead.
    virtual bool answersQuestions() const { return true; }
    // A confirmation box; Yes is the only answer that proceeds.
    virtual Answer ask(const QString& text, Buttons buttons = Buttons::YesNo,
                       Icon icon = Icon::Confirmation) = 0;
    // A notice with an OK button.
    virtual void notify(const QString& text, Icon icon = Icon::Information) = 0;
    // An input box; no value when the user cancels.
    virtual std::optional<QString> inputText(const QString& caption, const QString& label,
                                             const QString& initial) = 0;
    // An input box whose entry is not shown (a password); no value when the user
    // cancels.
    virtual std::optional<QString> inputPassword(const QString& caption, const QString& label) = 0;
    // A file-open dialog; no value when the user cancels.
    virtual std::optional<QString> chooseFile(const QString& title, const QString& startFolder,
                                              const QString& filter) = 0;
    // A file-open dialog that takes several files at once; no value when the user cancels.
    virtual std::optional<QStringList> chooseFiles(const QString& title, const QString& startFolder,
                                                   const QString& filter) = 0;
    // A file-save dialog: a file that need not exist yet, in a folder that does, and
    // which is written to without asking; no value when the user cancels.
    virtual std::optional<QString> chooseNewFile(const QString& title, const QString& startPath,
                                                 const QString& filter) = 0;
    // The folder browser; no value when the user cancels.
    virtual std::optional<QString> chooseFolder(const QString& caption,
                                                const QString& startFolder) = 0;
    // The change-password dialog, shown with the entries as last typed; no value on Cancel.
    virtual std::optional<PasswordPair> askPasswordPair(const QString& caption,
                                                        const PasswordPair& typed) = 0;
};
