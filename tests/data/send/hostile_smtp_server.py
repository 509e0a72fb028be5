"""SMTP servers that misbehave, for the client's safety tests.

Listens on loopback on a port the system picks, prints "PORT <n>" on its
first output line and serves every connection on its own thread. Each
connection n writes what the client said, one line each, to
conn-<n>.txt in the spool folder ("<TLS>" where TLS began, "<EOF>" when
the client closed, "<END>" when the server is done with the connection).

Modes (--mode):
  no-starttls    offers AUTH LOGIN CRAM-MD5 but no STARTTLS; MAIL FROM
                 without authentication is refused with 530
  drop-starttls  the first connection offers STARTTLS (needs --cert and
                 --key), takes one message with AUTH LOGIN inside TLS and
                 closes; every later connection behaves as no-starttls
  stall          greets, then never answers again
  trickle        sends "220-" and then one byte every 50 ms, never ending
                 the line
  huge-ehlo      answers EHLO with 20 lines of 60,000 bytes each
  plain-ok       offers PIPELINING and AUTH PLAIN (any login is taken) and
                 takes every message; "<DATA>" for each message whose end
                 came, "<CUT>" when the connection ended inside the data
  stray-after-354  as plain-ok, but sends "250 2.0.0 stray" right behind its
                 354 and refuses every message with 554
  garbled-end    as plain-ok, but answers the end of the data with a line
                 without a code: "x; 421 4.7.0 too many connections"
"""
import argparse
import os
import socket
import ssl
import sys
import threading
import time

p = argparse.ArgumentParser()
p.add_argument("--spool", required=True)
p.add_argument("--mode", required=True)
p.add_argument("--cert")
p.add_argument("--key")
args = p.parse_args()

context = None
if args.cert:
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(args.cert, args.key)

counter_lock = threading.Lock()
counter = [0]


class Conn:
    def __init__(self, sock, number):
        self.sock = sock
        self.reader = sock.makefile("rb")
        self.log = open(os.path.join(args.spool, "conn-%d.txt" % number), "a")

    def note(self, text):
        self.log.write(text + "\n")
        self.log.flush()

    def send(self, text):
        self.sock.sendall(text.encode("latin-1"))

    def line(self):
        raw = self.reader.readline()
        if not raw:
            self.note("<EOF>")
            return None
        text = raw.rstrip(b"\r\n").decode("latin-1")
        self.note(text)
        return text

    def start_tls(self):
        self.note("<TLS>")
        self.sock = context.wrap_socket(self.sock, server_side=True)
        self.reader = self.sock.makefile("rb")


def serve_plain_with_auth(c):
    """A server without STARTTLS that wants authentication."""
    c.send("220 hostile ESMTP\r\n")
    while True:
        line = c.line()
        if line is None:
            return
        verb = line.upper()
        if verb.startswith("EHLO"):
            c.send("250-hostile\r\n250 AUTH LOGIN CRAM-MD5\r\n")
        elif verb.startswith("HELO"):
            c.send("250 hostile\r\n")
        elif verb.startswith("AUTH"):
            c.send("535 5.7.8 not here\r\n")
        elif verb.startswith("MAIL"):
            c.send("530 5.7.0 Authentication required\r\n")
        elif verb.startswith("QUIT"):
            c.send("221 bye\r\n")
            return
        else:
            c.send("503 5.5.1 bad sequence\r\n")


def serve_with_starttls(c):
    """A well-behaved submission server with STARTTLS and AUTH LOGIN."""
    c.send("220 honest ESMTP\r\n")
    authenticated = False
    while True:
        line = c.line()
        if line is None:
            return
        verb = line.upper()
        if verb.startswith("EHLO"):
            if isinstance(c.sock, ssl.SSLSocket):
                c.send("250-honest\r\n250 AUTH LOGIN\r\n")
            else:
                c.send("250-honest\r\n250 STARTTLS\r\n")
        elif verb == "STARTTLS":
            c.send("220 go ahead\r\n")
            c.start_tls()
        elif verb == "AUTH LOGIN":
            c.send("334 VXNlcm5hbWU6\r\n")
            if c.line() is None:
                return
            c.send("334 UGFzc3dvcmQ6\r\n")
            if c.line() is None:
                return
            authenticated = True
            c.send("235 2.7.0 ok\r\n")
        elif verb.startswith("MAIL"):
            c.send("250 ok\r\n" if authenticated else "530 5.7.0 Authentication required\r\n")
        elif verb.startswith("RCPT"):
            c.send("250 ok\r\n")
        elif verb == "DATA":
            c.send("354 go\r\n")
            while True:
                data = c.reader.readline()
                if not data or data.rstrip(b"\r\n") == b".":
                    break
            c.note("<DATA>")
            c.send("250 stored\r\n")
            # One message per connection: the client's next one needs a
            # new connection, which no longer offers STARTTLS.
            return
        elif verb.startswith("QUIT"):
            c.send("221 bye\r\n")
            return
        else:
            c.send("502 no\r\n")


def serve_plain_ok(c, go_ahead="354 go\r\n", end_reply="250 stored\r\n"):
    """Takes everything, answering each command line as it comes."""
    c.send("220 plain ESMTP\r\n")
    while True:
        line = c.line()
        if line is None:
            return
        verb = line.upper()
        if verb.startswith("EHLO"):
            c.send("250-plain\r\n250-PIPELINING\r\n250 AUTH PLAIN\r\n")
        elif verb.startswith("AUTH"):
            c.send("235 2.7.0 ok\r\n")
        elif verb == "DATA":
            c.send(go_ahead)
            while True:
                data = c.reader.readline()
                if not data:
                    c.note("<CUT>")
                    return
                if data.rstrip(b"\r\n") == b".":
                    break
            c.note("<DATA>")
            c.send(end_reply)
        elif verb.startswith("QUIT"):
            c.send("221 bye\r\n")
            return
        else:
            c.send("250 ok\r\n")


def serve(sock, number):
    c = Conn(sock, number)
    try:
        if args.mode == "no-starttls":
            serve_plain_with_auth(c)
        elif args.mode == "drop-starttls":
            if number == 1:
                serve_with_starttls(c)
            else:
                serve_plain_with_auth(c)
        elif args.mode == "plain-ok":
            serve_plain_ok(c)
        elif args.mode == "stray-after-354":
            serve_plain_ok(c, "354 go\r\n250 2.0.0 stray\r\n", "554 5.7.1 refused\r\n")
        elif args.mode == "garbled-end":
            serve_plain_ok(c, end_reply="x; 421 4.7.0 too many connections\r\n")
        elif args.mode == "stall":
            c.send("220 slow ESMTP\r\n")
            while c.line() is not None:
                pass
        elif args.mode == "trickle":
            c.send("220-")
            while True:
                c.send("x")
                time.sleep(0.05)
        elif args.mode == "huge-ehlo":
            c.send("220 big ESMTP\r\n")
            line = c.line()
            if line is not None and line.upper().startswith("EHLO"):
                for _ in range(20):
                    c.send("250-" + "x" * 60000 + "\r\n")
                c.send("250 end\r\n")
            while c.line() is not None:
                pass
    except (OSError, ssl.SSLError):
        c.note("<EOF>")
    finally:
        try:
            c.sock.close()
        except OSError:
            pass
        c.note("<END>")


listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", 0))
listener.listen(16)
print("PORT %d" % listener.getsockname()[1], flush=True)
while True:
    conn, _ = listener.accept()
    with counter_lock:
        counter[0] += 1
        number = counter[0]
    threading.Thread(target=serve, args=(conn, number), daemon=True).start()
