#pragma once

#include "core/SetupWizardProcedure.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The setup wizard's window: one question of the running edition at a time, each
// answer stored as the user moves on. Always on top and not modal, so the main
// window stays usable beside it; it has no owner window and releases itself when
// closed.
class TfrmKestrelWizard : public QWidget
{
    Q_OBJECT

public:
    TfrmKestrelWizard();

    QLabel* lblStepNumber;
    QLabel* lblActionRequired;
    QPlainTextEdit* memStepDescription;
    QLineEdit* edbUserInfo;
    QLabel* lblVerifyPassword;
    QLineEdit* edbPasswordVerification;
    QComboBox* cmbUserChoice;
    QPushButton* btnBrowseForFolder;
    QPushButton* btnBack;
    QPushButton* btnNext;
    QPushButton* btnCancel;

    const SetupWizardProcedure& procedure() const { return m_procedure; }

private:
    void buildControls();
    void showStep();
    SetupWizardProcedure::Answer answer() const;
    void handle(SetupWizardProcedure::Outcome outcome);
    void browseForFolder();

    SetupWizardProcedure m_procedure;
};
