#!/usr/bin/python3
"""A TCP proxy that delays every byte by DELAY milliseconds in each
direction, keeping the order: a distant server on loopback.

Usage: latency_proxy.py LISTEN_PORT TARGET_HOST:TARGET_PORT [DELAY_MS]

Prints "PORT <n>" once it listens (LISTEN_PORT 0: the system picks).
"""
import asyncio
import sys


async def pipe(reader, writer, delay):
    queue = asyncio.Queue()
    loop = asyncio.get_running_loop()

    async def later():
        while True:
            due, data = await queue.get()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if not data:
                break
            writer.write(data)
            await writer.drain()
        writer.close()

    sender = asyncio.ensure_future(later())
    try:
        while True:
            data = await reader.read(65536)
            queue.put_nowait((loop.time() + delay, data))
            if not data:
                break
    except (ConnectionError, OSError):
        queue.put_nowait((loop.time() + delay, b""))
    try:
        await sender
    except (ConnectionError, OSError):
        pass


async def main():
    listen = int(sys.argv[1])
    host, port = sys.argv[2].rsplit(":", 1)
    delay = (float(sys.argv[3]) if len(sys.argv) > 3 else 20.0) / 1000.0

    async def serve(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection(host, int(port))
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pipe(client_reader, server_writer, delay),
                             pipe(server_reader, client_writer, delay))

    server = await asyncio.start_server(serve, "127.0.0.1", listen, backlog=64)
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
