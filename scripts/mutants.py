#!/usr/bin/env python3
"""Plants the small faults listed in tests/mutants.txt one at a time and says which the tests catch.

Each fault is applied to a scratch copy of the tree (build-mutants/tree, with its own build folder,
so the working tree and its build are never touched); then the test executables that link the
changed layer are rebuilt incrementally and run, one after the other, until one fails. The copy is
put back after each fault, whatever happens. A test that runs five times as long as it does without
the fault (at least a minute) counts as failing.
Usage: mutants.py [WORD]  (only the faults whose file or text holds WORD)
"""

import json
import os
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SCRATCH = ROOT / "build-mutants"
TREE = SCRATCH / "tree"
BUILD = TREE / "build"  # the same relative layout as ./build, so the compiler cache serves both
LIST = ROOT / "tests" / "mutants.txt"
JOBS = int(os.environ.get("MUTANT_JOBS", os.cpu_count() or 2))

# The test executables that link each layer, the layer's own first (the likeliest to catch it).
# Only the window's tests see src/app and src/dialogs, and only those faults run them.
LIBRARY_TESTS = ["test_history", "test_library", "test_unsaved", "test_reconcile"]
TESTS = {
    "model": ["test_model", "test_files", "test_safesave", "test_versions", "test_private", *LIBRARY_TESTS,
              "test_collection", "test_tool", "test_faults"],
    "files": ["test_files", "test_safesave", "test_versions", "test_private", "test_faults", *LIBRARY_TESTS,
              "test_collection", "test_tool"],
    "library": [*LIBRARY_TESTS, "test_faults", "test_collection", "test_tool", "test_gui"],
    "collection": ["test_collection", "test_tool", "test_faults"],
    "tool": ["test_tool", "test_faults"],
    "dialogs": ["test_gui"],
    "app": ["test_gui"],
}


# Tests left out on purpose: desktop data checked by its own tool; the accessibility-bus walk of the
# window, which needs a D-Bus session and an X server and reads what test_gui already drives.
UNLAYERED = ["desktop_data_valid", "test_atspi"]


class Mutant:
    def __init__(self, fields, line):
        self.line = line
        self.file = fields.get("file", "")
        # A ⏎ stands for a line break, so that a line that is not unique alone can be anchored.
        self.original = fields.get("from", "").replace("\u23ce", "\n")
        self.replacement = fields.get("to", "").replace("\u23ce", "\n")
        self.harm = fields.get("harm", "")
        self.survives = fields.get("survives", "")  # why the suite cannot catch it, by design
        self.complete = all(key in fields for key in ("file", "from", "to", "harm")) and self.original

    def layer(self):
        parts = Path(self.file).parts
        return parts[1] if len(parts) > 2 and parts[0] == "src" else ""


def read_list(word):
    """Blocks of "key: value" lines, separated by blank lines; '#' starts a comment line."""
    mutants, fields, start = [], {}, 0
    lines = LIST.read_text(encoding="utf-8").split("\n")
    for number, text in enumerate(lines + [""], 1):
        if text.startswith("#"):
            continue
        if not text.strip():
            if fields:
                mutants.append(Mutant(fields, start))
            fields = {}
            continue
        key, sep, value = text.partition(":")
        if not sep or key not in ("file", "from", "to", "harm", "survives"):
            sys.exit(f"{LIST}:{number}: not a line of a fault: {text}")
        if not fields:
            start = number
        fields[key] = value[1:] if value.startswith(" ") else value
    for m in mutants:
        if not m.complete:
            sys.exit(f"{LIST}:{m.line}: a fault needs file, from, to and harm")
    return [m for m in mutants if not word or word in m.file or word in m.original or word in m.replacement]


def sync_tree():
    """Copies the working tree into the scratch copy, only the files whose bytes differ, so that the
    scratch build stays incremental."""
    TREE.mkdir(parents=True, exist_ok=True)
    wanted = set()
    for dirpath, dirnames, filenames in os.walk(ROOT):
        rel = Path(dirpath).relative_to(ROOT)
        if rel == Path("."):
            dirnames[:] = [d for d in dirnames if not d.startswith("build") and d not in (".git", ".cache")]
        for name in filenames:
            source = Path(dirpath) / name
            target = TREE / rel / name
            wanted.add(target)
            if target.exists() and target.read_bytes() == source.read_bytes():
                continue
            target.parent.mkdir(parents=True, exist_ok=True)
            # A plain copy, stamped now: a file keeping its old time could look older than the
            # scratch build's objects, and the build would go on with the code it replaces.
            shutil.copy(source, target)
    for dirpath, dirnames, filenames in os.walk(TREE):
        if Path(dirpath) == TREE:
            dirnames[:] = [d for d in dirnames if d != "build"]
        for name in filenames:
            if Path(dirpath) / name not in wanted:
                (Path(dirpath) / name).unlink()


def run(command, **kwargs):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kwargs)


def configure():
    launcher = []
    if shutil.which("ccache"):
        launcher = ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
    result = run(["cmake", "-S", str(TREE), "-B", str(BUILD), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                  "-DQUILLBOX_BUILD_BENCH=OFF", *launcher])
    if result.returncode != 0:
        sys.exit("mutants: the scratch copy does not configure:\n" + result.stdout)


