#!/usr/bin/python3
"""Describes sent messages as Python's email package reads them.

Usage: describe_sent.py FILE.eml...

For each message prints a block that the tests compare line by line:

    == <file name>
    envelope: <sender> -> <recipient>,<recipient>,...
    headers: <top-level header names in order>
    from: <display name>|<address>
    reply-to: <display name>|<address>
    to: <addresses, comma-separated, or ->
    subject: <decoded subject>
    message-id: <value>
    list-unsubscribe: <value>        (only when the message has one)
    list-unsubscribe-post: <value>   (likewise)
    date: ok
    tree: <content types, nested containers in parentheses>
    length: ok
    part <n> <type> name=<file name> cid=<content id> disposition=<disposition>
      text: <decoded text, CR and LF written as \\r and \\n>
      bytes: <count> <sha256 hex>
    defects: <count>

The envelope comes from <file>.json (the test server's notes) or <file>.env
(first line sender, then recipients). Texts are printed in ISO-8859-1 so a
test can compare them with the Windows-1252 text it merged.
"""
import email
import email.utils
import hashlib
import json
import os
import sys
from email import policy

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from mailparts import decoded, header_defects, leaves, tree  # noqa: E402


def escaped(text):
    return text.replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n")


def envelope(path):
    base = path[:-4] if path.endswith(".eml") else path
    if os.path.exists(base + ".json"):
        notes = json.load(open(base + ".json"))
        return notes["mail_from"], notes["rcpt_tos"]
    if os.path.exists(base + ".env"):
        lines = open(base + ".env", encoding="iso-8859-1", newline="\n").read().split("\n")
        if lines and lines[-1] == "":
            lines.pop()
        return lines[0], lines[1:]
    return "?", []


def addresses(message, name):
    values = message.get_all(name)
    if not values:
        return "-"
    return ",".join("%s|%s" % (decoded(n), a) for n, a in email.utils.getaddresses(values))


def describe(path, out):
    data = open(path, "rb").read()
    old = email.message_from_bytes(data)
    new = email.message_from_bytes(data, policy=policy.default)
    sender, rcpts = envelope(path)
    out.append("== " + os.path.basename(path))
    out.append("envelope: %s -> %s" % (sender, ",".join(rcpts)))
    out.append("headers: " + ",".join(old.keys()))
    out.append("from: " + addresses(old, "From"))
    out.append("reply-to: " + addresses(old, "Reply-To"))
    to = old.get_all("To")
    out.append("to: " + (",".join(a for _, a in email.utils.getaddresses(to)) if to else "-"))
    out.append("subject: " + str(new["Subject"] or ""))
    out.append("message-id: " + (old["Message-ID"] or ""))
    for name in ("List-Unsubscribe", "List-Unsubscribe-Post"):
        if old[name] is not None:
            out.append("%s: %s" % (name.lower(), new[name]))
    out.append("date: " + ("ok" if email.utils.parsedate_to_datetime(old["Date"]) else "bad"))
    out.append("tree: " + tree(old))
    body = data.split(b"\r\n\r\n", 1)[1]
    # The transmission adds CR LF after the body item.
    length = int(old["Content-Length"] or -1)
    out.append("length: " + ("ok" if length == len(body) - 2 else
                             "%d for %d bytes" % (length, len(body))))
    for index, leaf in enumerate(leaves(old)):
        out.append("part %d %s name=%s cid=%s disposition=%s" % (
            index, leaf.get_content_type(), decoded(leaf.get_filename()),
            leaf.get("Content-ID") or "", leaf.get_content_disposition() or ""))
        payload = leaf.get_payload(decode=True) or b""
        if leaf.get_content_maintype() == "text":
            out.append("  text: " + escaped(payload.decode(leaf.get_content_charset() or "ascii")))
        else:
            out.append("  bytes: %d %s" % (len(payload), hashlib.sha256(payload).hexdigest()))
    defects = [d for p in old.walk() for d in p.defects]
    defects += [d for _, d in header_defects(new)]
    out.append("defects: %d%s" % (len(defects), "".join(" " + repr(d) for d in defects)))


def main():
    out = []
    for path in sys.argv[1:]:
        describe(path, out)
    sys.stdout.buffer.write(("\n".join(out) + "\n").encode("iso-8859-1", "replace"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
