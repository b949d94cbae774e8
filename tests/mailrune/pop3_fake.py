"""Scripted POP3 server for what a real one will not do.

    pop3_fake.py SCENARIO

Prints its port once it listens on 127.0.0.1, then serves connections one after another until
it is killed. The mailbox holds one message. Scenarios, each about the reply to RETR:
  stall    half the message, then 3 s of silence and a close
  trickle  the reply's last bytes one per second
  split    the terminator in two pieces, 0.3 s apart
  close    every connection closes right after the greeting
"""

import socket
import sys
import time

MESSAGE = b"Subject: fake\r\n\r\n" + b"a line of the body\r\n" * 40


def serve(conn, scenario):
    conn.sendall(b"+OK fake POP3 ready\r\n")
    if scenario == "close":
        return
    reader = conn.makefile("rb")
    for line in reader:
        command = line.strip().split(b" ")[0].upper()
        if command == b"STAT":
            conn.sendall(b"+OK 1 %d\r\n" % len(MESSAGE))
        elif command == b"LIST":
            conn.sendall(b"+OK 1 messages\r\n1 %d\r\n.\r\n" % len(MESSAGE))
        elif command == b"RETR":
            reply = b"+OK %d octets\r\n" % len(MESSAGE) + MESSAGE + b".\r\n"
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
