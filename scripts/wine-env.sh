# Sourced by the run and test scripts: a headless X server when none is given, one Wine prefix,
# and the local install service, each stopped by its own process id when the script exits.
# shellcheck shell=bash

SETUP_PIDS=()
SETUP_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

setup_stop_all() {
  local pid
  for pid in "${SETUP_PIDS[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  if [ -n "${WINEPREFIX:-}" ] && [ -n "${SETUP_WINESERVER_STARTED:-}" ]; then
    wineserver -k 2>/dev/null || true
  fi
  for pid in "${SETUP_PIDS[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  SETUP_PIDS=()
}

# Windows-1252 as the ANSI code page, whatever the machine's own locale is.
setup_fixed_locale() {
  # Wine maps both of these to the en-US locale, whose ANSI code page is 1252.
  if locale -a 2>/dev/null | grep -qi '^en_US\.utf-\?8$'; then
    export LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8
  else
    export LANG=C.UTF-8 LC_ALL=C.UTF-8
  fi
}

# Starts Xvfb unless a display is given (or SETUP_HEADLESS=1 forces one of our own).
setup_display() {
  if [ -n "${DISPLAY:-}" ] && [ "${SETUP_HEADLESS:-0}" != 1 ]; then
    return 0
  fi
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  SETUP_PIDS+=($!)
  local num
  read -r -t 20 num <"$fifo" || { echo "Xvfb did not start" >&2; rm -f "$fifo"; return 1; }
  rm -f "$fifo"
  export DISPLAY=":$num"
}

# Creates the prefix when it is new, then keeps one wineserver alive for everything that follows.
setup_wine_prefix() {
  local prefix=$1
  export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$prefix"
    wineboot -i >/dev/null 2>&1
    wineserver -w
    # Debian's Wine does not look in its own font folder: without this Tahoma silently becomes
    # another face.
    cp -n /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    # A virtual desktop stands in for a window manager: without one every hide or destroy of a
    # window waits two seconds.
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
    wineserver -w
  fi
  wineserver -p
  SETUP_WINESERVER_STARTED=1
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# The test CA and the server certificate, made at run time into the build tree.
setup_certificates() {
  local dir=$1
  [ -f "$dir/server.pem" ] && [ -f "$dir/ca.pem" ] && return 0
  mkdir -p "$dir"
  openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Setup Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout "$dir/ca.key" -out "$dir/ca.pem" >/dev/null 2>&1
  openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" \
    -keyout "$dir/server.key" -out "$dir/server.csr" >/dev/null 2>&1
  printf 'subjectAltName=DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' \
    >"$dir/server.ext"
  openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" -CAcreateserial \
    -days 30 -extfile "$dir/server.ext" -out "$dir/server.crt" >/dev/null 2>&1
  # The server sends its chain so that Wine can build it up to the trusted root.
  cat "$dir/server.crt" "$dir/ca.pem" >"$dir/server.pem"
}

# The session every Wine script starts with, after its EXIT trap (setup_stop_all): the fixed
# locale, the display (a headless one of its own when SETUP_HEADLESS=1), the named prefix in the
# build tree, and the test CA trusted inside that prefix.
setup_wine_session() {
  local build=$1 prefix=$2
  setup_fixed_locale
  setup_display
  setup_wine_prefix "$build/$prefix"
  setup_certificates "$build/certs"
  "$SETUP_ROOT/scripts/wine-exec.sh" "$build/tools/trust_ca.exe" "$build/certs/ca.pem" >/dev/null
}

# A random payload of the given size in MiB, made once and kept while its size fits.
setup_payload() {
  local path=$1 mib=$2
  if [ ! -f "$path" ] || [ "$(stat -c %s "$path")" -ne $((mib * 1048576)) ]; then
    head -c $((mib * 1048576)) /dev/urandom >"$path"
  fi
}

# The ports of the four origins baked into a build (SETUP_ORIGIN_PROD/UAT/SIT/DIT in its CMake
# cache), in that order; an origin without a port of its own keeps the default one.
setup_origin_ports() {
  local build=$1 env origin port default=47443
  for env in PROD UAT SIT DIT; do
    origin=$(sed -n "s/^SETUP_ORIGIN_${env}:[A-Z]*=//p" "$build/CMakeCache.txt" 2>/dev/null)
    port=${origin##*:}
    [[ $port =~ ^[0-9]+$ ]] || port=$default
    printf '%s ' "$port"
    default=$((default + 1))
  done
}

# Starts the local install service on the four origins' ports and waits until it listens.
setup_start_service() {
  local build=$1 installer=$2
  local ready=$build/service.ready
  local ports
  read -r -a ports <<<"$(setup_origin_ports "$build")"
  rm -f "$ready"
  python3 "$SETUP_ROOT/tools/install_service.py" --ports "${ports[@]}" \
    --cert "$build/certs/server.pem" --key "$build/certs/server.key" --installer "$installer" \
    --ready-file "$ready" --quiet >"$build/service.log" 2>&1 &
  SETUP_PIDS+=($!)
  local i
  for i in $(seq 100); do
    [ -f "$ready" ] && return 0
    sleep 0.1
  done
  echo "the install service did not start; see $build/service.log" >&2
  return 1
}
