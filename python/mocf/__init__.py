"""Read, verify, build, edit, unpack and compare MOCF files from Python.

A thin layer over libmocf, the engine of mocftool, mocfbuild and mocfinfo:
every rule and every message comes from the library, so what this package
says is what the programs say.

    with mocf.open("device.mocf") as image:
        print(image.valid, image.reason)
        for record in image.records:
            print(record.index, record.kind, record.description)
"""

import builtins
import codecs
import ctypes
import dataclasses
import errno as _errno
import json
import operator
import os
import re
import sys
import threading
import warnings
from typing import (Any, Callable, Dict, Iterator, List, Optional, Sequence, Tuple, Type, TypeVar,
                    Union, overload)

from . import _native
from ._native import lib as _lib

__all__ = [
    "Error", "BuildError", "AppendError", "EditError", "NotMocfError", "SignatureWarning",
    "Mocf", "Record",
    "Unpacked", "Input", "Edit", "open", "open_bytes", "verify", "build", "append", "unpack",
    "diff", "edit", "edit_bytes", "__version__",
]

__version__: str = _lib.mocf_version().decode()

# Real types rather than quoted ones, so that help() shows them; os.PathLike
# takes a parameter from Python 3.9 on.
if sys.version_info >= (3, 9):
    PathLike = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]
else:
    PathLike = Union[str, bytes, os.PathLike]


# ---- Errors ------------------------------------------------------------------


class Error(Exception):
    """A refusal or failure the library reports, in the programs' words.

    ``messages`` holds the lines the program would print, ``status`` the exit
    status it would give (1: arguments refused, 2: the run failed).
    """

    def __init__(self, messages: List[str], status: int = 0) -> None:
        # The arguments as they came, which a pickled copy is made from again.
        super().__init__(messages, status)
        self.messages = messages
        self.status = status

    def __str__(self) -> str:
        return "\n".join(self.messages)


class BuildError(Error):
    """mocfbuild refused the list; ``line`` is the list's line, or 0."""

    def __init__(self, messages: List[str], status: int = 0, line: int = 0) -> None:
        super().__init__(messages, status)
        self.line = line


class AppendError(Error):
    """mocftool refused the run; nothing was written."""


class EditError(Error):
    """mocfedit refused the edit; the edit is as it was before it, and goes on."""


class NotMocfError(Error):
    """The file is no MOCF container at all, so there is nothing to compare."""


class SignatureError(Error):
    """mocfsign refused to sign, writing nothing; or a signature could not be
    checked at all (a file unread, a build without signature support)."""


class SignatureWarning(UserWarning):
    """A build, append or commit replaced a MOCF that has a signature beside
    it (its path plus ".sig"), which no longer matches it: sign it again with
    mocfsign. The signature itself is left as it was."""


def _system_init(self: Any, *args: Any) -> None:
    # OSError's own arguments, which a pickled copy is made from again; the
    # engine's words are set after, and come back with the copy's state.
    OSError.__init__(self, *args)
    self.messages, self.status = [], 0
    if isinstance(self, BuildError):
        self.line = 0


# Each of the package's errors comes too as the OSError subclasses Python's
# own file calls raise (AppendError.FileNotFoundError and the like), so that
# both `except FileNotFoundError` and `except mocf.AppendError` catch a
# missing input, and scripts written either way keep working.
_SYSTEM_KINDS = (FileNotFoundError, FileExistsError, IsADirectoryError, NotADirectoryError,
                 PermissionError, OSError)
_SYSTEM_CLASSES: Dict[Tuple[type, type], type] = {}
for _refusal in (Error, BuildError, AppendError, EditError, SignatureError):
    for _kind in _SYSTEM_KINDS:
        _made = type(_kind.__name__, (_refusal, _kind), {
            "__init__": _system_init, "__module__": __name__,
            "__qualname__": _refusal.__name__ + "." + _kind.__name__, "__doc__": _kind.__doc__})
        setattr(_refusal, _kind.__name__, _made)
        _SYSTEM_CLASSES[(_refusal, _kind)] = _made


def _words(raw: Optional[bytes]) -> str:
    # The library's texts are UTF-8; paths in them may not be, and those
    # bytes come back as the file system's own.
    return os.fsdecode(raw) if raw else ""


def _lines(message: str) -> List[str]:
    return message.splitlines()


_SYSTEM_WORDS = {os.strerror(code): code for code in _errno.errorcode}


def _said(lines: List[str]) -> Optional[Tuple[int, Optional[str]]]:
    """The system's error and its file from the engine's words, when they
    end a line ("cannot read PATH: No such file or directory")."""
    for line in lines:
        head, _, words = line.rpartition(": ")
        if head and words in _SYSTEM_WORDS:
            named = re.search(r"cannot (?:read|write|unpack into) (.*)", head)
            return _SYSTEM_WORDS[words], named.group(1) if named else None
    return None


