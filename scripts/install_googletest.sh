#!/usr/bin/env bash
# Installs GoogleTest (Debian's libgtest-dev) for the core tests when it is missing, as root or
# through sudo. Both scripts/test.sh and scripts/sanitize.sh run it first, so that either one works
# on a fresh machine.
set -euo pipefail
[ -f /usr/include/gtest/gtest.h ] && exit 0
as_root=""
if [ "$(id -u)" != 0 ]; then as_root="sudo"; fi
$as_root apt-get update -qq
# Through env, since sudo does not pass the caller's environment on.
$as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libgtest-dev >/dev/null
