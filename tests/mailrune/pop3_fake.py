"""Scripted POP3 server for what a real one will not do.

    pop3_fake.py SCENARIO

Prints its port once it listens on 127.0.0.1, then serves connections one after another until
it is killed. The mailbox holds one message. Scenarios about the reply to RETR:
  stall    half the message, then 3 s of silence and a close
  trickle  the reply's last bytes one per second
  split    the terminator in two pieces, 0.3 s apart
  close    every connection closes right after the greeting
  drop     half the message, then the connection closes
and about a hostile server, whose messages are information mails of the system:
  count    STAT claims 2147483647 messages
  greeting 256 MiB without a line end instead of a greeting
  flood    RETR sends lines without end
  listflood LIST sends lines without end
  slow     the greeting comes one byte a second
  drip     the greeting comes one byte every 1.5 s
  large    message 1 is listed at 200,000,000 octets (and never sent), message 2 follows it
  many     six messages, each RETR reply taking 0.6 s in three pieces
  slowfirst message 1 of 20 kB served at 10 kB/s, then a good one, both with unique ids
"""

import hashlib
import socket
import sys
import time

MESSAGE = b"Subject: fake\r\n\r\n" + b"a line of the body\r\n" * 40
INFO = ("Subject: {Auto} АИС ЛИР. Информационное сообщение\r\n\r\n".encode("cp1251")
        + b"a line of the body\r\n" * 40)
HOSTILE = ("count", "flood", "listflood", "large", "many", "drop", "slowfirst")


def flood(conn, line):
    while True:
        conn.sendall(line * 4096)


def drip(conn, text, seconds):
    for byte in text:
        conn.sendall(bytes([byte]))
        time.sleep(seconds)


def mailbox(scenario):
    """The messages and the sizes the server lists for them."""
    message = INFO if scenario in HOSTILE else MESSAGE
    if scenario == "large":
        second = message.replace(b"\r\n\r\n", b"\r\nMessage-ID: <second@fake>\r\n\r\n", 1)
        return [message, second], [200000000, len(second)]
    if scenario == "many":
        messages = [message.replace(b"\r\n\r\n", b"\r\nMessage-ID: <%d@fake>\r\n\r\n" % i, 1) for i in range(6)]
        return messages, [len(m) for m in messages]
    if scenario == "slowfirst":
        slow = message + b"a line of the slow body\r\n" * 800
        good = message.replace(b"\r\n\r\n", " (2)\r\n\r\n".encode("cp1251"), 1)
        return [slow, good], [len(slow), len(good)]
    return [message], [len(message)]


# The mailbox outlives a connection: what a session deletes goes at its QUIT.
BOX = {}


def serve(conn, scenario):
    if not BOX:
        BOX["messages"], BOX["sizes"] = mailbox(scenario)
    messages, sizes = BOX["messages"], BOX["sizes"]
    deleted = set()
    if scenario == "greeting":
        conn.sendall(b"+OK")
        for _ in range(256):
            conn.sendall(b"x" * (1 << 20))
        return
    if scenario in ("slow", "drip"):
        drip(conn, b"+OK fake POP3 ready\r\n", 1 if scenario == "slow" else 1.5)
    conn.sendall(b"+OK fake POP3 ready\r\n")
    if scenario == "close":
        return
    reader = conn.makefile("rb")
    for line in reader:
        words = line.strip().split(b" ")
        command = words[0].upper()
        number = int(words[1]) if len(words) > 1 and words[1].isdigit() else 1
        message = messages[min(max(number, 1), len(messages)) - 1]
        if command == b"UIDL" and scenario == "slowfirst":
            ids = b"".join(b"%d %s\r\n" % (i + 1, hashlib.md5(m).hexdigest().encode()) for i, m in enumerate(messages))
            conn.sendall(b"+OK\r\n" + ids + b".\r\n")
        elif command == b"UIDL":
            conn.sendall(b"-ERR no unique ids here\r\n")
        elif command == b"STAT":
            count = 2147483647 if scenario == "count" else len(messages)
            conn.sendall(b"+OK %d %d\r\n" % (count, sum(sizes)))
        elif command == b"TOP":
            conn.sendall(b"+OK\r\n" + message.split(b"\r\n\r\n")[0] + b"\r\n\r\n.\r\n")
        elif command == b"LIST" and scenario == "listflood":
            conn.sendall(b"+OK\r\n")
            flood(conn, b"1 100\r\n")
        elif command == b"LIST":
            listing = b"".join(b"%d %d\r\n" % (i + 1, size) for i, size in enumerate(sizes))
            conn.sendall(b"+OK %d messages\r\n" % len(sizes) + listing + b".\r\n")
        elif command == b"RETR" and scenario == "flood":
            conn.sendall(b"+OK\r\n")
            flood(conn, b"a line of the body\r\n")
        elif command == b"RETR" and scenario == "large" and number == 1:
            return  # the test fails on the close: this message must never be asked for
        elif command == b"RETR":
            reply = b"+OK %d octets\r\n" % len(message) + message + b".\r\n"
            if scenario == "stall":
                conn.sendall(reply[: len(reply) // 2])
                time.sleep(3)
                return
            if scenario == "drop":
                conn.sendall(reply[: len(reply) // 2])
                return
            if scenario == "trickle":
                conn.sendall(reply[:-4])
                for byte in reply[-4:]:
                    time.sleep(1)
                    conn.sendall(bytes([byte]))
            elif scenario == "split":
                conn.sendall(reply[:-2])
                time.sleep(0.3)
                conn.sendall(reply[-2:])
            elif scenario == "slowfirst" and number == 1:
                for at in range(0, len(reply), 1000):
                    conn.sendall(reply[at:at + 1000])
                    time.sleep(0.1)
            elif scenario == "many":
                third = len(reply) // 3
                for piece in (reply[:third], reply[third:2 * third], reply[2 * third:]):
                    conn.sendall(piece)
                    time.sleep(0.2)
            else:
                conn.sendall(reply)
        elif command == b"DELE":
            deleted.add(number)
            conn.sendall(b"+OK\r\n")
        elif command == b"QUIT":
            keep = [i for i in range(len(messages)) if i + 1 not in deleted]
            BOX["messages"] = [messages[i] for i in keep]
            BOX["sizes"] = [sizes[i] for i in keep]
            conn.sendall(b"+OK bye\r\n")
            return
        else:
            conn.sendall(b"+OK\r\n")


def main():
    scenario = sys.argv[1]
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(4)
    print(listener.getsockname()[1], flush=True)
    while True:
        conn, _ = listener.accept()
        try:
            serve(conn, scenario)
        except OSError:
            pass
        finally:
            conn.close()


if __name__ == "__main__":
    main()
