#!/bin/sh
# nroff of the platform root: the host's groff, always with plain ASCII
# output, so that the text a user sees (and the search indexes) does not
# change with the locale.
exec /usr/bin/nroff -Tascii "$@"
