# The Python package against the programs: what the binding adds to the
# library, that is the fields as Python values, the failures as the right
# exceptions, the memory views and the threads. The engine's rules and words
# are checked through the C API in mocf_api_test.cpp.
import array, gc, json, os, pickle, pydoc, random, re, subprocess, sys, threading, warnings
from concurrent.futures import ThreadPoolExecutor

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
                          capture_output=True, cwd=cwd, env=PROGRAM_ENV, encoding="utf-8")


def random_list(folder, rng):
    # Runs over fresh inputs in any order: user files of any name and bytes,
    # texts, software keys and the sample firmware; only user files repeat.
    def put(name, data):
        (folder / name).write_bytes(data)
        return name
    products = "\n".join(str(rng.randrange(1, 70000)) for _ in range(rng.randint(1, 4)))
    lines = ["-f %s -t CompatProd" % put("products.txt", products.encode())]
    kinds = rng.sample(["--type MenuSettings", "-t CustomDefaults", "--type SwKeys", "object"],
                       rng.randint(0, 4)) + ["user"] * rng.randint(0, 5)
    rng.shuffle(kinds)
    for n, kind in enumerate(kinds):
        if kind == "user":
            data = bytes(rng.getrandbits(8) for _ in range(rng.choice([1, 7, 300, 5000])))
            name = put("u%d%s.bin" % (n, rng.choice(["", "_x", "(2)"])), data)
            lines.append('-f "%s" -t user' % name)
        elif kind == "object":
            lines.append('-f "%s" -t object' % os.path.join(EXAMPLES, "firmware.obj"))
        else:
            text = "".join("K%d.v%d=%d;\n" % (n, i, rng.randrange(999)) for i in range(3))
            part = " --PartNum 04%02d-1" % n if "SwKeys" in kind else ""
            lines.append("-f %s %s%s" % (put("t%d.txt" % n, text.encode()), kind, part))
    return put("runs.list", ("\n".join(lines) + "\n").encode())


@pytest.fixture(scope="module")
def mocfs(tmp_path_factory):
    # The example; copies of it with the user file's data tag broken and cut
    # short, which the binding shows in part; a file that is no MOCF; then
    # random MOCFs built by mocfbuild, each with a copy that has one bit
    # flipped.
    folder = tmp_path_factory.mktemp("mocfs")
    assert run("mocfbuild", "-d", "-m", folder / "0.mocf", "example.list",
               cwd=EXAMPLES).returncode == 0
    data = bytearray((folder / "0.mocf").read_bytes())
    data[68 + 28] ^= 0x80
    (folder / "1.mocf").write_bytes(data)
    (folder / "2.mocf").write_bytes(data[:300])
    (folder / "3.mocf").write_bytes(open(os.path.join(HERE, "..", "README.md"), "rb").read())
    rng = random.Random(int(os.environ.get("MOCF_PY_SEED", "7")))
    for n in range(int(os.environ.get("MOCF_PY_CASES", "12"))):
        inputs, made = tmp_path_factory.mktemp("random"), folder / ("r%d.mocf" % n)
        listed = random_list(inputs, rng)
        assert run("mocfbuild", "-d", "-m", made, listed, cwd=inputs).returncode == 0, listed
        data = bytearray(made.read_bytes())
        data[rng.randrange(len(data))] ^= 1 << rng.randrange(8)
        (folder / ("f%d.mocf" % n)).write_bytes(data)
    # 0.mocf to 3.mocf come first, the random ones after them.
    return sorted(str(path) for path in folder.iterdir())


# The fields of mocfinfo --json the binding names otherwise.
READ_AS = {"version": lambda r: r.value.hex(), "digest": lambda r: r.value.hex(),
           "tag_hex": lambda r: "0x%08X" % r.tag,
           "size": lambda r: None if r.data is None else len(r.data)}


def json_fields(shown):
    # A record of mocfinfo --json as the binding gives it: a firmware's
    # records as its fields, and no verdict on the digest.
    shown = {k: v for k, v in shown.items() if k != "digest_ok"}
    nested = {r["kind"]: r for r in shown.pop("records", [])}
    if shown["kind"] == "firmware":
        shown.update(products=nested.get("compatible products", {}).get("products"),
                     software=nested.get("software version", {}).get("text"),
                     size=nested.get("data", {}).get("size"))
    return shown


