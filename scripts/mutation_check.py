#!/usr/bin/env python3
"""Puts small faults into the C++ sources one at a time and tells which ones the tests catch.

Each mutant is applied to a scratch copy of the tree (build/mutation/src), never to the working
tree; one build folder (build/mutation/build) is reused, so a mutant costs an incremental rebuild
and one test run. The tests of the mutated unit run first, then the rest, and the run stops at
the first failing test. End-to-end and fuzz stages are not run.

Output: one line per mutant, `file:line  before -> after  KILLED|SURVIVED|BROKEN`, and last
`mutation_score=<killed>/<killed+survived>`.
"""

import argparse
import hashlib
import os
import random
import re
import shutil
import subprocess
import sys
import time
from dataclasses import dataclass

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
WORK = os.path.join(ROOT, "build", "mutation")
SRC = os.path.join(WORK, "src")
BUILD = os.path.join(WORK, "build")
DEFAULT_PATHS = ["engine/", "cli/", "preview/"]
SOURCE_SUFFIXES = (".cpp", ".h")


@dataclass
class Mutant:
    path: str      # relative to the tree's root
    line: int      # 1-based
    before: str    # the whole original line
    after: str     # the whole mutated line
    operator: str

    def describe(self):
        return f"{self.path}:{self.line}  {self.before.strip()} -> {self.after.strip() or '(removed)'}"


# ---- where mutants can go

def code_part(line):
    """The line without a trailing // comment; empty for lines no mutant should touch."""
    stripped = line.strip()
    if not stripped or stripped.startswith(("//", "#", "*", "/*")):
        return ""
    if "static_assert" in stripped or stripped.startswith(("using ", "namespace ", "template", "}")):
        return ""
    cut = line.find("//")
    return line if cut < 0 else line[:cut]


def outside_strings(line, start, end):
    """True when [start, end) is not inside a string or character literal."""
    quote = None
    i = 0
    while i < start:
        c = line[i]
        if quote:
            if c == "\\":
                i += 1
            elif c == quote:
                quote = None
        elif c in "\"'":
            quote = c
        i += 1
    return quote is None


def matching_paren(text, open_index):
    depth = 0
    for i in range(open_index, len(text)):
        if text[i] == "(":
            depth += 1
        elif text[i] == ")":
            depth -= 1
            if depth == 0:
                return i
    return -1


REPLACEMENTS = [
    # (operator name, pattern, replacement)
    ("equality", r" == ", " != "),
    ("equality", r" != ", " == "),
    ("relational", r" <= ", " < "),
    ("relational", r" >= ", " > "),
    ("relational", r" < ", " <= "),
    ("relational", r" > ", " >= "),
    ("logical", r" && ", " || "),
    ("logical", r" \|\| ", " && "),
    ("off-by-one", r" \+ 1\b", ""),
    ("off-by-one", r" - 1\b", ""),
    ("boolean", r"\btrue\b", "false"),
    ("boolean", r"\bfalse\b", "true"),
]

CALL_STATEMENT = re.compile(r"^(\s*)(?:[A-Za-z_][\w]*(?:::|\.|->))*[A-Za-z_]\w*\(.*\);\s*$")
EARLY_EXIT = re.compile(r"^(\s*)(return\b.*;|continue;|break;)\s*$")
CONDITION = re.compile(r"\b(if|while) \(")
SUBSCRIPT = re.compile(r"\[([A-Za-z_][\w.]*)\]")
DECLARATION_START = re.compile(r"^\s*(?:const\s+)?[A-Za-z_][\w:<>,]*[\s*&]+[A-Za-z_]\w*\(")


