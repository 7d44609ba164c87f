#!/usr/bin/env python3
"""Mutation check of kest's tests: how many small faults in src/ do the tests catch?

usage: tools/mutate.py [--sample N] [--seed S] [--files GLOB]... [--key KEY]...
                             [--list] [--json PATH] [--work DIR] [--rev REV] [--timeout T]

Copies the checkout (without .git and build folders) to a private work folder
(default /tmp/kest-mutate/src-copy; the real tree is never touched), builds it in
/tmp/kest-mutate/build-mutate (Release, -O1, no LTO, tests on), checks that the
unmodified tree passes, then applies one mutation at a time to the copy, rebuilds
incrementally and runs the tests until the first failure. The source file is
always written back afterwards, also on Ctrl-C (a backup stays in the work folder
until then).

  tools/mutate.py --files 'src/select/*' --sample 15 --seed 1 --list
  tools/mutate.py --files 'src/select/*' --sample 15 --seed 1
  tools/mutate.py --sample 300 --seed 1 --json /tmp/mutants.json
  tools/mutate.py --files 'src/select/*' --key 'src/select/readflag.cpp:...'  (one mutant again)

Operators (on code only; comments, string and character literals, preprocessor
lines, static_assert, attributes and template argument lists are left alone):
  cmp        < -> <=, <= -> <, > -> >=, >= -> >      cmp-rev  < <-> >, <= <-> >=
  eq         == <-> !=                                logic    && <-> ||
  int+1      integer constant + 1                     int-1    integer constant - 1
  bool       true <-> false                           arith    binary + <-> -
  stmt       an expression statement becomes {}      ret-early  a void function returns at once
  ret-true / ret-false   `return X;` of a bool function returns a constant

Mutation sites are named by (file, hash of the stripped line text, occurrence of
that text in the file, operator, index among that operator's sites on the line),
so an edit elsewhere in the file leaves a site's name alone. The sample is the N
names with the smallest hash of (seed, name): the same N, seed and sources give the
same sample, and adding or removing sites elsewhere changes only the few mutants
whose hashes fall in between. `--files` narrows the set before sampling, so the
sample of a folder is drawn independently of the rest.

Status of a mutant: killed (a test failed or crashed), timeout (the tests ran past
--timeout seconds; counted as killed), survived, or not compiled (left out of the
score). The tests are the two gtest programs, run directly with --gtest_fail_fast
in two shards balanced by the test times of the last unmutated run: each shard runs
its quick unit tests, then its quick CLI tests, then its slow tests; the first
failure ends both shards. The ctest-only checks (include layers, manual page lint)
look at files no mutation touches, so they are not run. With --every-test every
test runs on each mutant and all that fail are listed: a test that is the only
one to kill some mutant is one no other test backs up. After the run the build
is brought back to the unmutated sources.
"""

import argparse
import bisect
import fnmatch
import hashlib
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tarfile
import time

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
SOURCE_SUFFIXES = (".cpp", ".h", ".hpp", ".cc")

# ---------------------------------------------------------------------------
# Tokens

PUNCT = re.compile(r"<=>|<<=|>>=|->\*|\.\.\.|::|->|\+\+|--|<<|>>|<=|>=|==|!=|&&|\|\||"
                   r"[-+*/%&|^]=|\.\*|##|[^\s]")
IDENT = re.compile(r"[A-Za-z_][A-Za-z_0-9]*")
NUMBER = re.compile(r"\.?[0-9](?:[eEpP][-+]|'[0-9A-Za-z]|[0-9A-Za-z_.])*")
RAW_PREFIXES = {"R", "u8R", "uR", "UR", "LR"}
STRING_PREFIXES = {"u8", "u", "U", "L"}
INTEGER = re.compile(r"(0[xX][0-9a-fA-F]+|0[bB][01]+|0[0-7]*|[1-9][0-9]*)([uUlLzZ]*)")

# Words that open something other than an expression statement.
NOT_EXPRESSION = set("""
    return break continue goto throw using typedef static_assert case default namespace
    template typename class struct enum union friend public private protected const
    constexpr consteval constinit static auto unsigned signed int long short char double
    float bool void volatile extern inline thread_local decltype if else for while do
    switch try catch co_return co_await co_yield delete new asm register mutable explicit
    virtual operator sizeof alignas alignof char8_t char16_t char32_t wchar_t
""".split())
KEYWORDS = NOT_EXPRESSION | {"true", "false", "nullptr", "this", "and", "or", "not",
                             "static_cast", "const_cast", "reinterpret_cast", "dynamic_cast"}
FUNCTION_QUALIFIERS = {"const", "noexcept", "override", "final", "mutable", "&", "&&", "->"}
CONTROL = {"if", "for", "while", "switch", "catch"}
ASSIGNING = {"=", "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^=", "<<=", ">>=", "++", "--"}


class Tok:
    __slots__ = ("kind", "text", "start", "end", "sb", "sa")

    def __init__(self, kind, text, start, end):
        self.kind, self.text, self.start, self.end = kind, text, start, end
        self.sb = self.sa = True  # blank (or a comment) before / after the token


