#!/bin/sh
# strip as Debian's packaging tools run it: no debug information, no unneeded symbols, and no
# .comment or .note sections (which only name the compiler).
exec strip --remove-section=.comment --remove-section=.note --strip-unneeded "$@"
