'''A session manager with GNOME's client interface, as a dbusmock template.

RegisterClient makes one client object; the test drives it through the Mock
interface (EmitSignal QueryEndSession, EndSession, Stop) and reads the client's
EndSessionResponse answers from the call log.
'''

import dbus

BUS_NAME = 'org.gnome.SessionManager'
MAIN_OBJ = '/org/gnome/SessionManager'
MAIN_IFACE = 'org.gnome.SessionManager'
SYSTEM_BUS = False

CLIENT_PATH = '/org/gnome/SessionManager/Client1'
CLIENT_IFACE = 'org.gnome.SessionManager.ClientPrivate'


def load(mock, parameters):
    mock.AddMethods(MAIN_IFACE, [
        ('RegisterClient', 'ss', 'o',
         f'if "{CLIENT_PATH}" not in objects:\n'
         f'    self.AddObject("{CLIENT_PATH}", "{CLIENT_IFACE}", {{}}, '
         f'[("EndSessionResponse", "bs", "", "")])\n'
         f'ret = dbus.ObjectPath("{CLIENT_PATH}")'),
        ('UnregisterClient', 'o', '', ''),
    ])
