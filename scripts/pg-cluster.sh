#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the tests, from the Debian binaries:
#
#   scripts/pg-cluster.sh start DIR   creates and starts a cluster in DIR (an empty or new
#                                     folder), on a free loopback port; prints its URL
#   scripts/pg-cluster.sh stop DIR    stops it and deletes DIR
#
# The cluster listens on 127.0.0.1 only and trusts local connections (it holds nothing but
# test databases). initdb refuses to run as root, so under root the cluster belongs to the
# `postgres` user. Exits non-zero, with the reason on stderr, when the cluster does not come up.
set -euo pipefail

usage() {
  echo "usage: $0 start|stop DIR" >&2
  exit 2
}
[ $# -eq 2 ] || usage
action=$1
dir=$2

find_bin() {
  local name=$1 found
  if [ -n "${PG_BIN:-}" ] && [ -x "$PG_BIN/$name" ]; then echo "$PG_BIN/$name"; return 0; fi
  found=$(ls -d /usr/lib/postgresql/*/bin/"$name" 2>/dev/null | sort -V | tail -n 1 || true)
  if [ -n "$found" ]; then echo "$found"; return 0; fi
  command -v "$name" || return 1
}

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

port_taken() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

case "$action" in
start)
  initdb=$(find_bin initdb) || { echo "PostgreSQL is not installed (no initdb); install the postgresql package." >&2; exit 1; }
  pg_ctl=$(find_bin pg_ctl) || { echo "PostgreSQL is not installed (no pg_ctl)." >&2; exit 1; }
  if [ "$(id -u)" -eq 0 ] && ! id postgres >/dev/null 2>&1; then
    echo "Running as root needs the 'postgres' user (from the postgresql package) to own the cluster." >&2
    exit 1
  fi
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  if [ "$(id -u)" -eq 0 ]; then
    chown postgres "$dir"
    if ! runuser -u postgres -- test -w "$dir"; then
      echo "The 'postgres' user cannot reach $dir (a parent folder is closed to it); use a folder such as" \
           "one made by mktemp -d." >&2
      exit 1
    fi
  fi
  locale=C
  locale -a 2>/dev/null | grep -qix 'c.utf-\?8' && locale=C.UTF-8
  if ! as_owner "$initdb" -D "$dir/data" -U tesr --auth=trust --encoding=UTF8 --locale="$locale" \
      >"$dir/initdb.log" 2>&1; then
    echo "initdb failed:" >&2
    cat "$dir/initdb.log" >&2
    exit 1
  fi
  # One role logs in with a password, for the test that reads it from libpq's password file.
  hba="$dir/data/pg_hba.conf"
  { echo "host all tesr_password 127.0.0.1/32 scram-sha-256"; cat "$hba"; } >"$dir/hba.new" && cat "$dir/hba.new" >"$hba"
  # Test databases are thrown away: durability settings off for speed.
  opts="-c listen_addresses=127.0.0.1 -c unix_socket_directories=$dir -c fsync=off"
  opts+=" -c synchronous_commit=off -c full_page_writes=off -c max_connections=200"
  opts+=" -c shared_buffers=64MB -c max_locks_per_transaction=128"
  for attempt in $(seq 1 25); do
    port=$((20000 + (RANDOM * 7 + attempt * 131) % 40000))
    port_taken "$port" && continue
    if as_owner "$pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 -o "-p $port $opts" start \
        >"$dir/pg_ctl.log" 2>&1; then
      url="postgresql://tesr@127.0.0.1:$port/postgres"
      echo "$url" >"$dir/url"
      echo "$url"
      exit 0
    fi
    # Another program took the port between the check and the start: try another one.
    grep -q "could not bind\|Address already in use" "$dir/server.log" 2>/dev/null || break
  done
  echo "The PostgreSQL test cluster did not start:" >&2
  cat "$dir/pg_ctl.log" "$dir/server.log" >&2 2>/dev/null || true
  exit 1
  ;;
stop)
  [ -d "$dir" ] || exit 0
  if [ -f "$dir/data/postmaster.pid" ]; then
    pg_ctl=$(find_bin pg_ctl) || true
    [ -n "${pg_ctl:-}" ] && as_owner "$pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
  ;;
*)
  usage
  ;;
esac
