#!/bin/sh
# SPDX-License-Identifier: MIT
# Every source file of the project's own names its licence in its first lines; vendored code keeps
# its own. Data (scenarios, seeds, pictures), documents and empty marker files (py.typed) are not sources.
#   licence_check.sh SOURCE_DIR
set -eu
cd "$1"
[ -f LICENSE ] || { echo "no LICENSE file"; exit 1; }
command -v git >/dev/null 2>&1 && [ -e .git ] || { echo "not a git checkout: nothing to list"; exit 0; }
missing=$(git ls-files | grep -v -E '^third_party/|/corpus/|\.(json|md|png|raw)$|^LICENSE$|/py\.typed$' | while read -r file; do
    head -n 3 "$file" | grep -q 'SPDX-License-Identifier: MIT' || echo "$file"
done)
[ -z "$missing" ] || { echo "without an SPDX line:"; echo "$missing"; exit 1; }
echo "every source file names the MIT licence"
