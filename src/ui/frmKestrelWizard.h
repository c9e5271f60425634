#pragma once

#include "core/SetupWizardProcedure.h"

#include <QWidget>

#include <memory>

class BurnerField;
class DiscWriter;
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
    // The burner step's field: the burners found, or an image file.
    QComboBox* cmbBurner;
    // "Browse...": the folder of the folder step, the image file of the burner step.
    QPushButton* btnBrowseForFolder;
    QPushButton* btnBack;
    QPushButton* btnNext;
    QPushButton* btnCancel;

    const SetupWizardProcedure& procedure() const { return m_procedure; }
    // The disc writer that lists the burners of the burner step; the real xorriso
    // unless set.
    void setDiscWriter(std::shared_ptr<DiscWriter> writer);
    BurnerField* burnerField() const { return m_burner; }

private:
    void buildControls();
    void showStep();
    SetupWizardProcedure::Answer answer() const;
    void handle(SetupWizardProcedure::Outcome outcome);
    void browse();

    SetupWizardProcedure m_procedure;
    BurnerField* m_burner = nullptr;
    WizardStepKind m_kind = WizardStepKind::Text;
};
