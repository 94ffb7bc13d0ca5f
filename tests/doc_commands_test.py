#!/usr/bin/env python3
# doc_commands_test.py [--at-top] SOURCE BUILD: runs the fenced blocks of
# README.md and docs/*.md that follow a line "<!-- runnable -->". A console
# block is a session: its "$ " lines run in one shell and must print,
# standard error included, the lines that follow them, a line "..." standing
# for any number of lines. Any other block is a script that must succeed.
# A file's blocks run in order in one scratch folder that holds a copy of
# the checkout's top-level folders and files that its blocks name (what git
# ignores aside), with BUILD as its build/, so a block may use what an
# earlier one made, and nothing a block does reaches the checkout; each
# block starts at the folder's top. With --at-top, the
# README's blocks run at SOURCE's top instead, as a user types the tour
# there after the README's first command (BUILD must then be SOURCE/build).
import glob, os, re, shutil, subprocess, sys, tempfile

at_top = sys.argv[1:2] == ["--at-top"]
source, build = (os.path.abspath(a) for a in sys.argv[1 + at_top:3 + at_top])
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


def checkout_files():
    """The checkout's files that git does not ignore; without git, all."""
    listed = subprocess.run(["git", "-C", source, "ls-files", "-z", "--cached", "--others",
                             "--exclude-standard"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    if listed.returncode == 0:
        return set(listed.stdout.decode("utf-8", "surrogateescape").split("\0")) - {""}
    return {os.path.relpath(os.path.join(top, name), source)
            for top, _, names in os.walk(source) for name in names}


def copy_checkout(folder, text):
    # Only what the blocks name: the whole checkout, its fuzz corpus above
    # all, takes seconds to copy per file of blocks.
    for name in checkout_files():
        top = name.split("/")[0]
        if top not in text or top.startswith((".", "build")) or not os.path.lexists(os.path.join(source, name)):
            continue
        os.makedirs(os.path.dirname(os.path.join(folder, name)), exist_ok=True)
        shutil.copy2(os.path.join(source, name), os.path.join(folder, name), follow_symlinks=False)
    os.symlink(build, os.path.join(folder, "build"))


def run_blocks(path, folder, failures):
    count = 0
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
    return count


failures, count = [], 0
readme = os.path.join(source, "README.md")
if at_top:
    if os.path.realpath(build) != os.path.realpath(os.path.join(source, "build")):
        sys.exit("--at-top runs the README's tour, which takes the build from build/")
    count = run_blocks(readme, source, failures)
else:
    for path in [readme] + sorted(glob.glob(os.path.join(source, "docs", "*.md"))):
        with tempfile.TemporaryDirectory() as folder:
            copy_checkout(folder, "\n".join("\n".join(body) for _, _, body in blocks(path)))
            count += run_blocks(path, folder, failures)
print(f"{count} runnable blocks, {len(failures)} failed", *failures, sep="\n\n")
sys.exit(1 if failures or count == 0 else 0)
