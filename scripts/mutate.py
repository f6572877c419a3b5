#!/usr/bin/env python3
"""Mutation testing by hand (not in CI): small faults put into the program one at a time, each
rebuilt and run against the native tests and the Linux end-to-end suite. A mutant the tests
fail on is caught; one they pass is missed; one that does not build is left out.

    scripts/mutate.py [--seed N] [--count N] [--build DIR] [--report FILE] [--only FILE...]
    scripts/mutate.py --matrix FILE [--shard K/N] [--seed N] [--count N] [--build DIR]
    scripts/mutate.py --tally FILE...

--matrix runs every test on every mutant instead of stopping at the first failure, and writes
one JSON line a mutant with the test cases that failed ("e2e:" + the end-to-end check's name;
a test program that crashes or runs past its time counts as one case of its own); --shard K/N
takes every Nth mutant from the Kth, for N runs side by side in N checkouts. --tally reads such
files and prints, for each test case, how many mutants it catches and how many of those no
other case catches: a case whose every catch another case shares adds no caught fault.

Faults: a comparison flipped (< and <=, > and >=, == and !=), a constant off by one, a
statement dropped, a condition negated, a returned value replaced. They are drawn from the
code under cleaner/, runtime/ and app/, the same ones for the same seed, spread over the
files. Every file touched is put back, also when the run is interrupted.
"""
import argparse
import collections
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FOLDERS = ("cleaner", "runtime", "app")

# (kind, pattern, replacement); a pattern's first group is what is replaced.
FLIPS = [
    ("comparison", r" (<) ", " <= "),
    ("comparison", r" (<=) ", " < "),
    ("comparison", r" (>) ", " >= "),
    ("comparison", r" (>=) ", " > "),
    ("comparison", r" (==) ", " != "),
    ("comparison", r" (!=) ", " == "),
    ("constant", r"(?<![\w.])(\d+)(?![\w.])", None),  # n -> n + 1
]


def code_part(line):
    """The line without its comment and with its string and character literals blanked, so
    that no fault lands inside them."""
    out, quote, i = [], None, 0
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                out.append("  ")
                i += 2
                continue
            if c == quote:
                quote = None
            out.append(c if c == quote or quote is None else " ")
        elif c in "\"'":
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            break
        else:
            out.append(c)
        i += 1
    return "".join(out).ljust(len(line))


def skipped(code):
    s = code.strip()
    return (not s or s.startswith("#") or s.startswith("static_assert") or s.startswith("template")
            or "operator" in s)


def candidates(path):
    rel = os.path.relpath(path, ROOT)
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    found = []
    for n, line in enumerate(lines):
        code = code_part(line)
        if skipped(code):
            continue
        for kind, pattern, replacement in FLIPS:
            for m in re.finditer(pattern, code):
                a, b = m.span(1)
                new = replacement if replacement else str(int(m.group(1)) + 1)
                if kind == "comparison":
                    a, b = m.span(0)
                found.append((rel, n, kind, line[:a] + new + line[b:]))
        s = code.strip()
        m = re.match(r"(\s*)(if|while) \((.*)\) \{$", code.rstrip())
        if m:
            a, b = m.span(3)
            found.append((rel, n, "negated", line[:a] + "!(" + line[a:b] + ")" + line[b:]))
        m = re.match(r"(\s*)return (true|false|0|1|-1);", code)
        if m:
            other = {"true": "false", "false": "true", "0": "1", "1": "0", "-1": "0"}[m.group(2)]
            found.append((rel, n, "return", m.group(1) + "return " + other + ";" + line[len(m.group(0)):]))
        elif re.match(r"\s*return [^;{}]+;\s*$", code) and not s.startswith("return {"):
            found.append((rel, n, "return", re.sub(r"return [^;]+;", "return {};", line, count=1)))
        # A statement of its own that calls, assigns or counts: dropped.
        if (re.match(r"\s*[\w:.>\-\[\]*]+(\(.*\)|\s*[-+*|&]?=\s.*|\+\+|--);\s*$", code)
                and not re.match(r"\s*(return|const|auto|int|bool|using|static|constexpr)\b", code)
                and not re.match(r"\s*[\w:<>]+\s+\w+\s*=", code)):
            found.append((rel, n, "dropped", re.match(r"\s*", line).group(0) + ";"))
    return found


def choose(seed, count, only=None):
    files = sorted(os.path.join(d, f) for folder in FOLDERS
                   for d, _, fs in os.walk(os.path.join(ROOT, folder)) for f in fs if f.endswith(".cpp"))
    if only:  # these files alone, headers too
        files = sorted(os.path.join(ROOT, f) for f in only)
    rng = random.Random(seed)
    per_file = {f: candidates(f) for f in files}
    for f in per_file:
        rng.shuffle(per_file[f])
    chosen = []
    while len(chosen) < count and any(per_file.values()):  # round robin: spread over the files
        for f in files:
            if per_file[f] and len(chosen) < count:
                chosen.append(per_file[f].pop())
    return chosen


def run(cmd, timeout):
    """The command's exit status; -1 when it runs past `timeout` seconds, and then it and
    everything it started (a test program a mutant sent round a loop) are ended."""
    p = subprocess.Popen(cmd, cwd=ROOT, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                         start_new_session=True)
    try:
        return p.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        p.wait()
        return -1


