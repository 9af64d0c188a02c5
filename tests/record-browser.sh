#!/bin/sh
# Stands in for the web browser while the About dialog is tested: Wine's browser
# launcher runs it with the log file (from its browser setting) and the address to
# open; it appends the address to the log and opens nothing, so no network is used.
log=$1
shift
printf '%s\n' "$*" >>"$log"
