"""smtp_test_server.py for the journal tests: knows when an end of data
arrived, can wait before answering it, and can drop the connection
instead of answering.

Usage: journal_smtp_test_server.py [--delay SECONDS] [--drop N ...]
           <smtp_test_server.py arguments>

For the n-th end of data the server receives (counted from 1 over all
connections) it first creates data-<n> in the spool folder, stores the
message as msg-<k>.eml as the plain server does, then waits --delay
seconds before it answers. For an n given with --drop it closes the
connection instead of answering: the message arrived, the client never
hears so.
"""
import asyncio
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import smtp_test_server  # noqa: E402


def take(name, convert, many=False):
    values = []
    while name in sys.argv:
        at = sys.argv.index(name)
        values.append(convert(sys.argv[at + 1]))
        del sys.argv[at:at + 2]
    if many:
        return values
    return values[-1] if values else None


def main():
    delay = take("--delay", float) or 0.0
    drops = set(take("--drop", int, many=True))
    spool = sys.argv[sys.argv.index("--spool") + 1]
    store = smtp_test_server.Handler.handle_DATA
    ends = [0]

    async def handle_DATA(self, server, session, envelope):
        ends[0] += 1
        n = ends[0]
        open(os.path.join(spool, "data-%d" % n), "w").close()
        # Stored at once, like a server that queues the message before it
        # answers: a client killed while waiting loses only the answer.
        reply = await store(self, server, session, envelope)
        if delay:
            await asyncio.sleep(delay)
        if n in drops:
            server.transport.abort()
            # aiosmtpd writes nothing to a closed transport.
            return "250 never sent"
        return reply

    smtp_test_server.Handler.handle_DATA = handle_DATA
    return smtp_test_server.main()


if __name__ == "__main__":
    sys.exit(main())
