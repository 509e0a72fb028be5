"""A token endpoint over TLS for the HTTP client's tests.

Answers every POST with the JSON of a token answer naming the request's
path and form fields, so the test can check what arrived. Prints
"PORT <n>" on its first output line.
"""
import json
import sys
import urllib.parse
from http.server import BaseHTTPRequestHandler, HTTPServer

from server_common import server_tls_context, spool_cert_key_arguments


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        form = dict(urllib.parse.parse_qsl(self.rfile.read(length).decode("ascii")))
        body = json.dumps({"access_token": "AT", "token_type": "Bearer", "path": self.path,
                           "form": form, "host": self.headers.get("Host"),
                           "type": self.headers.get("Content-Type")}).encode("utf-8")
        # Chunked, as some token endpoints answer.
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        for start in range(0, len(body), 7):
            piece = body[start:start + 7]
            self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
        self.wfile.write(b"0\r\n\r\n")
        self.close_connection = True


def main():
    args = spool_cert_key_arguments()
    server = HTTPServer(("127.0.0.1", 0), Handler)
    server.socket = server_tls_context(args.cert, args.key).wrap_socket(server.socket, server_side=True)
    print("PORT %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
