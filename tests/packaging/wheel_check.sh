#!/bin/sh
# SPDX-License-Identifier: MIT
# The wheels as a user meets them: their names, tags and contents; then installed with pip into a
# fresh virtual environment (numpy from the system's packages), where a capture and a table read run
# against the stand-in, and where the stand-in is not used unless asked for.
#   wheel_check.sh PYTHON DIST SOURCE
set -eu
python="$1"; dist="$2"; source="$3"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$python" "$source/tests/packaging/wheel_contents.py" "$dist" linux_x86_64

"$python" -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python" -m pip install --quiet --no-index --no-deps --disable-pip-version-check "$dist"/*.whl
cd "$work"
unset PYTHONPATH KOVA_LIBRARY KOVA_STANDIN
export PROGRAMDATA="$work"

# Not asked for, the stand-in stays out even though it is installed: with no maker's library on the
# machine, the load fails and says what is missing.
if ! /sbin/ldconfig -p | grep -q 'libVQUAD\.so\.1 '; then
    "$work/venv/bin/python" - <<'PYTHON'
import kovavantorquadrelv3 as kova
try:
    kova.Library()
except OSError as error:
    assert "VQUAD" in str(error) and "kovavantorquadrelv3_standin.activate()" in str(error), error
else:
    raise SystemExit("the library loaded a device library nobody asked for")
print("without activate(): refused, naming the device library")
PYTHON
fi

"$work/venv/bin/python" - <<'PYTHON'
import sys
import kovavantorquadrelv3_standin
controls = kovavantorquadrelv3_standin.activate()
import kovavantorquadrelv3 as kova
for module in (kova, kovavantorquadrelv3_standin):
    assert module.__file__.startswith(sys.prefix), f"{module.__name__} is not the installed one: {module.__file__}"
with kova.Library() as lib:
    with lib.open(lib.scanners()[0]) as scanner:
        frames = list(scanner.frames(3))
        gain, offset = scanner.uniformity_tables()
assert len(frames) == 3 and all(frame.shape == kova.FRAME_SHAPE and frame.any() for frame in frames)
assert gain.shape == offset.shape == kova.FRAME_SHAPE and gain.any()
assert controls.vqsim_call_count(b"read_fpn_data_white") == 1
try:
    kovavantorquadrelv3_standin._controls = None
    kovavantorquadrelv3_standin.activate()
except RuntimeError:
    pass
else:
    raise SystemExit("activate() after the library was loaded did not refuse")
print(f"installed in {sys.prefix}: captured 3 frames and read the tables on the stand-in")
PYTHON
