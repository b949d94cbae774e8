"""SMTP sink for tests: keeps every message and logs its envelope.

    smtp-sink.py DIR [USER PASSWORD]

Listens on 127.0.0.1 at a port the kernel chooses, writes its process id to DIR/pid and then that
port to DIR/port once it accepts connections. Each message is stored as received (after the dot-unstuffing of DATA, line
ends untouched) in DIR/mail/<n>.eml, and one JSON line per message is appended to DIR/log.jsonl:
{"file": "mail/<n>.eml", "mail_from": ..., "rcpt_tos": [...], "login": <name or null>}.
With USER and PASSWORD the server offers AUTH without TLS and refuses mail before a login.
"""

import asyncio
import json
import os
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Sink:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0
        os.makedirs(os.path.join(folder, "mail"), exist_ok=True)

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        name = os.path.join("mail", "%d.eml" % self.count)
        path = os.path.join(self.folder, name)
        with open(path + ".part", "wb") as f:
            f.write(envelope.original_content)
        os.rename(path + ".part", path)
        login = session.auth_data.login.decode("utf-8", "replace") if session.authenticated else None
        entry = {"file": name, "mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos, "login": login}
        with open(os.path.join(self.folder, "log.jsonl"), "a", encoding="utf-8") as f:
            f.write(json.dumps(entry, ensure_ascii=False) + "\n")
        return "250 OK"


def authenticator(user, password):
    def check(server, session, envelope, mechanism, data):
        if isinstance(data, LoginPassword) and data.login == user and data.password == password:
            return AuthResult(success=True, auth_data=data)
        # Not handled: the server answers 535 itself (with handled=True it would answer nothing).
        return AuthResult(success=False, handled=False)

    return check


async def serve(folder, credentials):
    loop = asyncio.get_running_loop()
    sink = Sink(folder)
    options = {"data_size_limit": 64 * 1024 * 1024}
    if credentials:
        options.update(auth_required=True, auth_require_tls=False,
                       authenticator=authenticator(*(c.encode("utf-8") for c in credentials)))
    server = await loop.create_server(lambda: SMTP(sink, loop=loop, **options), "127.0.0.1", 0)
    port = server.sockets[0].getsockname()[1]
    with open(os.path.join(folder, "pid"), "w") as f:
        f.write("%d\n" % os.getpid())
    with open(os.path.join(folder, "port.part"), "w") as f:
        f.write("%d\n" % port)
    os.rename(os.path.join(folder, "port.part"), os.path.join(folder, "port"))
    async with server:
        await server.serve_forever()


def main():
    if len(sys.argv) not in (2, 4):
        sys.exit(__doc__)
    credentials = tuple(sys.argv[2:4]) if len(sys.argv) == 4 else None
    try:
        asyncio.run(serve(sys.argv[1], credentials))
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
