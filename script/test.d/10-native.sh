# The native build: core, windows and their tests, end to end against apache2.
set -euo pipefail
. "$(dirname "$0")/../lib.sh"
confine_writes
# The core's tests hand a file to nobody, who must reach its folder; the
# clone may lie in one only its owner may enter (/root), so their temporary
# folders, which they remove, stay in the system's.
export TMPDIR=$PORTCFG_SYSTEM_TMPDIR
ensure_packages "${NATIVE_PACKAGES[@]}"
# A folder first configured without Qt would otherwise keep leaving the windows out.
build_and_test native -DPORTCFG_WITH_QT=ON
