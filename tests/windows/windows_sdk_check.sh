#!/bin/sh
# SPDX-License-Identifier: MIT
# The Windows SDK archive as a developer meets it: made with cpack, unpacked, its layout checked (the
# stand-in apart from the system's DLL), an example configured with find_package from it and the
# MSVC-ABI toolchain, built against its import library, and run under Wine.
#   windows_sdk_check.sh BUILD_DIR SOURCE_DIR WINDOWS_DEPS
set -eu
build="$1"; source="$2"; deps="$3"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G ZIP -B "$work/package" >/dev/null)
archive=$(ls "$work"/package/kovavantorquadrelv3-*-win64.zip)
(cd "$work" && cmake -E tar xf "$archive")
sdk=$(ls -d "$work"/kovavantorquadrelv3-*-win64)
for file in bin/kovavantorquadrelv3.dll lib/kovavantorquadrelv3.lib lib/kovavantorquadrelv3.def \
            include/kovavantorquadrelv3/kovavantorquadrelv3.h include/kovavantorquadrelv3/kova_status.h \
            include/kovavantorquadrelv3/kova_version.h include/kovavantorquadrelv3/vqsim_lookup.h lib/cmake/kovavantorquadrelv3/kovavantorquadrelv3Config.cmake \
            examples/CMakeLists.txt examples/capture_frames.c CHANGELOG.md README.md LICENSE \
            licenses/msvc-stl/LICENSE.txt licenses/msvc-stl/NOTICE.txt licenses/boost/copyright \
            standin/VQUAD.dll standin/kova-capture.exe standin/vqsim.h standin/VQUAD-recorder.dll \
            standin/scenarios/one-scanner.json dotnet/Kovavantorquadrelv3.Net.dll docs/api/index.html \
            docs/api/kovavantorquadrelv3_8h.html symbols/kovavantorquadrelv3.pdb symbols/VQUAD.pdb; do
    [ -e "$sdk/$file" ] || { echo "not in the archive: $file"; exit 1; }
done
ls "$sdk"/python/kovavantorquadrelv3-*-py3-none-win_amd64.whl "$sdk"/standin/python/kovavantorquadrelv3_standin-*-win_amd64.whl \
    >/dev/null || { echo "the wheels are not in the archive"; exit 1; }
if command -v nuget >/dev/null; then
    ls "$sdk"/dotnet/Kovavantorquadrelv3.*.nupkg >/dev/null || { echo "the NuGet package is not in the archive"; exit 1; }
fi
for file in bin/VQUAD.dll bin/kova-capture.exe lib/VQUAD.lib include/kovavantorquadrelv3/vqsim.h; do
    [ ! -e "$sdk/$file" ] || { echo "the stand-in beside the system: $file"; exit 1; }
done
echo "archive $(basename "$archive"): $(cd "$sdk" && find . -type f | wc -l) files, the stand-in in standin/"

# An application of a Windows developer: the examples, on the archive alone.
cmake -S "$sdk/examples" -B "$work/examples" -DCMAKE_TOOLCHAIN_FILE="$source/toolchains/windows-msvc-abi/toolchain.cmake" \
    -DKOVA_WINDOWS_DEPS="$deps" -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$sdk" >/dev/null
cmake --build "$work/examples" >/dev/null
sh "$source/tests/support/check_no_stand_in_imports.sh" "$work/examples/list_scanners.exe" \
    "$work/examples/capture_frames.exe" "$work/examples/status_loop.exe" "$work/examples/raii_capture.exe"
for example in list_scanners capture_frames status_loop raii_capture; do
    sh "$source/tests/windows/check_windows_module.sh" names "$work/examples/$example.exe" "$source/third_party/vcrt-exports" ||
        exit 1
done
cp "$sdk/bin/kovavantorquadrelv3.dll" "$sdk/standin/VQUAD.dll" "$work/examples/"
"$source/toolchains/windows-msvc-abi/wine-run" "$build/wineprefix" "$work/examples/capture_frames.exe" 3 | tr -d '\r' | tee "$work/frames.txt"
[ "$(grep -c '^frame [0-9]*: min' "$work/frames.txt")" -eq 3 ] || { echo "capture_frames did not capture 3 frames"; exit 1; }
"$source/toolchains/windows-msvc-abi/wine-run" "$build/wineprefix" "$work/examples/raii_capture.exe" 3 | tr -d '\r' | tee "$work/raii.txt"
[ "$(grep -c '^frame [0-9]*: corrected mean' "$work/raii.txt")" -eq 3 ] || { echo "raii_capture did not capture 3 frames"; exit 1; }
echo "built on the archive with find_package and run under Wine"
