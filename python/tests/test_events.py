"""Events as dicts named as kxcli's JSON lines: quotes through the asyncio
iterator, the order book through callbacks on the component's threads, an
order placed, refused by the exchange and cancelled."""

import asyncio
import contextlib
import datetime
import io
import threading
import time
import unittest

from support import TIMEOUT, SessionTest

QUOTE_FIELDS = ["event", "symbol", "datetime", "open", "high", "low", "close", "last", "volume", "size", "bid", "ask",
                "bidsize", "asksize", "open_int", "go_buy", "go_sell", "go_base", "go_base_backed", "high_limit",
                "low_limit", "trading_status", "volat", "theor_price"]


class Quotes(SessionTest):
    def test_quotes_stream_through_the_async_iterator(self):
        self.connect()

        async def first_quotes(count):
            quotes = []
            async with self.client.events("UpdateQuote") as stream:
                self.client.ListenQuotes("SBER")
                async for quote in stream:
                    quotes.append(quote)
                    if len(quotes) == count:
                        return quotes

        quotes = asyncio.run(asyncio.wait_for(first_quotes(3), TIMEOUT))
        for quote in quotes:
            self.assertEqual(list(quote), QUOTE_FIELDS)
            self.assertEqual(quote["symbol"], "SBER")
            self.assertIsInstance(quote["datetime"], datetime.datetime)
            self.assertIsInstance(quote["last"], float)
            self.assertIsInstance(quote["trading_status"], int)

    def test_the_iterator_ends_when_the_client_closes(self):
        async def read_until_closed():
            stream = self.client.events()
            asyncio.get_running_loop().call_later(0.2, self.client.close)
            return [event async for event in stream]

        self.connect()
        self.assertEqual(asyncio.run(asyncio.wait_for(read_until_closed(), TIMEOUT)), [])

    def test_no_event_comes_after_close(self):
        closed = threading.Event()
        late = []
        self.client.on_event(lambda event: late.append(event) if closed.is_set() else None)
        self.connect()
        self.client.ListenQuotes("SBER")
        self.client.ListenBidAsks("SBER")
        self.client.wait("UpdateQuote", count=2, timeout=TIMEOUT)
        started = time.monotonic()
        self.client.close()
        closed.set()
        self.assertLess(time.monotonic() - started, 5.0)
        time.sleep(1.5)  # longer than the simulator takes between quotes
        self.assertEqual(late, [])


class Book(SessionTest):
    def test_book_rows_reach_callbacks_on_the_components_threads(self):
        rows = []
        threads = set()
        complete = threading.Event()

        @self.client.on("UpdateBidAsk")
        def row(event):
            rows.append(event)
            threads.add(threading.get_ident())
            if event["row"] == event["nrows"] - 1:
                complete.set()

        self.connect()
        self.client.ListenBidAsks("SBER")
        self.assertTrue(complete.wait(TIMEOUT))
        book = rows[:rows[0]["nrows"]]
        self.assertEqual([r["row"] for r in book], list(range(len(book))))
        self.assertEqual(list(book[0]), ["event", "symbol", "row", "nrows", "bid", "bidsize", "ask", "asksize"])
        self.assertEqual({r["symbol"] for r in book}, {"SBER"})
        self.assertNotIn(threading.get_ident(), threads)

    def test_a_handler_that_raises_does_not_stop_the_others(self):
        seen = []

        def broken(event):
            raise RuntimeError("broken handler")

        self.client.on_event(broken)
        self.client.on("Connected", seen.append)
        errors = io.StringIO()
        with contextlib.redirect_stderr(errors):
            self.connect()
            # The report is written on the firing thread, which may still be
            # writing it when Connected has reached the waiter.
            deadline = time.monotonic() + TIMEOUT
            while "broken handler" not in errors.getvalue() and time.monotonic() < deadline:
                time.sleep(0.01)
        self.assertEqual(seen, [{"event": "Connected"}])
        self.assertIn("broken handler", errors.getvalue())


class Orders(SessionTest):
    def test_an_order_is_placed_refused_and_cancelled(self):
        self.connect()
        # A limit buy far below the market rests in the book.
        self.assertIsNone(self.client.PlaceOrder("D-10001", "SBER", 1, 2, 1, 100.0, 3, 1.25, 7))
        placed = self.client.wait("OrderSucceeded", timeout=TIMEOUT)
        self.assertEqual(placed, {"event": "OrderSucceeded", "cookie": 7, "orderid": "1000000001"})
        # A price off the tick is refused by the exchange, with its own text.
        self.client.PlaceOrder("D-10001", "SBER", 1, 2, 1, 100.005, 3, 0.0, 8)
        failed = self.client.wait("OrderFailed", timeout=TIMEOUT)
        self.assertEqual(failed, {"event": "OrderFailed", "cookie": 8, "orderid": "1000000002",
                                  "reason": "Неверная цена"})
        self.client.CancelOrder("D-10001", "SBER", placed["orderid"])
        cancelled = self.client.wait("OrderCancelSucceeded", timeout=TIMEOUT)
        self.assertEqual(cancelled, {"event": "OrderCancelSucceeded", "orderid": "1000000001"})


if __name__ == "__main__":
    unittest.main()
