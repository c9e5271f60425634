#include "ui/DCMinTray.h"

#include "ui/StatusNotifierTray.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

TDCMinTray::TDCMinTray(QWidget* window, TrayAvailable trayAvailable, ActivationOnly activationOnly)
    : QObject(window), m_window(window), m_trayAvailable(std::move(trayAvailable)),
      m_activationOnly(std::move(activationOnly)), m_icon(new QSystemTrayIcon(this))
{
    if (!m_trayAvailable)
        m_trayAvailable = [] {
            return QSystemTrayIcon::isSystemTrayAvailable();
        };
    if (!m_activationOnly)
        m_activationOnly = &isStatusNotifierTray;
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // A tray host that sends activations decides itself which gesture
                // activates the icon, and no double click ever follows; its activation
                // is the restore action in either mode, else the icon could never bring
                // the window back.
                if ((reason == QSystemTrayIcon::DoubleClick && m_restoreMode == rmDblClick) ||
                    (reason == QSystemTrayIcon::Trigger &&
                     (m_restoreMode == rmClick || m_activationOnly())))
                    restore();
            });
}

TDCMinTray::~TDCMinTray()
{
    removeIcon();
}

void TDCMinTray::SetHideWhenMinimized(bool hide)
{
    m_hideWhenMinimized = hide;
    if (!m_minimised)
        return;
    if (hidingActive())
        m_window->hide();
    else
        m_window->showMinimized();
}

void TDCMinTray::SetHint(const QString& hint)
{
    m_hint = hint;
    if (m_icon->isVisible())
        m_icon->setToolTip(shownTip());
}

void TDCMinTray::SetPopupMenu(QMenu* menu)
{
    m_icon->setContextMenu(menu);
}

void TDCMinTray::SetTrayMode(TDCTrayMode mode)
{
    m_trayMode = mode;
    if (mode == tmAlways)
        showIcon();
    else if (!m_minimised)
        removeIcon();
}

QString TDCMinTray::shownTip() const
{
    QString tip = m_hint.isEmpty() ? QApplication::applicationName() : m_hint;
    if (tip.size() > MaxTipLength) {
        tip.truncate(MaxTipLength);
        // Never half a surrogate pair.
        if (tip.back().isHighSurrogate())
            tip.chop(1);
    }
    return tip;
}

bool TDCMinTray::hidingActive() const
{
    return m_hideWhenMinimized && m_trayAvailable();
}

bool TDCMinTray::keepsWindowHidden() const
{
    return m_minimised && hidingActive();
}

void TDCMinTray::windowStateChanged()
{
    const bool minimised = m_window->isMinimized();
    if (minimised == m_minimised)
        return;
    if (!minimised) {
        // Restored another way (the desktop's own window list).
        m_minimised = false;
        if (m_trayMode == tmOnMinimize)
            removeIcon();
        return;
    }
    m_minimised = true;
    if (!m_trayAvailable())
        return;
    if (m_trayMode == tmOnMinimize)
        showIcon();
    // Hidden once the state change is through: hiding inside it would undo it.
    if (m_hideWhenMinimized)
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_minimised)
                    m_window->hide();
            },
            Qt::QueuedConnection);
}

void TDCMinTray::restore()
{
    m_minimised = false;
    m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->show();
    m_window->activateWindow();
    if (m_trayMode == tmOnMinimize)
        removeIcon();
}

void TDCMinTray::showIcon()
{
    if (!m_trayAvailable() || m_icon->isVisible())
        return;
    m_icon->setIcon(m_window->windowIcon());
    m_icon->setToolTip(shownTip());
    m_icon->show();
}

void TDCMinTray::removeIcon()
{
    if (m_icon->isVisible())
        m_icon->hide();
}