def _seen(target: PathLike, folder: bool) -> Optional[int]:
    """Why a file the engine failed to write without the system's words
    could not be written, as the file system shows it; None when it does
    not show why."""
    parent = os.path.dirname(os.path.abspath(target))
    if not os.path.isdir(parent):
        return _errno.ENOTDIR if os.path.exists(parent) else _errno.ENOENT
    if folder:
        # The folder is made, or must be empty: something there already.
        return _errno.EEXIST if os.path.lexists(target) else None
    if os.path.isdir(target):
        return _errno.EISDIR
    return None if os.access(parent, os.W_OK) else _errno.EACCES


def _raise(code: int, refusal: Type[Error] = Error, target: Optional[PathLike] = None,
           folder: bool = False) -> None:
    """Raises the error for a failed call; target is the file or folder it
    writes, looked at when the engine does not say why the write failed."""
    last = _lib.mocf_error_last().contents
    message = _words(last.message)
    lines = _lines(message)
    if code == _native.ENOMEM:
        raise MemoryError(message.strip())
    if code == _native.EARG:
        raise ValueError(message.strip())
    if code == _native.ENOTFOUND:
        raise IndexError(message.strip())
    if code == _native.EINTERNAL:
        raise Error(lines)
    system = _said(lines) if code in (_native.EIO, _native.EREFUSED, _native.EFAILED) else None
    if system is None and target is not None and code in (_native.EIO, _native.EFAILED):
        seen = _seen(target, folder)
        system = None if seen is None else (seen, os.fsdecode(target))
    if system is None and code == _native.EIO:
        system = (_errno.EIO, None)
    if system is not None:
        number, filename = system
        kind = type(OSError(number, ""))
        kind = _SYSTEM_CLASSES[(refusal, kind if kind in _SYSTEM_KINDS else OSError)]
        error: Any = kind(number, os.strerror(number), filename)
        error.messages, error.status = lines, last.status
        if refusal is BuildError:
            error.line = last.line
        raise error
    if refusal is BuildError:
        raise BuildError(lines, last.status, last.line)
    raise refusal(lines, last.status)


def _check(code: int, refusal: Type[Error] = Error, target: Optional[PathLike] = None,
           folder: bool = False) -> None:
    if code != _native.OK:
        _raise(code, refusal, target, folder)


def _warn() -> None:
    """Warns, from the caller's caller, of what a writer's success said."""
    last = _lib.mocf_error_last().contents
    if last.code == _native.OK and last.message:
        warnings.warn(_words(last.message).rstrip("\n"), SignatureWarning, stacklevel=3)


_T = TypeVar("_T")


def _typed(value: _T, name: str, kinds: Union[type, Tuple[type, ...]], what: str) -> _T:
    if not isinstance(value, kinds):
        raise TypeError("%s must be %s, not %s" % (name, what, type(value).__name__))
    return value


def _path(path: PathLike, name: str) -> bytes:
    _typed(path, name, (str, bytes, os.PathLike), "a path (str, bytes or os.PathLike)")
    encoded = os.fsencode(path)
    if b"\0" in encoded:
        raise ValueError("embedded null byte")
    return encoded


def _string(value: Optional[str], name: str) -> Optional[bytes]:
    return None if value is None else _typed(value, name, str, "a str or None").encode()


def _latin1_strays(error: UnicodeError) -> Tuple[str, int]:
    # As mocfinfo --json shows a byte that is no UTF-8: the character of its value.
    if not isinstance(error, UnicodeDecodeError):
        raise error
    stray = error.object[error.start:error.start + 1]
    return stray.decode("latin-1"), error.start + 1


codecs.register_error("mocf.strays", _latin1_strays)


def _text(pointer: Optional[int], size: int) -> str:
    return ctypes.string_at(pointer or 0, size).decode("utf-8", "mocf.strays") if size else ""


# ---- Reading -----------------------------------------------------------------


class _Handle:
    """Owns the native file. Memory views of its bytes hold it too, so the
    mapping outlives Mocf.close() until the last view is released."""

    def __init__(self, pointer: ctypes.c_void_p) -> None:
        self.pointer: Optional[ctypes.c_void_p] = pointer
        # One file's walk state lives in the library and is not thread safe.
        self._lock = threading.Lock()

    def call(self, function: Callable[..., Any], *arguments: Any) -> Any:
        # Runs with self referenced, so close() in another thread cannot free it meanwhile.
        with self._lock:
            return function(self.pointer, *arguments)

    def view(self, address: int, size: int) -> memoryview:
        if size == 0:
            return memoryview(b"")
        # The array owns the handle, the handle nothing back: no cycle, so
        # the file goes as soon as Mocf and the last view have.
        array = (ctypes.c_ubyte * size).from_address(address)
        array._owner = self  # type: ignore[attr-defined]
        return memoryview(array).cast("B")

    def bytes(self) -> memoryview:
        data = ctypes.POINTER(ctypes.c_ubyte)()
        size = ctypes.c_uint64()
        _check(self.call(_lib.mocf_bytes, ctypes.byref(data), ctypes.byref(size)))
        return self.view(ctypes.addressof(data.contents) if size.value else 0, size.value)

    def __del__(self) -> None:
        if self.pointer:
            _lib.mocf_close(self.pointer)
            self.pointer = None


