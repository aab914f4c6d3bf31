#!/usr/bin/env bash
# Runs a command in a network of its own, with only loopback up: any port is
# free there and nothing the servers open is seen outside.
#   private_network.sh IP COMMAND ARGS...
# Root makes the network directly; anyone else through a user namespace that
# maps them to root. Where neither is allowed (a chroot, some sandboxes), the
# reason is printed and the exit code 77 has CTest count the test as skipped.
set -eu
ip=$1
shift
if [ "$(id -u)" -eq 0 ]; then
  namespaces=(--net)
else
  namespaces=(--map-root-user --net)
fi
if ! refusal=$(unshare "${namespaces[@]}" -- true 2>&1); then
  echo "No private network: unshare ${namespaces[*]} is refused here ($refusal)."
  exit 77
fi
exec unshare "${namespaces[@]}" -- sh -c '"$0" link set lo up && exec "$@"' "$ip" "$@"
