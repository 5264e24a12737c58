#!/usr/bin/env bash
# Installs what the Windows cross-build and its test run under Wine need.
exec "$(dirname "$0")/setup.sh" --windows
