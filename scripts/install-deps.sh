#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks for building and testing Setup. Idempotent: apt runs only
# when a package is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang clang-format libclang-rt-14-dev googletest git
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 fonts-wine fonts-liberation fonts-crosextra-carlito
  xvfb xdotool imagemagick openssl osslsigncode python3 curl
  nginx squid
)
# Servers the tests run under configurations of their own: the system must not start its copies.
servers=(nginx squid)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ((${#missing[@]})); then
  echo "install-deps: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive

  # Debian starts a server's system service as its package installs, on ports 80 and 3128. A
  # policy-rc.d that denies every start (exit 101) keeps them down; one that already denies stays,
  # any other is put back afterwards.
  policy=/usr/sbin/policy-rc.d
  installing_servers=()
  for p in "${servers[@]}"; do
    [[ " ${missing[*]} " == *" $p "* ]] && installing_servers+=("$p")
  done
  if ((${#installing_servers[@]})); then
    denied=1
    for p in "${installing_servers[@]}"; do
      rc=0
      [ -x "$policy" ] && { "$policy" "$p" start >/dev/null 2>&1 || rc=$?; }
      [ "$rc" -eq 101 ] || denied=0
    done
    if ((!denied)); then
      saved=""
      if [ -e "$policy" ]; then
        saved=$policy.install-deps-saved
        "${sudo_cmd[@]}" mv -f "$policy" "$saved"
      fi
      restore_policy() {
        "${sudo_cmd[@]}" rm -f "$policy"
        [ -z "$saved" ] || "${sudo_cmd[@]}" mv -f "$saved" "$policy"
      }
      trap restore_policy EXIT
      printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$policy" >/dev/null
      "${sudo_cmd[@]}" chmod 755 "$policy"
    fi
  fi

  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

  # Under systemd the packages also enable their services for the next boot.
  if ((${#installing_servers[@]})) && [ -d /run/systemd/system ]; then
    for p in "${installing_servers[@]}"; do
      "${sudo_cmd[@]}" systemctl disable --now "$p" >/dev/null 2>&1 || true
    done
  fi
fi
