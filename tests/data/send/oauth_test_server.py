"""A fake OAuth 2.0 provider and an SMTP server that takes its tokens.

The provider (http.server) answers GET /authorize with a redirect to the
redirect_uri carrying code and state, and POST /token with the code
exchange (checking the PKCE verifier against the S256 challenge) and the
refresh. GET /control?name=value changes its behaviour while it runs:
  authorize=ok|wrong-state|deny   what /authorize redirects with
  token=ok|error|garbage          what /token answers
  expires_in=N                    lifetime of the next access tokens
  revoke=1                        the refresh token stops working
  invalidate=1                    the current access token stops working
The SMTP server (aiosmtpd, STARTTLS, AUTH required) offers only XOAUTH2
and accepts only the access token issued last.

Prints "PORT <smtp> <http>" and writes the http port to http_port in the
spool; every token request is noted in oauth.log there, one line each.
"""
import base64
import hashlib
import json
import logging
import os
import secrets
import sys
import threading
import urllib.parse
import warnings
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from aiosmtpd.smtp import SMTP, AuthResult

from server_common import serve_smtp, server_tls_context, spool_cert_key_arguments, spool_message

warnings.simplefilter("ignore")
logging.getLogger("mail.log").setLevel(logging.CRITICAL)

CLIENT_ID = "postello-test-client"
USER = "versand@example.org"


class Provider:
    def __init__(self, spool):
        self.lock = threading.Lock()
        self.spool = spool
        self.authorize = "ok"
        self.token = "ok"
        self.expires_in = 3600
        self.codes = {}          # code -> (challenge, redirect_uri)
        self.access = None       # the one access token SMTP accepts
        self.refresh = None
        self.refresh_revoked = False

    def note(self, line):
        with open(os.path.join(self.spool, "oauth.log"), "a") as f:
            f.write(line + "\n")

    def issue(self):
        self.access = "AT-" + secrets.token_hex(12)
        self.refresh = "RT-" + secrets.token_hex(12)
        return {"access_token": self.access, "token_type": "Bearer",
                "expires_in": self.expires_in, "refresh_token": self.refresh,
                "scope": "smtp"}


def make_http_handler(provider):
    class Handler(BaseHTTPRequestHandler):
        def log_message(self, *args):
            pass

        def answer(self, status, body, ctype="application/json", headers=()):
            data = body.encode("utf-8")
            self.send_response(status)
            self.send_header("Content-Type", ctype)
            self.send_header("Content-Length", str(len(data)))
            for name, value in headers:
                self.send_header(name, value)
            self.end_headers()
            self.wfile.write(data)

        def do_GET(self):
            url = urllib.parse.urlsplit(self.path)
            q = dict(urllib.parse.parse_qsl(url.query))
            p = provider
            if url.path == "/control":
                with p.lock:
                    if "authorize" in q:
                        p.authorize = q["authorize"]
                    if "token" in q:
                        p.token = q["token"]
                    if "expires_in" in q:
                        p.expires_in = int(q["expires_in"])
                    if q.get("revoke") == "1":
                        p.refresh_revoked = True
                    if q.get("invalidate") == "1":
                        p.access = "nothing-valid"
                self.answer(200, "{}")
                return
            if url.path != "/authorize":
                self.answer(404, "{}")
                return
            ok = (q.get("response_type") == "code"
                  and q.get("client_id") == CLIENT_ID
                  and q.get("code_challenge_method") == "S256"
                  and len(q.get("code_challenge", "")) == 43
                  and q.get("scope") == "smtp"
                  and q.get("redirect_uri", "").startswith("http://127.0.0.1:"))
            if not ok:
                self.answer(400, json.dumps({"bad_request": q}))
                return
            with p.lock:
                mode = p.authorize
                code = "CODE-" + secrets.token_hex(8)
                p.codes[code] = (q["code_challenge"], q["redirect_uri"])
            p.note("authorize login_hint=%s" % q.get("login_hint", ""))
            if mode == "deny":
                params = {"error": "access_denied",
                          "error_description": "The user said no",
                          "state": q["state"]}
            elif mode == "wrong-state":
                params = {"code": code, "state": q["state"] + "x"}
            else:
                params = {"code": code, "state": q["state"]}
            location = q["redirect_uri"] + "?" + urllib.parse.urlencode(params)
            self.answer(302, "", "text/plain", [("Location", location)])

        def do_POST(self):
            length = int(self.headers.get("Content-Length", "0"))
            form = dict(urllib.parse.parse_qsl(self.rfile.read(length).decode("ascii")))
            p = provider
            if urllib.parse.urlsplit(self.path).path != "/token":
                self.answer(404, "{}")
                return
            with p.lock:
                mode = p.token
                grant = form.get("grant_type")
                if form.get("client_id") != CLIENT_ID:
                    p.note("token %s bad-client" % grant)
                    self.answer(401, json.dumps({"error": "invalid_client"}))
                    return
                if mode == "garbage":
                    p.note("token %s garbage" % grant)
                    self.answer(200, "<html>Wartungsarbeiten " + form.get("code", "")
                                + form.get("refresh_token", "") + "</html>", "text/html")
                    return
                if mode == "error":
                    p.note("token %s error" % grant)
                    # Echoes what it got, as careless servers do: the
                    # client must not pass it on.
                    self.answer(400, json.dumps({
                        "error": "invalid_request",
                        "error_description": "cannot use " + form.get("code", "")
                        + form.get("code_verifier", "") + form.get("refresh_token", "")}))
                    return
                if grant == "authorization_code":
                    entry = p.codes.pop(form.get("code", ""), None)
                    verifier = form.get("code_verifier", "")
                    digest = base64.urlsafe_b64encode(
                        hashlib.sha256(verifier.encode("ascii")).digest()).rstrip(b"=").decode("ascii")
                    if entry is None or entry[1] != form.get("redirect_uri") or entry[0] != digest:
                        p.note("token authorization_code refused")
                        self.answer(400, json.dumps({"error": "invalid_grant"}))
                        return
                    secret = form.get("client_secret")
                    p.note("token authorization_code ok" + (" secret=" + secret if secret else ""))
                    self.answer(200, json.dumps(p.issue()))
                    return
                if grant == "refresh_token":
                    if p.refresh_revoked or form.get("refresh_token") != p.refresh:
                        p.note("token refresh_token refused")
                        self.answer(400, json.dumps({
                            "error": "invalid_grant",
                            "error_description": "AADSTS70000: refresh token revoked"}))
                        return
                    p.note("token refresh_token ok")
                    self.answer(200, json.dumps(p.issue()))
                    return
                self.answer(400, json.dumps({"error": "unsupported_grant_type"}))

    return Handler


