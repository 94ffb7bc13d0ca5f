#!/usr/bin/env python3
# doc_commands_test.py SOURCE BUILD: runs the fenced blocks of README.md and
# docs/*.md that follow a line "<!-- runnable -->". A console block is a
# session: its "$ " lines run in one shell and must print, standard error
# included, the lines that follow them, a line "..." standing for any number
# of lines. Any other block is a script that must succeed. A file's blocks
# run in order in one scratch folder laid out like the source tree after the
# README's first command (build/ is BUILD), so a block may use what an
# earlier one made; each block starts at the folder's top.
import glob, os, re, shutil, subprocess, sys, tempfile

source, build = (os.path.abspath(a) for a in sys.argv[1:3])
MARK = "<!-- runnable -->"


def blocks(path):
    lines = open(path, encoding="utf-8").read().split("\n")
    for at, line in enumerate(lines):
        if line.strip() == MARK:
            fence = lines[at + 1]
            end = lines.index(fence[:3], at + 2)
            yield at + 2, fence[3:].strip(), lines[at + 2:end]


def pattern(expected):
    return "".join("(?:.*\n)*?" if line == "..." else re.escape(line) + "\n" for line in expected)


def run(text, folder):
    done = subprocess.run(["bash", "-c", text], cwd=folder, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, timeout=120)
    return done.returncode, done.stdout.decode("utf-8", "replace")


failures, count = [], 0
for path in [os.path.join(source, "README.md")] + sorted(glob.glob(os.path.join(source, "docs", "*.md"))):
    with tempfile.TemporaryDirectory() as folder:
        for name in os.listdir(source):
            if not name.startswith((".", "build")) and name != "examples":
                os.symlink(os.path.join(source, name), os.path.join(folder, name))
        shutil.copytree(os.path.join(source, "examples"), os.path.join(folder, "examples"))
        os.symlink(build, os.path.join(folder, "build"))
        for line, kind, body in blocks(path):
            count += 1
            where = f"{os.path.relpath(path, source)}:{line}"
            if kind == "console":
                expected = [l for l in body if not l.startswith("$ ")]
                status, out = run("\n".join(l[2:] for l in body if l.startswith("$ ")), folder)
                if not re.fullmatch(pattern(expected), out):
                    failures.append(f"{where}: printed\n{out}instead of\n" + "\n".join(expected))
            else:
                status, out = run("set -eo pipefail\n" + "\n".join(body), folder)
                if status != 0:
                    failures.append(f"{where}: status {status}\n{out}")
print(f"{count} runnable blocks, {len(failures)} failed", *failures, sep="\n\n")
sys.exit(1 if failures or count == 0 else 0)