def _skip_string(text, i, quote):
    """The end of the literal whose opening quote is at i."""
    i += 1
    while i < len(text) and text[i] != quote:
        if text[i] == "\\":
            i += 1
        elif text[i] == "\n":
            break  # unterminated: end it at the line
        i += 1
    return i + 1


def tokenize(text):
    """The code tokens of a C++ text: comments and preprocessor lines are dropped;
    string and character literals come as single tokens of kind str/chr."""
    toks, i, n, line_start = [], 0, len(text), True
    while i < n:
        c = text[i]
        if c == "\n":
            line_start, i = True, i + 1
            continue
        if c in " \t\r\f\v":
            i += 1
            continue
        if c == "#" and line_start:  # a directive, with its continuation lines
            while i < n and text[i] != "\n":
                i += 2 if text[i] == "\\" and i + 1 < n else 1
            continue
        line_start = False
        if text.startswith("//", i):
            j = text.find("\n", i)
            i = n if j < 0 else j
            continue
        if text.startswith("/*", i):
            j = text.find("*/", i + 2)
            i = n if j < 0 else j + 2
            continue
        start = i
        m = IDENT.match(text, i)
        if m:
            word, i = m.group(), m.end()
            if word in RAW_PREFIXES and i < n and text[i] == '"':
                open_paren = text.find("(", i)
                delim = text[i + 1:open_paren]
                close = text.find(")" + delim + '"', open_paren)
                i = n if close < 0 else close + len(delim) + 2
                toks.append(Tok("str", text[start:i], start, i))
                continue
            if word in STRING_PREFIXES and i < n and text[i] in "\"'":
                quote = text[i]
                i = _skip_string(text, i, quote)
                toks.append(Tok("str" if quote == '"' else "chr", text[start:i], start, i))
                continue
            toks.append(Tok("id", word, start, i))
            continue
        m = NUMBER.match(text, i)
        if m:
            i = m.end()
            toks.append(Tok("num", m.group(), start, i))
            continue
        if c in "\"'":
            i = _skip_string(text, i, c)
            m = IDENT.match(text, i)  # a user-defined literal suffix such as "sv"
            if m:
                i = m.end()
            toks.append(Tok("str" if c == '"' else "chr", text[start:i], start, i))
            continue
        m = PUNCT.match(text, i)
        i = m.end()
        toks.append(Tok("op", m.group(), start, i))
    for a, b in zip(toks, toks[1:]):
        a.sa = b.sb = a.end != b.start
    return toks


# ---------------------------------------------------------------------------
# Mutation sites


class Site:
    __slots__ = ("op", "start", "end", "repl", "line", "col", "key", "file")

    def __init__(self, op, start, end, repl):
        self.op, self.start, self.end, self.repl = op, start, end, repl
        self.line = self.col = 0
        self.key = self.file = ""


def _shift_integer(literal, delta):
    """The integer literal plus delta in the same base and suffix, or None."""
    m = INTEGER.fullmatch(literal.replace("'", ""))
    if not m:
        return None  # a floating literal
    digits, suffix = m.groups()
    value = int(digits, 0) if not (len(digits) > 1 and digits[0] == "0" and
                                   digits[1] in "01234567") else int(digits, 8)
    value += delta
    if value < 0:
        return None
    if digits[:2] in ("0x", "0X"):
        body = format(value, "X" if any(ch in "ABCDEF" for ch in digits) else "x")
        return digits[:2] + body + suffix
    if digits[:2] in ("0b", "0B"):
        return digits[:2] + format(value, "b") + suffix
    if len(digits) > 1 and digits[0] == "0":
        return "0" + format(value, "o") + suffix
    return str(value) + suffix