def test_fields_unpack_and_diff_are_mocfinfos(mocfs, tmp_path):
    for n, path in enumerate(mocfs):
        want = json.loads(run("mocfinfo", "--json", path).stdout)
        listing = re.findall(r"^ *\d+ +0x[0-9A-F]+ [0-9A-F]{8} +\d+ (.*)$",
                             run("mocfinfo", path).stdout, re.M)
        with mocf.open(path) as image:
            assert (image.size, image.valid, image.reason, image.stop) == \
                (want["size"], want["valid"], want["reason"], want["stop"]), path
            assert mocf.verify(path) == (want["valid"], want["reason"])
            shown = [json_fields(r) for r in want["records"]]
            assert [{k: READ_AS.get(k, lambda r: getattr(r, k))(r) for k in fields}
                    for r, fields in zip(image.records, shown)] == shown, path
            assert len(image.records) == len(listing), path
            assert [(r.kind + " " + r.description).rstrip() for r in image.records] == listing
        unpacked = run("mocfinfo", "--unpack", tmp_path / ("p%d" % n), path)
        got = mocf.unpack(path, tmp_path / ("l%d" % n))
        assert (bool(got), got.reasons) == (unpacked.returncode == 0, unpacked.stderr.splitlines())
        assert os.listdir(tmp_path / ("p%d" % n)) == os.listdir(tmp_path / ("l%d" % n))
        shown = run("mocfinfo", "--diff", "--json", mocfs[0], path)
        if shown.returncode < 2:
            assert mocf.diff(mocfs[0], path) == json.loads(shown.stdout)
            continue
        with pytest.raises(mocf.NotMocfError) as refused:
            mocf.diff(mocfs[0], path)
        assert refused.value.messages == [shown.stderr.splitlines()[0].split(": ", 1)[1]]


def test_parts_of_a_record_and_views_that_outlive_the_file(mocfs, tmp_path):
    # The library's parts are compared with mocfinfo's in mocf_api_test.cpp.
    image = mocf.open(mocfs[0])
    user, whole = image.records[3], bytes(image.bytes())
    for part, want in (("record", whole[user.offset:user.offset + 8 + user.length]),
                       ("value", whole[user.offset + 8:user.offset + 8 + user.length]),
                       ("content", bytes(user.data))):
        user.save(tmp_path / part, part)
        assert bytes(user.bytes(part)) == want == (tmp_path / part).read_bytes()
        assert user.read_bytes(3, 5, part) == want[3:8]
    keys, kept = image.records[-2], image.records[3].data
    # mocfinfo --json has no part number, nor None for what a record lacks.
    assert (keys.part_number, keys.name, keys.products) == ("0400-1234", None, None)
    image.close()
    gc.collect()
    # A view keeps the file's bytes; the closed file's own calls fail.
    assert bytes(kept).startswith(b"Welcome")
    for call in (lambda: image.records, lambda: keys.text):
        with pytest.raises(ValueError):
            call()
    del kept
    if os.path.exists("/proc/self/maps"):
        with open("/proc/self/maps") as maps:
            assert mocfs[0] not in maps.read()


