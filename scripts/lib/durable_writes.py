#!/usr/bin/python3
"""Judges from a trace of the program's system calls whether its files would survive a power cut.

    durable_writes.py --root DIR [--root DIR]... TRACE...

Each TRACE is the output of `strace -f -y -s 4096 -e trace=openat,write,pwrite64,writev,sendfile,
copy_file_range,ftruncate,fsync,fdatasync,rename,renameat,renameat2,link,linkat,unlink,unlinkat`.
Only files below a ROOT are judged; SQLite's own files (*.mdb, *.db and their journals) are left to
SQLite, and the sound server's client library's own (its cookie, in a pulse/ folder) to that
library. A failure is:
  - a file renamed (or linked) into place while bytes written to it were not yet flushed
    (fsync or fdatasync of the file) since;
  - a name made in a folder by a rename or link not followed by a flush of that folder, or followed
    by it only after the same thread wrote a database (a revision committed before its files);
  - a file written or truncated in place that keeps its name: a cut write leaves it half or empty.
Prints "made TRACE PATH" for every name made and judged (TRACE the file's name), and "FAILED: ..." for every failure; the status
is 1 after a failure."""
import os
import re
import sys

WRITES = {"write", "pwrite64", "writev", "pwritev", "pwritev2", "ftruncate"}
FLUSHES = {"fsync", "fdatasync"}
DATABASE = re.compile(r"\.(mdb|db)(-journal|-wal|-shm)?$")
LIBRARY_OWN = re.compile(r"/pulse/[^/]+$")
LINE = re.compile(r"^(\d+) +(.*)$")
CALL = re.compile(r"^(\w+)\((.*)\) += (-?\d+)(?:<(.*)>)?")
FD = re.compile(r"^(\w+)<(.*)>$")


def unescape(text):
    """The bytes of a string as strace prints it (octal, \\x and C escapes), as a path."""
    out, i = bytearray(), 0
    simple = {"n": 10, "t": 9, "r": 13, "v": 11, "f": 12, "\\": 92, '"': 34}
    while i < len(text):
        c = text[i]
        if c != "\\":
            out += c.encode()
            i += 1
        elif text[i + 1] in simple:
            out.append(simple[text[i + 1]])
            i += 2
        elif text[i + 1] == "x":
            out.append(int(text[i + 2:i + 4], 16))
            i += 4
        else:
            digits = re.match(r"[0-7]{1,3}", text[i + 1:]).group()
            out.append(int(digits, 8))
            i += 1 + len(digits)
    return out.decode("utf-8", "surrogateescape")


def split_arguments(text):
    """The top-level arguments of a call: quoted strings, fds with their paths, the rest."""
    parts, depth, quoted, start, i = [], 0, False, 0, 0
    while i < len(text):
        c = text[i]
        if quoted:
            if c == "\\":
                i += 1
            elif c == '"':
                quoted = False
        elif c == '"':
            quoted = True
        elif c in "<[{(":
            depth += 1
        elif c in ">]})":
            depth = max(0, depth - 1)  # "[0] => [5]" of sendfile
        elif c == "," and depth == 0:
            parts.append(text[start:i].strip())
            start = i + 1
        i += 1
    parts.append(text[start:].strip())
    return parts


def fd_path(argument):
    match = FD.match(argument)
    return unescape(match.group(2)) if match else None


def string_path(argument):
    match = re.match(r'^"((?:[^"\\]|\\.)*)"', argument)
    return unescape(match.group(1)) if match else None


def real(path):
    """The path with its folder resolved (the file itself may be gone)."""
    folder, name = os.path.split(os.path.normpath(path))
    return os.path.join(os.path.realpath(folder or "."), name)


