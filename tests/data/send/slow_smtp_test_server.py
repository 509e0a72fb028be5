"""smtp_test_server.py with a pause before each DATA reply.

Usage: slow_smtp_test_server.py --delay SECONDS <smtp_test_server.py arguments>

Gives a test time to interrupt a client between two messages.
"""
import asyncio
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import smtp_test_server  # noqa: E402


def main():
    delay = 0.0
    if "--delay" in sys.argv:
        at = sys.argv.index("--delay")
        delay = float(sys.argv[at + 1])
        del sys.argv[at:at + 2]
    store = smtp_test_server.Handler.handle_DATA

    async def handle_DATA(self, server, session, envelope):
        await asyncio.sleep(delay)
        return await store(self, server, session, envelope)

    smtp_test_server.Handler.handle_DATA = handle_DATA
    return smtp_test_server.main()


if __name__ == "__main__":
    sys.exit(main())
