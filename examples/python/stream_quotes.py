"""Streams quotes of SBER from kexsim, the simulated server, started in this
process: python3 stream_quotes.py [COUNT]  (with the quarnel3 package
installed, see python/README.md)."""

import asyncio
import sys

import quarnel3


async def stream_quotes(count):
    with quarnel3.Simulator() as sim, quarnel3.Client() as client:
        client.connect(*sim.connection)
        client.wait("Connected")
        client.ListenQuotes("SBER")
        async for quote in client.events("UpdateQuote"):
            print(quote["datetime"], quote["symbol"], "last", quote["last"], "bid", quote["bid"], "ask", quote["ask"])
            count -= 1
            if count == 0:
                break


if __name__ == "__main__":
    asyncio.run(stream_quotes(int(sys.argv[1]) if len(sys.argv) > 1 else 10))
