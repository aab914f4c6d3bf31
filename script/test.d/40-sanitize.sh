# The native suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer;
# the first report of either ends the test that made it, so the leg fails.
set -euo pipefail
. "$(dirname "$0")/../lib.sh"
prepare_native_leg

flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
build_and_test sanitize -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags"
