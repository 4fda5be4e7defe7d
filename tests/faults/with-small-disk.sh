#!/usr/bin/env bash
# Runs a command with UPDATER_TEST_SMALL_DISK naming a fresh 1 MiB tmpfs that
# every user may write to, when this process may mount one (root, outside a
# locked-down container). Otherwise the variable stays unset and the disk-full
# test falls back to a file size limit.
# Usage: with-small-disk.sh COMMAND [ARG...]
set -u
disk=$(mktemp -d)
mounted=
if mount -t tmpfs -o size=1m,mode=1777 tarn-small-disk "$disk" 2>/dev/null; then
  export UPDATER_TEST_SMALL_DISK=$disk
  mounted=yes
fi
"$@"
status=$?
[ -n "$mounted" ] && umount "$disk"
rmdir "$disk"
exit $status