def mutants_of_line(path, number, line, previous):
    code = code_part(line)
    if not code:
        return []
    found = []

    for name, pattern, replacement in REPLACEMENTS:
        for match in re.finditer(pattern, code):
            if not outside_strings(line, match.start(), match.end()):
                continue
            # "a < b" inside template arguments or shifts is not a comparison worth flipping.
            if name == "relational" and ("template" in code or "<<" in code or ">>" in code):
                continue
            after = line[:match.start()] + replacement + line[match.end():]
            found.append(Mutant(path, number, line, after, name))

    for match in SUBSCRIPT.finditer(code):
        if outside_strings(line, match.start(), match.end()) and not match.group(1).isdigit():
            after = line[:match.start(1)] + match.group(1) + " + 1" + line[match.end(1):]
            found.append(Mutant(path, number, line, after, "off-by-one"))

    for match in CONDITION.finditer(code):
        open_index = match.end() - 1
        close_index = matching_paren(line, open_index)
        if close_index < 0 or not outside_strings(line, match.start(), match.end()):
            continue
        condition = line[open_index + 1:close_index]
        if ";" in condition or ":" in condition.replace("::", ""):
            continue  # a range-for or an init-statement, not a plain condition
        after = line[:open_index + 1] + "!(" + condition + ")" + line[close_index:]
        found.append(Mutant(path, number, line, after, "negated condition"))

    exit_match = EARLY_EXIT.match(code)
    if exit_match:
        # Only exits that sit under a condition are early exits; a function's last return is not.
        prev = code_part(previous).strip() if previous else ""
        if prev.startswith(("if (", "} else if (", "else if (")) and not prev.endswith("{") or \
                exit_match.group(2) in ("continue;", "break;"):
            found.append(Mutant(path, number, line, exit_match.group(1) + ";\n", "early exit removed"))
    else:
        inline = re.match(r"^(\s*if \(.*\)) (return\b.*;|continue;|break;)\s*$", code)
        if inline and matching_paren(line, line.index("(")) == len(inline.group(1)) - 1:
            found.append(Mutant(path, number, line, inline.group(1) + " {}\n", "early exit removed"))

    if CALL_STATEMENT.match(code) and not DECLARATION_START.match(code) and not code.strip().startswith(
            ("return", "delete", "throw", "emit ", "Q_", "case ")):
        found.append(Mutant(path, number, line, CALL_STATEMENT.match(code).group(1) + ";\n", "call removed"))
    return found


def candidate_files(paths):
    listed = subprocess.run(["git", "ls-files", "--"] + paths, cwd=ROOT, capture_output=True, text=True,
                            check=True).stdout.split()
    return [p for p in listed if p.endswith(SOURCE_SUFFIXES)]


def changed_files():
    """Files changed on this branch (against origin/main, or main) and not yet committed."""
    def lines(*args):
        result = subprocess.run(["git"] + list(args), cwd=ROOT, capture_output=True, text=True)
        return set(result.stdout.split()) if result.returncode == 0 else set()

    changed = lines("diff", "--name-only", "HEAD")
    for base in ("origin/main", "main"):
        if subprocess.run(["git", "rev-parse", "--verify", "-q", base], cwd=ROOT,
                          capture_output=True).returncode == 0:
            head = subprocess.run(["git", "rev-parse", "HEAD"], cwd=ROOT, capture_output=True, text=True).stdout
            tip = subprocess.run(["git", "rev-parse", base], cwd=ROOT, capture_output=True, text=True).stdout
            if head != tip:
                changed |= lines("diff", "--name-only", base + "...HEAD")
            break
    return changed


def all_mutants(files):
    mutants = []
    for path in files:
        with open(os.path.join(ROOT, path), encoding="utf-8") as f:
            text = f.readlines()
        previous = ""
        for index, line in enumerate(text):
            mutants.extend(mutants_of_line(path, index + 1, line, previous))
            if code_part(line).strip():
                previous = line
    return mutants


# ---- the scratch tree and its build

def sync_scratch_tree():
    """Copies the working tree's tracked files into the scratch tree; unchanged files are left
    alone, so the build folder rebuilds only what really differs."""
    listed = subprocess.run(["git", "ls-files", "-co", "--exclude-standard"], cwd=ROOT, capture_output=True,
                            text=True, check=True).stdout.splitlines()
    for path in listed:
        source = os.path.join(ROOT, path)
        target = os.path.join(SRC, path)
        if not os.path.isfile(source):
            continue
        if os.path.isfile(target) and same_content(source, target):
            continue
        os.makedirs(os.path.dirname(target), exist_ok=True)
        # A fresh time, not the source's: an object built after the source was last edited (by an
        # earlier run's mutant) must still be rebuilt from the new text.
        shutil.copy(source, target)


def same_content(a, b):
    if os.path.getsize(a) != os.path.getsize(b):
        return False
    with open(a, "rb") as fa, open(b, "rb") as fb:
        return hashlib.sha1(fa.read()).digest() == hashlib.sha1(fb.read()).digest()


