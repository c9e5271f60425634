#include "transport/CDBurner.h"

#include "core/EditionProfile.h"
#include "core/FileSystemTree.h"
#include "core/PrivateFiles.h"
#include "core/QuayRegistryObject.h"
#include "transport/BurnerSearch.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMetaObject>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>

#include <thread>

namespace {

const QString ImagePrefix = QStringLiteral("stdio:");

// What xorriso said about a failed burn: its FAILURE and SORRY lines, or its last line.
QString burnFailureText(const QString& output)
{
    QStringList said;
    QString last;
    for (const QString& line : output.split(QLatin1Char('\n'))) {
        const QString text = line.trimmed();
        if (text.isEmpty())
            continue;
        last = text;
        if (text.contains(QLatin1String(": FAILURE :")) ||
            text.contains(QLatin1String(": SORRY :")))
            said.append(text);
    }
    if (said.isEmpty() && !last.isEmpty())
        said.append(last);
    if (said.isEmpty())
        return QStringLiteral("xorriso could not be started or said nothing.");
    return said.mid(0, 3).join(QLatin1Char(' '));
}

} // namespace

const QString TCDBurner::NoBurnerFound = QStringLiteral("No CD Burner was found");

TCDBurner::TCDBurner(std::shared_ptr<DiscWriter> writer, QObject* parent)
    : QObject(parent), m_writer(writer ? std::move(writer) : std::make_shared<XorrisoDiscWriter>())
{
    const QString device = TQuayRegistryObject().ReadCDBurnerDevice().trimmed();
    if (device.isEmpty()) {
        m_lastError = NoBurnerFound;
        return;
    }
    if (device.startsWith(ImagePrefix)) {
        // An image file can be written when its folder exists.
        const QFileInfo image(device.mid(ImagePrefix.size()));
        if (!image.absoluteDir().exists()) {
            m_lastError = NoBurnerFound;
            return;
        }
    } else {
        const DiscWriter::Result devices = m_writer->run({QStringLiteral("-devices")});
        if (!devices.ran) {
            m_lastError = QStringLiteral("No disc writing program present: xorriso could not be "
                                         "started");
            return;
        }
        if (!devices.output.contains(QStringLiteral("'") + device + QStringLiteral("'"))) {
            m_lastError = NoBurnerFound;
            return;
        }
    }
    m_drive = device;
    m_equipped = true;
}

TCDBurner::~TCDBurner() = default;

QString TCDBurner::BurnArea()
{
    return QDir(programFolder(Edition::KestrelCD)).filePath(QStringLiteral("Burn Area")) +
           QLatin1Char('/');
}

qint64 TCDBurner::BurnSize() const
{
    qint64 total = 0;
    QDirIterator it(BurnArea(), QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        total += it.fileInfo().size();
    }
    return total;
}

bool TCDBurner::ClearFiles()
{
    if (m_burning) {
        m_lastError = QStringLiteral("Cannot delete staging files while burning!");
        return false;
    }
    const QString area = BurnArea();
    FileSystemTree::removeFolderTree(area);
    PrivateFiles::makePrivateFolder(area);
    int left = 0;
    QDirIterator it(area, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        ++left;
    }
    if (left > 0) {
        m_lastError = QStringLiteral("Could not delete %1 files/folders in burn area").arg(left);
        return false;
    }
    return true;
}

void TCDBurner::StartBurn()
{
    if (m_burning || !m_equipped) {
        Q_EMIT OnBurnDone(-1);
        return;
    }
    m_burning = true;
    const QStringList arguments{QStringLiteral("-md5"), QStringLiteral("on"),
                                QStringLiteral("-dev"), m_drive,
                                QStringLiteral("-map"), BurnArea(),
                                QStringLiteral("/"),    QStringLiteral("-commit"),
                                QStringLiteral("-end")};
    // The thread holds the writer, so a burner destroyed meanwhile only loses the end.
    const QPointer<TCDBurner> self(this);
    std::thread([self, writer = m_writer, arguments] {
        const DiscWriter::Result result = writer->run(arguments);
        QMetaObject::invokeMethod(
            self.data(),
            [self, ok = result.ok(), output = result.output] {
                if (self)
                    self->burnFinished(ok, output);
            },
            Qt::QueuedConnection);
    }).detach();
}

void TCDBurner::burnFinished(bool ok, const QString& output)
{
    m_burning = false;
    m_lastBurnOk = ok;
    if (!ok)
        m_lastError = burnFailureText(output);
    // The files are on the disc: the burn area is emptied as a completed burn does.
    if (ok)
        ClearFiles();
    Q_EMIT OnBurnDone(0);
}

bool TCDBurner::isImageFile() const
{
    return m_drive.startsWith(ImagePrefix);
}

void TCDBurner::CloseCD()
{
    if (!m_equipped || isImageFile())
        return;
    QProcess::execute(QStringLiteral("eject"), {QStringLiteral("-t"), m_drive});
}

QHash<QString, qint64> TCDBurner::DiscFiles() const
{
    QHash<QString, qint64> files;
    if (!m_equipped)
        return files;
    if (isImageFile() && !QFileInfo::exists(m_drive.mid(ImagePrefix.size())))
        return files;
    const DiscWriter::Result result = m_writer->run(
        {QStringLiteral("-indev"), m_drive, QStringLiteral("-find"), QStringLiteral("/"),
         QStringLiteral("-type"), QStringLiteral("f"), QStringLiteral("-exec"),
         QStringLiteral("lsdl"), QStringLiteral("--"), QStringLiteral("-end")});
    // "-rw-r--r--    1 0        0           1234 Dec  9 07:03 '/path/name'"
    static const QRegularExpression line(QStringLiteral(
        "^-\\S+\\s+\\d+\\s+\\S+\\s+\\S+\\s+(\\d+)\\s+\\S+\\s+\\d+\\s+\\S+\\s+'(.*)'$"));
    for (const QString& text : result.output.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = line.match(text);
        if (match.hasMatch())
            files.insert(BurnerSearch::unquoted(match.captured(2)), match.captured(1).toLongLong());
    }
    return files;
}

bool TCDBurner::CheckDiscMd5() const
{
    // Without "-md5 on" before the disc is read its sums are not loaded, and the
    // check passes without comparing anything.
    if (!m_equipped)
        return false;
    return m_writer
        ->run({QStringLiteral("-md5"), QStringLiteral("on"), QStringLiteral("-indev"), m_drive,
               QStringLiteral("-check_md5_r"), QStringLiteral("FAILURE"), QStringLiteral("/"),
               QStringLiteral("--"), QStringLiteral("-end")})
        .ok();
}
