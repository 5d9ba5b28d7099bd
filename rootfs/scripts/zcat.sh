#!/bin/sh
# zcat of the platform root: gzip reads compressed (.Z) and gzip files.
exec gzip -dc "$@"