def test_build_and_append_pass_their_arguments_and_raise_the_programs_words(mocfs, tmp_path,
                                                                             monkeypatch):
    # The bytes and words of every kind of run are compared with the programs'
    # in mocf_api_test.cpp; here the flags, arguments, progress and errors.
    monkeypatch.chdir(tmp_path)
    listed, made = os.path.join(EXAMPLES, "example.list"), open(mocfs[0], "rb").read()
    heard = []
    mocf.build(listed, "py.mocf", fresh=True, progress=lambda *told: heard.append(told))
    assert open("py.mocf", "rb").read() == made and heard[-1][1] == heard[-1][2] == len(made)
    (tmp_path / "bad.list").write_text("-f products.txt -t CompatProd\n-f nowhere -t user\n")
    (tmp_path / "products.txt").write_text("4100\n")
    want = run("mocfbuild", "-d", "-m", "prog.mocf", "bad.list", cwd=tmp_path)
    with pytest.raises(FileNotFoundError) as refused:
        mocf.build("bad.list", "lib.mocf", fresh=True)
    assert (refused.value.messages, refused.value.status, refused.value.line) == \
        (want.stderr.splitlines(), want.returncode, 2)
    assert not (tmp_path / "lib.mocf").exists()
    # A run from inside the build would wait for the build: it is refused,
    # and the refusal comes after the build, which goes on.
    with pytest.raises(RuntimeError):
        mocf.build(listed, "on.mocf", fresh=True,
                   progress=lambda *told: mocf.unpack(mocfs[0], tmp_path / "never"))
    assert open("on.mocf", "rb").read() == made
    (tmp_path / "new.txt").write_text("Feature.New=ON;\n")
    statuses = []
    for args, words in [(["products.txt", "CompatProd", True], "-t CompatProd -d"),
                        (["new.txt", "SwKeys", False, "0400-9"], "--type SwKeys --PartNum 0400-9"),
                        (["new.txt", "binary", False, None, 0x70000001], "--type binary --tag "
                         + str(0x70000001)),
                        # A stored name may not hold the folder it was typed with.
                        ([os.path.join("..", tmp_path.name, "new.txt"), "user"], "-t user"),
                        (["new.txt", "user", True], "-t user -d")]:
        want = run("mocftool", "-m", "prog.mocf", "-f", args[0], *words.split())
        try:
            mocf.append("lib.mocf", *args)
            got = (0, [])
        except mocf.AppendError as refused:
            got = (refused.status, refused.messages)
        # A hint may name the MOCF, which is the program's own here.
        said = (want.stdout + want.stderr).replace("prog.mocf", "lib.mocf")
        assert got == (want.returncode, said.splitlines()), args
        assert (tmp_path / "lib.mocf").read_bytes() == (tmp_path / "prog.mocf").read_bytes()
        statuses.append((got[0], bool(want.stderr)))
    # Three appends that must succeed and two that must fail with a reason,
    # or the cases check less.
    assert statuses == [(0, False)] * 3 + [(2, True)] * 2


def test_failures_to_read_or_write_are_os_errors_in_the_engines_words(mocfs, tmp_path):
    # A refused run's file is the one the engine names, or the one the file
    # system shows could not be written.
    listed, none = os.path.join(EXAMPLES, "example.list"), tmp_path / "none"
    for call, kind, refusal in [
            (lambda: mocf.open(none), FileNotFoundError, mocf.Error),
            (lambda: mocf.verify(tmp_path), IsADirectoryError, mocf.Error),
            (lambda: mocf.diff(none, none), FileNotFoundError, mocf.Error),
            (lambda: mocf.append(none, none, "user"), FileNotFoundError, mocf.AppendError),
            (lambda: mocf.append(none, tmp_path, "CompatProd"), IsADirectoryError,
             mocf.AppendError),
            (lambda: mocf.append(tmp_path, listed, "user"), IsADirectoryError, mocf.AppendError),
            (lambda: mocf.unpack(mocfs[0], os.path.dirname(mocfs[0])), FileExistsError, mocf.Error),
            (lambda: mocf.build(none, none), FileNotFoundError, mocf.BuildError),
            (lambda: mocf.build(listed, none / "m", True), FileNotFoundError, mocf.BuildError)]:
        with pytest.raises(kind) as failed:
            call()
        assert isinstance(failed.value, refusal) and failed.value.filename
        assert failed.value.strerror == os.strerror(failed.value.errno)
        assert str(failed.value) == "\n".join(failed.value.messages) and failed.value.messages
    for refused in (mocf.BuildError(["list:2: no"], 1, 2), failed.value):
        copy = pickle.loads(pickle.dumps(refused))
        assert (type(copy), copy.args, vars(copy)) == (type(refused), refused.args, vars(refused))
    # Other failures of the library, and arguments it never gets, named.
    assert len(mocf.open_bytes(array.array("H", open(mocfs[1], "rb").read())).bytes()) == 428
    record, made = mocf.open(mocfs[0]).records[0], tmp_path / "m"
    typed = [("part", lambda: record.bytes(1)), ("offset", lambda: record.read_bytes("1")),
             ("size", lambda: record.read_bytes(0, 1.0)), ("path", lambda: mocf.open(None)),
             ("data", lambda: mocf.open_bytes("text")), ("name", lambda: mocf.open_bytes(b"", 5)),
             ("folder", lambda: mocf.unpack(mocfs[0], None)),
             ("fresh", lambda: mocf.build(listed, made, "yes")),
             ("progress", lambda: mocf.build(listed, made, progress=5)),
             ("input_path", lambda: mocf.append(made, 3, "user")),
             ("type", lambda: mocf.append(made, listed, None)),
             ("part_number", lambda: mocf.append(made, None, "SwKeys", part_number=4)),
             ("tag", lambda: mocf.append(made, listed, "binary", tag=1.5))]
    for call, kind, words in [
            (lambda: mocf.open_bytes(open(mocfs[1], "rb").read()).records[3].bytes(), IndexError,
             None), (lambda: mocf.open(mocfs[0] + "\0ignored"), ValueError, "null"),
            (lambda: record.bytes("header"), ValueError, "^part")] + [
            (call, TypeError, "^%s must" % name) for name, call in typed]:
        with pytest.raises(kind, match=words):
            call()
    assert not made.exists()
    # Signatures show types, neither ForwardRef nor the method Record.bytes for bytes.
    assert not re.search(r"ForwardRef|<function|[:>] '[A-Z]",
                         pydoc.render_doc(mocf, renderer=pydoc.plaintext))
    assert mocf.__version__ == run("mocfinfo", "--version").stdout.split()[-1]


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
    with mocf.open(tmp_path / "many.mocf") as image:
        want = [r.offset for r in image.records]

        def reader(seed):
            rng = random.Random(seed)
            for n in (rng.randrange(len(want)) for _ in range(2000)):
                assert image.records[n].offset == want[n]
        with ThreadPoolExecutor(4) as pool:
            list(pool.map(reader, range(4)))
    for _ in range(20):
        image = mocf.open(mocfs[0])
        walker = threading.Thread(target=image.records.__getitem__, args=(-1,))
        walker.start()
        image.close()
        walker.join()


