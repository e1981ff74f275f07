#!/usr/bin/env python3
"""Fails when code outside the seam reaches a host path without sysPath().

In the host simulation every absolute path must pass through sysPath() (or
the device calls of platform/io.h, which route device nodes to the simulated
board); one raw libc call on "/dev/...", "/sys/..." or "/mnt/..." reaches the
host machine instead. platform/ and sim/ implement the seam and the simulated
board, testing/ and the tests make sandboxes in /tmp; everything else is
checked.

A raw file call is flagged when its path argument is
  - an absolute string literal, or an expression  fopen("/mnt/ubi0/x", "r")
    that contains one,                             open(("/dev/" + n).c_str())
  - a name this file sets from an absolute literal, kPath / path.c_str()
    (a constant, an array or a string, or a buffer an snprintf fills from a
    literal),
and the argument does not pass through sysPath(). A line that must keep such
a call says why with a marker comment: // seam-ok: <reason>

The system's code also never includes platform/host/: what only the host
simulation has (simulated devices, register hooks, the sandbox root) is for
sim/, tools/, testing/ and the tests.

Usage: checkSeam.py [root]     (exit 1 and one line per finding on a fault)
"""
import os
import re
import subprocess
import sys

EXEMPT_DIRS = ("platform/", "sim/", "testing/", "build")
EXEMPT_PARTS = ("/tests/",)
SOURCE_EXT = (".cpp", ".h", ".hpp", ".cc", ".def")
# Who may include the host-only headers besides the exempt folders.
HOST_HEADER_USERS = ("tools/", "bench/")
HOST_INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]platform/host/', re.M)
MARKER = "seam-ok:"

# libc, POSIX and C++ library calls that take a path, with the argument
# positions (0-based) that are paths.
PATH_CALLS = {
    "open": (0,), "open64": (0,), "openat": (1,), "creat": (0,), "fopen": (0,), "freopen": (0,),
    "opendir": (0,), "scandir": (0,), "nftw": (0,), "ftw": (0,),
    "stat": (0,), "lstat": (0,), "stat64": (0,), "statvfs": (0,), "statfs": (0,), "fstatat": (1,),
    "access": (0,), "faccessat": (1,), "euidaccess": (0,),
    "unlink": (0,), "unlinkat": (1,), "remove": (0,), "rename": (0, 1), "renameat": (1, 3),
    "mkdir": (0,), "mkdirat": (1,), "rmdir": (0,), "chdir": (0,), "chroot": (0,),
    "chmod": (0,), "chown": (0,), "lchown": (0,), "truncate": (0,), "utime": (0,), "utimes": (0,),
    "realpath": (0,), "readlink": (0,), "symlink": (1,), "link": (0, 1), "mkfifo": (0,), "mknod": (0,),
    "mount": (0, 1), "umount": (0,), "umount2": (0,), "inotify_add_watch": (1,),
    "execv": (0,), "execve": (0,), "execvp": (0,), "execl": (0,), "execle": (0,), "execlp": (0,),
    "popen": (0,), "system": (0,),
    "ifstream": (0,), "ofstream": (0,), "fstream": (0,),
}
# std::filesystem calls: the first argument is a path.
FS_CALL = re.compile(r"\b(?:std::)?(?:filesystem|fs)::(\w+)\s*\(")
CALL = re.compile(r"(?<![\w.>:])(?:::|std::)?(" + "|".join(sorted(PATH_CALLS, key=len, reverse=True)) + r")\s*\(")
# A stream object constructed with its path: std::ifstream in("/x");
STREAM_DECL = re.compile(r"\b(?:std::)?(ifstream|ofstream|fstream)\s+\w+\s*[({]")
# A stream opened later: in.open("/x")
STREAM_OPEN = re.compile(r"[.>]open\s*\(")


