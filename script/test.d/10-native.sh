# The native build: core, windows and their tests, end to end against apache2.
set -euo pipefail
. "$(dirname "$0")/../lib.sh"
prepare_native_leg
# A folder first configured without Qt would otherwise keep leaving the windows out.
build_and_test native -DPORTCFG_WITH_QT=ON