class Record:
    """One record of a MOCF, in file order.

    ``index``, ``offset``, ``tag``, ``length`` and ``kind`` are those of the
    listing (``mocfinfo --json``); the typed fields are None for a record of
    another kind. Bytes come as memory views into the file, copied only when
    the caller copies them.
    """

    __slots__ = ("_mocf", "index", "offset", "tag", "length", "kind", "read")

    def __init__(self, mocf: "Mocf", raw: _native.Record) -> None:
        self._mocf = mocf
        self.index: int = raw.number
        self.offset: int = raw.offset
        self.tag: int = raw.tag
        self.length: int = raw.length
        self.kind: str = raw.kind.decode()
        self.read: bool = bool(raw.read)

    def __repr__(self) -> str:
        return "<mocf.Record %d %s, %d bytes at %d>" % (self.index, self.kind, self.length,
                                                         self.offset)

    def _call(self, function: Callable[..., Any], *arguments: Any) -> bool:
        code = self._mocf._live().call(function, self.index, *arguments)
        if code == _native.ENOTFOUND:
            return False
        _check(code)
        return True

    def _view(self, pointer: Any, size: int) -> memoryview:
        return self._mocf._live().view(ctypes.addressof(pointer.contents) if size else 0, size)

    @property
    def description(self) -> str:
        """The listing's line after the kind word ("" when it shows nothing)."""
        out = ctypes.c_void_p()
        self._call(_lib.mocf_record_description, ctypes.byref(out))
        try:
            return _text(out.value, len(ctypes.string_at(out.value))) if out.value else ""
        finally:
            _lib.mocf_free(out)

    def bytes(self, part: str = "content") -> memoryview:
        """The record's bytes in place: "record" (header and value, as
        ``mocfinfo --record``), "value", or "content" (a user file's data,
        any other record's value, as ``mocfinfo --extract``)."""
        data = ctypes.POINTER(ctypes.c_ubyte)()
        size = ctypes.c_uint64()
        _check(self._mocf._live().call(_lib.mocf_record_data, self.index, _part(part),
                                       ctypes.byref(data), ctypes.byref(size)))
        return self._view(data, size.value)

    # builtins.bytes: in the class's body, bytes is the method above.
    def read_bytes(self, offset: int = 0, size: int = -1,
                   part: str = "content") -> builtins.bytes:
        """A copy of size bytes (all when negative) from offset within a part."""
        _typed(offset, "offset", int, "an int")
        _typed(size, "size", int, "an int")
        whole = self.bytes(part)
        end = len(whole) if size < 0 else min(len(whole), offset + size)
        return bytes(whole[offset:end])

    def save(self, path: PathLike, part: str = "content") -> None:
        """Writes the part into a file, replaced whole and durably."""
        encoded = _path(path, "path")
        _check(self._mocf._live().call(_lib.mocf_record_save, self.index, _part(part), encoded))

    @property
    def value(self) -> memoryview:
        """The record's value, without header and padding."""
        return self.bytes("value")

    def _text_of(self, function: Callable[..., Any]) -> Optional[str]:
        text, size = ctypes.c_void_p(), ctypes.c_size_t()
        if not self._call(function, ctypes.byref(text), ctypes.byref(size), None, None):
            return None
        return _text(text.value, size.value)

    def _data_of(self, function: Callable[..., Any]) -> Optional[memoryview]:
        data, size = ctypes.POINTER(ctypes.c_ubyte)(), ctypes.c_uint64()
        if not self._call(function, None, None, ctypes.byref(data), ctypes.byref(size)):
            return None
        return self._view(data, size.value)

    def _string(self, function: Callable[..., Any]) -> Optional[str]:
        text, size = ctypes.c_void_p(), ctypes.c_size_t()
        if not self._call(function, ctypes.byref(text), ctypes.byref(size)):
            return None
        return _text(text.value, size.value)

    @property
    def name(self) -> Optional[str]:
        """A user file's stored name."""
        return self._text_of(_lib.mocf_user_file)

    @property
    def data(self) -> Optional[memoryview]:
        """A user file's bytes, or a firmware record's data."""
        found = self._data_of(_lib.mocf_user_file)
        return self._data_of(_lib.mocf_firmware) if found is None else found

    @property
    def software(self) -> Optional[str]:
        """A firmware record's software version."""
        return self._text_of(_lib.mocf_firmware)

    @property
    def text(self) -> Optional[str]:
        """The text of menu settings, software keys or custom defaults."""
        return self._string(_lib.mocf_text)

    @property
    def part_number(self) -> Optional[str]:
        """Software keys' part number (mocftool's --PartNum)."""
        return self._string(_lib.mocf_part_number)

    @property
    def products(self) -> Optional[List[int]]:
        """Compatible products, or a firmware record's products."""
        count = ctypes.c_size_t()
        if not self._call(_lib.mocf_products, None, 0, ctypes.byref(count)):
            return None
        products = (ctypes.c_uint32 * max(count.value, 1))()
        self._call(_lib.mocf_products, products, count.value, ctypes.byref(count))
        return list(products[:count.value])


