#!/usr/bin/env python3
"""Mutation run: plants the faults of scripts/mutations.tsv one at a time,
rebuilds, and runs the CTest suite until the first failing test.

Started by scripts/mutate.sh (which gives it a lower priority); see there and
the README for the options. The source tree is changed in place, one file at a
time; the original is kept in a journal beside the build and written back on
every way out (normal end, error, Ctrl-C, SIGTERM, SIGHUP). A run killed
outright (SIGKILL) leaves the journal, and the next run restores from it first.
"""

import argparse
import datetime
import glob
import json
import os
import queue
import re
import shlex
import signal
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# The tests of a fault's own folder run first (the fault is most likely caught
# there, and a caught fault ends its run early); the rest of the suite after.
FOLDER_TESTS = {
    "component": r"^(pg\.)?component\.|^pg\.[A-Z]",
    "import": r"^(pg\.)?import\.",
    "posting": r"^(pg\.)?posting\.",
    "hours": r"^(pg\.)?hours\.",
    "rules": r"^(pg\.)?rules\.",
    "messages": r"^(pg\.)?messages\.",
    "window": r"^window\.",
    "cli": r"^(pg\.)?cli\.",
    "library": r"^host\.",
}
# The package tests build a Debian package in a tree of their own from the
# source tree: minutes per fault, and they check packaging, not behaviour.
EXCLUDED_TESTS = r"^package\."


class Interrupted(Exception):
    pass


def on_signal(signum, _frame):
    raise Interrupted(signal.Signals(signum).name)


def unescape(text):
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            out.append({"t": "\t", "n": "\n", "\\": "\\"}.get(n, "\\" + n))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


class Fault:
    def __init__(self, fid, path, original, replacement, description, line):
        self.id, self.path, self.description, self.line = fid, path, description, line
        self.original, self.replacement = unescape(original), unescape(replacement)

    @property
    def folder(self):
        parts = self.path.split("/")
        return parts[1] if len(parts) > 2 else ""


def read_faults(path):
    faults, seen, problems = [], set(), []
    with open(path, encoding="utf-8") as f:
        for n, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            fields = line.split("\t")
            if len(fields) != 5:
                problems.append(f"{path}:{n}: {len(fields)} fields, 5 wanted (tab-separated)")
                continue
            fault = Fault(*fields, n)
            if not re.fullmatch(r"[a-z0-9][a-z0-9-]*", fault.id):
                problems.append(f"{path}:{n}: id '{fault.id}' is not lower-case letters, digits and '-'")
            if fault.id in seen:
                problems.append(f"{path}:{n}: id '{fault.id}' given twice")
            if not fault.path.startswith("src/"):
                problems.append(f"{path}:{n}: '{fault.path}' is not under src/")
            if fault.original == fault.replacement:
                problems.append(f"{path}:{n}: the replacement equals the original")
            seen.add(fault.id)
            faults.append(fault)
    return faults, problems


# ------------------------------------------------------------ the journal

def journal_path(build):
    return os.path.join(build, "mutate-journal.json")


def restore_from_journal(build):
    jp = journal_path(build)
    if not os.path.exists(jp):
        return
    with open(jp, encoding="utf-8") as f:
        entry = json.load(f)
    target = os.path.join(ROOT, entry["path"])
    with open(target, "w", encoding="utf-8", newline="") as f:
        f.write(entry["content"])
    os.remove(jp)
    print(f"restored {entry['path']} from the journal of an earlier run that did not finish", flush=True)


class Planted:
    """The fault in the tree for the duration of a with-block."""

    def __init__(self, build, fault):
        self.build, self.fault = build, fault
        self.target = os.path.join(ROOT, fault.path)

    def __enter__(self):
        with open(self.target, encoding="utf-8", newline="") as f:
            self.content = f.read()
        count = self.content.count(self.fault.original)
        if count != 1:
            raise NotApplied(f"the original text occurs {count} times in {self.fault.path}, not once")
        # Signals wait until the journal and the file agree.
        with SignalsHeld():
            with open(journal_path(self.build), "w", encoding="utf-8") as f:
                json.dump({"path": self.fault.path, "content": self.content}, f)
            with open(self.target, "w", encoding="utf-8", newline="") as f:
                f.write(self.content.replace(self.fault.original, self.fault.replacement, 1))
        return self

    def __exit__(self, *exc):
        with SignalsHeld():
            with open(self.target, "w", encoding="utf-8", newline="") as f:
                f.write(self.content)
            os.remove(journal_path(self.build))
        return False


