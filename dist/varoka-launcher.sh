#!/bin/sh
# Starts the installed Varoka with the arguments given.  The program folder
# lies beside this launcher's folder (PREFIX/bin/varoka -> PREFIX/lib/varoka).
here=$(dirname "$(readlink -f "$0")")
exec "$here/../lib/varoka/KW" "$@"