_PARTS = {"record": _native.PART_RECORD, "value": _native.PART_VALUE,
          "content": _native.PART_CONTENT}


def _part(part: str) -> int:
    _typed(part, "part", str, "a str")
    try:
        return _PARTS[part]
    except KeyError:
        raise ValueError("part must be one of " + ", ".join(_PARTS)) from None


class _Records(Sequence[Record]):
    """The records the walk finds, made as they are asked for."""

    def __init__(self, mocf: "Mocf") -> None:
        self._mocf = mocf
        self._count: int = mocf._live().call(_lib.mocf_record_count)

    def __len__(self) -> int:
        return self._count

    @overload
    def __getitem__(self, index: int) -> Record: ...

    @overload
    def __getitem__(self, index: slice) -> List[Record]: ...

    def __getitem__(self, index: Union[int, slice]) -> Union[Record, List[Record]]:
        if isinstance(index, slice):
            return [self[i] for i in range(*index.indices(self._count))]
        number = operator.index(index)
        if number < 0:
            number += self._count
        if not 0 <= number < self._count:
            raise IndexError("record index out of range")
        raw = _native.Record()
        _check(self._mocf._live().call(_lib.mocf_record_get, number + 1, ctypes.byref(raw)))
        return Record(self._mocf, raw)

    def __iter__(self) -> Iterator[Record]:
        # The library walks on from the last record asked for: in order, each
        # costs one step.
        for index in range(self._count):
            yield self[index]


class Unpacked:
    """What mocf.unpack did: true when the inputs rebuild the MOCF byte for
    byte; otherwise ``reasons`` says why not."""

    def __init__(self, exact: bool, reasons: List[str]) -> None:
        self.exact = exact
        self.reasons = reasons

    def __bool__(self) -> bool:
        return self.exact

    def __repr__(self) -> str:
        return "<mocf.Unpacked exact>" if self.exact else "<mocf.Unpacked %r>" % self.reasons


class Mocf:
    """An open MOCF, read in place. Any bytes open: ``valid`` says whether
    mocftool would append to them, ``reason`` why not."""

    def __init__(self, handle: _Handle, path: str) -> None:
        self._handle: Optional[_Handle] = handle
        self.path = path

    def _live(self) -> _Handle:
        if self._handle is None:
            raise ValueError("the MOCF is closed")
        return self._handle

    def close(self) -> None:
        """Lets go of the file. Memory views taken from its records keep
        its bytes until they are released themselves."""
        self._handle = None

    def __enter__(self) -> "Mocf":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if self._handle is None else ("valid" if self.valid else "invalid")
        return "<mocf.Mocf %r %s>" % (self.path, state)

    @property
    def size(self) -> int:
        return int(self._live().call(_lib.mocf_size))

    @property
    def valid(self) -> bool:
        return bool(self._live().call(_lib.mocf_valid))

    @property
    def reason(self) -> Optional[str]:
        """Why the MOCF is not valid, as mocfinfo says it; None when valid."""
        reason = self._live().call(_lib.mocf_reason)
        return None if reason is None else _words(reason)

    @property
    def stop(self) -> Optional[str]:
        """Why the walk over the records ended before the container's end."""
        stop = self._live().call(_lib.mocf_walk_stop)
        return None if stop is None else _words(stop)

    @property
    def records(self) -> _Records:
        return _Records(self)

    def bytes(self) -> memoryview:
        """All of the file's bytes, in place."""
        return self._live().bytes()

    def unpack(self, folder: PathLike) -> Unpacked:
        """See mocf.unpack."""
        encoded = _path(folder, "folder")
        _not_from_progress()
        code = self._live().call(_lib.mocf_unpack, encoded)
        if code == _native.ENOTEXACT:
            return Unpacked(False, _lines(_words(_lib.mocf_error_last().contents.message)))
        _check(code, Error, folder, folder=True)
        return Unpacked(True, [])


# A class naming itself, or one defined after it, is quoted: the quotes go,
# so that help() and inspect.signature show the class, not a string.
for _class in (Record, _Records, Mocf):
    for _member in vars(_class).values():
        _hints = getattr(getattr(_member, "fget", _member), "__annotations__", {})
        _hints.update({key: globals()[hint] for key, hint in _hints.items()
                       if isinstance(hint, str)})


