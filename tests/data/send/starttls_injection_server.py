"""An SMTP server that answers STARTTLS with "220" and, in the same write,
a forged reply in clear ("250-..." lines a man in the middle could add).
A client that keeps those bytes would read them as the first reply inside
TLS. After the handshake it answers EHLO honestly with "250-tls ok" and
"250 AUTH LOGIN", and QUIT with 221. One connection, then it exits.

Arguments: --spool DIR (unused, for the common starter), --cert, --key.
"""
import argparse
import socket
import ssl

p = argparse.ArgumentParser()
p.add_argument("--spool")
p.add_argument("--cert", required=True)
p.add_argument("--key", required=True)
args = p.parse_args()

context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
context.load_cert_chain(args.cert, args.key)

listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(1)
print("PORT %d" % listener.getsockname()[1], flush=True)
conn, _ = listener.accept()
reader = conn.makefile("rb")
conn.sendall(b"220 plain greeting\r\n")
reader.readline()  # EHLO
conn.sendall(b"250-plain\r\n250 STARTTLS\r\n")
reader.readline()  # STARTTLS
conn.sendall(b"220 go ahead\r\n250-FORGED\r\n250 AUTH PLAIN\r\n")
tls = context.wrap_socket(conn, server_side=True)
tls_reader = tls.makefile("rb")
while True:
    line = tls_reader.readline()
    if not line:
        break
    if line.upper().startswith(b"EHLO"):
        tls.sendall(b"250-tls ok\r\n250 AUTH LOGIN\r\n")
    elif line.upper().startswith(b"QUIT"):
        tls.sendall(b"221 bye\r\n")
        break
    else:
        tls.sendall(b"502 not here\r\n")
tls.close()