class Analysis:
    """Finds the mutation sites of one source text."""

    def __init__(self, text):
        self.text = text
        self.toks = toks = tokenize(text)
        self.n = len(toks)
        self.match = {}
        opened = []
        for i, t in enumerate(toks):
            if t.text in ("(", "[", "{"):
                opened.append(i)
            elif t.text in (")", "]", "}") and opened:
                o = opened.pop()
                self.match[o], self.match[i] = i, o
        self.frozen = [False] * self.n  # template arguments and static_asserts
        self.angle = {}  # template '<' -> its '>'
        self._mark_frozen()
        self.sites = []

    def tok(self, i):
        return self.toks[i] if 0 <= i < self.n else Tok("op", "", 0, 0)

    def _mark_frozen(self):
        toks, angles = self.toks, []
        for i, t in enumerate(toks):
            if t.text == "<" and not (t.sb and t.sa) and self.tok(i - 1).kind == "id":
                angles.append(i)
            elif t.text in (">", ">>") and angles and not (t.sb and t.sa):
                for _ in range(len(t.text)):
                    if angles:
                        o = angles.pop()
                        self.angle[o] = i
                        for k in range(o, i + 1):
                            self.frozen[k] = True
            elif t.text in (";", "{", "}"):
                angles.clear()
            # Assertions and attributes: a mutant there only fails to compile.
            if (t.text in ("static_assert", "__attribute__", "alignas") or
                    t.text.endswith("PRINTF")) and self.tok(i + 1).text == "(":
                for k in range(i, self.match.get(i + 1, i) + 1):
                    self.frozen[k] = True

    def add(self, op, first, last, repl):
        """A site replacing tokens first..last; the replaced lines stay lines."""
        start, end = self.toks[first].start, self.toks[last].end
        repl += "\n" * self.text.count("\n", start, end)
        self.sites.append(Site(op, start, end, repl))

    # -- what a brace opens ------------------------------------------------

    def _return_type_before(self, name):
        """'bool' or 'void' when the function named at token `name` returns it."""
        toks = self.toks
        if toks[name].kind != "id" and self.tok(name - 1).text == "operator":
            name -= 1
        elif toks[name].kind != "id" or toks[name].text in KEYWORDS:
            return None
        while self.tok(name - 1).text == "::" and self.tok(name - 2).kind == "id":
            name -= 2
        before = self.tok(name - 1).text
        return before if before in ("bool", "void") else None

    def classify_brace(self, i, in_function):
        """(kind, return type) of the '{' at i: kind is func, block, class, ns,
        enum or init."""
        toks = self.toks
        j, trailing = i - 1, []
        while j >= 0 and (toks[j].kind == "id" or toks[j].text in
                          ("->", "::", "<", ">", "*", "&", "&&", ",")):
            trailing.insert(0, toks[j].text)
            j -= 1
        if j >= 0 and toks[j].text in (")", "]") and (not trailing or
                                                     trailing[0] in FUNCTION_QUALIFIERS):
            ret = None
            if "->" in trailing:
                rest = trailing[trailing.index("->") + 1:]
                ret = rest[0] if rest in (["bool"], ["void"]) else None
            if toks[j].text == "]":
                return "func", ret  # a lambda without parameters
            o = self.match.get(j)
            if o is None:
                return "block", None
            head = self.tok(o - 1)
            if head.text in CONTROL or (head.text == "constexpr" and
                                        self.tok(o - 2).text == "if"):
                return "block", None
            if "->" in trailing or head.text == "]":
                return "func", ret
            return "func", self._return_type_before(o - 1)
        k, words = i - 1, set()
        while k >= 0 and toks[k].text not in (";", "{", "}", ")"):
            words.add(toks[k].text)
            k -= 1
        if "enum" in words:
            return "enum", None
        if "namespace" in words or ("extern" in words and self.tok(i - 1).kind == "str"):
            return "ns", None
        if words & {"class", "struct", "union"}:
            return "class", None
        before = self.tok(i - 1).text
        if before in ("else", "do", "try", ";", "{", "}", ":"):
            # At namespace or class scope this is a constructor body after a
            # braced member initialiser.
            return ("block", None) if in_function else ("func", None)
        return "init", None

    # -- statements --------------------------------------------------------

    def statement_end(self, i):
        """The ';' that ends the statement starting at i, or None."""
        j = i
        while j < self.n:
            t = self.toks[j].text
            if t in ("(", "[", "{"):
                if j not in self.match:
                    return None
                j = self.match[j] + 1
                continue
            if t == ";":
                return j
            if t in (")", "]", "}"):
                return None
            j += 1
        return None

    def is_expression_statement(self, i):
        toks, t = self.toks, self.toks[i]
        if t.text in ("++", "--", "*"):
            return True
        if t.kind != "id" or t.text in NOT_EXPRESSION:
            return False
        j = i
        while True:
            while self.tok(j + 1).text == "::" and self.tok(j + 2).kind == "id":
                j += 2
            if self.tok(j + 1).text == "<" and (j + 1) in self.angle:
                j = self.angle[j + 1]
                if self.tok(j + 1).text == "::" and self.tok(j + 2).kind == "id":
                    j += 2
                    continue
            break
        after = self.tok(j + 1)
        if after.kind == "id":
            return False  # a type, then the declared name
        if after.text in ("*", "&", "&&") and not after.sb:
            return False  # Type* name
        return after.text in ("(", ".", "->", "[", "<<", ">>") or after.text in ASSIGNING

    def at_statement(self, i, function_ret):
        t = self.toks[i]
        end = self.statement_end(i)
        if end is None or end == i:
            return
        if t.text == "return":
            if function_ret != "bool" or end == i + 1:
                return
            value = [x.text for x in self.toks[i + 1:end]]
            if value in (["true"], ["false"]):
                return
            self.add("ret-true", i + 1, end - 1, "true")
            self.add("ret-false", i + 1, end - 1, "false")
        elif self.is_expression_statement(i):
            self.add("stmt", i, end, "{}")

    def walk_statements(self):
        """Statement-level sites: dropped statements, constant returns of bool
        functions, early returns of void functions."""
        toks, stack = self.toks, []  # entries: [char, kind, ret]
        at_start, first = False, None
        for i, t in enumerate(toks):
            x = t.text
            top = stack[-1] if stack else None
            if top and top[0] == "{" and top[1] in ("func", "block") and at_start:
                first = i
                ret = next((e[2] for e in reversed(stack) if e[0] == "{" and e[1] == "func"),
                           None)
                self.at_statement(i, ret)
            if x == "{":
                in_function = any(e[0] == "{" and e[1] == "func" for e in stack)
                kind, ret = self.classify_brace(i, in_function)
                stack.append(["{", kind, ret])
                if kind == "func" and ret == "void" and self.tok(i + 1).text != "}":
                    self.sites.append(Site("ret-early", t.start, t.end, "{ return;"))
                at_start = True
            elif x in ("(", "["):
                stack.append([x, i, None])
                at_start = False
            elif x in (")", "]", "}"):
                if stack:
                    stack.pop()
                at_start = x == "}"
                if x == ")" and i in self.match:
                    o = self.match[i]
                    head = self.tok(o - 1)
                    at_start = head.text in CONTROL - {"switch", "catch"} or (
                        head.text == "constexpr" and self.tok(o - 2).text == "if")
            elif x in (";", "else", "do"):
                at_start = True
            elif x == ":" and first is not None and toks[first].text in ("case", "default"):
                at_start = True
            else:
                at_start = False

    # -- token-level sites -------------------------------------------------

    def walk_tokens(self):
        toks = self.toks
        operand_end = lambda t: (t.kind in ("num", "chr") or t.text in (")", "]", "this") or
                                 (t.kind == "id" and t.text not in KEYWORDS))
        operand_start = lambda t: (t.kind in ("id", "num", "chr") or
                                   t.text in ("(", "::", "*", "!", "~"))
        for i, t in enumerate(toks):
            if self.frozen[i]:
                continue
            x, prev, nxt = t.text, self.tok(i - 1), self.tok(i + 1)
            spaced = t.sb and t.sa and prev.text != "operator"
            if x in ("<", "<=", ">", ">=") and spaced:
                self.add("cmp", i, i, {"<": "<=", "<=": "<", ">": ">=", ">=": ">"}[x])
                self.add("cmp-rev", i, i, {"<": ">", ">": "<", "<=": ">=", ">=": "<="}[x])
            elif x in ("==", "!=") and spaced:
                self.add("eq", i, i, "!=" if x == "==" else "==")
            elif x in ("&&", "||") and spaced:
                self.add("logic", i, i, "||" if x == "&&" else "&&")
            elif x in ("true", "false"):
                self.add("bool", i, i, "false" if x == "true" else "true")
            elif x in ("+", "-") and spaced and operand_end(prev) and operand_start(nxt) \
                    and "str" not in (prev.kind, nxt.kind):
                self.add("arith", i, i, "-" if x == "+" else "+")
            elif t.kind == "num":
                if prev.text == "[" and nxt.text == "]" and self.tok(i - 2).kind == "id" and \
                        (self.tok(i - 3).kind == "id" or self.tok(i - 3).text in "*&>"):
                    continue  # the size of a declared array
                for op, delta in (("int+1", 1), ("int-1", -1)):
                    shifted = _shift_integer(x, delta)
                    if shifted is not None:
                        self.add(op, i, i, shifted)


