"""Clients and simulators still open when the interpreter exits are closed
first, while their threads can still take the GIL: clients before
simulators, so that no session is cut under a live client."""

import atexit
import weakref

_clients = weakref.WeakSet()
_simulators = weakref.WeakSet()


def close_client_at_exit(client):
    _clients.add(client)


def stop_simulator_at_exit(simulator):
    _simulators.add(simulator)


@atexit.register
def _close_all():
    for client in list(_clients):
        client.close()
    for simulator in list(_simulators):
        simulator.stop()
