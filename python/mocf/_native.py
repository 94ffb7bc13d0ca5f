"""The C library, libmocf, as ctypes sees it: loading and the prototypes."""

import ctypes
import os
import sys
from typing import List
from ctypes import (POINTER, c_char_p, c_int, c_size_t, c_ubyte, c_uint, c_uint32, c_uint64,
                    c_void_p)

# Return codes of every call that can fail.
OK = 0
EARG = -1
EIO = -2
EINVALID = -3
ENOTFOUND = -4
EREFUSED = -5
EFAILED = -6
ENOTEXACT = -7
ENOMEM = -8
EINTERNAL = -9
ENOTVERIFIED = -10

PART_RECORD = 0
PART_VALUE = 1
PART_CONTENT = 2
FRESH = 1
AT_SIGNING_TIME = 1


class Error(ctypes.Structure):
    _fields_ = [("code", c_int), ("status", c_int), ("line", c_int), ("message", c_char_p)]


class Record(ctypes.Structure):
    _fields_ = [("number", c_int), ("offset", c_uint64), ("tag", c_uint32),
                ("length", c_uint32), ("kind", c_char_p), ("read", c_int)]


class Input(ctypes.Structure):
    _fields_ = [("type", c_char_p), ("data", c_char_p), ("size", c_size_t), ("name", c_char_p),
                ("part_number", c_char_p), ("tag", c_char_p)]


class Signer(ctypes.Structure):
    _fields_ = [("subject", c_char_p), ("issuer", c_char_p), ("serial", c_char_p),
                ("key_type", c_char_p), ("signing_time", c_char_p), ("not_before", c_char_p),
                ("not_after", c_char_p), ("verified", c_int), ("reason", c_char_p)]


class Verification(ctypes.Structure):
    _fields_ = [("status", c_int), ("verified", c_int), ("signers_verified", c_int),
                ("signer_count", c_size_t), ("signers", POINTER(Signer)), ("reason", c_char_p),
                ("mocf_valid", c_int), ("mocf_reason", c_char_p), ("signature_found", c_int)]


PROGRESS = ctypes.CFUNCTYPE(None, c_void_p, c_int, c_uint64, c_uint64)

_HERE = os.path.dirname(os.path.abspath(__file__))


def _names() -> List[str]:
    if sys.platform == "win32":
        return ["libmocf.dll"]
    if sys.platform == "darwin":
        return ["libmocf.1.dylib"]
    return ["libmocf.so.1"]


def _candidates() -> List[str]:
    """Where the library may be, most specific first."""
    chosen = os.environ.get("MOCF_LIBRARY")
    if chosen:
        return [chosen]
    found = [os.path.join(_HERE, name) for name in _names()]
    try:
        from . import _where  # type: ignore[attr-defined]  # written by an install
        found.append(os.path.normpath(os.path.join(_HERE, _where.LIBRARY)))
    except ImportError:
        pass
    return [path for path in found if os.path.exists(path)] + _names()


def _load() -> ctypes.CDLL:
    tried: List[str] = []
    for path in _candidates():
        try:
            return ctypes.CDLL(path)
        except OSError as error:
            tried.append(str(error))
    raise ImportError("mocf: cannot load libmocf: " + "; ".join(tried))


lib = _load()

