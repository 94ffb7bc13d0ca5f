"""The Python package against the programs: the same fields, the same words,
the same bytes. The engine's rules are tested in C++; this tests the binding."""
import array
import gc
import json
import os
import pickle
import random
import re
import subprocess
import sys
import threading

import pytest

import mocf

HERE = os.path.dirname(os.path.abspath(__file__))
BIN = os.path.abspath(os.environ.get("MOCF_BIN", os.path.join(HERE, "..", "build")))
EXAMPLES = os.path.join(HERE, "..", "examples")
# A sanitized library is loaded into Python with its runtime preloaded; the
# sanitized programs carry their own, and must not get a second one.
PROGRAM_ENV = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}


def run(program, *args, cwd=None):
    return subprocess.run([os.path.join(BIN, program)] + [str(a) for a in args],
                          capture_output=True, cwd=cwd, env=PROGRAM_ENV)


def stderr_lines(result):
    return result.stderr.decode().splitlines()


def write(folder, name, data):
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)
    return name


def random_list(folder, rng):
    # A list of runs over fresh inputs: user files of any name and bytes,
    # texts, software keys and the sample firmware, in any order; only user
    # files may come more than once.
    products = "\n".join(str(rng.randrange(1, 70000)) for _ in range(rng.randint(1, 4)))
    lines = ["-f %s -t CompatProd" % write(folder, "products.txt", products.encode())]
    runs = rng.sample(["settings", "defaults", "keys", "object"], rng.randint(0, 4))
    runs += ["user"] * rng.randint(0, 5)
    rng.shuffle(runs)
    words = {"settings": "--type MenuSettings", "defaults": "-t CustomDefaults",
             "keys": "--type SwKeys"}
    for n, kind in enumerate(runs):
        if kind == "user":
            name = "u%d%s.bin" % (n, rng.choice(["", "_x", "(2)"]))
            data = bytes(rng.getrandbits(8) for _ in range(rng.choice([1, 7, 300, 5000])))
            lines.append('-f "%s" -t user' % write(folder, name, data))
        elif kind == "object":
            with open(os.path.join(EXAMPLES, "firmware.obj"), "rb") as f:
                lines.append("-f %s -t object" % write(folder, "fw.obj", f.read()))
        else:
            text = "".join("K%d.v%d=%d;\n" % (n, i, rng.randrange(999)) for i in range(3))
            part = " --PartNum 04%02d-1" % n if kind == "keys" else ""
            name = write(folder, "t%d.txt" % n, text.encode())
            lines.append("-f %s %s%s" % (name, words[kind], part))
    return write(folder, "runs.list", ("\n".join(lines) + "\n").encode())


@pytest.fixture(scope="module")
def mocfs(tmp_path_factory):
    """The example, random MOCFs built by mocfbuild, and broken copies."""
    rng = random.Random(int(os.environ.get("MOCF_PY_SEED", "7")))
    paths = [str(tmp_path_factory.mktemp("example") / "example.mocf")]
    assert run("mocfbuild", "-d", "-m", paths[0], "example.list", cwd=EXAMPLES).returncode == 0
    for n in range(int(os.environ.get("MOCF_PY_CASES", "12"))):
        folder = str(tmp_path_factory.mktemp("random%d" % n))
        listed = random_list(folder, rng)
        assert run("mocfbuild", "-d", "-m", "made.mocf", listed, cwd=folder).returncode == 0
        paths.append(os.path.join(folder, "made.mocf"))
        with open(paths[-1], "rb") as f:
            data = bytearray(f.read())
        data[rng.randrange(len(data))] ^= 1 << rng.randrange(8)
        for name, broken in (("flipped.mocf", data), ("cut.mocf", data[:rng.randrange(len(data))])):
            paths.append(os.path.join(folder, write(folder, name, broken)))
    return paths


def size_of(data):
    return None if data is None else len(data)


