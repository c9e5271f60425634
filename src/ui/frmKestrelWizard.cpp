#include "ui/frmKestrelWizard.h"

#include "core/Prompt.h"
#include "core/Services.h"
#include "ui/BurnerField.h"
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
    connect(btnBrowseForFolder, &QPushButton::clicked, this, &TfrmKestrelWizard::browse);
    showStep();
}

void TfrmKestrelWizard::setDiscWriter(std::shared_ptr<DiscWriter> writer)
{
    m_burner->setDiscWriter(std::move(writer));
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
    cmbBurner = new QComboBox(this);
    cmbBurner->setObjectName(QStringLiteral("cmbBurner"));
    m_burner = new BurnerField(cmbBurner, this);
    answers->addWidget(cmbBurner, 1, 0);
    btnBrowseForFolder =
        makeButton(this, QStringLiteral("btnBrowseForFolder"), QStringLiteral("Browse..."));
    answers->addWidget(btnBrowseForFolder, 1, 1);
    answers->setColumnStretch(0, 1);
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
    m_kind = view.kind;
    const bool password = m_kind == WizardStepKind::Password;
    const bool burner = m_kind == WizardStepKind::Burner;
    const bool typed = m_kind != WizardStepKind::YesNo && !burner;
    QWidget* field = typed    ? static_cast<QWidget*>(edbUserInfo)
                     : burner ? static_cast<QWidget*>(cmbBurner)
                              : cmbUserChoice;

    memStepDescription->clear();
    lblStepNumber->setText(view.stepLine);
    lblActionRequired->setText(view.question);
    edbUserInfo->setVisible(typed);
    edbUserInfo->setEchoMode(password ? QLineEdit::Password : QLineEdit::Normal);
    edbUserInfo->setText(typed ? view.text : QString());
    lblVerifyPassword->setVisible(password);
    edbPasswordVerification->setVisible(password);
    edbPasswordVerification->setText(password ? view.text : QString());
    cmbUserChoice->setVisible(field == cmbUserChoice);
    cmbUserChoice->setCurrentIndex(view.yes ? 1 : 0);
    cmbBurner->setVisible(burner);
    if (burner) {
        m_burner->setDevice(view.text);
        m_burner->search();
    }
    btnBrowseForFolder->setVisible(m_kind == WizardStepKind::Folder || burner);
    lblActionRequired->setBuddy(field);
    memStepDescription->setPlainText(view.explanation);
    btnBack->setVisible(view.backVisible);
    btnNext->setText(view.nextCaption);
    field->setFocus();
}

SetupWizardProcedure::Answer TfrmKestrelWizard::answer() const
{
    return {m_kind == WizardStepKind::Burner ? m_burner->device() : edbUserInfo->text(),
            edbPasswordVerification->text(), cmbUserChoice->currentText() != QLatin1String("No")};
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

void TfrmKestrelWizard::browse()
{
    if (m_kind == WizardStepKind::Burner) {
        m_burner->chooseImageFile();
        return;
    }
    const std::optional<QString> folder =
        Services::prompt().chooseFolder(QStringLiteral("Select Folder"), QDir::homePath());
    if (folder)
        edbUserInfo->setText(*folder);
}
