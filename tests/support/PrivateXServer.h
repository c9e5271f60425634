#pragma once

#include <QProcess>
#include <QString>

// An X server of the test's own (Xvfb) on a display number it finds free itself, so
// tests of the real X11 side (the xcb platform, the desktop's tray) never touch the
// user's display. Start it before the QApplication and call exportAsDisplay(): the
// platform plugin opens DISPLAY once, when the application is created.
class PrivateXServer
{
public:
    PrivateXServer();
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    // ":<number>", or empty when Xvfb did not start; errorText() says why.
    QString display() const { return m_display; }
    QString errorText() const { return m_error; }

    void exportAsDisplay() const;

private:
    QProcess m_server;
    QString m_display;
    QString m_error;
};