def record_fields(record):
    """The record as mocfinfo --json shows it, from the binding's fields."""
    shown = {"index": record.index, "offset": record.offset, "tag": record.tag,
             "length": record.length, "kind": record.kind}
    if record.kind in ("version", "hash", "compatible products"):
        shown["read"] = record.read
    if record.kind in ("version", "hash"):
        shown["digest" if record.kind == "hash" else "version"] = record.value.hex()
    elif record.kind == "user file":
        shown.update(name=record.name, size=size_of(record.data))
    elif record.kind == "firmware":
        shown.update(products=record.products, software=record.software,
                     size=size_of(record.data))
    elif record.text is not None:
        shown["text"] = record.text
    elif record.products is not None:
        shown["products"] = record.products
    return shown


def json_fields(shown):
    shown = dict(shown)
    shown.pop("digest_ok", None)
    if shown["kind"] == "firmware":
        nested = {r["kind"]: r for r in shown.pop("records", [])}
        shown.update(products=nested.get("compatible products", {}).get("products"),
                     software=nested.get("software version", {}).get("text"),
                     size=nested.get("data", {}).get("size"))
    return shown


def test_open_agrees_with_the_listing(mocfs):
    for path in mocfs:
        want = json.loads(run("mocfinfo", "--json", path).stdout)
        listing = [line for line in run("mocfinfo", path).stdout.decode().splitlines()[2:]
                   if re.match(r" *\d+ ", line)]
        with mocf.open(path) as image:
            assert (image.size, image.valid, image.reason, image.stop) == \
                (want["size"], want["valid"], want["reason"], want["stop"]), path
            assert mocf.verify(path) == (want["valid"], want["reason"])
            assert [record_fields(r) for r in image.records] == \
                [json_fields(r) for r in want["records"]], path
            for record, line in zip(image.records, listing):
                assert line.endswith((record.kind + " " + record.description).rstrip()), path
            assert len(image.records) == len(listing)


def test_record_bytes_are_the_programs(mocfs, tmp_path):
    with mocf.open(mocfs[0]) as image:
        for record in image.records:
            for part, option in (("content", "--extract"), ("record", "--record")):
                out = tmp_path / ("%s%d" % (part, record.index))
                assert run("mocfinfo", option, record.index, "-o", out, mocfs[0]).returncode == 0
                record.save(tmp_path / "saved", part)
                want = out.read_bytes()
                assert bytes(record.bytes(part)) == want == (tmp_path / "saved").read_bytes()
                assert record.read_bytes(3, 5, part) == want[3:8]
        keys = image.records[-2]
        assert (keys.kind, keys.part_number, keys.name, keys.products) == \
            ("software keys", "0400-1234", None, None)
        view = image.records[3].data
    # A view outlives the file's close; the file's own calls do not.
    assert bytes(view).startswith(b"Welcome")
    for call in (lambda: image.records, lambda: keys.text):
        with pytest.raises(ValueError):
            call()


def test_build_writes_the_programs_bytes_and_refuses_in_their_words(mocfs, tmp_path,
                                                                    monkeypatch):
    monkeypatch.chdir(tmp_path)
    listed, made = os.path.join(os.path.dirname(mocfs[1]), "runs.list"), open(mocfs[1], "rb").read()
    heard = []
    mocf.build(listed, tmp_path / "py.mocf", fresh=True, progress=lambda *told: heard.append(told))
    assert (tmp_path / "py.mocf").read_bytes() == made
    assert heard and heard[-1][1] == heard[-1][2] > 0
    (tmp_path / "bad.list").write_text("-f products.txt -t CompatProd\n-f nowhere -t user\n")
    (tmp_path / "products.txt").write_text("4100\n")
    want = run("mocfbuild", "-d", "-m", "prog.mocf", "bad.list", cwd=tmp_path)
    with pytest.raises(mocf.BuildError) as refused:
        mocf.build("bad.list", "lib.mocf", fresh=True)
    assert (refused.value.messages, refused.value.status, refused.value.line) == \
        (stderr_lines(want), want.returncode, 2)
    assert not (tmp_path / "lib.mocf").exists()
    # A run from inside the build would wait for the build: it is refused,
    # and the refusal comes after the build, which goes on.
    os.remove("py.mocf")
    with pytest.raises(RuntimeError):
        mocf.build(listed, "py.mocf", fresh=True,
                   progress=lambda *told: mocf.unpack(mocfs[0], tmp_path / "never"))
    assert open("py.mocf", "rb").read() == made


