#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
const char* const Variables[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                                 "XDG_STATE_HOME"};
}

TestEnvironment::TestEnvironment(const QString& edition)
    : m_previousName(QCoreApplication::applicationName())
{
    const QString base = m_dir.path();
    const QString folders[] = {
        base + QStringLiteral("/home"), base + QStringLiteral("/home/.config"),
        base + QStringLiteral("/home/.local/share"), base + QStringLiteral("/home/.cache"),
        base + QStringLiteral("/home/.local/state")};
    for (size_t i = 0; i < std::size(Variables); ++i) {
        m_previousEnv.append({Variables[i], qgetenv(Variables[i])});
        QDir().mkpath(folders[i]);
        qputenv(Variables[i], QFile::encodeName(folders[i]));
    }
    QCoreApplication::setApplicationName(edition);
    m_services = std::make_unique<ScopedServices>(
        Services::Set{&prompt, &clock, &autostart, &powerOff, &dialUp, &notifications,
                      &fileManagerMenu, &secretStore, &schedule});
}

TestEnvironment::~TestEnvironment()
{
    m_services.reset();
    QCoreApplication::setApplicationName(m_previousName);
    for (const auto& [name, value] : m_previousEnv)
        qputenv(name.constData(), value);
}

QString TestEnvironment::path(const QString& relative) const
{
    const QString full = m_dir.path() + QLatin1Char('/') + relative;
    QDir().mkpath(QFileInfo(full).absolutePath());
    return full;
}

QString TestEnvironment::writeFile(const QString& relative, const QByteArray& content) const
{
    const QString full = path(relative);
    QFile file(full);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return full;
}
