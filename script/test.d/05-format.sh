# The C++ sources as .clang-format lays them out: a file that is not fails the
# leg, with the places clang-format would change.
set -euo pipefail
. "$(dirname "$0")/../lib.sh"
ensure_packages clang-format
cd "$ROOT"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
echo "Every C++ file is laid out as .clang-format says."