def open(path: PathLike) -> Mocf:  # noqa: A001 - the name scripts expect
    """Opens a MOCF to read; a regular file is read in place, so a large one
    costs little memory."""
    pointer = ctypes.c_void_p()
    _check(_lib.mocf_open(ctypes.byref(pointer), _path(path, "path")))
    return Mocf(_Handle(pointer), os.fsdecode(path))


def open_bytes(data: bytes, name: Optional[str] = None) -> Mocf:
    """Opens a copy of bytes (or any bytes-like object) as a MOCF; name
    stands for it in messages."""
    try:
        raw = memoryview(data).tobytes()
    except TypeError:
        raise TypeError("data must be bytes-like, not %s" % type(data).__name__) from None
    encoded = _string(name, "name")
    pointer = ctypes.c_void_p()
    _check(_lib.mocf_open_memory(ctypes.byref(pointer), raw, len(raw), encoded))
    return Mocf(_Handle(pointer), name or "(memory)")


def verify(path: PathLike) -> Tuple[bool, Optional[str]]:
    """(True, None) when mocftool would append to the MOCF; (False, reason)
    when not, the reason as mocfinfo --verify gives it."""
    with open(path) as image:
        return image.valid, image.reason


def unpack(path: PathLike, folder: PathLike) -> Unpacked:
    """Writes into folder (created, or empty) a list and the inputs that
    rebuild the MOCF with mocfbuild -d, as mocfinfo --unpack does."""
    _path(folder, "folder")
    with open(path) as image:
        return image.unpack(folder)


# ---- Writing -----------------------------------------------------------------

Progress = Callable[[int, int, int], None]

# A build holds its MOCF's lock while it tells its progress: a write onto
# that MOCF started from the callback would wait for itself for ever, so the
# callback starts none.
_in_progress = threading.local()


def _not_from_progress() -> None:
    if getattr(_in_progress, "active", False):
        raise RuntimeError("build, append and unpack cannot run from a build's progress callback")


def _flags(fresh: bool) -> int:
    return _native.FRESH if _typed(fresh, "fresh", int, "a bool") else 0


def build(list_path: PathLike, mocf_path: PathLike, fresh: bool = False,
          progress: Optional[Progress] = None) -> None:
    """mocfbuild [-d] -m mocf_path list_path. Raises BuildError with the
    lines mocfbuild prints when it refuses; nothing is written then.

    progress(line, written, total), when given, hears how far the build is.
    Should it raise, the build goes on and the exception is raised after it.
    """
    raised: List[BaseException] = []

    def told(_context: Optional[int], line: int, written: int, total: int) -> None:
        if raised or progress is None:
            return
        _in_progress.active = True
        try:
            progress(line, written, total)
        except BaseException as error:  # raised after the build: C cannot carry it
            raised.append(error)
        finally:
            _in_progress.active = False

    arguments = (_path(list_path, "list_path"), _path(mocf_path, "mocf_path"), _flags(fresh))
    if progress is not None and not callable(progress):
        raise TypeError("progress must be callable or None, not %s" % type(progress).__name__)
    _not_from_progress()
    callback = _native.PROGRESS(told) if progress else ctypes.cast(0, _native.PROGRESS)
    _check(_lib.mocf_build(*arguments, callback, None), BuildError, mocf_path)
    _warn()
    if raised:
        raise raised[0]


def append(mocf_path: PathLike, input_path: Optional[PathLike], type: str,  # noqa: A002
           fresh: bool = False, part_number: Optional[str] = None,
           tag: Optional[Union[int, str]] = None) -> None:
    """One mocftool run: appends one record of type (a -t word: "user",
    "MenuSettings", "CompatProd", ...) built from input_path. Raises
    AppendError with the lines mocftool prints when it refuses."""
    if tag is not None:
        tag = str(_typed(tag, "tag", (int, str), "an int, a str or None"))
    arguments = (_path(mocf_path, "mocf_path"),
                 None if input_path is None else _path(input_path, "input_path"),
                 _string(_typed(type, "type", str, "a str"), "type"), _flags(fresh),
                 _string(part_number, "part_number"), _string(tag, "tag"))
    _not_from_progress()
    _check(_lib.mocf_append(*arguments), AppendError, mocf_path)
    _warn()


def diff(old: PathLike, new: PathLike) -> Dict[str, Any]:
    """What changed from one MOCF to another, as mocfinfo --diff --json
    prints it. Raises NotMocfError when a file is no MOCF container."""
    same = ctypes.c_int()
    out = ctypes.c_void_p()
    code = _lib.mocf_diff(_path(old, "old"), _path(new, "new"), ctypes.byref(same),
                          ctypes.byref(out))
    _check(code, NotMocfError if code == _native.EINVALID else Error)
    try:
        shown: Dict[str, Any] = json.loads(
            ctypes.string_at(out.value or 0).decode("utf-8", "surrogateescape"))
        return shown
    finally:
        _lib.mocf_free(out)


