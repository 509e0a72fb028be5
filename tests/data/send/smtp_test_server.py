"""A real SMTP server for the session tests, built on aiosmtpd.

It listens on loopback on a port the system picks, prints "PORT <n>" on
its first output line, and stores every accepted message as msg-<n>.eml
(the bytes exactly as received, transparency dots removed) with
msg-<n>.json beside it (envelope, SIZE parameter, authentication, TLS).
It adds CRAM-MD5 (RFC 2195) to aiosmtpd's own AUTH LOGIN.
"""
import argparse
import logging
import warnings
import hmac
import os
import sys
import time

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

from server_common import serve_smtp, server_tls_context, spool_message

warnings.simplefilter("ignore")
logging.getLogger("mail.log").setLevel(logging.CRITICAL)


def parse_args():
    p = argparse.ArgumentParser()
    p.add_argument("--spool", required=True)
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--user", default="")
    p.add_argument("--password", default="")
    p.add_argument("--auth-required", action="store_true")
    p.add_argument("--auth-in-clear", action="store_true",
                   help="offer AUTH without TLS")
    p.add_argument("--mechanisms", default="LOGIN CRAM-MD5")
    p.add_argument("--refuse", action="append", default=[],
                   help="recipient answered with 550")
    p.add_argument("--pipelining", action="store_true",
                   help="list PIPELINING in the EHLO reply")
    p.add_argument("--size", type=int, default=20 * 1024 * 1024)
    p.add_argument("--cert")
    p.add_argument("--key")
    p.add_argument("--starttls", action="store_true")
    p.add_argument("--implicit-tls", action="store_true")
    return p.parse_args()


class Handler:
    def __init__(self, args):
        self.args = args
        self.count = 0

    async def auth_CRAM__MD5(self, server, args):
        challenge = "<%d.%d@aiosmtpd.test>" % (os.getpid(), time.time_ns())
        answer = await server.challenge_auth(challenge)
        if not isinstance(answer, bytes):
            return AuthResult(success=False, handled=False)
        user, _, digest = answer.rpartition(b" ")
        expected = hmac.new(os.fsencode(self.args.password),
                            challenge.encode("ascii"), "md5").hexdigest()
        ok = (user == os.fsencode(self.args.user)
              and hmac.compare_digest(digest, expected.encode("ascii")))
        return AuthResult(success=ok, handled=False,
                          auth_data={"mechanism": "CRAM-MD5",
                                     "user": user.decode("latin-1")})

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        if self.args.pipelining:
            responses.insert(-1, "250-PIPELINING")
        return responses

    async def handle_RCPT(self, server, session, envelope, address, options):
        if address in self.args.refuse:
            return "550 5.1.1 <%s>: Recipient address rejected" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        auth = session.auth_data if isinstance(session.auth_data, dict) else None
        meta = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "mail_options": envelope.mail_options,
            "helo": session.host_name,
            "auth": auth,
            "tls": server.transport.get_extra_info("ssl_object") is not None,
        }
        spool_message(self.args.spool, self.count, envelope.original_content, meta)
        return "250 2.0.0 Ok: queued"


def main():
    args = parse_args()
    handler = Handler(args)

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword)
              and auth_data.login == os.fsencode(args.user)
              and auth_data.password == os.fsencode(args.password))
        return AuthResult(success=ok, handled=False,
                          auth_data={"mechanism": mechanism,
                                     "user": auth_data.login.decode("latin-1")})

    context = server_tls_context(args.cert, args.key) if args.cert else None

    offered = set(args.mechanisms.split())
    excluded = [m for m in ("LOGIN", "PLAIN", "CRAM-MD5") if m not in offered]

    def factory():
        return SMTP(handler,
                    hostname="aiosmtpd.test",
                    data_size_limit=args.size,
                    tls_context=context if args.starttls else None,
                    auth_required=args.auth_required,
                    auth_require_tls=not args.auth_in_clear,
                    auth_exclude_mechanism=excluded,
                    authenticator=authenticator)

    serve_smtp(factory, args.host, args.port, lambda port: "PORT %d" % port,
               context if args.implicit_tls else None)


if __name__ == "__main__":
    sys.exit(main())
