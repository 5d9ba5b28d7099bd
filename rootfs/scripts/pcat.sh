#!/bin/sh
# pcat of the platform root: gzip reads packed (.z) files too.
exec gzip -dc "$@"
