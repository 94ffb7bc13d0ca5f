"""The build backend of mocf (PEP 517, and PEP 660 for editable installs).

It needs nothing but the standard library, so that pip builds and installs
the package with no network: pyproject.toml asks for no build requirements.
"""
import base64
import csv
import fnmatch
import gzip
import hashlib
import io
import os
import re
import sysconfig
import tarfile
import time
import zipfile
from pathlib import Path
from typing import Any, Dict, List, Optional, Tuple

Config = Optional[Dict[str, Any]]

HERE = Path(__file__).resolve().parent
PACKAGE = HERE / "mocf"
SUMMARY = "Read, verify, build, edit, unpack and compare MOCF files through libmocf"
# The names the package's loader looks for beside its modules.
LIBRARIES = ("libmocf.so.1", "libmocf.dll", "libmocf.*.dylib")
# Made here from the version; _where.py is for system installs alone, whose
# library lies outside the package.
GENERATED = ("_version.py", "_where.py")
# Archives of the same files are the same bytes from one build to the next.
EPOCH = max(int(os.environ.get("SOURCE_DATE_EPOCH", 0)), 315532800)


def _is_library(name: str) -> bool:
    return any(fnmatch.fnmatchcase(name, pattern) for pattern in LIBRARIES)


def _version() -> str:
    """From the build tree's generated _version.py, else from the project's
    CMakeLists.txt when building straight from the sources."""
    for path, pattern in ((PACKAGE / "_version.py", r'__version__\s*=\s*"([^"]+)"'),
                          (HERE.parent / "CMakeLists.txt",
                           r"project\(\s*mocftool\s+VERSION\s+([0-9][0-9.]*)")):
        if path.is_file():
            found = re.search(pattern, path.read_text(encoding="utf-8"))
            if found:
                return found.group(1)
    raise RuntimeError("no version for mocf: neither mocf/_version.py nor ../CMakeLists.txt")


def _license() -> Optional[bytes]:
    # The build tree holds a copy; the sources hold it one level up.
    for path in (HERE / "LICENSE", HERE.parent / "LICENSE"):
        if path.is_file():
            return path.read_bytes()
    return None


def _package_files(with_libraries: bool) -> List[Tuple[str, Path]]:
    """(name in the archive, path) of the package's modules, its marker and,
    if asked, the native library the build put beside them."""
    files = []
    for path in sorted(PACKAGE.iterdir()):
        if path.name in GENERATED:
            continue
        if path.suffix == ".py" or path.name == "py.typed" or (
                with_libraries and _is_library(path.name)):
            files.append(("mocf/" + path.name, path))
    return files


def _metadata(version: str) -> bytes:
    fields = ["Metadata-Version: 2.1", "Name: mocf", "Version: " + version,
              "Summary: " + SUMMARY, "License: MIT", "Requires-Python: >=3.8",
              "Classifier: License :: OSI Approved :: MIT License",
              "Classifier: Programming Language :: Python :: 3"]
    readme = HERE / "README.md"
    body = ""
    if readme.is_file():
        fields.append("Description-Content-Type: text/markdown")
        body = "\n" + readme.read_text(encoding="utf-8")
    return ("\n".join(fields) + "\n" + body).encode("utf-8")


def _version_module(version: str) -> bytes:
    return ('__version__ = "%s"\n' % version).encode()


class _Wheel:
    """A wheel being written, with its RECORD of hashes and sizes."""

    def __init__(self, path: str) -> None:
        self.zip = zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED)
        self.record: List[Tuple[str, str, str]] = []

    def add(self, name: str, data: bytes, mode: int = 0o644) -> None:
        info = zipfile.ZipInfo(name, time.gmtime(EPOCH)[:6])
        info.external_attr = (0o100000 | mode) << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        self.zip.writestr(info, data)
        digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=")
        self.record.append((name, "sha256=" + digest.decode(), str(len(data))))

    def close(self, record_name: str) -> None:
        text = io.StringIO()
        csv.writer(text, lineterminator="\n").writerows(self.record + [(record_name, "", "")])
        info = zipfile.ZipInfo(record_name, time.gmtime(EPOCH)[:6])
        info.external_attr = 0o100644 << 16
        self.zip.writestr(info, text.getvalue(), zipfile.ZIP_DEFLATED)
        self.zip.close()


