#pragma once

#include "core/SetupWizardSteps.h"

#include <QList>
#include <QString>

#include <optional>

// The setup wizard without its window: the current step, what the window shows for
// it, and the step procedure that stores an answer and moves on. Each answer is
// stored in the settings store as the user leaves its step, so a wizard left half
// way keeps what was answered; only finishing it marks it as run (WizzardRun).
// Questions and notices go through the prompt.
class SetupWizardProcedure
{
public:
    // What the user entered on the current step; which fields count depends on its kind.
    struct Answer
    {
        QString text;
        QString verification;
        bool yes = false;
    };

    // Everything the window shows for the current step, the controls of its kind
    // filled from the settings store.
    struct Shown
    {
        QString stepLine;
        QString question;
        QString explanation;
        WizardStepKind kind = WizardStepKind::Text;
        // The text, password, number, folder or burner field (and the password's second
        // field).
        QString text;
        bool yes = false;
        bool backVisible = false;
        QString nextCaption;
    };

    enum class Outcome
    {
        // Nothing stored or moved: the fields keep what the user typed.
        Stayed,
        // A step (perhaps the same one) is to be shown afresh.
        Moved,
        // The last step was answered going forward: the wizard is done and closes.
        Finished
    };

    // Opens on step 1 of the running edition.
    SetupWizardProcedure();
    explicit SetupWizardProcedure(Edition edition);

    int currentStep() const { return m_current; }
    int stepCount() const { return static_cast<int>(m_steps.size()); }
    const QList<WizardStep>& steps() const { return m_steps; }
    // Reads the settings store afresh on every call.
    Shown shown() const;

    // "Next >>" and "<< Back".
    Outcome next(const Answer& answer);
    Outcome back(const Answer& answer);
    // "Cancel": true when the user confirms leaving the wizard.
    bool confirmCancel() const;

private:
    enum class Direction
    {
        Forward,
        Back
    };

    Outcome runStep(const Answer& answer);
    // False when the answer is not stored and the wizard stays where it is; a number
    // that does not convert turns the direction back instead.
    bool storeAnswer(const WizardStep& step, const Answer& answer);
    // Why a path the step cannot use is refused; empty when it is accepted.
    static QString refusal(const WizardStep& step, const Answer& answer);
    QString currentText(const WizardStep& step) const;
    bool currentYes(const WizardStep& step) const;

    QList<WizardStep> m_steps;
    int m_current = 1;
    bool m_opening = true;
    mutable bool m_backShown = false;
    Direction m_direction = Direction::Back;
    // The limit as read and as last shown, so that passing an untouched field on keeps
    // a limit finer than the three decimals it is shown with.
    mutable double m_shownBytes = 0.0;
    mutable std::optional<QString> m_shownBytesText;
};
