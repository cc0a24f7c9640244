"""quarnel3.Simulator: kexsim, the simulated server, in this process."""

from . import _quarnel3
from .lifetime import stop_simulator_at_exit


class Simulator:
    """Starts kexsim on free loopback ports as ``kxcli --sim`` does; connect
    with ``client.connect(*sim.connection)``. A context manager; stop()
    closes its ports and threads."""

    host = "127.0.0.1"

    def __init__(self, login="demo", password="demo", start=True):
        self.login = login
        self.password = password
        self._native = _quarnel3.Simulator()
        if start:
            self.start()

    def start(self):
        self._native.start()
        stop_simulator_at_exit(self)
        return self

    def stop(self):
        self._native.stop()

    @property
    def running(self):
        return self._native.running

    @property
    def port(self):
        """The TLS port, which takes the logon."""
        return self._native.tls_port

    @property
    def plain_port(self):
        return self._native.plain_port

    @property
    def connection(self):
        """(host, port, login, password): the arguments of connect."""
        return (self.host, self.port, self.login, self.password)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
