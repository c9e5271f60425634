#include "ui/BurnerField.h"

#include "core/Prompt.h"
#include "core/Services.h"
#include "transport/BurnerSearch.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>

namespace {
const QString ImagePrefix = QStringLiteral("stdio:");
} // namespace

BurnerField::BurnerField(QComboBox* box, QObject* parent)
    : QObject(parent), m_box(box), m_search(new BurnerSearch(this))
{
    m_box->setEditable(true);
    m_box->setInsertPolicy(QComboBox::NoInsert);
    m_box->setToolTip(QStringLiteral("The CD or DVD burner to write to, or an image file "
                                     "written as stdio:<path>"));
    connect(m_search, &BurnerSearch::found, this, &BurnerField::fill);
}

void BurnerField::setDiscWriter(std::shared_ptr<DiscWriter> writer)
{
    m_search->setDiscWriter(std::move(writer));
}

void BurnerField::search()
{
    if (m_search->running())
        return;
    if (m_box->count() == 0)
        m_box->lineEdit()->setPlaceholderText(QStringLiteral("Looking for burners"));
    m_search->start();
}

QString BurnerField::device() const
{
    return m_box->currentText().trimmed();
}

void BurnerField::setDevice(const QString& device)
{
    // An empty setting takes the first burner found: most computers have one at most.
    // The list may have come before the settings were read, or after.
    if (device.trimmed().isEmpty() && m_box->count() > 0) {
        m_box->setCurrentIndex(0);
        return;
    }
    const int index = m_box->findText(device);
    m_box->setCurrentIndex(index);
    if (index < 0)
        m_box->setEditText(device);
}

void BurnerField::fill(const QList<BurnerDevice>& burners)
{
    const QString shown = m_box->currentText();
    m_box->clear();
    for (const BurnerDevice& burner : burners) {
        m_box->addItem(burner.device);
        m_box->setItemData(m_box->count() - 1, burner.description, Qt::ToolTipRole);
    }
    m_box->lineEdit()->setPlaceholderText(burners.isEmpty() ? QStringLiteral("No burner found")
                                                            : QString());
    setDevice(shown);
}

void BurnerField::chooseImageFile()
{
    const QString current = device();
    const QString start =
        current.startsWith(ImagePrefix) ? current.mid(ImagePrefix.size()) : QDir::homePath();
    const std::optional<QString> image =
        Services::prompt().chooseNewFile(QStringLiteral("Select Image File"), start,
                                         QStringLiteral("Disc images (*.iso);;All files (*)"));
    if (!image)
        return;
    const QFileInfo file(*image);
    if (file.isDir()) {
        Services::prompt().notify(
            QStringLiteral("\"%1\" is a folder: choose a file name for the image.")
                .arg(QDir::toNativeSeparators(file.absoluteFilePath())),
            Prompt::Icon::Error);
        return;
    }
    // The burn makes the image, but not the folder it goes in.
    if (!file.absoluteDir().exists()) {
        Services::prompt().notify(
            QStringLiteral("The image file cannot be written there: the folder \"%1\" does "
                           "not exist.")
                .arg(QDir::toNativeSeparators(file.absolutePath())),
            Prompt::Icon::Error);
        return;
    }
    setDevice(ImagePrefix + file.absoluteFilePath());
}