def failing_cases(build):
    """The test cases that fail on the program in `build`: each GoogleTest case by its name,
    each end-to-end check by its line."""
    failed = set()
    for program in ("runtime_tests", "cleaner_tests", "app_tests"):
        out = os.path.join(build, program + ".json")
        if os.path.exists(out):
            os.remove(out)
        status = run([os.path.join(build, "tests", program), "--gtest_output=json:" + out], 60)
        try:
            with open(out, encoding="utf-8") as f:
                for suite in json.load(f)["testsuites"]:
                    failed.update(f"{suite['name']}.{t['name']}" for t in suite["testsuite"] if t.get("failures"))
        except (OSError, ValueError):
            failed.add(f"{program}: " + ("past its time" if status == -1 else "crashed"))
    e2e = subprocess.Popen(["bash", os.path.join(ROOT, "tests", "e2e", "linux_e2e.sh"), os.path.join(build, "sorrel"),
                            os.path.join(build, "gen_save"), os.path.join(build, "tests", "literal_clean"),
                            os.path.join(build, "tests", "matrix_e2e"), os.path.join(ROOT, "..", "shared", "saves")],
                           cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        lines = e2e.communicate(timeout=60)[0].decode("utf-8", "replace").splitlines()
        failed.update("e2e:" + line[6:] for line in lines if line.startswith("FAIL  "))
        if e2e.returncode != 0 and not any(f.startswith("e2e:") for f in failed):
            failed.add("e2e: ended early")
    except subprocess.TimeoutExpired:
        os.killpg(e2e.pid, signal.SIGKILL)
        e2e.communicate()
        failed.add("e2e: past its time")
    return sorted(failed)


def tally(paths):
    rows = [json.loads(line) for path in paths for line in open(path, encoding="utf-8")]
    caught = [r for r in rows if r["failed"]]
    catches, alone = collections.Counter(), collections.Counter()
    for r in caught:
        catches.update(r["failed"])
        if len(r["failed"]) == 1:
            alone[r["failed"][0]] += 1
    print(f"{sum(r['failed'] is not None for r in rows)} mutants, {len(caught)} caught")
    for case in sorted(catches, key=lambda c: (alone[c], catches[c], c)):
        print(f"{catches[case]:4} caught, {alone[case]:3} by it alone  {case}")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--count", type=int, default=160)
    p.add_argument("--build", default=os.path.join(ROOT, "build", "mutate"))
    p.add_argument("--report", default=None)
    p.add_argument("--matrix", default=None)
    p.add_argument("--shard", default="0/1")
    p.add_argument("--tally", nargs="+", default=None)
    p.add_argument("--only", nargs="+", default=None, help="draw the faults from these files alone")
    a = p.parse_args()
    if a.tally:
        return tally(a.tally)
    shard, shards = (int(x) for x in a.shard.split("/"))

    subprocess.run(["cmake", "-S", ROOT, "-B", a.build, "-DCMAKE_BUILD_TYPE=Debug", "-DSORREL_WERROR=OFF"],
                   check=True, stdout=subprocess.DEVNULL)
    if run(["cmake", "--build", a.build, "-j", str(os.cpu_count())], 1800) != 0:
        sys.exit("mutate: the unmutated program does not build")
    if run(["ctest", "--test-dir", a.build, "-j", str(os.cpu_count()), "--timeout", "120"], 1800) != 0:
        sys.exit("mutate: the unmutated program fails its tests")

    originals = {}

    def restore(*_):
        for path, text in originals.items():
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
        originals.clear()

    def interrupted(*_):
        restore()
        sys.exit("mutate: interrupted; every file put back")

    signal.signal(signal.SIGINT, interrupted)
    signal.signal(signal.SIGTERM, interrupted)

    report = open(a.report, "w", encoding="utf-8") if a.report else sys.stdout
    matrix = open(a.matrix, "w", encoding="utf-8") if a.matrix else None
    mutants = choose(a.seed, a.count, a.only)
    caught = built = tried = 0
    try:
        for i, (rel, n, kind, new) in enumerate(mutants, 1):
            if i % shards != shard:
                continue
            tried += 1
            path = os.path.join(ROOT, rel)
            with open(path, encoding="utf-8") as f:
                text = f.read()
            originals[path] = text
            lines = text.split("\n")
            old, lines[n] = lines[n], new
            with open(path, "w", encoding="utf-8") as f:
                f.write("\n".join(lines))
            start = time.time()
            builds = run(["cmake", "--build", a.build, "-j", str(os.cpu_count())], 600) == 0
            if matrix:  # None: the mutant does not build
                failed = failing_cases(a.build) if builds else None
                restore()
                print(json.dumps({"mutant": i, "at": f"{rel}:{n + 1}", "kind": kind, "line": new.strip(),
                                  "failed": failed}, ensure_ascii=False), file=matrix, flush=True)
                continue
            if not builds:
                verdict = "does not build"
            else:
                built += 1
                failed = run(["ctest", "--test-dir", a.build, "-j", str(os.cpu_count()), "--stop-on-failure"],
                             120) != 0
                caught += failed
                verdict = "caught" if failed else "MISSED"
            restore()
            print(f"{i:3} {verdict:14} {rel}:{n + 1} {kind}: {old.strip()}  =>  {new.strip()}  "
                  f"({time.time() - start:.0f} s)", file=report, flush=True)
    finally:
        restore()
        # The build folder holds objects of the last mutant: bring it back to the source.
        run(["cmake", "--build", a.build, "-j", str(os.cpu_count())], 1800)
    if not matrix:
        print(f"{built} mutants, {caught} caught ({tried - built} left out: they do not build)",
              file=report, flush=True)


if __name__ == "__main__":
    main()