# ---- Editing -----------------------------------------------------------------

Selector = Union[int, str]
# An input's bytes, or the path of a file the engine reads.
if sys.version_info >= (3, 9):
    Source = Union[bytes, bytearray, memoryview, str, os.PathLike[str]]
else:
    Source = Union[bytes, bytearray, memoryview, str, os.PathLike]
# The words -t takes; --type takes the others.
_SHORT_TYPES = ("user", "compatprod", "object", "customdefaults")


def _selector(selector: Selector) -> bytes:
    # bool is an int, and no record's number.
    if isinstance(selector, bool) or not isinstance(selector, (int, str)):
        raise TypeError("selector must be an int or a str, not %s" % type(selector).__name__)
    return str(selector).encode()


def _quoted(word: str) -> str:
    # A word as a list line reads it back: in quotes, \" is " and \\ is \.
    return '"%s"' % word.replace("\\", "\\\\").replace('"', '\\"')


class Input:
    """A new record's input: bytes, read as the file of the run with the same
    type word, part number and tag; or a path (str or os.PathLike), which the
    engine reads as a run's -f."""

    def __init__(self, type: str, data: Optional[Source],  # noqa: A002
                 name: Optional[str] = None, part_number: Optional[str] = None,
                 tag: Optional[Union[int, str]] = None) -> None:
        self.type = _typed(type, "type", str, "a str")
        self.data = _typed(data, "data", (builtins.bytes, bytearray, memoryview, str, os.PathLike,
                                          builtins.type(None)), "bytes, a path or None")
        self.name = _typed(name, "name", (str, builtins.type(None)), "a str or None")
        self.part_number = _typed(part_number, "part_number", (str, builtins.type(None)),
                                  "a str or None")
        self.tag = None if tag is None else str(_typed(tag, "tag", (int, str), "an int or a str"))

    def _run(self) -> Optional[str]:
        """The run line for a path, or None for bytes."""
        if not isinstance(self.data, (str, os.PathLike)):
            return None
        words = ["-f", os.fspath(self.data),
                 "-t" if self.type.lower() in _SHORT_TYPES else "--type", self.type]
        words += ["--PartNum", self.part_number] if self.part_number is not None else []
        words += ["--tag", self.tag] if self.tag is not None else []
        return " ".join(_quoted(word) for word in words)


Run = Union[str, Input]


