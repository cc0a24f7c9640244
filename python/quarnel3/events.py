"""Events of the component spread to callbacks, waiters and asyncio streams.

``EventHub.dispatch`` runs on the component's threads with the GIL held; it
never holds its lock while user code runs.
"""

import asyncio
import collections
import sys
import threading
import traceback
import weakref

_END = object()


def _report_handler_error(handler):
    print(f"quarnel3: the event handler {handler!r} raised:", file=sys.stderr)
    traceback.print_exc()


class EventHub:
    def __init__(self):
        self._arrived = threading.Condition(threading.Lock())
        self._handlers = {}  # event name, or None for every event -> tuple of callables
        self._counts = collections.Counter()
        self._last = {}
        self._streams = weakref.WeakSet()

    def add_handler(self, name, handler):
        with self._arrived:
            self._handlers[name] = self._handlers.get(name, ()) + (handler,)

    def remove_handler(self, name, handler):
        with self._arrived:
            handlers = list(self._handlers.get(name, ()))
            if handler in handlers:
                handlers.remove(handler)
            self._handlers[name] = tuple(handlers)

    def add_stream(self, stream):
        with self._arrived:
            self._streams.add(stream)

    def remove_stream(self, stream):
        with self._arrived:
            self._streams.discard(stream)

    def dispatch(self, name, event):
        with self._arrived:
            self._counts[name] += 1
            self._last[name] = event
            self._arrived.notify_all()
            handlers = self._handlers.get(name, ()) + self._handlers.get(None, ())
            streams = tuple(self._streams)
        for handler in handlers:
            try:
                handler(event)
            except Exception:
                _report_handler_error(handler)
        for stream in streams:
            stream.offer(name, event)

    def wait(self, name, count, timeout):
        """The latest event `name` once `count` of them have come in total."""
        with self._arrived:
            if not self._arrived.wait_for(lambda: self._counts[name] >= count, timeout):
                raise TimeoutError(f"{count} {name} event(s) did not come within {timeout} s "
                                   f"({self._counts[name]} came)")
            return self._last[name]

    def count(self, name):
        with self._arrived:
            return self._counts[name]

    def end_streams(self):
        with self._arrived:
            streams = tuple(self._streams)
        for stream in streams:
            stream.end()


class EventStream:
    """An asyncio async iterator over the events (of the given names, or all)
    that arrive from its creation on. It ends when the client is closed.
    Made inside a running event loop; unread events wait in an unbounded
    queue."""

    def __init__(self, hub, names):
        self._loop = asyncio.get_running_loop()
        self._queue = asyncio.Queue()
        self._names = frozenset(names)
        self._hub = hub
        self._done = False
        hub.add_stream(self)

    def offer(self, name, event):
        if not self._names or name in self._names:
            self._put(event)

    def end(self):
        self._put(_END)

    def _put(self, item):
        try:
            self._loop.call_soon_threadsafe(self._queue.put_nowait, item)
        except RuntimeError:  # the loop is closed: nobody reads any more
            self._hub.remove_stream(self)

    def close(self):
        self._done = True
        self._hub.remove_stream(self)

    def __aiter__(self):
        return self

    async def __anext__(self):
        if self._done:
            raise StopAsyncIteration
        event = await self._queue.get()
        if event is _END:
            self.close()
            raise StopAsyncIteration
        return event

    async def aclose(self):
        self.close()

    async def __aenter__(self):
        return self

    async def __aexit__(self, *exc):
        self.close()