def test_append_refuses_in_mocftool_words(mocfs, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    start = open(mocfs[0], "rb").read()
    (tmp_path / "new.txt").write_text("Feature.New=ON;\n")
    for args, words in [(["new.txt", "user"], "-f new.txt -t user"),
                        (["new.txt", "SwKeys", False, "0400-9"],
                         "-f new.txt --type SwKeys --PartNum 0400-9"),
                        (["new.txt", "user", False, None, 7], "-f new.txt -t user --tag 7"),
                        (["nowhere", "user"], "-f nowhere -t user"),
                        (["new.txt", "Userz"], "-f new.txt -t Userz"),
                        ([os.path.join(EXAMPLES, "welcome.txt"), "user"], None)]:
        for name in ("prog.mocf", "lib.mocf"):
            (tmp_path / name).write_bytes(start)
        want = run("mocftool", "-m", "prog.mocf",
                   *(words.split() if words else ["-f", args[0], "-t", "user"]))
        try:
            mocf.append("lib.mocf", *args)
            got = (0, [])
        except mocf.AppendError as refused:
            got = (refused.status, refused.messages)
        printed = want.stdout.decode().split("mocftool:  $ProjectRevision")[0]
        assert got == (want.returncode, printed.splitlines()), args
        assert (tmp_path / "lib.mocf").read_bytes() == (tmp_path / "prog.mocf").read_bytes()
    assert got[0] == 2 and (tmp_path / "lib.mocf").read_bytes() == start


def test_unpack_and_diff_agree_with_mocfinfo(mocfs, tmp_path):
    for n, path in enumerate(mocfs[:7]):
        want = run("mocfinfo", "--unpack", tmp_path / ("p%d" % n), path)
        got = mocf.unpack(path, tmp_path / ("l%d" % n))
        assert (bool(got), got.reasons) == (want.returncode == 0, stderr_lines(want)), path
        for name in os.listdir(tmp_path / ("p%d" % n)):
            assert (tmp_path / ("p%d" % n) / name).read_bytes() == \
                (tmp_path / ("l%d" % n) / name).read_bytes()
        for old in mocfs[:4]:
            shown = run("mocfinfo", "--diff", "--json", old, path)
            if shown.returncode < 2:
                assert mocf.diff(old, path) == json.loads(shown.stdout)
                continue
            with pytest.raises(mocf.NotMocfError) as refused:
                mocf.diff(old, path)
            assert refused.value.messages == [stderr_lines(shown)[0].split(": ", 1)[1]]


def test_failures_to_read_are_os_errors_in_the_systems_words(mocfs, tmp_path):
    for call, kind in [(lambda: mocf.open(tmp_path / "none"), FileNotFoundError),
                       (lambda: mocf.verify(tmp_path), IsADirectoryError),
                       (lambda: mocf.build(tmp_path / "none.list", tmp_path / "m"),
                        FileNotFoundError),
                       (lambda: mocf.diff(tmp_path / "none", tmp_path / "none"),
                        FileNotFoundError)]:
        with pytest.raises(kind) as failed:
            call()
        assert failed.value.strerror == os.strerror(failed.value.errno)
        assert failed.value.filename and failed.value.messages
    with pytest.raises(ValueError), mocf.open(mocfs[0]) as image:
        image.records[0].bytes("header")
    assert mocf.__version__ == run("mocfinfo", "--version").stdout.decode().split()[-1]


def test_a_large_mocf_is_listed_and_verified_in_little_memory(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    size = int(os.environ.get("MOCF_PY_LARGE_MIB", "1536")) << 20
    with open(tmp_path / "big.bin", "wb") as f:
        f.truncate(size)
    mocf.append(tmp_path / "big.mocf", os.path.join(EXAMPLES, "products.txt"), "CompatProd",
                fresh=True)
    mocf.append(tmp_path / "big.mocf", "big.bin", "user")
    script = """if True:
        import resource, sys, mocf
        start = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        ok, reason = mocf.verify(sys.argv[1])
        with mocf.open(sys.argv[1]) as image:
            kinds = [(r.kind, r.description) for r in image.records]
            size = len(image.records[-1].data)
        grown = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - start
        print(ok, size, len(kinds), grown // 1024)
    """
    package = os.path.dirname(os.path.dirname(os.path.abspath(mocf.__file__)))
    shown = subprocess.run([sys.executable, "-c", script, str(tmp_path / "big.mocf")],
                           capture_output=True, check=True,
                           env=dict(os.environ, PYTHONPATH=package)).stdout.split()
    assert shown[:3] == [b"True", str(size).encode(), b"4"]
    assert int(shown[3]) <= 64, "grew by %s MiB" % shown[3]


def test_one_mocf_shared_by_threads_and_closed_under_them(mocfs, tmp_path):
    # The library's walk over one file is not thread safe, and a call must
    # keep the file alive however soon another thread closes it.
    (tmp_path / "one.bin").write_bytes(b"x")
    (tmp_path / "many.list").write_text("-f %s -t CompatProd\n" % os.path.join(
        EXAMPLES, "products.txt") + "-f one.bin -t user\n" * 20000)
    assert run("mocfbuild", "-d", "-m", "many.mocf", "many.list", cwd=tmp_path).returncode == 0
    wrong = []
    with mocf.open(tmp_path / "many.mocf") as image:
        want = [r.offset for r in image.records]

        def reader(rng):
            for n in (rng.randrange(len(want)) for _ in range(2000)):
                try:
                    assert image.records[n].offset == want[n]
                except Exception as error:
                    wrong.append(error)
        threads = [threading.Thread(target=reader, args=(random.Random(s),)) for s in range(4)]
        [thread.start() for thread in threads]
        [thread.join() for thread in threads]
    assert not wrong
    for _ in range(20):
        image = mocf.open(mocfs[0])
        walker = threading.Thread(target=image.records.__getitem__, args=(-1,))
        walker.start()
        image.close()
        walker.join()


def test_close_lets_go_at_once_but_views_keep_their_bytes(mocfs):
    image = mocf.open(mocfs[0])
    with image.bytes() as whole:
        assert bytes(whole[:4]) == b"MOCF"
    kept = image.records[3].data
    assert bytes(image.records[6].value)
    image.close()
    gc.collect()
    assert bytes(kept).startswith(b"Welcome")
    del kept
    if os.path.exists("/proc/self/maps"):
        with open("/proc/self/maps") as maps:
            assert mocfs[0] not in maps.read()


def test_missing_pieces_and_odd_arguments_raise(mocfs):
    data = bytearray(open(mocfs[0], "rb").read())
    data[mocf.open(mocfs[0]).records[3].offset + 28] ^= 0x80  # the user file's data tag
    assert len(mocf.open_bytes(array.array("H", data)).bytes()) == len(data)
    with pytest.raises(IndexError):
        mocf.open_bytes(data).records[3].bytes()
    with pytest.raises(ValueError):
        mocf.open(mocfs[0] + "\0ignored")
    refused = mocf.BuildError(["list:2: no"], 1, 2)
    assert vars(pickle.loads(pickle.dumps(refused))) == vars(refused)
