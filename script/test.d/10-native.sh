# The native build: core, windows and their tests.
set -euo pipefail
. "$(dirname "$0")/../lib.sh"
ensure_packages "${BUILD_PACKAGES[@]}" qt6-base-dev fonts-liberation fonts-droid-fallback
build_and_test native