class Edit:
    """A MOCF being edited as mocfedit edits it (see mocf.edit). Each call is
    all or nothing: refused, it raises EditError and the edit goes on.

        with mocf.edit("device.mocf") as e:
            e.remove("user:s.txt")
            e.set("MenuSettings", "Display.Timeout", "600")
            e.add_user_file("notes.txt", data)
    """

    def __init__(self, pointer: ctypes.c_void_p, path: Optional[str]) -> None:
        self._pointer: Optional[ctypes.c_void_p] = pointer
        self.path = path

    def _live(self) -> ctypes.c_void_p:
        if not self._pointer:
            raise ValueError("the edit is committed or discarded")
        return self._pointer

    def _call(self, function: Callable[..., Any], *arguments: Any,
              target: Optional[PathLike] = None) -> None:
        _check(function(self._live(), *arguments), EditError, target)

    def __enter__(self) -> "Edit":
        return self

    def __exit__(self, kind: Optional[type], *exc: object) -> None:
        # A clean exit commits; an exception leaves the MOCF as it was.
        try:
            if kind is None and self._pointer:
                self.commit()
        finally:
            self.discard()

    def __del__(self) -> None:
        self.discard()

    def __repr__(self) -> str:
        state = "open" if self._pointer else "done"
        return "<mocf.Edit %r %s>" % (self.path, state)

    @property
    def record_count(self) -> int:
        """The records the result holds now, version and hash included."""
        return int(_lib.mocf_edit_record_count(self._live()))

    def remove(self, selector: Selector) -> None:
        """Removes a record: its number, or a selector ("MenuSettings",
        "user:s.txt#2", "tag:0x70000001")."""
        self._call(_lib.mocf_edit_remove, _selector(selector))

    def _place(self, function: Callable[..., Any], input_function: Callable[..., Any],
               selector: Tuple[bytes, ...], what: Run, at: Optional[int],
               name: Optional[str]) -> None:
        place = 0 if at is None else _typed(at, "at", int, "an int or None")
        encoded = _string(name, "name")
        run = what._run() if isinstance(what, Input) else _typed(what, "run", str,
                                                                 "a str or an Input")
        if run is not None:
            self._call(function, *selector, run.encode(), place, encoded)
            return
        assert isinstance(what, Input)
        if name is not None:
            raise ValueError("a name for bytes goes in the Input")
        source = what.data
        data = memoryview(source).tobytes() if isinstance(source, (
            builtins.bytes, bytearray, memoryview)) else None
        raw = _native.Input(what.type.encode(), data, 0 if data is None else len(data),
                            _string(what.name, "name"), _string(what.part_number, "part_number"),
                            _string(what.tag, "tag"))
        self._call(input_function, *selector, ctypes.byref(raw), place)

    def add(self, run: Run, at: Optional[int] = None, name: Optional[str] = None) -> None:
        """Adds a record from one list line ("-f notes.txt -t user", paths
        from the current folder) or an Input; at is the record number it
        becomes (last when None); name a user file's stored name."""
        self._place(_lib.mocf_edit_add, _lib.mocf_edit_add_input, (), run, at, name)

    def replace(self, selector: Selector, run: Run, at: Optional[int] = None,
                name: Optional[str] = None) -> None:
        """Replaces a record, in its place unless at says another."""
        self._place(_lib.mocf_edit_replace, _lib.mocf_edit_replace_input,
                    (_selector(selector),), run, at, name)

    def add_user_file(self, name: str, data: Source, at: Optional[int] = None) -> None:
        """A user file stored as name: its bytes, or the file at a path."""
        if isinstance(data, (str, os.PathLike)):
            self.add(Input("user", data), at, name)
        else:
            self.add(Input("user", data, name), at)

    def add_binary(self, tag: Union[int, str], data: Source, at: Optional[int] = None) -> None:
        self.add(Input("binary", data, tag=tag), at)

    def add_object(self, data: Source, at: Optional[int] = None) -> None:
        self.add(Input("object", data), at)

    def add_settings(self, kind: str, text: Union[str, builtins.bytes],
                     part_number: Optional[str] = None, at: Optional[int] = None) -> None:
        """A settings file's text (kind "MenuSettings", "SwKeys",
        "CustomDefaults" or "CompatProd"); software keys need part_number."""
        data = text.encode() if isinstance(text, str) else text
        self.add(Input(kind, data, part_number=part_number), at)

    def set(self, selector: Selector, key: str, value: str) -> None:
        """KEY=VALUE in menu settings, custom defaults or software keys."""
        self._call(_lib.mocf_edit_set, _selector(selector), _string(key, "key"),
                   _string(value, "value"))

    def unset(self, selector: Selector, key: str) -> None:
        self._call(_lib.mocf_edit_unset, _selector(selector), _string(key, "key"))

    def check(self) -> None:
        """Raises EditError with the rule the result breaks, if any."""
        self._call(_lib.mocf_edit_check)

    def render(self) -> builtins.bytes:
        """The result's bytes, after the check."""
        out, size = ctypes.c_void_p(), ctypes.c_uint64()
        self._call(_lib.mocf_edit_render, ctypes.byref(out), ctypes.byref(size))
        try:
            return ctypes.string_at(out.value or 0, size.value)
        finally:
            _lib.mocf_free(out)

    def commit(self, out: Optional[PathLike] = None) -> None:
        """Checks, then writes the result over out (None: the MOCF it was
        opened from) durably; the edit is then done."""
        encoded = None if out is None else _path(out, "out")
        _not_from_progress()
        self._call(_lib.mocf_edit_commit, encoded, ctypes.cast(0, _native.PROGRESS), None,
                   target=out if out is not None else self.path)
        self.discard()
        _warn()

    def discard(self) -> None:
        """Lets go of the edit and the MOCF's lock; nothing is written."""
        pointer, self._pointer = getattr(self, "_pointer", None), None
        if pointer:
            _lib.mocf_edit_discard(pointer)


def edit(path: PathLike, fresh: bool = False) -> Edit:
    """Opens a MOCF to edit, as mocfedit -m loads it; fresh starts an empty
    one, whose first record added must be the product list. The edit holds
    the MOCF's lock until it is committed or discarded."""
    pointer = ctypes.c_void_p()
    _check(_lib.mocf_edit_open(ctypes.byref(pointer), _path(path, "path"), _flags(fresh)),
           EditError)
    return Edit(pointer, os.fsdecode(path))


def edit_bytes(data: builtins.bytes, name: Optional[str] = None) -> Edit:
    """Edits a copy of bytes; render() gives the result, commit(out) writes it."""
    try:
        raw = memoryview(data).tobytes()
    except TypeError:
        raise TypeError("data must be bytes-like, not %s" % type(data).__name__) from None
    pointer = ctypes.c_void_p()
    _check(_lib.mocf_edit_open_memory(ctypes.byref(pointer), raw, len(raw),
                                      _string(name, "name")), EditError)
    return Edit(pointer, None)


