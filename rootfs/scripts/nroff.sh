#!/bin/sh
# nroff of the platform root: the host's groff, always with plain ASCII
# output, so that the text a user sees (and the search indexes) does not
# change with the locale. -c keeps bold and underline as overstrikes, which
# "col -b" removes, instead of terminal escape sequences, which it would
# leave in the text. -Wall keeps layout warnings ("can't break line") of
# every page shown or indexed out of the logs; errors are still reported.
exec /usr/bin/nroff -Tascii -c -Wall "$@"
