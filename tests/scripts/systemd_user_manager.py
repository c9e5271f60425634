'''The manager of a systemd user instance, as a dbusmock template.

Answers the calls that install, start, stop and remove a timer, and GetUnit with
one timer object whose next run is the NextElapse parameter (microseconds since
the epoch; 0, none due).
'''

import dbus

BUS_NAME = 'org.freedesktop.systemd1'
MAIN_OBJ = '/org/freedesktop/systemd1'
MAIN_IFACE = 'org.freedesktop.systemd1.Manager'
SYSTEM_BUS = False

TIMER_PATH = '/org/freedesktop/systemd1/unit/kestrel_2dsolo_2etimer'
TIMER_IFACE = 'org.freedesktop.systemd1.Timer'
JOB = 'ret = dbus.ObjectPath("/org/freedesktop/systemd1/job/1")'


def load(mock, parameters):
    mock.AddObject(TIMER_PATH, TIMER_IFACE, {
        'NextElapseUSecRealtime': dbus.UInt64(parameters.get('NextElapse', 0)),
    }, [])
    mock.AddMethods(MAIN_IFACE, [
        ('Reload', '', '', ''),
        ('EnableUnitFiles', 'asbb', 'ba(sss)', 'ret = (True, [])'),
        ('DisableUnitFiles', 'asb', 'a(sss)', 'ret = []'),
        ('RestartUnit', 'ss', 'o', JOB),
        ('StopUnit', 'ss', 'o', JOB),
        ('GetUnit', 's', 'o', f'ret = dbus.ObjectPath("{TIMER_PATH}")'),
    ])
