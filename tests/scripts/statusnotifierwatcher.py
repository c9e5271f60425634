"""A python-dbusmock template: a desktop's tray watcher with a tray host registered.

Qt serves tray icons as StatusNotifierItems when org.kde.StatusNotifierWatcher says
IsStatusNotifierHostRegistered. Each item registers itself with
RegisterStatusNotifierItem; the call is logged and its argument kept in
RegisteredStatusNotifierItems, as a real watcher lists it to the hosts.
"""

import dbus

BUS_NAME = 'org.kde.StatusNotifierWatcher'
MAIN_OBJ = '/StatusNotifierWatcher'
MAIN_IFACE = 'org.kde.StatusNotifierWatcher'
SYSTEM_BUS = False


def load(mock, parameters):
    del parameters
    mock.AddProperties(MAIN_IFACE, {
        'IsStatusNotifierHostRegistered': dbus.Boolean(True),
        'ProtocolVersion': dbus.Int32(0),
        'RegisteredStatusNotifierItems': dbus.Array([], signature='s'),
    })
    mock.AddMethods(MAIN_IFACE, [
        ('RegisterStatusNotifierItem', 's', '',
         'items = self.Get("%s", "RegisteredStatusNotifierItems"); '
         'self.Set("%s", "RegisteredStatusNotifierItems", '
         'dbus.Array(list(items) + [args[0]], signature="s"))' % (MAIN_IFACE, MAIN_IFACE)),
        ('RegisterStatusNotifierHost', 's', '', ''),
    ])