def find_sites(rel, text):
    """Every mutation site of a file, named and ordered by position."""
    a = Analysis(text)
    a.walk_statements()
    a.walk_tokens()
    sites = sorted(a.sites, key=lambda s: (s.start, s.op))
    lines = text.split("\n")
    line_starts = [0]
    for ln in lines[:-1]:
        line_starts.append(line_starts[-1] + len(ln) + 1)
    occurrence, seen = [], {}
    for ln in lines:
        h = hashlib.sha1(ln.strip().encode()).hexdigest()[:12]
        seen[h] = seen.get(h, -1) + 1
        occurrence.append((h, seen[h]))
    per_line = {}
    for s in sites:
        idx = bisect.bisect_right(line_starts, s.start) - 1
        s.file, s.line, s.col = rel, idx + 1, s.start - line_starts[idx] + 1
        h, occ = occurrence[idx]
        k = per_line.get((idx, s.op), 0)
        per_line[(idx, s.op)] = k + 1
        s.key = f"{rel}:{h}:{occ}:{s.op}:{k}"
    return sites


def mutated_text(text, site):
    return text[:site.start] + site.repl + text[site.end:]


def line_at(text, offset):
    start = text.rfind("\n", 0, offset) + 1
    end = text.find("\n", offset)
    return text[start:] if end < 0 else text[start:end]


def describe(text, site):
    """(original line, mutated line) of a site."""
    before = line_at(text, site.start).strip()
    after = line_at(mutated_text(text, site), site.start).strip()
    if site.op == "stmt":
        after += f"  (drops: {text[site.start:site.end].splitlines()[0].strip()})"
    return before, after


def sample_sites(sites, count, seed):
    ranked = sorted(sites, key=lambda s: hashlib.sha256(f"{seed}\0{s.key}".encode()).digest())
    chosen = ranked if count is None else ranked[:count]
    return sorted(chosen, key=lambda s: (s.file, s.line, s.col, s.op))