class SignalsHeld:
    """Defers SIGINT, SIGTERM and SIGHUP to the end of the block."""

    SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)

    def __enter__(self):
        self.pending = []
        self.old = {s: signal.signal(s, lambda n, _f: self.pending.append(n)) for s in self.SIGNALS}

    def __exit__(self, *exc):
        for s, h in self.old.items():
            signal.signal(s, h)
        if self.pending and exc[0] is None:
            raise Interrupted(signal.Signals(self.pending[0]).name)
        return False


class NotApplied(Exception):
    pass


# ------------------------------------------------------------ build and tests

# The test folders whose programs run the tests of FOLDER_TESTS.
FOLDER_TEST_DIRS = {"component": ["component", "pg"], "library": []}


def test_targets(folder=None, dirs=None):
    """The targets the tests need; with a folder (or test folders), those of its first tests only."""
    if dirs is None and folder:
        dirs = FOLDER_TEST_DIRS.get(folder, [folder])
    names = []
    for src in sorted(glob.glob(os.path.join(ROOT, "tests", "*", "test_*.cpp"))):
        test_dir = os.path.basename(os.path.dirname(src))
        if dirs is None or test_dir in dirs:
            names.append(f"{test_dir}_{os.path.splitext(os.path.basename(src))[0]}")
    # The program and the library (the cli and host tests run them) and the
    # pipeline benchmark (the workloads test imports through it).
    if dirs is None or folder == "cli":
        names.append("bench_pipeline")
    return names + ["hxpolllog", "hxpolllog_shared"]


def run_logged(cmd, log):
    with open(log, "a", encoding="utf-8") as f:
        f.write("$ " + " ".join(cmd) + "\n")
        f.flush()
        return subprocess.run(cmd, stdout=f, stderr=subprocess.STDOUT, cwd=ROOT).returncode


def build(args, log, targets=None):
    if not targets:
        return run_logged(["cmake", "--build", args.build, "-j", str(args.jobs)], log) == 0
    # One make over the targets' rules, as "all" does: "cmake --build --target
    # A B" runs one make per target, and in parallel those race on the
    # libraries they share.
    cmd = ["make", "-C", args.build, "-f", "CMakeFiles/Makefile2", "-j", str(args.jobs)]
    return run_logged(cmd + [f"CMakeFiles/{t}.dir/all" for t in targets], log) == 0


# Names of parameterised tests go on with "  # GetParam() = ...", then ctest's
# row of dots and the status.
RESULT_LINE = re.compile(r"^\s*\d+/\d+ Test\s+#\d+: (.*?) \.+\s*(\S.*?)\s*$")
START_LINE = re.compile(r"^\s*Start\s+\d+: (.*?)\s*$")


def test_name(text):
    return text.split("  # ")[0].strip()


