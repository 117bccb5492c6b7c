"""The installed distribution: one version everywhere it is written, and,
when the suite runs against the wheel of `make wheel` (TOVAK_TEST_WHEEL names
it), that the modules imported are the wheel's abi3 modules."""

import hashlib
import importlib.metadata
import os
import re
import subprocess
import sysconfig
import zipfile
from base64 import urlsafe_b64encode
from email.parser import Parser
from pathlib import Path

import pytest

import tovak
import tovak_python

ROOT = Path(__file__).resolve().parents[2]
WHEEL = os.environ.get("TOVAK_TEST_WHEEL")
against_the_wheel = pytest.mark.skipif(not WHEEL, reason="the suite runs against a source build")


def distribution():
    return importlib.metadata.distribution("tovak")


def test_command_package_and_metadata_give_the_one_version():
    source = re.search(r'^__version__ = "([^"]+)"$', (ROOT / "python/tovak/_version.py").read_text(), re.M)
    script = Path(sysconfig.get_path("scripts")) / "tovak"
    run = subprocess.run([str(script), "--version"], capture_output=True, text=True, timeout=60)
    assert (run.returncode, run.stderr) == (0, "")
    assert run.stdout == f"tovak {source.group(1)}\n"
    assert tovak.__version__ == distribution().version == source.group(1)


def record_digest(data):
    return "sha256=" + urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()


@against_the_wheel
def test_the_wheel_states_the_one_version():
    name = Path(WHEEL).name
    assert name.startswith(f"tovak-{tovak.__version__}-cp312-abi3-manylinux_")
    with zipfile.ZipFile(WHEEL) as wheel:
        metadata = Parser().parsestr(wheel.read(f"tovak-{tovak.__version__}.dist-info/METADATA").decode())
    assert metadata["Version"] == tovak.__version__


@against_the_wheel
def test_the_installed_distribution_is_the_wheel():
    fields = Parser().parsestr(distribution().read_text("WHEEL"))
    assert all(re.fullmatch(r"cp312-abi3-manylinux_\d+_\d+_x86_64", tag) for tag in fields.get_all("Tag"))
    # Every file the wheel holds is installed unchanged (the dist-info's
    # RECORD is rewritten on installation, and pip adds its own files).
    installed = {str(f): f for f in distribution().files}
    with zipfile.ZipFile(WHEEL) as wheel:
        for name in wheel.namelist():
            if name.endswith("/") or ".dist-info/" in name:
                continue
            path = installed[name].locate()
            assert record_digest(path.read_bytes()) == record_digest(wheel.read(name)), name


@against_the_wheel
def test_the_extension_module_is_built_for_the_stable_abi():
    assert Path(tovak_python.__file__) == Path(sysconfig.get_path("platlib")) / "tovak_python.abi3.so"
