#!/bin/sh
# small_disk.sh mount DIR KB | small_disk.sh umount DIR
# A full disk for the tests: a tmpfs of KB kilobytes on DIR, in the mount
# namespace the tests run in (tools/jail.sh gives each suite its own), so
# nothing outside sees it. DIR/mounted appears when it stands, DIR.failed
# when it cannot be mounted here.
case "$1" in
mount)
    mkdir -p "$2"
    rm -f "$2.failed"
    umount "$2" 2>/dev/null
    if mount -t tmpfs -o size="$3"k krv-small-disk "$2"; then
        touch "$2/mounted"
    else
        touch "$2.failed"
    fi
    ;;
umount)
    umount "$2" 2>/dev/null
    ;;
esac
