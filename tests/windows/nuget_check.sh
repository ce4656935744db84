#!/bin/sh
# SPDX-License-Identifier: MIT
# The NuGet package: its layout, then a consumer compiled with Mono against the package's lib/
# assembly alone and run against the stand-in with the package's runtimes/linux-x64/native library.
#   nuget_check.sh PACKAGE SOURCE [LINUX_LIBRARY_DIR]   (the dir also holds the stand-in's libVQUAD.so.1)
set -eu
package="$1"; source="$2"; linux="${3:-}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && unzip -q "$package")
for file in lib/net462/Kovavantorquadrelv3.Net.dll runtimes/win-x64/native/kovavantorquadrelv3.dll \
            README.md LICENSE; do
    [ -f "$work/$file" ] || { echo "not in the package: $file"; ls -R "$work"; exit 1; }
done
version=$(sed -n 's/^#define KOVA_VERSION_STRING "\(.*\)"/\1/p' "$(dirname "$package")/../generated/kova_version.h")
# The package's manifest, which nuget names after the package at its root.
manifest=$(find "$work" -maxdepth 1 -type f -name 'Kovavantorquadrelv3.*')
[ -n "$manifest" ] || { echo "no manifest in the package"; exit 1; }
grep -q "<id>Kovavantorquadrelv3</id>" "$manifest"
grep -q "<version>$version</version>" "$manifest" || { echo "not version $version"; exit 1; }
case "$(basename "$package")" in "Kovavantorquadrelv3.$version.nupkg") ;; *) echo "named $(basename "$package")"; exit 1 ;; esac
# The DLL is the x64 PE of the build; nothing else rides along (no stand-in, no config).
"${OBJDUMP:-objdump}" -f "$work/runtimes/win-x64/native/kovavantorquadrelv3.dll" | grep -q 'x86-64'
if find "$work" -iname '*VQUAD*' | grep -q .; then echo "the package carries a device library"; exit 1; fi
echo "layout as expected"

[ -n "$linux" ] || { echo "no Linux library given (-DKOVA_NUGET_LINUX_LIBRARY): the consumer is not run"; exit 0; }
native="$work/runtimes/linux-x64/native"
[ -f "$native/libkovavantorquadrelv3.so" ] || { echo "not in the package: runtimes/linux-x64/native/libkovavantorquadrelv3.so"; exit 1; }
mkdir "$work/consumer"
cp "$work/lib/net462/Kovavantorquadrelv3.Net.dll" "$work/consumer/"
mcs -nologo -warnaserror -out:"$work/consumer/Capture.exe" -r:"$work/consumer/Kovavantorquadrelv3.Net.dll" \
    "$source/examples/csharp/Capture.cs"
# The stand-in is the only thing taken from outside the package.
LD_LIBRARY_PATH="$native:$linux" PROGRAMDATA="$work" mono "$work/consumer/Capture.exe" 3 | tee "$work/capture.txt"
grep -q '^frame 3: mean [0-9.]*, corrected mean [0-9.]*$' "$work/capture.txt"
echo "a consumer of the package captured under Mono"