def _dist_info_files(version: str, tag: str, purelib: bool) -> List[Tuple[str, bytes]]:
    wheel = ("Wheel-Version: 1.0\nGenerator: mocf _backend\nRoot-Is-Purelib: %s\nTag: %s\n"
             % ("true" if purelib else "false", tag))
    files = [("METADATA", _metadata(version)), ("WHEEL", wheel.encode())]
    license_text = _license()
    if license_text is not None:
        files.append(("LICENSE", license_text))
    return files


def _build(directory: str, editable: bool) -> str:
    version = _version()
    files = [] if editable else _package_files(with_libraries=True)
    native = any(_is_library(path.name) for _, path in files)
    # With libmocf inside, the wheel is for this platform alone.
    platform = re.sub(r"[-.]", "_", sysconfig.get_platform()) if native else "any"
    tag = "py3-none-" + platform
    dist_info = "mocf-%s.dist-info" % version
    name = "mocf-%s-%s.whl" % (version, tag)
    wheel = _Wheel(os.path.join(directory, name))
    if editable:
        # The folder holding mocf/ goes on sys.path: edits show at once.
        wheel.add("mocf.pth", (str(HERE) + "\n").encode())
    else:
        for arcname, path in files:
            wheel.add(arcname, path.read_bytes(), path.stat().st_mode & 0o777)
        wheel.add("mocf/_version.py", _version_module(version))
    for filename, data in _dist_info_files(version, tag, purelib=not native):
        wheel.add(dist_info + "/" + filename, data)
    wheel.close(dist_info + "/RECORD")
    return name


def _prepare_metadata(metadata_directory: str) -> str:
    version = _version()
    dist_info = "mocf-%s.dist-info" % version
    target = Path(metadata_directory) / dist_info
    target.mkdir(parents=True, exist_ok=True)
    (target / "METADATA").write_bytes(_metadata(version))
    return dist_info


def get_requires_for_build_wheel(config_settings: Config = None) -> List[str]:
    return []


get_requires_for_build_sdist = get_requires_for_build_editable = get_requires_for_build_wheel


def prepare_metadata_for_build_wheel(metadata_directory: str,
                                     config_settings: Config = None) -> str:
    return _prepare_metadata(metadata_directory)


prepare_metadata_for_build_editable = prepare_metadata_for_build_wheel


def build_wheel(wheel_directory: str, config_settings: Config = None,
                metadata_directory: Optional[str] = None) -> str:
    return _build(wheel_directory, editable=False)


def build_editable(wheel_directory: str, config_settings: Config = None,
                   metadata_directory: Optional[str] = None) -> str:
    return _build(wheel_directory, editable=True)


def build_sdist(sdist_directory: str, config_settings: Config = None) -> str:
    """The sources alone: a wheel built from them finds libmocf on the system."""
    version = _version()
    base = "mocf-%s" % version
    name = base + ".tar.gz"
    members = [("PKG-INFO", _metadata(version)), ("mocf/_version.py", _version_module(version))]
    for top in ("pyproject.toml", "_backend.py", "README.md"):
        if (HERE / top).is_file():
            members.append((top, (HERE / top).read_bytes()))
    license_text = _license()
    if license_text is not None:
        members.append(("LICENSE", license_text))
    members += [(arcname, path.read_bytes())
                for arcname, path in _package_files(with_libraries=False)]
    with open(os.path.join(sdist_directory, name), "wb") as raw, \
            gzip.GzipFile(fileobj=raw, mode="wb", mtime=EPOCH) as packed, \
            tarfile.open(fileobj=packed, mode="w",  # type: ignore[arg-type]  # a binary file
                         format=tarfile.PAX_FORMAT) as tar:
        for arcname, data in members:
            info = tarfile.TarInfo(base + "/" + arcname)
            info.size, info.mtime, info.mode = len(data), EPOCH, 0o644
            tar.addfile(info, io.BytesIO(data))
    return name