def test_an_edit_commits_on_a_clean_exit_and_discards_on_an_exception(mocfs, tmp_path,
                                                                     monkeypatch):
    # The edits' bytes and words are mocfedit's in mocf_api_test.cpp; here
    # the context manager, the inputs as bytes or paths, and the errors.
    monkeypatch.chdir(tmp_path)
    made = open(mocfs[0], "rb").read()
    (tmp_path / "ex.mocf").write_bytes(made)
    (tmp_path / "notes.txt").write_bytes(b"hi\n")
    want = run("mocfedit", "-m", "ex.mocf", "-o", "prog.mocf", "--add", "-f notes.txt -t user",
               "--set", "MenuSettings", "Display.Timeout=600", "--remove", "4", cwd=tmp_path)
    assert want.returncode == 0, want.stderr
    with pytest.raises(KeyError):
        with mocf.edit("ex.mocf") as e:
            e.add_user_file("notes.txt", b"hi\n")
            raise KeyError("stop")
    assert (tmp_path / "ex.mocf").read_bytes() == made
    refused = run("mocfedit", "-m", "ex.mocf", "--remove", "user:none.txt", cwd=tmp_path)
    with mocf.edit(tmp_path / "ex.mocf") as e:
        with pytest.raises(mocf.EditError) as failed:
            e.remove("user:none.txt")
        assert failed.value.status == refused.returncode == 2
        assert [line.split("): ", 1)[1] for line in refused.stderr.splitlines()] == \
            failed.value.messages
        e.add_user_file("notes.txt", "notes.txt")
        e.set("MenuSettings", "Display.Timeout", "600")
        e.remove(4)
        assert e.record_count == 8
    assert (tmp_path / "ex.mocf").read_bytes() == (tmp_path / "prog.mocf").read_bytes()
    with pytest.raises(ValueError):
        e.remove(3)
    e = mocf.edit_bytes(made)
    e.add_user_file("notes.txt", b"hi\n")
    e.set("MenuSettings", "Display.Timeout", "600")
    e.remove("user:welcome.txt")
    assert e.render() == (tmp_path / "prog.mocf").read_bytes()
    with pytest.raises(mocf.EditError.FileNotFoundError):
        mocf.edit(tmp_path / "none.mocf")