_u8p = POINTER(c_ubyte)
_PROTOTYPES = {
    "mocf_error_last": (POINTER(Error), []),
    "mocf_error_clear": (None, []),
    "mocf_version": (c_char_p, []),
    "mocf_free": (None, [c_void_p]),
    "mocf_open": (c_int, [POINTER(c_void_p), c_char_p]),
    "mocf_open_memory": (c_int, [POINTER(c_void_p), c_char_p, c_size_t, c_char_p]),
    "mocf_close": (None, [c_void_p]),
    "mocf_size": (c_uint64, [c_void_p]),
    "mocf_bytes": (c_int, [c_void_p, POINTER(POINTER(c_ubyte)), POINTER(c_uint64)]),
    "mocf_valid": (c_int, [c_void_p]),
    "mocf_reason": (c_char_p, [c_void_p]),
    "mocf_walk_stop": (c_char_p, [c_void_p]),
    "mocf_record_count": (c_int, [c_void_p]),
    "mocf_record_get": (c_int, [c_void_p, c_int, POINTER(Record)]),
    "mocf_record_description": (c_int, [c_void_p, c_int, POINTER(c_void_p)]),
    "mocf_record_data": (c_int, [c_void_p, c_int, c_int, POINTER(_u8p), POINTER(c_uint64)]),
    "mocf_record_read": (c_int, [c_void_p, c_int, c_int, c_uint64, c_void_p, c_size_t,
                                 POINTER(c_size_t)]),
    "mocf_record_save": (c_int, [c_void_p, c_int, c_int, c_char_p]),
    "mocf_user_file": (c_int, [c_void_p, c_int, POINTER(c_void_p), POINTER(c_size_t),
                               POINTER(_u8p), POINTER(c_uint64)]),
    "mocf_text": (c_int, [c_void_p, c_int, POINTER(c_void_p), POINTER(c_size_t)]),
    "mocf_part_number": (c_int, [c_void_p, c_int, POINTER(c_void_p), POINTER(c_size_t)]),
    "mocf_products": (c_int, [c_void_p, c_int, POINTER(c_uint32), c_size_t, POINTER(c_size_t)]),
    "mocf_firmware": (c_int, [c_void_p, c_int, POINTER(c_void_p), POINTER(c_size_t),
                              POINTER(_u8p), POINTER(c_uint64)]),
    "mocf_unpack": (c_int, [c_void_p, c_char_p]),
    "mocf_diff": (c_int, [c_char_p, c_char_p, POINTER(c_int), POINTER(c_void_p)]),
    "mocf_build": (c_int, [c_char_p, c_char_p, c_uint, PROGRESS, c_void_p]),
    "mocf_append": (c_int, [c_char_p, c_char_p, c_char_p, c_uint, c_char_p, c_char_p]),
    "mocf_edit_open": (c_int, [POINTER(c_void_p), c_char_p, c_uint]),
    "mocf_edit_open_memory": (c_int, [POINTER(c_void_p), c_char_p, c_size_t, c_char_p]),
    "mocf_edit_discard": (None, [c_void_p]),
    "mocf_edit_record_count": (c_int, [c_void_p]),
    "mocf_edit_remove": (c_int, [c_void_p, c_char_p]),
    "mocf_edit_add": (c_int, [c_void_p, c_char_p, c_int, c_char_p]),
    "mocf_edit_replace": (c_int, [c_void_p, c_char_p, c_char_p, c_int, c_char_p]),
    "mocf_edit_add_input": (c_int, [c_void_p, POINTER(Input), c_int]),
    "mocf_edit_replace_input": (c_int, [c_void_p, c_char_p, POINTER(Input), c_int]),
    "mocf_edit_set": (c_int, [c_void_p, c_char_p, c_char_p, c_char_p]),
    "mocf_edit_unset": (c_int, [c_void_p, c_char_p, c_char_p]),
    "mocf_edit_check": (c_int, [c_void_p]),
    "mocf_edit_render": (c_int, [c_void_p, POINTER(c_void_p), POINTER(c_uint64)]),
    "mocf_edit_commit": (c_int, [c_void_p, c_char_p, PROGRESS, c_void_p]),
    "mocf_sign": (c_int, [c_char_p, c_char_p, c_char_p, c_char_p, c_char_p, c_char_p]),
    "mocf_verify_signature": (c_int, [c_char_p, c_char_p, c_char_p, c_int, c_uint,
                                      POINTER(POINTER(Verification))]),
    "mocf_verification_free": (None, [POINTER(Verification)]),
}
for _name, (_result, _arguments) in _PROTOTYPES.items():
    _function = getattr(lib, _name)
    _function.restype = _result
    _function.argtypes = _arguments