class SmtpHandler:
    def __init__(self, spool, provider):
        self.spool = spool
        self.provider = provider
        self.count = 0

    async def auth_XOAUTH2(self, server, args):
        if len(args) < 2:
            return AuthResult(success=False, handled=False)
        try:
            text = base64.b64decode(args[1], validate=True).decode("utf-8")
        except Exception:
            return AuthResult(success=False, handled=False)
        fields = text.split("\x01")
        user = fields[0][5:] if fields and fields[0].startswith("user=") else None
        token = fields[1][12:] if len(fields) > 1 and fields[1].startswith("auth=Bearer ") else None
        with self.provider.lock:
            current = self.provider.access
        ok = (len(fields) == 4 and fields[2] == "" and fields[3] == ""
              and user == USER and token is not None and token == current)
        with open(os.path.join(self.spool, "oauth.log"), "a") as f:
            f.write("smtp auth %s\n" % ("ok" if ok else "refused"))
        if not ok:
            # The error challenge; the client ends it with an empty line.
            error = json.dumps({"status": "401", "schemes": "bearer", "scope": "smtp"})
            await server.challenge_auth(error)
            return AuthResult(success=False, handled=False)
        return AuthResult(success=True, handled=False,
                          auth_data={"mechanism": "XOAUTH2", "user": user})

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        meta = {"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos,
                "auth": session.auth_data if isinstance(session.auth_data, dict) else None,
                "tls": server.transport.get_extra_info("ssl_object") is not None}
        spool_message(self.spool, self.count, envelope.original_content, meta)
        return "250 2.0.0 Ok: queued"


def main():
    args = spool_cert_key_arguments()

    provider = Provider(args.spool)
    http = ThreadingHTTPServer(("127.0.0.1", 0), make_http_handler(provider))
    threading.Thread(target=http.serve_forever, daemon=True).start()
    with open(os.path.join(args.spool, "http_port"), "w") as f:
        f.write(str(http.server_address[1]))

    context = server_tls_context(args.cert, args.key)
    handler = SmtpHandler(args.spool, provider)

    def factory():
        return SMTP(handler, hostname="aiosmtpd.test", tls_context=context,
                    auth_required=True, auth_require_tls=True,
                    auth_exclude_mechanism=["LOGIN", "PLAIN"],
                    authenticator=lambda *a: AuthResult(success=False))

    serve_smtp(factory, "127.0.0.1", 0, lambda port: "PORT %d %d" % (port, http.server_address[1]))


if __name__ == "__main__":
    sys.exit(main())