# ---------------------------------------------------------------------------
# The private copy and its build


def _skipped_dir(parent_rel, name, path):
    if name in (".git", "__pycache__") or os.path.exists(os.path.join(path, "CMakeCache.txt")):
        return True
    return parent_rel == "." and name.startswith("build")


def sync_tree(src, dst):
    """Makes dst a copy of src; only changed files are written (with a fresh
    modification time, so the build sees them). Returns the number written."""
    written, keep = 0, set()
    for root, dirs, files in os.walk(src):
        rel = os.path.relpath(root, src)
        dirs[:] = sorted(d for d in dirs if not _skipped_dir(rel, d, os.path.join(root, d)))
        os.makedirs(os.path.join(dst, rel), exist_ok=True)
        keep.add(os.path.normpath(rel))
        for f in files:
            s, d = os.path.join(root, f), os.path.join(dst, rel, f)
            keep.add(os.path.normpath(os.path.join(rel, f)))
            if os.path.islink(s) and not os.path.exists(s):
                continue
            with open(s, "rb") as fh:
                data = fh.read()
            if os.path.isfile(d) and not os.path.islink(d):
                with open(d, "rb") as fh:
                    if fh.read() == data:
                        continue
            if os.path.lexists(d):
                os.remove(d)
            with open(d, "wb") as fh:
                fh.write(data)
            shutil.copymode(s, d)
            written += 1
    for root, dirs, files in os.walk(dst, topdown=False):
        rel = os.path.relpath(root, dst)
        for f in files:
            if os.path.normpath(os.path.join(rel, f)) not in keep:
                os.remove(os.path.join(root, f))
        if os.path.normpath(rel) not in keep:
            os.rmdir(root)
    return written


def export_revision(rev, dest):
    """Unpacks the committed tree of `rev` (read-only use of git) into dest."""
    shutil.rmtree(dest, ignore_errors=True)
    os.makedirs(dest)
    proc = subprocess.Popen(["git", "-C", ROOT, "archive", "--format=tar", rev],
                            stdout=subprocess.PIPE)
    with tarfile.open(fileobj=proc.stdout, mode="r|") as tar:
        tar.extractall(dest, filter="data")
    if proc.wait() != 0:
        sys.exit(f"mutate: git archive {rev} failed")


CHILDREN = set()


def _kill(proc):
    if proc.poll() is None:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        proc.wait()
    CHILDREN.discard(proc)


def run_quiet(cmd, timeout, log_path, cwd=None, env=None):
    """Runs cmd in a session of its own, output to log_path: (status, seconds);
    status is None on a timeout."""
    began = time.monotonic()
    with open(log_path, "wb") as log:
        proc = subprocess.Popen(cmd, cwd=cwd, env=env, stdout=log, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL, start_new_session=True)
        CHILDREN.add(proc)
        try:
            status = proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            status = None
        finally:
            _kill(proc)
    return status, time.monotonic() - began


class Builder:
    def __init__(self, args):
        self.copy = os.path.join(args.work, "src-copy")
        self.build = os.path.join(args.work, "build-mutate")
        self.logs = os.path.join(args.work, "logs")
        self.tmp = os.path.join(args.work, "tmp")
        self.opt = args.opt
        os.makedirs(self.logs, exist_ok=True)

    def configure(self):
        generator = "Ninja" if shutil.which("ninja") else "Unix Makefiles"
        cmd = ["cmake", "-S", self.copy, "-B", self.build, "-G", generator,
               "-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_INTERPROCEDURAL_OPTIMIZATION=OFF",
               "-DKEST_TESTS=ON", "-DKEST_SANITIZE=OFF",
               f"-DCMAKE_CXX_FLAGS_RELEASE={self.opt} -DNDEBUG",
               # The tests are listed when ctest runs, never after a link: a mutant
               # that crashes at start-up is then a test failure, not a build one.
               "-DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST"]
        if shutil.which("ld.lld"):  # every mutant links four programs: the quickest linker
            cmd.append("-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld")
        stamp = os.path.join(self.build, "mutate-configure.txt")
        wanted = "\n".join(cmd)
        if os.path.exists(stamp) and open(stamp).read() == wanted:
            return
        shutil.rmtree(self.build, ignore_errors=True)
        status, _ = run_quiet(cmd, 600, os.path.join(self.logs, "configure.txt"))
        if status != 0:
            sys.exit(f"mutate: configuring failed, see {self.logs}/configure.txt")
        with open(stamp, "w") as fh:
            fh.write(wanted)

    def make(self, timeout=1800):
        status, seconds = run_quiet(["cmake", "--build", self.build, "-j2"], timeout,
                                    os.path.join(self.logs, "build.txt"))
        return status == 0, seconds


