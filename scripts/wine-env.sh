# Sourced by the run and test scripts: a headless X server when none is given, one Wine prefix,
# the local install service, and nginx and squid for the network tests, each stopped by its own
# process id when the script exits.
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
# A second argument gives a new prefix's screen that DPI (LogPixels; 96 otherwise).
setup_wine_prefix() {
  local prefix=$1 dpi=${2:-}
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
    if [ -n "$dpi" ]; then
      # Wine 8 takes the screen's DPI from either key (the current configuration's fonts, the
      # user's desktop); both are set, as Windows keeps them.
      wine reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
        /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
      wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
        >/dev/null 2>&1
    fi
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
# build tree (its screen at the DPI of the third argument when it is new), and the test CA trusted
# inside that prefix.
setup_wine_session() {
  local build=$1 prefix=$2 dpi=${3:-}
  setup_fixed_locale
  setup_display
  setup_wine_prefix "$build/$prefix" "$dpi"
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

# Waits until the process listens on every given port (as seen by the system, so a port that
# another program holds does not count); gives up when the process ends or after 20 s.
setup_wait_listening() {
  local name=$1 pid=$2 log=$3 port
  shift 3
  local i
  for i in $(seq 200); do
    kill -0 "$pid" 2>/dev/null || break
    for port in "$@"; do
      ss -Hltnp "sport = :$port" 2>/dev/null | grep -q "pid=$pid," || { sleep 0.1; continue 2; }
    done
    return 0
  done
  echo "$name did not start listening on port(s) $*; see $log" >&2
  return 1
}

# nginx as the maker's web server, from a configuration generated into DIR (no system file is
# read or written): on ORIGIN_PORT the install-location answer, a static file served as text/plain,
# and the installer's upper-cased path redirecting to the same path on CDN_PORT, which serves the
# installer file. Both over TLS with the test certificates in CERTS. Access log: DIR/access.log.
setup_start_nginx() {
  local dir certs installer=$3 origin_port=$4 cdn_port=$5
  mkdir -p "$1"
  # nginx takes relative paths from its prefix, the configuration's own folder.
  dir=$(cd "$1" && pwd) certs=$(cd "$2" && pwd)
  local www=$dir/www size user=""
  mkdir -p "$www/validate" "$www/DOWNLOADS" "$dir/temp"
  rm -f "$dir/access.log" "$dir/error.log"
  size=$(stat -c %s "$installer")
  cp "$installer" "$www/DOWNLOADS/SETUP-SAMPLE.EXE"
  printf 'https://localhost:%s/downloads/setup-sample.exe|%s\n' "$origin_port" "$size" \
    >"$www/validate/installurl.php"
  # Started as root, the workers would otherwise run as nobody, who may not enter the build tree.
  [ "$(id -u)" -ne 0 ] || user="user $(id -un) $(id -gn);"
  cat >"$dir/nginx.conf" <<CONF
# Generated by scripts/wine-env.sh for the tests; rewritten at every start.
daemon off;
worker_processes 1;
$user
pid $dir/nginx.pid;
lock_file $dir/nginx.lock;
error_log $dir/error.log notice;
events { worker_connections 64; }
http {
  log_format setup '\$server_port "\$request" \$status \$body_bytes_sent "\$http_user_agent"';
  access_log $dir/access.log setup;
  client_body_temp_path $dir/temp/body;
  proxy_temp_path $dir/temp/proxy;
  fastcgi_temp_path $dir/temp/fastcgi;
  uwsgi_temp_path $dir/temp/uwsgi;
  scgi_temp_path $dir/temp/scgi;
  ssl_certificate $certs/server.pem;
  ssl_certificate_key $certs/server.key;
  root $www;
  default_type application/octet-stream;

  # The maker's web server: the answer, and the installer handed on to the CDN.
  server {
    listen 127.0.0.1:$origin_port ssl;
    server_name localhost;
    location = /validate/installurl.php {
      types { }
      default_type text/plain;
    }
    location = /DOWNLOADS/SETUP-SAMPLE.EXE {
      return 302 https://localhost:$cdn_port\$request_uri;
    }
    location / {
      return 404;
    }
  }

  # The CDN: the installer file itself.
  server {
    listen 127.0.0.1:$cdn_port ssl;
    server_name localhost;
    location = /DOWNLOADS/SETUP-SAMPLE.EXE { }
    location / {
      return 404;
    }
  }
}
CONF
  nginx -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log" </dev/null >>"$dir/error.log" 2>&1 &
  SETUP_PIDS+=($!)
  setup_wait_listening nginx "$!" "$dir/error.log" "$origin_port" "$cdn_port"
}

# squid as a company's forward proxy on PORT, from a configuration generated into DIR: Basic
# sign-in (user setupuser with the given password, checked by basic_ncsa_auth against a password
# file made here), CONNECT only to the given ports on this machine, nothing cached, the access log
# in DIR/access.log (a tunnel is logged when it closes).
setup_start_squid() {
  local dir port=$2 password=$3
  mkdir -p "$1"
  dir=$(cd "$1" && pwd)
  shift 3
  local allowed=$* owner="" files
  local name=setup$port
  files=$dir
  # squid refuses to run as root: started as root it runs as proxy. When the build tree lies where
  # other users may not enter (under /root, say), its files go to a folder of its own, and the
  # build tree links to its logs.
  if [ "$(id -u)" -eq 0 ]; then
    owner=proxy
    if ! setpriv --reuid "$owner" --regid "$owner" --clear-groups test -x "$dir"; then
      files=/tmp/setup-squid-$port
      rm -rf "$files"
      mkdir -m 700 "$files"
    fi
  fi
  rm -f "$dir/access.log" "$dir/cache.log" "$files/access.log"
  # squid's own messages and what it says before it opens its log share one file.
  : >"$files/cache.log"
  printf 'setupuser:%s\n' "$(openssl passwd -apr1 "$password")" >"$files/passwords"
  chmod 600 "$files/passwords"
  if [ "$files" != "$dir" ]; then
    ln -s "$files/access.log" "$dir/access.log"
    ln -s "$files/cache.log" "$dir/cache.log"
  fi
  [ -z "$owner" ] || chown -R "$owner:" "$files"
  cat >"$dir/squid.conf" <<CONF
# Generated by scripts/wine-env.sh for the tests; rewritten at every start.
http_port 127.0.0.1:$port
${owner:+cache_effective_user $owner}
pid_filename $files/squid.pid
cache_log $files/cache.log
access_log stdio:$files/access.log squid
cache_store_log none
coredump_dir $files
netdb_filename none
logfile_rotate 0
cache deny all
digest_generation off
pinger_enable off
icp_port 0
htcp_port 0
# Names come from /etc/hosts: no query leaves the machine.
dns_nameservers 127.0.0.1
shutdown_lifetime 0 seconds

auth_param basic program /usr/lib/squid/basic_ncsa_auth $files/passwords
auth_param basic children 2 startup=1 idle=1
auth_param basic realm Setup test proxy
acl signed_in proxy_auth REQUIRED
acl test_ports port $allowed
acl to_this_machine dstdomain localhost
http_access deny !to_this_machine
http_access deny !test_ports
http_access allow localhost signed_in
http_access deny all
CONF
  # Shared memory is named after the service name; a run killed outright leaves it behind.
  rm -f "/dev/shm/$name"-*.shm
  squid -N -n "$name" -f "$dir/squid.conf" </dev/null >>"$files/cache.log" 2>&1 &
  SETUP_PIDS+=($!)
  setup_wait_listening squid "$!" "$dir/cache.log" "$port"
}