def test_commands():
    """How ctest runs each test (known once the executables are built): command, environment, folder."""
    shown = run(["ctest", "--test-dir", str(BUILD), "--show-only=json-v1"])
    tests = {}
    for test in json.loads(shown.stdout)["tests"]:
        env, cwd = dict(os.environ), BUILD
        for prop in test.get("properties", []):
            if prop["name"] == "ENVIRONMENT":
                env.update(item.split("=", 1) for item in prop["value"])
            if prop["name"] == "WORKING_DIRECTORY":
                cwd = prop["value"]
        if "command" in test:
            tests[test["name"]] = (test["command"], env, cwd)
    return tests


def build(targets):
    return run(["cmake", "--build", str(BUILD), "-j", str(JOBS), "--target", *targets])


def targets_for(names):
    return [*names, "quillbox-tool"] if "test_tool" in names else list(names)


def run_test(name, tests, limit):
    """Runs one test executable; True when it passed within `limit` seconds."""
    command, env, cwd = tests[name]
    process = subprocess.Popen(command, env=env, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               start_new_session=True)
    try:
        return process.wait(timeout=limit) == 0
    except subprocess.TimeoutExpired:
        return False
    finally:
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()


def first_failing(names, tests, limits):
    """Builds and runs the tests one after the other, each built only when its turn comes, so that a
    fault the first test catches costs one link. Returns the name of the first test that failed,
    "build" when the fault does not compile, or None."""
    for name in names:
        if build(targets_for([name])).returncode != 0:
            return "build"
        if not run_test(name, tests, limits.get(name, 600)):
            return name
    return None


def describe(m):
    def shown(text):  # one line, blanks squeezed, a line break shown as it is written in the list
        return " ".join(text.replace("\n", " \u23ce ").split())
    return f"{m.file}: `{shown(m.original)}` -> `{shown(m.replacement)}`"


def main():
    word = sys.argv[1] if len(sys.argv) > 1 else ""
    mutants = read_list(word)
    started = time.monotonic()
    sync_tree()
    configure()
    layers = {m.layer() for m in mutants}
    needed = []
    for layer in sorted(layers):
        needed += [t for t in TESTS.get(layer, []) if t not in needed]
    # The suite must pass on the tree as it is; its times set how long a test may run with a fault.
    result = build(targets_for(needed))
    if result.returncode != 0:
        sys.exit("mutants: the scratch copy does not build:\n" + result.stdout[-4000:])
    tests = test_commands()
    missing = [t for t in needed if t not in tests]
    if missing:
        sys.exit("mutants: tests not in the build: " + " ".join(missing))
    # A test executable no layer names would never see a fault: say so rather than count survivors.
    named = {t for names in TESTS.values() for t in names} | set(UNLAYERED)
    if unnamed := sorted(set(tests) - named):
        sys.exit("mutants: tests that no layer names in TESTS (add them there or to UNLAYERED): " + " ".join(unnamed))
    limits = {}
    for name in needed:
        begun = time.monotonic()
        if not run_test(name, tests, 600):
            sys.exit(f"mutants: {name} fails without any fault planted")
        took = time.monotonic() - begun
        print(f"mutants: {name} passes in {took:.1f} s", flush=True)
        limits[name] = max(60.0, 5 * took)  # a fault that makes a test hang counts as caught
    print(f"mutants: the suite passes unchanged ({time.monotonic() - started:.0f} s to here)", flush=True)

    killed = 0
    restore = {}

    def put_back(*_):
        for path, data in restore.items():
            path.write_bytes(data)
        restore.clear()

    signal.signal(signal.SIGTERM, lambda *a: (put_back(), sys.exit(1)))
    for number, m in enumerate(mutants, 1):
        head = f"[{number}/{len(mutants)}]"
        path = TREE / m.file
        layer = m.layer()
        if not path.is_file() or layer not in TESTS:
            print(f"{head} stale (no such file in a layer): {describe(m)}", flush=True)
            continue
        original = path.read_bytes()
        text = original.decode("utf-8")
        count = text.count(m.original)
        if count != 1:
            print(f"{head} stale (text found {count} times): {describe(m)}", flush=True)
            continue
        begun = time.monotonic()
        try:
            restore[path] = original
            path.write_bytes(text.replace(m.original, m.replacement).encode("utf-8"))
            caught = first_failing(TESTS[layer], tests, limits)
            if caught == "build":
                verdict = "does not build"
            elif caught:
                killed += 1
                verdict = f"killed by {caught}"
            else:
                verdict = "SURVIVED" + (f" (by design: {m.survives})" if m.survives else f" -- {m.harm}")
        finally:
            put_back()
        print(f"{head} {verdict} ({time.monotonic() - begun:.0f} s): {describe(m)}", flush=True)
    # Leave the scratch build matching the tree again, ready for the next run.
    build(targets_for(needed))
    print(f"mutants: {time.monotonic() - started:.0f} s in all")
    print(f"mutants: {killed} killed of {len(mutants)}")


if __name__ == "__main__":
    main()