def test_writers_warn_of_a_signature_they_leave_behind(tmp_path, monkeypatch):
    # The words are the programs', through the C API in mocf_api_test.cpp;
    # here the warning's class, and that it points at the caller.
    monkeypatch.chdir(tmp_path)
    (tmp_path / "py.mocf.sig").write_bytes(b"SIG")
    (tmp_path / "n.txt").write_bytes(b"n")
    with pytest.warns(mocf.SignatureWarning) as warned:
        mocf.build(os.path.join(EXAMPLES, "example.list"), "py.mocf", fresh=True)
        mocf.append("py.mocf", "n.txt", "user")
        edit = mocf.edit("py.mocf")
        edit.remove("user:n.txt")
        edit.commit()
    assert [(str(w.message), w.filename) for w in warned] == [
        (program + ": the signature py.mocf.sig no longer matches py.mocf; sign it again with "
         "mocfsign", __file__) for program in ("mocfbuild", "mocftool", "mocfedit")]
    assert (tmp_path / "py.mocf.sig").read_bytes() == b"SIG"
    os.remove("py.mocf.sig")
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        mocf.append("py.mocf", "n.txt", "user")


def test_signatures_are_mocfsigns_verdicts_field_for_field(mocfs, tmp_path):
    # A root, a signer under it and a second one whose certificate expires
    # soon, made by openssl; without it or libcrypto, skipped unless required.
    pki = ["openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout %s.key "
           "-out %s.pem -subj /CN=%s -days %d " % (name, name, name, days) + extra
           for name, days, extra in [
               ("root", 400, "-addext basicConstraints=critical,CA:TRUE"),
               ("signer", 365, "-CA root.pem -CAkey root.key -addext basicConstraints=CA:FALSE"),
               ("soon", 5, "-CA root.pem -CAkey root.key -addext basicConstraints=CA:FALSE")]]
    made = subprocess.run(" && ".join(pki), shell=True, cwd=tmp_path, env=PROGRAM_ENV,
                          capture_output=True).returncode == 0
    try:
        mocf.verify_signature(tmp_path / "none.mocf", tmp_path / "none.pem")
    except mocf.SignatureError as error:
        made = made and isinstance(error, FileNotFoundError)
    if not made and os.environ.get("MOCF_REQUIRE_SIGNING") != "1":
        pytest.skip("no signature support or no openssl")
    assert made
    image, root = tmp_path / "s.mocf", tmp_path / "root.pem"
    image.write_bytes(open(mocfs[0], "rb").read())

    def same_as_mocfsign(signers=1):
        # Every field as mocfsign --verify --json shows it.
        v = mocf.verify_signature(image, root, signers=signers)
        shown = json.loads(run("mocfsign", "--verify", "-m", image, "--trust", root,
                               "--signers", signers, "--json").stdout)
        assert {k: getattr(v, k) for k in shown if hasattr(v, k) and k != "signers"} == {
            k: shown[k] for k in shown if hasattr(v, k) and k != "signers"}
        assert [vars(s) for s in v.signers] == shown["signers"]
        return v

    assert mocf.sign(image, tmp_path / "signer.key", tmp_path / "signer.pem") == []
    with pytest.warns(mocf.SigningWarning):
        said = mocf.sign(str(image), tmp_path / "soon.key", tmp_path / "soon.pem")
    assert said and all(line.startswith("mocfsign: warning: ") for line in said)
    v = same_as_mocfsign(signers=2)
    assert v and v.status == 0 and v.reason is None
    assert sorted(s.subject for s in v.signers) == ["CN=signer", "CN=soon"]
    signature = bytearray((tmp_path / "s.mocf.sig").read_bytes())
    signature[-1] ^= 1  # one signer's signature value
    (tmp_path / "s.mocf.sig").write_bytes(signature)
    v = same_as_mocfsign(signers=2)
    assert not v and v.status == 1 and v.reason and v.signers_verified == 1
    assert sorted((s.verified, bool(s.reason)) for s in v.signers) == [(False, True), (True, False)]
    (tmp_path / "bad.key").write_text("no key\n")
    with pytest.raises(mocf.SignatureError) as refused:
        mocf.sign(image, tmp_path / "bad.key", tmp_path / "signer.pem")
    told = run("mocfsign", "-m", image, "--key", tmp_path / "bad.key", "--cert",
               tmp_path / "signer.pem")
    assert (refused.value.status, refused.value.messages) == (2, told.stderr.splitlines())