def strip_comments(text):
    """Blanks comments, keeping string literals, line breaks and offsets."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if c == '"' or c == "'":
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            out.append(text[i:j + 1])
            i = j + 1
        elif text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append("".join(ch if ch == "\n" else " " for ch in text[i:j]))
            i = j
        else:
            out.append(c)
            i += 1
    return "".join(out)


def call_args(code, open_paren):
    """The top-level arguments of the call whose '(' is at open_paren."""
    depth, start, args = 0, open_paren + 1, []
    i = open_paren
    while i < len(code):
        c = code[i]
        if c == '"' or c == "'":
            j = i + 1
            while j < len(code) and code[j] != c:
                j += 2 if code[j] == "\\" else 1
            i = j
        elif c in "([{":
            depth += 1
        elif c in ")]}":
            depth -= 1
            if depth == 0:
                args.append(code[start:i].strip())
                return args
        elif c == "," and depth == 1:
            args.append(code[start:i].strip())
            start = i + 1
        i += 1
    return args


ABS_LITERAL = re.compile(r'^"/')


def blocks_of(code):
    """For each offset, the start of its outermost block that is not a
    namespace (a function or class body), or -1 at file scope."""
    owner = [-1] * (len(code) + 1)
    stack = []  # one entry per open brace: whether it opens a namespace
    current = -1
    i = 0
    while i < len(code):
        c = code[i]
        if c == '"' or c == "'":
            j = i + 1
            while j < len(code) and code[j] != c:
                j += 2 if code[j] == "\\" else 1
            for k in range(i, min(j + 1, len(code))):
                owner[k] = current
            i = j + 1
            continue
        if c == "{":
            head = code[max(0, i - 80):i]
            ns = re.search(r'(?:\bnamespace(?:\s+[\w:]+)?|extern\s+"C")\s*$', head) is not None
            stack.append(ns)
            if not ns and current == -1:
                current = i
        elif c == "}" and stack:
            stack.pop()
            if all(stack) if stack else True:
                owner[i] = current
                current = -1
                i += 1
                continue
        owner[i] = current
        i += 1
    owner[len(code)] = current
    return owner


def absolute_names(code, owner):
    """Names this file sets from an absolute path literal, each with the
    block it is set in (-1: file scope, seen everywhere)."""
    names = set()
    for m in re.finditer(r'\b(\w+)\s*(?:\[[^\]]*\])?\s*(?:=|\(|\{)\s*(?:std::string\s*\(\s*)?"/', code):
        names.add((m.group(1), owner[m.start()]))
    for m in re.finditer(r"\bs?n?printf\s*\(", code):
        args = call_args(code, m.end() - 1)
        if args and any(ABS_LITERAL.match(a) for a in args[1:]):
            names.add((re.sub(r"\W.*", "", args[0]), owner[m.start()]))
    return names


def names_at(names, block):
    return {n for n, b in names if n and (b == -1 or b == block)}


def bypasses(arg, names):
    if "sysPath(" in arg:
        return False
    if re.search(r'(?:^|[^\\])"/', arg):  # an absolute literal, alone or in an expression
        return True
    m = re.match(r"^(\w+)(?:\.c_str\(\)|\.data\(\))?$", arg)
    return bool(m and m.group(1) in names)


def findings_of(path, text):
    code = strip_comments(text)
    lines = text.split("\n")
    owner = blocks_of(code)
    names = absolute_names(code, owner)
    found = []

    def report(pos, what):
        line = code.count("\n", 0, pos)
        here = lines[line] if line < len(lines) else ""
        before = lines[line - 1] if line > 0 else ""
        if MARKER in here or MARKER in before:
            return
        found.append(f"{path}:{line + 1}: {what}: {here.strip()}")

    for m in CALL.finditer(code):
        name = m.group(1)
        args = call_args(code, m.end() - 1)
        for k in PATH_CALLS[name]:
            if k < len(args) and bypasses(args[k], names_at(names, owner[m.start()])):
                report(m.start(), f"{name}() on a host path without sysPath()")
                break
    for m in STREAM_DECL.finditer(code):
        args = call_args(code, m.end() - 1)
        if args and bypasses(args[0], names_at(names, owner[m.start()])):
            report(m.start(), f"{m.group(1)} on a host path without sysPath()")
    for m in STREAM_OPEN.finditer(code):
        args = call_args(code, m.end() - 1)
        if args and bypasses(args[0], names_at(names, owner[m.start()])):
            report(m.start(), "open() of a stream on a host path without sysPath()")
    if not path.startswith(HOST_HEADER_USERS):
        for m in HOST_INCLUDE.finditer(code):
            report(m.start(), "the system's code includes a host-only header")
    for m in FS_CALL.finditer(code):
        args = call_args(code, m.end() - 1)
        if args and bypasses(args[0], names_at(names, owner[m.start()])):
            report(m.start(), f"filesystem::{m.group(1)} on a host path without sysPath()")
    return sorted(set(found))


def checked(rel):
    if not rel.endswith(SOURCE_EXT):
        return False
    if rel.startswith(EXEMPT_DIRS):
        return False
    return not any(p in "/" + rel for p in EXEMPT_PARTS)


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    files = subprocess.run(["git", "-C", root, "ls-files", "--cached", "--others", "--exclude-standard"],
                           check=True, capture_output=True, text=True).stdout.split()
    found = []
    for rel in sorted(files):
        if checked(rel) and os.path.isfile(os.path.join(root, rel)):
            with open(os.path.join(root, rel), encoding="utf-8", errors="replace") as f:
                found += findings_of(rel, f.read())
    for line in found:
        print(line)
    if found:
        print(f"checkSeam: {len(found)} finding(s): pass host paths through sysPath() or the io* calls "
              f"(or mark a justified line with // {MARKER} <reason>), and keep platform/host/ out of the "
              f"system's code", file=sys.stderr)
        return 1
    print("checkSeam: every host path goes through the seam; no host-only header in the system's code")
    return 0


if __name__ == "__main__":
    sys.exit(main())
