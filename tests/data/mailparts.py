"""What the Python test peers share when they read a message with Python's
email package: decoded header values, the part tree, the leaf parts and the
header defects that count."""
from email.header import decode_header, make_header

# The program writes encoded words inside quoted strings (display names,
# file name parameters). Readers decode them; the modern parser notes it.
TOLERATED_HEADER_DEFECTS = ("encoded word inside quoted string",
                            "missing trailing whitespace after encoded-word")


def decoded(value):
    if value is None:
        return ""
    return str(make_header(decode_header(str(value))))


def tree(part):
    """The content types of the part tree, e.g. multipart/mixed(text/plain,image/png)."""
    if part.is_multipart():
        return part.get_content_type() + "(" + ",".join(tree(p) for p in part.get_payload()) + ")"
    return part.get_content_type()


def leaves(part):
    if part.is_multipart():
        for sub in part.get_payload():
            yield from leaves(sub)
    else:
        yield part


def header_defects(message):
    """(header name, defect) for every header defect that is not tolerated."""
    found = []
    for part in message.walk():
        for name, value in part.items():
            for defect in getattr(value, "defects", ()):
                if not any(t in str(defect) for t in TOLERATED_HEADER_DEFECTS):
                    found.append((name, defect))
    return found