class Trace:
    def __init__(self, name, roots):
        self.name = name
        self.roots = roots
        self.failures = []
        self.made = []  # (index, tid, path, line) of every name made below a root
        self.flushes = {}  # path -> indices of flushes
        self.database_writes = {}  # tid -> indices
        self.dirty = {}  # path -> the line of its first write not flushed since
        self.written = {}  # path -> the line of a write in place, while it keeps its name
        self.cwd = {}
        self.index = 0

    def judged(self, path):
        return (path is not None and not LIBRARY_OWN.search(path) and
                any(path == root or path.startswith(root + "/") for root in self.roots))

    def absolute(self, tid, path, folder=None):
        if folder is None:
            folder = self.cwd.get(tid) or next(iter(self.cwd.values()), os.getcwd())
        return real(os.path.join(folder, path))

    def wrote(self, tid, path, line):
        if path is None:
            return
        if DATABASE.search(path):
            self.database_writes.setdefault(tid, []).append(self.index)
            return
        self.dirty.setdefault(path, line)
        self.written.setdefault(path, line)

    def named(self, tid, source, target, line, moved):
        if not self.judged(target):
            return
        if source in self.dirty:
            self.failures.append(f"{target} took bytes not flushed since `{self.dirty[source]}` by `{line}`")
        self.made.append((self.index, tid, target, line))
        if moved:
            self.dirty.pop(source, None)
            self.written.pop(source, None)
            self.written.pop(target, None)

    def call(self, tid, name, arguments, result, result_path, line):
        args = split_arguments(arguments)
        for argument in args:
            match = FD.match(argument)
            if match and match.group(1) == "AT_FDCWD":
                self.cwd[tid] = unescape(match.group(2))
        if int(result) < 0:
            return
        if name == "openat" and "O_TRUNC" in (args[2] if len(args) > 2 else ""):
            self.wrote(tid, unescape(result_path) if result_path else None, line)
        elif name in WRITES:
            self.wrote(tid, fd_path(args[0]), line)
        elif name == "sendfile":
            self.wrote(tid, fd_path(args[0]), line)
        elif name == "copy_file_range":
            self.wrote(tid, fd_path(args[2]), line)
        elif name in FLUSHES:
            path = fd_path(args[0])
            self.dirty.pop(path, None)
            self.flushes.setdefault(path, []).append(self.index)
        elif name in ("rename", "link"):
            self.named(tid, self.absolute(tid, string_path(args[0])), self.absolute(tid, string_path(args[1])),
                       line, name == "rename")
        elif name in ("renameat", "renameat2", "linkat"):
            source = self.absolute(tid, string_path(args[1]), fd_path(args[0]))
            target = self.absolute(tid, string_path(args[3]), fd_path(args[2]))
            self.named(tid, source, target, line, name != "linkat")
        elif name in ("unlink", "unlinkat"):
            path = string_path(args[1] if name == "unlinkat" else args[0])
            path = self.absolute(tid, path, fd_path(args[0]) if name == "unlinkat" else None)
            self.dirty.pop(path, None)
            self.written.pop(path, None)

    def read(self, file):
        pending = {}
        with open(file, encoding="utf-8", errors="surrogateescape") as lines:
            for raw in lines:
                match = LINE.match(raw.rstrip("\n"))
                if not match:
                    continue
                tid, text = match.groups()
                if text.endswith("<unfinished ...>"):
                    pending[tid] = text[: -len("<unfinished ...>")]
                    continue
                resumed = re.match(r"^<\.\.\. \w+ resumed>(.*)$", text)
                if resumed:
                    text = pending.pop(tid, "") + resumed.group(1)
                call = CALL.match(text)
                if call:
                    self.index += 1
                    self.call(tid, call.group(1), call.group(2), call.group(3), call.group(4), text)

    def judge(self):
        for index, tid, path, line in self.made:
            folder = os.path.dirname(path)
            flushed = [i for i in self.flushes.get(folder, []) if i > index]
            if not flushed:
                self.failures.append(f"{folder} never flushed after `{line}`")
                continue
            early = [i for i in self.database_writes.get(tid, []) if index < i < flushed[0]]
            if early:
                self.failures.append(f"{folder} flushed only after the same thread wrote a database, after `{line}`")
        for path, line in self.written.items():
            if self.judged(path):
                self.failures.append(f"{path} written in place by `{line}`")


def main():
    roots, traces, arguments = [], [], sys.argv[1:]
    while arguments:
        argument = arguments.pop(0)
        if argument == "--root":
            roots.append(os.path.realpath(arguments.pop(0)))
        else:
            traces.append(argument)
    failed = False
    for file in traces:
        trace = Trace(file, roots)
        trace.read(file)
        trace.judge()
        for _, _, path, _ in trace.made:
            print(f"made {os.path.basename(file)} {path}")
        for failure in trace.failures:
            print(f"FAILED: {os.path.basename(file)}: {failure}")
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
