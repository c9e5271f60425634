#include "ui/WidgetPrompt.h"

#include "ui/QuayPasswordForm.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>

namespace {

QMessageBox::Icon boxIcon(Prompt::Icon icon)
{
    switch (icon) {
    case Prompt::Icon::Information:
        return QMessageBox::Information;
    case Prompt::Icon::Confirmation:
        return QMessageBox::Question;
    case Prompt::Icon::Warning:
        return QMessageBox::Warning;
    case Prompt::Icon::Error:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

} // namespace

QPointer<QMessageBox> WidgetPrompt::makeBox(Icon icon, const QString& text) const
{
    // Owned by the window the user is in, so that the box stays above it, even above
    // a window that stays on top of all others (the auto-run countdown). That window
    // may go while the box is open, taking the box with it: hence the guarded pointer.
    QWidget* active = QApplication::activeWindow();
    QPointer<QMessageBox> box =
        new QMessageBox(boxIcon(icon), QApplication::applicationName(), text, QMessageBox::NoButton,
                        active ? active : m_parent);
    // Texts carry what servers and files say (a certificate's names, a server's reply):
    // never taken as markup, so they cannot change how a question reads.
    box->setTextFormat(Qt::PlainText);
    return box;
}

Prompt::Answer WidgetPrompt::ask(const QString& text, Buttons buttons, Icon icon)
{
    const QPointer<QMessageBox> box = makeBox(icon, text);
    switch (buttons) {
    case Buttons::YesNo:
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case Buttons::YesNoDefaultNo:
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(QMessageBox::No);
        break;
    case Buttons::YesNoCancel:
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    case Buttons::YesNoAllCancel:
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::YesToAll |
                                QMessageBox::Cancel);
        break;
    case Buttons::Ok:
        box->setStandardButtons(QMessageBox::Ok);
        break;
    }
    const int result = box->exec();
    delete box;
    switch (result) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::YesToAll:
        return Answer::YesToAll;
    case QMessageBox::Ok:
        return Answer::Ok;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    default:
        return Answer::No;
    }
}

void WidgetPrompt::notify(const QString& text, Icon icon)
{
    const QPointer<QMessageBox> box = makeBox(icon, text);
    box->setStandardButtons(QMessageBox::Ok);
    box->exec();
    delete box;
}

std::optional<QString> WidgetPrompt::inputText(const QString& caption, const QString& label,
                                               const QString& initial)
{
    bool ok = false;
    const QString text =
        QInputDialog::getText(m_parent, caption, label, QLineEdit::Normal, initial, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

std::optional<QString> WidgetPrompt::inputPassword(const QString& caption, const QString& label)
{
    bool ok = false;
    const QString text =
        QInputDialog::getText(m_parent, caption, label, QLineEdit::Password, QString(), &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

std::optional<QString> WidgetPrompt::chooseFile(const QString& title, const QString& startFolder,
                                                const QString& filter)
{
    const QString file = QFileDialog::getOpenFileName(m_parent, title, startFolder, filter);
    if (file.isEmpty())
        return std::nullopt;
    return file;
}

std::optional<QStringList>
WidgetPrompt::chooseFiles(const QString& title, const QString& startFolder, const QString& filter)
{
    const QStringList files = QFileDialog::getOpenFileNames(m_parent, title, startFolder, filter);
    if (files.isEmpty())
        return std::nullopt;
    return files;
}

std::optional<QString> WidgetPrompt::chooseNewFile(const QString& title, const QString& startPath,
                                                   const QString& filter)
{
    // The file is written to without asking (a disc image is appended to), as Prompt says.
    const QString file = QFileDialog::getSaveFileName(m_parent, title, startPath, filter, nullptr,
                                                      QFileDialog::DontConfirmOverwrite);
    if (file.isEmpty())
        return std::nullopt;
    return file;
}

std::optional<QString> WidgetPrompt::chooseFolder(const QString& caption,
                                                  const QString& startFolder)
{
    const QString folder = QFileDialog::getExistingDirectory(m_parent, caption, startFolder);
    if (folder.isEmpty())
        return std::nullopt;
    return folder;
}

std::optional<Prompt::PasswordPair> WidgetPrompt::askPasswordPair(const QString& caption,
                                                                  const PasswordPair& typed)
{
    TQuayPasswordForm form(m_parent);
    form.setWindowTitle(caption);
    form.ebPasswordOne->setText(typed.first);
    form.ebPasswordTwo->setText(typed.second);
    if (form.exec() != QDialog::Accepted)
        return std::nullopt;
    return PasswordPair{form.ebPasswordOne->text(), form.ebPasswordTwo->text()};
}