class TestRunner:
    """Runs the gtest programs in shards until the first failure.

    Every test goes to one shard, the slowest first to the least loaded shard (as
    timed by the last unmutated run), so that the shards end together. A shard
    runs its quick unit tests, then its quick CLI tests, then its slow tests one
    by one, quickest first: most mutants fall to a quick test early on."""

    PROGRAMS = ("unit_tests", "cli_tests")  # the fast unit tests first
    SLOW = 0.5  # seconds from which a test runs in a process of its own, late
    UNKNOWN = 0.1  # the time assumed for a test not timed yet
    FAILED = re.compile(r"^\[  FAILED  \] (\S+)", re.M)
    RUNNING = re.compile(r"^\[ RUN      \] (\S+)", re.M)

    def __init__(self, builder, shards, every=False):
        self.b, self.shards, self.every = builder, shards, every
        self.times_path = os.path.join(builder.build, "mutate-test-times.json")
        self.queues = None

    def _program(self, program):
        return os.path.join(self.b.build, program)

    def list_tests(self, program):
        out = subprocess.run([self._program(program), "--gtest_list_tests"], cwd=self.b.build,
                             capture_output=True, text=True, timeout=120, check=True).stdout
        names, suite = [], ""
        for line in out.splitlines():
            body = line.split("#")[0].rstrip()
            if not body.strip():
                continue
            if line.startswith(" "):
                names.append(suite + body.strip())
            else:
                suite = body.strip()  # "Suite." with its dot
        return names

    def plan(self):
        """Splits the tests of both programs into the shards' queues of runs."""
        times = {}
        if os.path.exists(self.times_path):
            with open(self.times_path) as fh:
                times = json.load(fh)
        tests = [(program, name, times.get(f"{program} {name}", self.UNKNOWN))
                 for program in self.PROGRAMS for name in self.list_tests(program)]
        shards, loads = [[] for _ in range(self.shards)], [0.0] * self.shards
        for test in sorted(tests, key=lambda t: -t[2]):
            k = loads.index(min(loads))
            shards[k].append(test)
            loads[k] += test[2]
        self.queues = []
        for share in shards:
            queue = []
            for program in self.PROGRAMS:
                quick = [t[1] for t in share if t[0] == program and t[2] < self.SLOW]
                if quick:
                    queue.append((program, quick))
            slow = sorted((t for t in share if t[2] >= self.SLOW), key=lambda t: t[2])
            queue += [(program, [name]) for program, name, _ in slow]
            self.queues.append(queue)
        return len(tests), max(loads)

    def _start(self, shard, number, program, names, timing):
        env = dict(os.environ, GTEST_COLOR="no", TMPDIR=self.b.tmp)
        for name in ("KEST", "GTEST_TOTAL_SHARDS", "GTEST_SHARD_INDEX", "GTEST_FILTER"):
            env.pop(name, None)
        log = os.path.join(self.b.logs, f"test-{shard}-{number}.txt")
        cmd = [self._program(program), "--gtest_filter=" + ":".join(names)]
        if not self.every:
            cmd.insert(1, "--gtest_fail_fast")
        if timing:
            cmd.append(f"--gtest_output=json:{log}.json")
        with open(log, "wb") as fh:
            proc = subprocess.Popen(cmd, cwd=self.b.build, env=env, stdout=fh,
                                    stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                    start_new_session=True)
        CHILDREN.add(proc)
        return proc, log

    def _culprit(self, program, status, log):
        with open(log, errors="replace") as fh:
            out = fh.read()
        failed = list(dict.fromkeys(self.FAILED.findall(out)))
        if failed:
            return " ".join(failed) if self.every else failed[0]
        running = self.RUNNING.findall(out)
        where = running[-1] if running else program
        return f"{where} (signal {-status})" if status < 0 else f"{where} (status {status})"

    def _save_times(self, logs):
        times = {}
        if os.path.exists(self.times_path):
            with open(self.times_path) as fh:
                times = json.load(fh)
        for program, log in logs:
            with open(log + ".json") as fh:
                report = json.load(fh)
            for suite in report["testsuites"]:
                for test in suite["testsuite"]:
                    if test.get("result", "COMPLETED") == "COMPLETED":
                        key = f"{program} {suite['name']}.{test['name']}"
                        times[key] = float(test["time"].rstrip("s"))
        with open(self.times_path, "w") as fh:
            json.dump(times, fh, indent=0, sort_keys=True)

    def run(self, timeout, timing=False):
        """('killed', test) on the first failure, ('timeout', None) or ('survived',
        None). `timing` keeps the tests' times for the next plan."""
        shutil.rmtree(self.b.tmp, ignore_errors=True)
        os.makedirs(self.b.tmp)
        queues = [list(q) for q in self.queues]
        running, started, finished = {}, 0, []  # running: shard -> (proc, program, log)
        culprits = []  # with every test run: all that failed
        deadline = time.monotonic() + timeout
        try:
            while True:
                for shard, queue in enumerate(queues):
                    if shard not in running and queue:
                        program, names = queue.pop(0)
                        started += 1
                        proc, log = self._start(shard, started, program, names, timing)
                        running[shard] = (proc, program, log)
                if not running:
                    if culprits:
                        return "killed", " ".join(culprits)
                    if timing:
                        self._save_times(finished)
                    return "survived", None
                for shard, (proc, program, log) in list(running.items()):
                    status = proc.poll()
                    if status is None:
                        continue
                    CHILDREN.discard(proc)
                    del running[shard]
                    if status != 0 and self.every:
                        culprits.append(self._culprit(program, status, log))
                    elif status != 0:
                        return "killed", self._culprit(program, status, log)
                    finished.append((program, log))
                if time.monotonic() > deadline:
                    return "timeout", None
                time.sleep(0.02)
        finally:
            for proc, _, _ in running.values():
                _kill(proc)
            shutil.rmtree(self.b.tmp, ignore_errors=True)


