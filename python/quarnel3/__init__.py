"""quarnel3: the Quarnel3 KxServer component for Python.

    import quarnel3
    with quarnel3.Simulator() as sim, quarnel3.Client() as client:
        client.connect(*sim.connection)
        client.wait("Connected")
        client.ListenQuotes("SBER")
        client.on("UpdateQuote", print)

Events are dicts named as kxcli's JSON lines ({"event": "UpdateQuote",
"symbol": ..., "datetime": ..., ...}), delivered to callbacks on the
component's threads and to ``async for ev in client.events(...)``.
"""

from .client import Client, default_module, EVENTS, METHODS
from .errors import Error
from .simulator import Simulator

__all__ = ["Client", "Error", "Simulator", "default_module", "EVENTS", "METHODS"]
__version__ = "1.0.0"
