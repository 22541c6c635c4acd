#!/usr/bin/env python3
"""Prints the broker's password-file hash ($7$: PBKDF2-HMAC-SHA512) of the password on standard input.

The password never appears on a command line, where `ps` would show it to every user of the machine.
Only its first line counts, without the line end; --min-length N refuses a shorter one (status 2).
"""
import base64
import hashlib
import os
import sys

# Each guess costs the broker this many rounds; a login still takes a few milliseconds.
ITERATIONS = 20000


def main() -> int:
    min_length = 0
    if len(sys.argv) == 3 and sys.argv[1] == "--min-length":
        min_length = int(sys.argv[2])
    elif len(sys.argv) != 1:
        print("用法: password_hash.py [--min-length N] < 密码", file=sys.stderr)
        return 2
    password = sys.stdin.buffer.readline().rstrip(b"\r\n")
    if len(password.decode("utf-8", "replace")) < max(min_length, 1):
        print(f"密码至少应有 {max(min_length, 1)} 个字符", file=sys.stderr)
        return 2
    salt = os.urandom(12)
    digest = hashlib.pbkdf2_hmac("sha512", password, salt, ITERATIONS)
    encode = lambda data: base64.b64encode(data).decode("ascii")
    print(f"$7${ITERATIONS}${encode(salt)}${encode(digest)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
