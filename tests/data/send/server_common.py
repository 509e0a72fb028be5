"""What the Python test servers share: the arguments and TLS context of a
server that answers with TLS, and the loop that serves SMTP on a socket of
its own, announcing the port on the first output line."""
import argparse
import asyncio
import json
import os
import socket
import ssl


def spool_cert_key_arguments():
    """--spool, --cert and --key, all required."""
    p = argparse.ArgumentParser()
    p.add_argument("--spool", required=True)
    p.add_argument("--cert", required=True)
    p.add_argument("--key", required=True)
    return p.parse_args()


def server_tls_context(cert, key):
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert, key)
    return context


def spool_message(spool, n, content, meta):
    """Stores message n as msg-<n>.eml (the bytes as received) with meta
    in msg-<n>.json; the .eml appears last and whole, so a test that sees
    it can read both."""
    base = os.path.join(spool, "msg-%d" % n)
    with open(base + ".eml.part", "wb") as f:
        f.write(content)
    with open(base + ".json", "w") as f:
        json.dump(meta, f)
    os.rename(base + ".eml.part", base + ".eml")


def serve_smtp(factory, host, port, announce, ssl_context=None):
    """Serves factory's protocol on host:port until killed; announce(port)
    gives the first output line."""
    family = socket.AF_INET6 if ":" in host else socket.AF_INET
    sock = socket.socket(family, socket.SOCK_STREAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind((host, port))
    sock.listen(16)

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(loop.create_server(factory, sock=sock, ssl=ssl_context))
    print(announce(sock.getsockname()[1]), flush=True)
    try:
        loop.run_forever()
    finally:
        server.close()
