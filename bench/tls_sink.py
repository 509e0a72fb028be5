#!/usr/bin/python3
"""An SMTP sink offering STARTTLS, AUTH PLAIN/LOGIN and PIPELINING, that
accepts every message and keeps only a count. Postfix's smtp-sink speaks
no TLS, so the benchmarks over STARTTLS with AUTH use this one.

Usage: tls_sink.py PORT CERT KEY USER PASSWORD [nopipelining]
("nopipelining" leaves PIPELINING out of the EHLO reply.)
Prints "PORT <n>" once it listens; on SIGTERM prints "RECEIVED <count>".
"""
import asyncio
import logging
import signal
import ssl
import sys
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

warnings.simplefilter("ignore")
logging.getLogger("mail.log").setLevel(logging.CRITICAL)


class Sink:
    def __init__(self, pipelining):
        self.count = 0
        self.pipelining = pipelining

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        if self.pipelining:
            responses.insert(-1, "250-PIPELINING")
        return responses

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        return "250 2.0.0 Ok: queued"


def main():
    port, cert, key, user, password = sys.argv[1:6]
    sink = Sink(sys.argv[6:7] != ["nopipelining"])
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert, key)

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword) and auth_data.login == user.encode()
              and auth_data.password == password.encode())
        return AuthResult(success=ok)

    def factory():
        return SMTP(sink, hostname="sink.test", tls_context=context, require_starttls=True,
                    auth_required=True, authenticator=authenticator, auth_exclude_mechanism=["CRAM-MD5"])

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(loop.create_server(factory, "127.0.0.1", int(port), backlog=64))
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)

    def stop():
        print("RECEIVED %d" % sink.count, flush=True)
        loop.stop()

    loop.add_signal_handler(signal.SIGTERM, stop)
    loop.run_forever()


if __name__ == "__main__":
    main()
