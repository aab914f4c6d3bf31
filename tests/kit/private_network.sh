#!/usr/bin/env bash
# Runs a command in a network of its own with only loopback up, where one can
# be made (root directly, anyone else in a user namespace): any port is free
# there and nothing its servers open is seen outside. Elsewhere (a plain
# chroot, some sandboxes) it runs as it is, on free ports of this machine.
#   private_network.sh IP COMMAND ARGS...
set -eu
ip=$1
shift
namespaces=(--net)
[ "$(id -u)" -eq 0 ] || namespaces=(--map-root-user --net)
if refusal=$(unshare "${namespaces[@]}" -- "$ip" link set lo up 2>&1); then
  exec unshare "${namespaces[@]}" -- sh -c '"$0" link set lo up && exec "$@"' "$ip" "$@"
fi
echo "No private network (unshare ${namespaces[*]}: $refusal): on free ports of this machine." >&2
exec "$@"