def stop_server(args):
    subprocess.run(["bash", os.path.join(ROOT, "tests/pg/pg_server.sh"), "stop",
                    os.path.join(args.build, "pg-server")], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def ctest_pass(args, log, include, exclude):
    """Runs one ctest pass; returns (failing test, how) or None when all pass.
    A pattern that matches no test passes (a baseline's test since renamed)."""
    cmd = ["ctest", "--test-dir", args.build, "-j", str(args.jobs), "--stop-on-failure", "--no-tests=ignore"]
    if include:
        cmd += ["-R", include]
    cmd += ["-E", exclude]
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, cwd=ROOT,
                            text=True, errors="replace", start_new_session=True)
    lines = queue.Queue()

    def reader():
        for line in proc.stdout:
            lines.put(line)
        lines.put(None)

    threading.Thread(target=reader, daemon=True).start()
    running, failed, done = {}, None, False
    with open(log, "a", encoding="utf-8") as out:
        out.write("$ " + " ".join(cmd) + "\n")
        try:
            while not done:
                try:
                    line = lines.get(timeout=1.0)
                except queue.Empty:
                    line = ""
                if line is None:
                    done = True
                    continue
                if line:
                    out.write(line)
                    if m := START_LINE.match(line):
                        running[test_name(m.group(1))] = time.monotonic()
                    elif m := RESULT_LINE.match(line):
                        name, status = test_name(m.group(1)), m.group(2)
                        running.pop(name, None)
                        if not status.startswith("Passed") and "Skipped" not in status and failed is None:
                            failed = (name, "timeout" if "Timeout" in status else "failed")
                now = time.monotonic()
                slow = [name for name, t in running.items() if now - t > args.timeout]
                if slow and failed is None:
                    # A hung test: the fault is caught by the timeout. The run
                    # stops here; the fixture's server is stopped below.
                    failed = (slow[0], "timeout")
                    out.write(f"-- {slow[0]} ran longer than {args.timeout} s: stopping the run\n")
                    os.killpg(proc.pid, signal.SIGKILL)
                    break
        except BaseException:
            try:
                os.killpg(proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            stop_server(args)
            raise
    rc = proc.wait()
    # --stop-on-failure skips the fixture's cleanup: the server would stay.
    stop_server(args)
    if failed is None and rc != 0:
        failed = ("(ctest ended with status %d, no failing test named)" % rc, "failed")
    return failed


def ctest_exact(name):
    """A ctest -R pattern matching one test name only (a parameterised test's
    ctest name goes on with "  # GetParam() = ...")."""
    return "^" + re.sub(r"([.()\[\]*+?^$|\\])", r"\\\1", name) + "(  #.*)?$"


def catcher_dir(name):
    """The tests/ folder of a test named like [pg.]<folder>.Suite.Case, or None."""
    parts = name.split(".")
    if parts and parts[0] == "pg":
        parts = parts[1:]
    return parts[0] if parts and os.path.isdir(os.path.join(ROOT, "tests", parts[0])) else None


def build_and_test(args, log, folder, catcher=None):
    """Builds and tests in two steps: the fault's own folder, then the rest;
    with the test that caught the fault in the baseline, that test alone
    first (it most likely catches it again, in seconds).
    Returns (built, failing test or None)."""
    test_dir = catcher_dir(catcher) if catcher else None
    if test_dir:
        if not build(args, log, test_targets(dirs=[test_dir])):
            return False, None
        found = ctest_pass(args, log, ctest_exact(catcher), EXCLUDED_TESTS)
        if found:
            return True, found
    first = FOLDER_TESTS.get(folder)
    if first:
        # Only the programs of the first tests are linked before they run;
        # the others keep their last build until the second pass.
        if not build(args, log, test_targets(folder)):
            return False, None
        found = ctest_pass(args, log, first, EXCLUDED_TESTS)
        if found:
            return True, found
    if not build(args, log, test_targets()):
        return False, None
    return True, ctest_pass(args, log, None, f"{EXCLUDED_TESTS}|{first}" if first else EXCLUDED_TESTS)


def compile_flags(build, path):
    folder = path.split("/")[1]
    target = {"window": "hxwindow", "cli": "hxpolllog", "library": "hxpolllog_shared"}.get(folder, "hxcore")
    flags = {}
    with open(os.path.join(build, "CMakeFiles", f"{target}.dir", "flags.make"), encoding="utf-8") as f:
        for line in f:
            if m := re.match(r"^CXX_(DEFINES|INCLUDES|FLAGS) = (.*)$", line):
                flags[m.group(1)] = shlex.split(m.group(2))
    return flags.get("DEFINES", []) + flags.get("INCLUDES", []) + flags.get("FLAGS", [])


def check_fault(args, fault):
    """(problem or None, compiler warnings) of one fault, compiled from a copy."""
    target = os.path.join(ROOT, fault.path)
    with open(target, encoding="utf-8", newline="") as f:
        content = f.read()
    # A run going in this build may have a fault in the file: its journal
    # holds the original.
    try:
        with open(journal_path(args.build), encoding="utf-8") as f:
            entry = json.load(f)
        if entry["path"] == fault.path:
            content = entry["content"]
    except (OSError, ValueError, KeyError):
        pass
    count = content.count(fault.original)
    if count != 1:
        return f"DOES NOT APPLY: the original text occurs {count} times in {fault.path}, not once", ""
    with tempfile.TemporaryDirectory() as tmp:
        copy = os.path.join(tmp, os.path.basename(fault.path))
        with open(copy, "w", encoding="utf-8", newline="") as f:
            f.write(content.replace(fault.original, fault.replacement, 1))
        cmd = ["c++"] + compile_flags(args.build, fault.path) + [
            "-iquote", os.path.dirname(target), "-fsyntax-only", copy]
        r = subprocess.run(cmd, capture_output=True, text=True, cwd=args.build)
    out = r.stderr.replace(copy, fault.path)
    if r.returncode != 0:
        return "DOES NOT COMPILE", out
    return None, out


def run_check(args, faults):
    bad = 0
    for f in faults:
        problem, warnings = check_fault(args, f)
        if problem:
            bad += 1
        print(f"{f.id}: {problem or 'applies once, compiles'}"
              f"{' (with warnings)' if warnings and not problem else ''}", flush=True)
        if warnings:
            print("   " + "\n   ".join(warnings.splitlines()[:8]), flush=True)
    print(f"{len(faults) - bad} of {len(faults)} faults apply and compile")
    return 1 if bad else 0


# ------------------------------------------------------------ results

def read_results(path):
    results = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            fields = line.rstrip("\n").split("\t")
            results[fields[0]] = fields[1:]
    return results


def write_results(path, header, results, order):
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        for h in header:
            f.write(f"# {h}\n")
        for fid in order:
            if fid in results:
                f.write("\t".join([fid] + results[fid]) + "\n")
    os.replace(tmp, path)


def git_commit():
    r = subprocess.run(["git", "rev-parse", "--short", "HEAD"], cwd=ROOT, capture_output=True, text=True)
    return r.stdout.strip() or "?"


def main():
    p = argparse.ArgumentParser(prog="mutate.sh", description=__doc__.split("\n\n")[0])
    p.add_argument("--only", help="comma-separated fault ids to run (default: all)")
    p.add_argument("--jobs", type=int, default=2, help="build and ctest jobs (2)")
    p.add_argument("--build", default="build-mutate", help="build folder (build-mutate)")
    p.add_argument("--out", default="scripts/mutation-results.txt", help="results file")
    p.add_argument("--list", action="store_true", help="print the faults and stop")
    p.add_argument("--check", action="store_true",
                   help="only check that each fault applies once and its file still compiles "
                   "(a copy is compiled; the tree is not touched)")
    p.add_argument("--baseline", help="results file to compare with: a fault caught there and "
                   "missed now fails the run")
    p.add_argument("--resume", action="store_true",
                   help="keep the results of --out for the faults it has and measure the others")
    p.add_argument("--timeout", type=int, default=180, help="seconds one test may run (180)")
    p.add_argument("--skip-clean-run", action="store_true",
                   help="do not first run the suite without a fault (it must pass)")
    p.add_argument("--faults", default="scripts/mutations.tsv", help="the list of faults")
    args = p.parse_args()
    args.build = os.path.abspath(os.path.join(ROOT, args.build))
    out_path = os.path.join(ROOT, args.out)

    faults, problems = read_faults(os.path.join(ROOT, args.faults))
    if problems:
        print("\n".join(problems), file=sys.stderr)
        return 2
    listed = faults
    if args.only:
        wanted = [x for x in args.only.split(",") if x]
        known = {f.id for f in faults}
        unknown = [x for x in wanted if x not in known]
        if unknown:
            print("unknown fault id(s): " + ", ".join(unknown), file=sys.stderr)
            return 2
        faults = [f for f in faults if f.id in wanted]
    if args.list:
        for f in faults:
            print(f"{f.id}\t{f.path}\t{f.description}")
        return 0
    if args.check:
        # Before the journal is looked at: a run may be going in this build.
        if not os.path.exists(os.path.join(args.build, "CMakeCache.txt")):
            print(f"{args.build} is not configured: run once without --check first", file=sys.stderr)
            return 2
        return run_check(args, faults)

    for s in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(s, on_signal)

    os.makedirs(args.build, exist_ok=True)
    restore_from_journal(args.build)
    logs = os.path.join(args.build, "mutate-logs")
    os.makedirs(logs, exist_ok=True)
    for name in ("configure.log", "clean-build.log", "clean-run.log"):
        open(os.path.join(logs, name), "w").close()

    if not os.path.exists(os.path.join(args.build, "CMakeCache.txt")):
        # The options of scripts/test.sh's main build.
        if run_logged(["cmake", "-S", ROOT, "-B", args.build, "-DCMAKE_BUILD_TYPE=RelWithDebInfo"],
                      os.path.join(logs, "configure.log")) != 0:
            print(f"configuring {args.build} failed: see {logs}/configure.log", file=sys.stderr)
            return 2
    started = time.monotonic()
    print(f"building {os.path.relpath(args.build, ROOT)} without a fault ...", flush=True)
    if not build(args, os.path.join(logs, "clean-build.log")):
        print(f"the tree without a fault does not build: see {logs}/clean-build.log", file=sys.stderr)
        return 2

    if not args.skip_clean_run:
        print("running the suite without a fault ...", flush=True)
        found = ctest_pass(args, os.path.join(logs, "clean-run.log"), None, EXCLUDED_TESTS)
        if found:
            print(f"the suite fails without a fault ({found[0]}): see {logs}/clean-run.log", file=sys.stderr)
            return 2

    results = {}
    if args.resume and os.path.exists(out_path):
        # Kept for every fault still on the list (also those --only leaves
        # out); that their text is unchanged is the user's promise.
        known = {f.id for f in listed}
        results = {fid: r for fid, r in read_results(out_path).items() if fid in known}
        for f in faults:
            if args.only:
                results.pop(f.id, None)  # named: measured again
    order = [f.id for f in faults]
    written = [f.id for f in listed] if args.resume else order
    commit = git_commit()

    def header(done):
        h = [f"mutation run of {commit}, {datetime.datetime.utcnow():%Y-%m-%d %H:%M} UTC, "
             f"faults from {args.faults}",
             "id<TAB>caught|missed|does-not-compile|does-not-apply<TAB>first failing test (or -)"]
        total = len(written)
        if done < total:
            missing = [fid for fid in written if fid not in results]
            h.append(f"PARTIAL: {done} of {total} faults measured; not measured: " + ", ".join(missing))
        return h

    # The baseline's catching tests, tried first.
    catchers = {}
    if args.baseline:
        for fid, r in read_results(os.path.join(ROOT, args.baseline)).items():
            if len(r) > 1 and r[0] == "caught":
                catchers[fid] = r[1].removesuffix(" (timeout)")
    defects = 0
    try:
        for i, f in enumerate(faults, 1):
            t0 = time.monotonic()
            if f.id in results:
                print(f"[{i}/{len(faults)}] {f.id}: {results[f.id][0]} (kept from {args.out})", flush=True)
                continue
            log = os.path.join(logs, f"{f.id}.log")
            try:
                open(log, "w").close()
                with Planted(args.build, f):
                    compiled, found = build_and_test(args, log, f.folder, catchers.get(f.id))
                    if not compiled:
                        result = ["does-not-compile", "-"]
                    else:
                        if found:
                            name, how = found
                            result = ["caught", name + (" (timeout)" if how == "timeout" else "")]
                        else:
                            result = ["missed", "-"]
            except NotApplied as e:
                result = ["does-not-apply", "-"]
                print(f"   {f.id}: {e}", flush=True)
            if result[0].startswith("does-not"):
                defects += 1
            results[f.id] = result
            write_results(out_path, header(len(results)), results, written)
            spent = f"{time.monotonic() - t0:.0f} s"
            print(f"[{i}/{len(faults)}] {f.id}: {' '.join(r for r in result if r != '-')} ({spent})",
                  flush=True)
    except Interrupted as e:
        print(f"stopped by {e}; the tree is restored; {len(results)} of {len(faults)} measured "
              f"(partial results in {args.out})", file=sys.stderr)
        return 130

    caught = sum(1 for fid in order if results[fid][0] == "caught")
    minutes = (time.monotonic() - started) / 60
    print(f"\nscore: {caught}/{len(faults)} caught ({minutes:.0f} min); results in {args.out}")
    missed = [fid for fid in order if results[fid][0] == "missed"]
    if missed:
        print("missed: " + ", ".join(missed))
    if defects:
        print(f"{defects} fault(s) of the list do not apply or do not compile: mend the list", file=sys.stderr)

    status = 1 if defects else 0
    if args.baseline:
        base = read_results(os.path.join(ROOT, args.baseline))
        lost = [fid for fid in order if base.get(fid, [""])[0] == "caught" and results[fid][0] != "caught"]
        gained = [fid for fid in order if fid in base and base[fid][0] != "caught" and results[fid][0] == "caught"]
        new = [fid for fid in order if fid not in base]
        if gained:
            print("caught now, not in the baseline: " + ", ".join(gained))
        if new:
            print("not in the baseline: " + ", ".join(new))
        if lost:
            print("CAUGHT IN THE BASELINE, NOT NOW: " + ", ".join(lost), file=sys.stderr)
            status = 1
        else:
            print(f"no fault caught in {args.baseline} is missed now")
    return status


if __name__ == "__main__":
    sys.exit(main())
