#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QMenu;
class QSystemTrayIcon;
class QWidget;

// The main window's place in the notification area: while the window is minimised it
// leaves the taskbar and shows as a tray icon; a double click brings it back (on a
// tray that reports only activations, the activation does) and a right click offers
// the pop-up menu. Where the desktop has no tray the window is never hidden, so it can
// always be found again.
class TDCMinTray : public QObject
{
    Q_OBJECT

public:
    enum TDCRestoreMode
    {
        rmClick,
        rmDblClick
    };
    enum TDCTrayMode
    {
        tmOnMinimize,
        tmAlways
    };

    // Whether the desktop has a tray; the system's answer unless a test says otherwise.
    using TrayAvailable = std::function<bool()>;
    // Whether the tray reports one activation for the desktop's own gesture instead of
    // clicks and double clicks (isStatusNotifierTray() unless a test says otherwise).
    using ActivationOnly = std::function<bool()>;

    explicit TDCMinTray(QWidget* window, TrayAvailable trayAvailable = {},
                        ActivationOnly activationOnly = {});
    ~TDCMinTray() override;

    bool HideWhenMinimized() const { return m_hideWhenMinimized; }
    void SetHideWhenMinimized(bool hide);
    // The icon's tooltip; empty means the application's name. Cut to MaxTipLength.
    const QString& Hint() const { return m_hint; }
    void SetHint(const QString& hint);
    void SetPopupMenu(QMenu* menu);
    TDCRestoreMode RestoreMode() const { return m_restoreMode; }
    void SetRestoreMode(TDCRestoreMode mode) { m_restoreMode = mode; }
    TDCTrayMode TrayMode() const { return m_trayMode; }
    void SetTrayMode(TDCTrayMode mode);

    // Called by the window when its minimised state changes.
    void windowStateChanged();
    // The window was minimised into the tray and stays hidden until restored.
    bool keepsWindowHidden() const;
    void restore();

    QSystemTrayIcon* icon() const { return m_icon; }
    QString shownTip() const;

    static constexpr int MaxTipLength = 63;

private:
    bool hidingActive() const;
    void showIcon();
    void removeIcon();

    QWidget* m_window;
    TrayAvailable m_trayAvailable;
    ActivationOnly m_activationOnly;
    QSystemTrayIcon* m_icon;
    bool m_hideWhenMinimized = true;
    QString m_hint;
    TDCRestoreMode m_restoreMode = rmDblClick;
    TDCTrayMode m_trayMode = tmOnMinimize;
    bool m_minimised = false;
};