for _class in (Input, Edit):
    for _member in vars(_class).values():
        _hints = getattr(getattr(_member, "fget", _member), "__annotations__", {})
        _hints.update({key: globals()[hint] for key, hint in _hints.items()
                       if isinstance(hint, str)})


# ---- Signatures --------------------------------------------------------------

__all__ += ["SignatureError", "SigningWarning", "Signer", "Verification", "sign",
            "verify_signature"]


class SigningWarning(UserWarning):
    """mocfsign signed, and warns all the same: a certificate expires within
    30 days."""


def sign(mocf_path: PathLike, key: PathLike, cert: PathLike, chain: Optional[PathLike] = None,
         pass_source: Optional[str] = None, sig_path: Optional[PathLike] = None) -> List[str]:
    """mocfsign -m mocf_path --key key --cert cert: a detached signature
    beside the MOCF (sig_path, or its path plus ".sig"), or this signer added
    to the one there. key is a PEM key file or a pkcs11: URI; pass_source
    "env:VAR", "file:PATH", "fd:N" or "stdin". Raises SignatureError with
    mocfsign's words when it refuses. Returns what it warns of, each line
    also warned as SigningWarning; [] when nothing."""
    arguments = (_path(mocf_path, "mocf_path"), _path(key, "key"), _path(cert, "cert"),
                 None if chain is None else _path(chain, "chain"),
                 _string(pass_source, "pass_source"),
                 None if sig_path is None else _path(sig_path, "sig_path"))
    _check(_lib.mocf_sign(*arguments), SignatureError)
    said = _lines(_words(_lib.mocf_error_last().contents.message))
    for line in said:
        warnings.warn(line, SigningWarning, stacklevel=2)
    return said


@dataclasses.dataclass(frozen=True)
class Signer:
    """A signer's certificate and its verdict; times as "2026-12-10T08:00:00Z"."""
    subject: str
    issuer: str
    serial: str  # hexadecimal
    key_type: str  # "ECDSA P-256", "RSA 3072"
    signing_time: Optional[str]  # None when none is signed
    not_before: str
    not_after: str
    verified: bool
    reason: Optional[str]  # why it does not verify; None when it does


class Verification:
    """mocfsign --verify's verdict, as its --json shows it; true when it
    verifies. ``signers`` holds every signer's own verdict either way."""

    __slots__ = ("verified", "status", "signers_verified", "signers", "reason", "mocf_valid",
                 "mocf_reason", "signature_found")

    def __init__(self, raw: _native.Verification) -> None:
        self.verified: bool = bool(raw.verified)
        self.status: int = raw.status  # 0 verified, 1 does not verify
        self.signers_verified: int = raw.signers_verified
        self.signers: List[Signer] = [_signer(raw.signers[n]) for n in range(raw.signer_count)]
        self.reason: Optional[str] = _words(raw.reason) or None
        self.mocf_valid: bool = bool(raw.mocf_valid)
        self.mocf_reason: Optional[str] = _words(raw.mocf_reason) or None
        self.signature_found: bool = bool(raw.signature_found)

    def __bool__(self) -> bool:
        return self.verified

    def __repr__(self) -> str:
        return "<mocf.Verification %s, %d of %d signers verified>" % (
            "verified" if self.verified else "not verified", self.signers_verified,
            len(self.signers))


def _signer(raw: _native.Signer) -> Signer:
    return Signer(_words(raw.subject), _words(raw.issuer), _words(raw.serial),
                  _words(raw.key_type), _words(raw.signing_time) or None, _words(raw.not_before),
                  _words(raw.not_after), bool(raw.verified), _words(raw.reason) or None)


def verify_signature(mocf_path: PathLike, trust: PathLike, sig_path: Optional[PathLike] = None,
                     signers: int = 1, at_signing_time: bool = False) -> Verification:
    """mocfsign --verify -m mocf_path --trust trust: whether the signature
    (sig_path, or the MOCF's path plus ".sig") verifies, with signers distinct
    signers chaining to the PEM certificates of trust, valid now or, with
    at_signing_time, when each signed. A signature that does not verify is
    a result, not an error; one that cannot be checked raises
    SignatureError (an OSError subclass of it for a file unread)."""
    arguments = (_path(mocf_path, "mocf_path"),
                 None if sig_path is None else _path(sig_path, "sig_path"),
                 _path(trust, "trust"), _typed(signers, "signers", int, "an int"),
                 _native.AT_SIGNING_TIME if _typed(at_signing_time, "at_signing_time", int,
                                                   "a bool") else 0)
    out = ctypes.POINTER(_native.Verification)()
    code = _lib.mocf_verify_signature(*arguments, ctypes.byref(out))
    try:
        verification = Verification(out.contents) if out else None
    finally:
        _lib.mocf_verification_free(out)
    if code != _native.ENOTVERIFIED:
        _check(code, SignatureError)
    assert verification is not None
    return verification
