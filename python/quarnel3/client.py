"""quarnel3.Client: KxServer loaded in-process, as kxcli hosts it."""

import os

from . import _quarnel3
from .arguments import to_word
from .errors import Error
from .events import EventHub, EventStream
from .lifetime import close_client_at_exit

METHODS = frozenset(_quarnel3.SERVER_METHODS) | frozenset(_quarnel3.VERSION_METHODS)
EVENTS = frozenset(_quarnel3.EVENTS)
_BUNDLED_MODULE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "libquarnel3.so")


def default_module():
    """The registered module of Quarnel3.KxServer, else the one in this package."""
    return _quarnel3.registered_module() or _BUNDLED_MODULE


class Client:
    """One KxServer object with an event sink.

    Methods of the component are methods of the client by their type-library
    names (``client.connect(host, port, login, password)``,
    ``client.ListenQuotes("SBER")``); each answers its out value or return
    value (None when it has none) or raises quarnel3.Error.
    """

    def __init__(self, module=None):
        self._hub = EventHub()
        self._native = None
        path = os.fspath(module) if module is not None else default_module()
        try:
            self._native = _quarnel3.Client(path, self._hub.dispatch)
        except _quarnel3.OpenError as error:
            raise Error(str(error), source="quarnel3") from None
        close_client_at_exit(self)

    # ---- calls ----------------------------------------------------------------

    def call(self, method, *args):
        """Calls a method by name with the arguments converted to its
        parameters' declared types."""
        if self._native is None:
            raise Error("the client is closed", source="quarnel3", method=method)
        result = self._native.call(method, [to_word(a) for a in args])
        if result["hresult"] < 0:
            raise Error(result.get("error"), result["hresult"], result.get("source"), result["call"])
        return result.get("result")

    def __getattr__(self, name):
        if name not in METHODS:
            raise AttributeError(f"{type(self).__name__!r} object has no attribute {name!r}")

        def method(*args):
            return self.call(name, *args)

        method.__name__ = name
        return method

    def __dir__(self):
        return sorted(set(super().__dir__()) | METHODS)

    # ---- events ---------------------------------------------------------------

    def on(self, event, handler=None):
        """Calls handler(fields) for every event of that name, on the
        component's thread that fires it. Usable as a decorator."""
        if event not in EVENTS:
            raise ValueError(f"no event {event!r}; the events are {sorted(EVENTS)}")
        if handler is None:
            return lambda h: self.on(event, h)
        self._hub.add_handler(event, handler)
        return handler

    def on_event(self, handler):
        """Calls handler(fields) for every event; fields["event"] names it."""
        self._hub.add_handler(None, handler)
        return handler

    def off(self, event, handler):
        """Removes a handler given to on(event, ...) or, with event None, to on_event."""
        self._hub.remove_handler(event, handler)

    def events(self, *names):
        """An async iterator over the events from now on (only those named,
        if any are): ``async for ev in client.events("UpdateQuote"): ...``.
        Call it inside a running event loop."""
        unknown = set(names) - EVENTS
        if unknown:
            raise ValueError(f"no event {sorted(unknown)}; the events are {sorted(EVENTS)}")
        return EventStream(self._hub, names)

    def wait(self, event, count=1, timeout=10.0):
        """Blocks until `count` events of that name have come in total since
        the client was made; answers the latest. TimeoutError otherwise."""
        return self._hub.wait(event, count, timeout)

    def count(self, event):
        """How many events of that name have come so far."""
        return self._hub.count(event)

    # ---- life -----------------------------------------------------------------

    def close(self):
        """Releases the object (no disconnect call: that ends the session);
        no event comes after it and every events() iterator ends."""
        native, self._native = self._native, None
        if native is not None:
            native.close()
            self._hub.end_streams()

    @property
    def closed(self):
        return self._native is None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
