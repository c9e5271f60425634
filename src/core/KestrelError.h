#pragma once

#include <QString>

#include <exception>

// The error the data and transport classes raise; the window's handlers catch it
// and show its text as a status line or in a message box.
class KestrelError : public std::exception
{
public:
    explicit KestrelError(QString message)
        : m_message(std::move(message)), m_utf8(m_message.toUtf8())
    {}

    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};