# ---------------------------------------------------------------------------
# Applying one mutant


class Mutation:
    """Writes a mutant into the copy and always puts the original back: the
    original also waits in the work folder's backup until then."""

    def __init__(self, work, path):
        self.path = path
        self.backup = os.path.join(work, "backup", "original")
        self.note = os.path.join(work, "backup", "ACTIVE")

    @staticmethod
    def recover(work):
        """Puts back a file an interrupted run left mutated."""
        note = os.path.join(work, "backup", "ACTIVE")
        if os.path.exists(note):
            with open(note) as fh:
                path = fh.read()
            shutil.copyfile(os.path.join(work, "backup", "original"), path)
            os.remove(note)

    def __enter__(self):
        st = os.stat(self.path)
        self.times = (st.st_atime_ns, st.st_mtime_ns)
        with open(self.path, "rb") as fh:
            self.original = fh.read()
        os.makedirs(os.path.dirname(self.backup), exist_ok=True)
        with open(self.backup, "wb") as fh:
            fh.write(self.original)
        with open(self.note, "w") as fh:
            fh.write(self.path)
        self.keep_times = False
        return self

    def write(self, text):
        with open(self.path, "w", newline="") as fh:
            fh.write(text)

    def __exit__(self, *exc):
        with open(self.path, "wb") as fh:
            fh.write(self.original)
        if self.keep_times:
            # The mutant did not compile, so the objects are still those of the
            # original: giving it back its time spares a rebuild.
            os.utime(self.path, ns=self.times)
        os.remove(self.note)
        return False


# ---------------------------------------------------------------------------


def collect_sites(copy, patterns):
    sites, texts = [], {}
    for root, dirs, files in os.walk(os.path.join(copy, "src")):
        dirs.sort()
        for f in sorted(files):
            path = os.path.join(root, f)
            rel = os.path.relpath(path, copy)
            if not f.endswith(SOURCE_SUFFIXES) or not any(fnmatch.fnmatch(rel, p)
                                                          for p in patterns):
                continue
            with open(path, newline="") as fh:
                texts[rel] = fh.read()
            sites.extend(find_sites(rel, texts[rel]))
    return sites, texts


def summary_lines(results, not_run):
    count = lambda status: sum(1 for r in results if r["status"] == status)
    killed, timeout, survived = count("killed"), count("timeout"), count("survived")
    scored = killed + timeout + survived
    score = f"{100.0 * (killed + timeout) / scored:.1f}%" if scored else "n/a"
    lines = [f"score: {killed + timeout}/{scored} killed ({score}); "
             f"{timeout} of them by timeout; {count('not compiled')} did not compile"
             + (f"; {not_run} not run (interrupted)" if not_run else "")]
    survivors = [r for r in results if r["status"] == "survived"]
    if survivors:
        lines.append("survivors:")
        lines += [f"  {r['file']}:{r['line']}:{r['col']} {r['op']}: {r['mutated']}"
                  for r in survivors]
    return lines


