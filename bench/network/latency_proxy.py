#!/usr/bin/env python3
"""latency_proxy: a TCP relay on 127.0.0.1 that holds every byte, in each
direction, for a fixed delay before passing it on, so that a server on
loopback answers as one far away would: 10 ms one way adds 20 ms to every
round trip (a request and its answer, each flight of a TLS handshake).
This kernel has no netem; the benchmarks put this in front of a web server
instead. The connect itself is not delayed, and the bandwidth is not
limited: each direction holds up to 64 MiB in flight, so it passes well
over 50 MiB/s (webbench measures it through curl beside its rate cap).

    latency_proxy.py --port LISTEN --upstream PORT [--delay-ms 10]

It runs until it is killed."""
import argparse
import asyncio

CHUNK = 256 * 1024
QUEUED_CHUNKS = 256  # at most 64 MiB held per direction; reading waits beyond
BUFFER = 1 << 20     # the streams' buffers: large reads, few wake-ups


async def carry(reader, writer, delay):
    """Passes what reader receives to writer `delay` seconds later, the end
    of the stream included."""
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue(QUEUED_CHUNKS)

    async def forward():
        while True:
            due, data = await queue.get()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if not data:
                if writer.can_write_eof():
                    writer.write_eof()
                return
            writer.write(data)
            await writer.drain()

    sender = asyncio.create_task(forward())
    try:
        while True:
            data = await reader.read(CHUNK)
            await queue.put((loop.time() + delay, data))
            if not data:
                break
        await sender
    finally:
        sender.cancel()


def serve(upstream_port, delay):
    async def relay(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", upstream_port, limit=BUFFER)
        except OSError:
            client_writer.close()
            return
        for writer in (client_writer, server_writer):
            writer.transport.set_write_buffer_limits(high=BUFFER)
        directions = [asyncio.create_task(carry(client_reader, server_writer, delay)),
                      asyncio.create_task(carry(server_reader, client_writer, delay))]
        try:
            # A reset on either side ends both: the peer sees its connection go.
            await asyncio.wait(directions, return_when=asyncio.FIRST_EXCEPTION)
        finally:
            for direction in directions:
                direction.cancel()
            for writer in (client_writer, server_writer):
                writer.close()
    return relay


async def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--port", type=int, required=True, help="the port to listen on")
    parser.add_argument("--upstream", type=int, required=True, help="the server's port on 127.0.0.1")
    parser.add_argument("--delay-ms", type=float, default=10, help="the one-way delay (default 10 ms)")
    args = parser.parse_args()
    server = await asyncio.start_server(serve(args.upstream, args.delay_ms / 1000), "127.0.0.1", args.port,
                                        limit=BUFFER)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
