#include "ui/frmKestrelWizard.h"

#include "core/Prompt.h"
#include "core/Services.h"
#include "ui/ControlHelpers.h"

#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TfrmKestrelWizard::TfrmKestrelWizard()
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmKestrelWizard"));
    setWindowTitle(SetupWizardSteps::caption(currentEdition()));
    setAttribute(Qt::WA_DeleteOnClose);
    // The main window alone decides when the program ends.
    setAttribute(Qt::WA_QuitOnClose, false);
    buildControls();

    connect(btnNext, &QPushButton::clicked, this, [this] { handle(m_procedure.next(answer())); });
    connect(btnBack, &QPushButton::clicked, this, [this] { handle(m_procedure.back(answer())); });
    connect(btnCancel, &QPushButton::clicked, this, [this] {
        if (m_procedure.confirmCancel())
            close();
    });
    connect(btnBrowseForFolder, &QPushButton::clicked, this, &TfrmKestrelWizard::browseForFolder);
    showStep();
}

void TfrmKestrelWizard::buildControls()
{
    auto* layout = new QVBoxLayout(this);
    lblStepNumber = makeLabel(this, QStringLiteral("lblStepNumber"), QString());
    QFont bold = lblStepNumber->font();
    bold.setBold(true);
    lblStepNumber->setFont(bold);
    layout->addWidget(lblStepNumber);

    auto* answers = new QGridLayout;
    edbUserInfo = makeEdit(this, QStringLiteral("edbUserInfo"));
    lblActionRequired =
        makeLabel(this, QStringLiteral("lblActionRequired"), QString(), edbUserInfo);
    lblActionRequired->setWordWrap(true);
    answers->addWidget(lblActionRequired, 0, 0, 1, 2);
    answers->addWidget(edbUserInfo, 1, 0);
    btnBrowseForFolder =
        makeButton(this, QStringLiteral("btnBrowseForFolder"), QStringLiteral("Browse..."));
    answers->addWidget(btnBrowseForFolder, 1, 1);
    cmbUserChoice = new QComboBox(this);
    cmbUserChoice->setObjectName(QStringLiteral("cmbUserChoice"));
    cmbUserChoice->addItems({QStringLiteral("No"), QStringLiteral("Yes")});
    answers->addWidget(cmbUserChoice, 2, 0);
    edbPasswordVerification = makeEdit(this, QStringLiteral("edbPasswordVerification"),
                                       QStringLiteral("Retype password for verification."));
    edbPasswordVerification->setEchoMode(QLineEdit::Password);
    lblVerifyPassword = makeLabel(this, QStringLiteral("lblVerifyPassword"),
                                  QStringLiteral("Verify Password:"), edbPasswordVerification);
    answers->addWidget(lblVerifyPassword, 3, 0, 1, 2);
    answers->addWidget(edbPasswordVerification, 4, 0);
    layout->addLayout(answers);

    memStepDescription = new QPlainTextEdit(this);
    memStepDescription->setObjectName(QStringLiteral("memStepDescription"));
    memStepDescription->setReadOnly(true);
    memStepDescription->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(memStepDescription);

    auto* buttons = new QHBoxLayout;
    btnBack = makeButton(this, QStringLiteral("btnBack"), QStringLiteral("<< Back"));
    btnNext = makeButton(this, QStringLiteral("btnNext"), QStringLiteral("Next >>"));
    btnCancel = makeButton(this, QStringLiteral("btnCancel"), QStringLiteral("Cancel"));
    btnNext->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(btnBack);
    buttons->addWidget(btnNext);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    resize(440, 300);
}

void TfrmKestrelWizard::showStep()
{
    const SetupWizardProcedure::Shown view = m_procedure.shown();
    const WizardStepKind kind = view.kind;
    const bool password = kind == WizardStepKind::Password;
    const bool typed = kind != WizardStepKind::YesNo;

    memStepDescription->clear();
    lblStepNumber->setText(view.stepLine);
    lblActionRequired->setText(view.question);
    edbUserInfo->setVisible(typed);
    edbUserInfo->setEchoMode(password ? QLineEdit::Password : QLineEdit::Normal);
    edbUserInfo->setText(view.text);
    lblVerifyPassword->setVisible(password);
    edbPasswordVerification->setVisible(password);
    edbPasswordVerification->setText(password ? view.text : QString());
    cmbUserChoice->setVisible(!typed);
    cmbUserChoice->setCurrentIndex(view.yes ? 1 : 0);
    btnBrowseForFolder->setVisible(kind == WizardStepKind::Folder);
    lblActionRequired->setBuddy(typed ? static_cast<QWidget*>(edbUserInfo) : cmbUserChoice);
    memStepDescription->setPlainText(view.explanation);
    btnBack->setVisible(view.backVisible);
    btnNext->setText(view.nextCaption);
    (typed ? static_cast<QWidget*>(edbUserInfo) : cmbUserChoice)->setFocus();
}

SetupWizardProcedure::Answer TfrmKestrelWizard::answer() const
{
    return {edbUserInfo->text(), edbPasswordVerification->text(),
            cmbUserChoice->currentText() != QLatin1String("No")};
}

void TfrmKestrelWizard::handle(SetupWizardProcedure::Outcome outcome)
{
    switch (outcome) {
    case SetupWizardProcedure::Outcome::Stayed:
        break;
    case SetupWizardProcedure::Outcome::Moved:
        showStep();
        break;
    case SetupWizardProcedure::Outcome::Finished:
        close();
        break;
    }
}

void TfrmKestrelWizard::browseForFolder()
{
    const std::optional<QString> folder =
        Services::prompt().chooseFolder(QStringLiteral("Select Folder"), QDir::homePath());
    if (folder)
        edbUserInfo->setText(*folder);
}