def main():
    parser = argparse.ArgumentParser(
        description="Mutation check of kest's tests (see the top of this file).")
    parser.add_argument("--sample", type=int, metavar="N",
                        help="run N mutants (default: every site)")
    parser.add_argument("--seed", default="1", metavar="S", help="sample seed (default 1)")
    parser.add_argument("--files", action="append", metavar="GLOB",
                        help="sources to mutate, relative to the checkout (default 'src/*'); "
                             "may be repeated")
    parser.add_argument("--key", action="append", metavar="KEY",
                        help="run the mutant of this name (as --list and the JSON show it) "
                             "instead of a sample; may be repeated")
    parser.add_argument("--list", action="store_true", help="print the sample, run nothing")
    parser.add_argument("--json", metavar="PATH", help="also write the results as JSON")
    parser.add_argument("--work", default="/tmp/kest-mutate", metavar="DIR",
                        help="work folder for the copy and its build (default /tmp/kest-mutate)")
    parser.add_argument("--rev", metavar="REV",
                        help="mutate the committed tree of REV instead of the working tree")
    parser.add_argument("--timeout", type=float, metavar="T",
                        help="seconds a mutant's tests may take (default: 3 x the unmutated "
                             "run, at least 30)")
    parser.add_argument("--opt", default="-O1", help="optimisation flag (default -O1)")
    parser.add_argument("--shards", type=int, default=2, help="test processes at once (2)")
    parser.add_argument("--every-test", action="store_true",
                        help="run every test on each mutant and list all that fail")
    args = parser.parse_args()
    args.work = os.path.abspath(args.work)
    patterns = args.files or ["src/*"]

    def stop(signum, frame):
        raise KeyboardInterrupt
    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGHUP, stop)

    builder = Builder(args)
    os.makedirs(builder.copy, exist_ok=True)
    Mutation.recover(args.work)
    source = ROOT
    if args.rev:
        source = os.path.join(args.work, "rev-tree")
        export_revision(args.rev, source)
    written = sync_tree(source, builder.copy)
    print(f"copy: {builder.copy} ({written} files updated from {args.rev or ROOT})", flush=True)

    sites, texts = collect_sites(builder.copy, patterns)
    if args.key:
        by_key = {s.key: s for s in sites}
        missing = [k for k in args.key if k not in by_key]
        if missing:
            sys.exit("mutate: no such site (changed line or other --files?): " + " ".join(missing))
        chosen = sample_sites([by_key[k] for k in dict.fromkeys(args.key)], None, args.seed)
    else:
        chosen = sample_sites(sites, args.sample, args.seed)
    per_op = {}
    for s in sites:
        per_op[s.op] = per_op.get(s.op, 0) + 1
    print(f"sites: {len(sites)} in {len(texts)} files ("
          + ", ".join(f"{op} {n}" for op, n in sorted(per_op.items()))
          + f"); sample: {len(chosen)} (seed {args.seed})", flush=True)
    if args.list:
        for s in chosen:
            _, after = describe(texts[s.file], s)
            print(f"{s.file}:{s.line}:{s.col} {s.op:9} {after}    [{s.key}]")
        return 0

    results, not_run = [], len(chosen)
    runner = TestRunner(builder, args.shards, args.every_test)
    try:
        builder.configure()
        print("building the unmutated copy ...", flush=True)
        ok, seconds = builder.make()
        if not ok:
            sys.exit(f"mutate: the unmutated copy does not build, see {builder.logs}/build.txt")
        tests, expected = runner.plan()
        began = time.monotonic()
        status, culprit = runner.run(args.timeout or 3600, timing=True)
        baseline = time.monotonic() - began
        if status != "survived":
            sys.exit(f"mutate: the unmutated copy fails its tests ({status}: {culprit}); "
                     f"logs in {builder.logs}")
        timeout = args.timeout or max(30.0, 3 * baseline)
        runner.plan()
        print(f"unmutated: built in {seconds:.0f} s, {tests} tests pass in {baseline:.1f} s "
              f"in {args.shards} shards; timeout {timeout:.0f} s", flush=True)
        for number, site in enumerate(chosen, 1):
            text = texts[site.file]
            before, after = describe(text, site)
            record = {"key": site.key, "file": site.file, "line": site.line, "col": site.col,
                      "op": site.op, "original": before, "mutated": after}
            began = time.monotonic()
            with Mutation(args.work, os.path.join(builder.copy, site.file)) as mutation:
                mutation.write(mutated_text(text, site))
                ok, build_seconds = builder.make()
                if not ok:
                    mutation.keep_times = site.file.endswith((".cpp", ".cc"))
                    status, culprit = "not compiled", None
                else:
                    status, culprit = runner.run(timeout)
            record.update(status=status, by=culprit, build_seconds=round(build_seconds, 1),
                          seconds=round(time.monotonic() - began, 1))
            results.append(record)
            not_run -= 1
            print(f"[{number:3}/{len(chosen)}] {status:12} {record['seconds']:5.1f} s  "
                  f"{site.file}:{site.line} {site.op:9} {after}"
                  + (f"  <- {culprit}" if culprit else ""), flush=True)
        if chosen:
            builder.make()  # the build folder holds the unmutated program again
    except KeyboardInterrupt:
        print("mutate: interrupted; the copy holds the original sources again", flush=True)
    finally:
        for proc in list(CHILDREN):
            _kill(proc)
    built = [r for r in results if r["status"] != "not compiled"]
    if results:
        mean = sum(r["seconds"] for r in results) / len(results)
        print(f"time per mutant: {mean:.1f} s on average"
              + (f" ({sum(r['build_seconds'] for r in built) / len(built):.1f} s of it "
                 "building, for those that compiled)" if built else ""))
    lines = summary_lines(results, not_run)
    print("\n".join(lines))
    if args.json:
        count = lambda st: sum(1 for r in results if r["status"] == st)
        scored = count("killed") + count("timeout") + count("survived")
        with open(args.json, "w") as fh:
            json.dump({"seed": args.seed, "sample": args.sample, "files": patterns,
                       "rev": args.rev, "killed": count("killed"), "timeout": count("timeout"),
                       "survived": count("survived"), "not_compiled": count("not compiled"),
                       "not_run": not_run,
                       "score": (count("killed") + count("timeout")) / scored if scored else None,
                       "survivors": [r for r in results if r["status"] == "survived"],
                       "mutants": results}, fh, indent=1)
    return 130 if not_run else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except BrokenPipeError:  # the listing went to a reader that stopped early
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        sys.exit(1)