def configure():
    if os.path.isfile(os.path.join(BUILD, "build.ninja")):
        return
    subprocess.run(["cmake", "-G", "Ninja", "-S", SRC, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release"],
                   check=True, stdout=subprocess.DEVNULL)


def build():
    result = subprocess.run(["cmake", "--build", BUILD], capture_output=True, text=True)
    return result.returncode == 0, result.stdout[-3000:] + result.stderr[-3000:]


def run_tests(first_pattern, timeout):
    """True when every test passes. Tests matching `first_pattern` run first; the run stops at the
    first failure."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    base = ["ctest", "--test-dir", BUILD, "-j2", "--stop-on-failure", "--timeout", str(timeout), "-Q", "-LE", "e2e"]
    if first_pattern:
        first = subprocess.run(base + ["-R", first_pattern], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
        if first.returncode != 0:
            return False
        rest = subprocess.run(base + ["-E", first_pattern], env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
        return rest.returncode == 0
    return subprocess.run(base, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def unit_tests_pattern(path):
    """The tests named after the mutated file's unit, e.g. ScanEngineTest for engine/ScanEngine.cpp;
    the CLI's sources map to the CLI tests, the image service's to its tests."""
    stem = os.path.splitext(os.path.basename(path))[0]
    if path.startswith("cli/"):
        return "^Cli\\."
    if path.startswith("preview/"):
        return "^(DecodedImage|ImageFormat|ExtentDevice|ThumbnailTile|ResultsPageTest)"
    return "^" + re.escape(stem) + "[.]"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--count", type=int, default=20, help="how many mutants (default 20)")
    parser.add_argument("--seed", type=int, default=1, help="the random seed; the same seed gives the same mutants")
    parser.add_argument("--timeout", type=int, default=120, help="seconds per test before it counts as failed")
    parser.add_argument("--list", action="store_true", help="print the chosen mutants without running them")
    parser.add_argument("paths", nargs="*", help="folders or files (default: engine/ cli/ preview/)")
    args = parser.parse_args()

    paths = args.paths or DEFAULT_PATHS
    files = candidate_files(paths)
    if not files:
        sys.exit(f"mutation-check: no C++ sources under {' '.join(paths)}")
    rng = random.Random(args.seed)
    changed = changed_files() if not args.paths else set()
    pool = all_mutants(files)
    first = [m for m in pool if m.path in changed]
    rest = [m for m in pool if m.path not in changed]
    rng.shuffle(first)
    rng.shuffle(rest)
    chosen = (first + rest)[:args.count]
    print(f"mutation-check: {len(pool)} possible mutants in {len(files)} files; running {len(chosen)} "
          f"(seed {args.seed})", flush=True)
    if args.list:
        for m in chosen:
            print(f"{m.describe()}  [{m.operator}]")
        return

    os.makedirs(SRC, exist_ok=True)
    sync_scratch_tree()
    configure()
    started = time.monotonic()
    ok, log = build()
    if not ok:
        sys.exit("mutation-check: the unmutated tree does not build:\n" + log)
    if not run_tests("", args.timeout):
        sys.exit("mutation-check: the tests fail without any mutant; fix them first")
    baseline = time.monotonic() - started

    killed = survived = broken = 0
    for m in chosen:
        target = os.path.join(SRC, m.path)
        with open(target, encoding="utf-8") as f:
            original = f.readlines()
        mutated = list(original)
        mutated[m.line - 1] = m.after
        with open(target, "w", encoding="utf-8") as f:
            f.writelines(mutated)
        try:
            ok, _ = build()
            if not ok:
                verdict = "BROKEN"
                broken += 1
            elif run_tests(unit_tests_pattern(m.path), args.timeout):
                verdict = "SURVIVED"
                survived += 1
            else:
                verdict = "KILLED"
                killed += 1
        finally:
            with open(target, "w", encoding="utf-8") as f:
                f.writelines(original)
        print(f"{m.describe()}  {verdict}", flush=True)

    build()  # leave the scratch build matching the tree
    elapsed = time.monotonic() - started
    print(f"mutation-check: {killed} killed, {survived} survived, {broken} did not compile; "
          f"{elapsed:.0f} s (first build and test run {baseline:.0f} s)")
    print(f"mutation_score={killed}/{killed + survived}")


if __name__ == "__main__":
    main()
