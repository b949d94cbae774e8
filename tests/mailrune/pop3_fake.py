"""Scripted POP3 server for what a real one will not do.

    pop3_fake.py SCENARIO

Prints its port once it listens on 127.0.0.1, then serves connections one after another until
it is killed. The mailbox holds one message. Scenarios about the reply to RETR:
  stall    half the message, then 3 s of silence and a close
  trickle  the reply's last bytes one per second
  split    the terminator in two pieces, 0.3 s apart
  close    every connection closes right after the greeting
and about a hostile server, whose message is an information mail of the system:
  count    STAT claims 2147483647 messages
  greeting 256 MiB without a line end instead of a greeting
  flood    RETR sends lines without end
  slow     the greeting comes one byte a second
"""

import socket
import sys
import time

MESSAGE = b"Subject: fake\r\n\r\n" + b"a line of the body\r\n" * 40
INFO = ("Subject: {Auto} АИС ЛИР. Информационное сообщение\r\n\r\n".encode("cp1251")
        + b"a line of the body\r\n" * 40)


def flood(conn, line):
    while True:
        conn.sendall(line * 4096)


def serve(conn, scenario):
    message = INFO if scenario in ("count", "flood") else MESSAGE
    if scenario == "greeting":
        conn.sendall(b"+OK")
        for _ in range(256):
            conn.sendall(b"x" * (1 << 20))
        return
    if scenario == "slow":
        for byte in b"+OK fake POP3 ready\r\n":
            conn.sendall(bytes([byte]))
            time.sleep(1)
    conn.sendall(b"+OK fake POP3 ready\r\n")
    if scenario == "close":
        return
    reader = conn.makefile("rb")
    for line in reader:
        command = line.strip().split(b" ")[0].upper()
        if command == b"UIDL":
            conn.sendall(b"-ERR no unique ids here\r\n")
        elif command == b"STAT":
            conn.sendall(b"+OK %d %d\r\n" % (2147483647 if scenario == "count" else 1, len(message)))
        elif command == b"TOP":
            conn.sendall(b"+OK\r\n" + message.split(b"\r\n\r\n")[0] + b"\r\n\r\n.\r\n")
        elif command == b"RETR" and scenario == "flood":
            conn.sendall(b"+OK\r\n")
            flood(conn, b"a line of the body\r\n")
        elif command == b"LIST":
            conn.sendall(b"+OK 1 messages\r\n1 %d\r\n.\r\n" % len(message))
        elif command == b"RETR":
            reply = b"+OK %d octets\r\n" % len(message) + message + b".\r\n"
            if scenario == "stall":
                conn.sendall(reply[: len(reply) // 2])
                time.sleep(3)
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
            else:
                conn.sendall(reply)
        elif command == b"QUIT":
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
