#!/bin/sh
# Lines of tests against lines of code in the files git tracks, each counted without blank lines and
# comment-only lines (//, /* */ bodies, "# " in CMake/Python/shell, "--" in Lua).
#   tools/testshare.sh [COMMIT]
set -eu
rev=${1:-HEAD}
count() {
  git ls-tree -r --name-only "$rev" -- "$@" | grep -E '\.(cpp|h|c|py|cmake|txt|sh|lua|rc)$' |
    while read -r f; do git show "$rev:$f"; done |
    grep -cvE '^\s*$|^\s*(//|#( |$)|--|\*|/\*)' || true
}
code=$(count orvsetup product tools cmake CMakeLists.txt run.sh)
tests=$(count tests)
echo "code $code, tests $tests: tests are $((100 * tests / code)) % of the code"
