"""Checks the wheel of `make wheel`: one wheel for every interpreter from 3.12
on, complete and depending on no shared library of the build machine.

    python tools/check-wheel.py WHEEL

- its name: tovak-VERSION-cp312-abi3-manylinux_X_Y_x86_64.whl, VERSION being
  the package's own (python/tovak/_version.py), as its metadata says too;
- its WHEEL file: the same tags, and not pure Python;
- its extension modules: tovak_python and every other one named .abi3.so
  (built for the stable ABI), none grafted by auditwheel (no tovak.libs/:
  the C++ runtime is linked into each module);
- the package, its type stub and its stub-only package are inside.
Prints one line per check; exits 1 at the first that fails.
"""

import re
import sys
import zipfile
from email.parser import Parser
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
NAME = re.compile(r"tovak-(?P<version>[^-]+)-cp312-abi3-(?P<platforms>[a-z0-9_.]+)\.whl")
PLATFORM = re.compile(r"manylinux_\d+_\d+_x86_64")
REQUIRED = ["tovak_python.pyi", "tovak_python-stubs/__init__.pyi", "tovak/__init__.py", "tovak/py.typed",
            "tovak/_version.py", "tovak/cli/__init__.py"]


def source_version():
    text = (ROOT / "python/tovak/_version.py").read_text()
    return re.search(r'__version__ = "([^"]+)"', text).group(1)


def fail(message):
    print(f"check-wheel: {message}", file=sys.stderr)
    sys.exit(1)


def check(wheel_path):
    match = NAME.fullmatch(wheel_path.name)
    if not match:
        fail(f"{wheel_path.name}: not named tovak-VERSION-cp312-abi3-manylinux_X_Y_x86_64.whl")
    platforms = match["platforms"].split(".")
    if not all(PLATFORM.fullmatch(p) for p in platforms):
        fail(f"{wheel_path.name}: platform tags {platforms} are not all manylinux x86_64")
    version = source_version()
    if match["version"] != version:
        fail(f"{wheel_path.name}: version {match['version']}, the package says {version}")
    print(f"name         {wheel_path.name}")

    with zipfile.ZipFile(wheel_path) as wheel:
        names = wheel.namelist()
        dist_info = f"tovak-{version}.dist-info"
        metadata = Parser().parsestr(wheel.read(f"{dist_info}/METADATA").decode())
        if metadata["Version"] != version:
            fail(f"METADATA says version {metadata['Version']}, the package says {version}")
        print(f"metadata     Version: {metadata['Version']}, Requires-Python: {metadata['Requires-Python']}")
        fields = Parser().parsestr(wheel.read(f"{dist_info}/WHEEL").decode())
        tags = fields.get_all("Tag")
        if sorted(tags) != sorted(f"cp312-abi3-{p}" for p in platforms) or fields["Root-Is-Purelib"] != "false":
            fail(f"WHEEL tags {tags} (Root-Is-Purelib {fields['Root-Is-Purelib']}) do not match the name")
        print(f"tags         {', '.join(tags)}")

    modules = [n for n in names if n.endswith(".so") or ".so." in n]
    grafted = [n for n in names if n.split("/")[0].endswith(".libs")]
    if grafted:
        fail(f"auditwheel grafted shared libraries into the wheel: {grafted}")
    if "tovak_python.abi3.so" not in modules:
        fail(f"no tovak_python.abi3.so among the extension modules {modules}")
    not_abi3 = [n for n in modules if not n.endswith(".abi3.so")]
    if not_abi3:
        fail(f"extension modules not built for the stable ABI: {not_abi3}")
    print(f"modules      {', '.join(modules)} (nothing grafted)")
    missing = [n for n in REQUIRED if n not in names]
    if missing:
        fail(f"missing from the wheel: {missing}")
    print(f"contents     {len(names)} files, the package, its stub and the stub-only package")


def main():
    if len(sys.argv) != 2:
        fail(f"usage: {sys.argv[0]} WHEEL (exactly one wheel, got {sys.argv[1:]})")
    check(Path(sys.argv[1]))


if __name__ == "__main__":
    main()
