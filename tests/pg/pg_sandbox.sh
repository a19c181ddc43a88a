#!/usr/bin/env bash
# A throwaway PostgreSQL 15 server for one test run.
#
# Prints "READY <port> <socket directory>" once the server accepts connections
# on 127.0.0.1 and on its Unix socket (superuser "hxtest", trust authentication, an empty database "hxtest", the
# time zone Asia/Kolkata, which no client of the tests runs in; and
# the role "hxpw" that must give its password "hx-Pw-0451"), or
# "FAILED: <reason>" and exits 1. Then it waits: when its standard input closes
# (the test finished, failed or died) it stops the server and removes every
# file it made. As root the server runs as the "postgres" user, which the
# server insists on; otherwise as the calling user.
set -u

bindir=${HX_PG_BINDIR:-/usr/lib/postgresql/15/bin}
root=""
as_owner=()

fail() {
    echo "FAILED: $*"
    if [ -n "$root" ]; then
        for f in "$root/initdb.log" "$root/server.log"; do
            [ -f "$f" ] && sed "s|^|$(basename "$f" .log): |" "$f" >&2
        done
    fi
    exit 1
}

cleanup() {
    if [ -n "$root" ] && [ -d "$root" ]; then
        if [ -f "$root/data/postmaster.pid" ]; then
            (cd "$root" && "${as_owner[@]}" "$bindir/pg_ctl" -D "$root/data" -m immediate -w -t 30 stop) \
                >/dev/null 2>&1
        fi
        rm -rf "$root"
    fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

for tool in initdb pg_ctl createdb psql; do
    [ -x "$bindir/$tool" ] || fail "$bindir/$tool is missing (scripts/setup.sh installs the postgresql package)"
done

root=$(mktemp -d /tmp/hxpg.XXXXXX) || fail "cannot create a temporary directory"
if [ "$(id -u)" -eq 0 ]; then
    id postgres >/dev/null 2>&1 || fail "there is no postgres user to run the server as"
    chown postgres "$root" || fail "cannot hand $root to the postgres user"
    as_owner=(runuser -u postgres --)
fi
chmod 700 "$root"
cd "$root" || fail "cannot enter $root"

"${as_owner[@]}" mkdir "$root/sock" || fail "cannot create the socket directory"
"${as_owner[@]}" "$bindir/initdb" -D "$root/data" -U hxtest --auth=trust -E UTF8 --no-locale --no-sync \
    >"$root/initdb.log" 2>&1 || fail "initdb failed"

# The password role is matched before the trust lines.
"${as_owner[@]}" sed -i '1i host all hxpw 127.0.0.1/32 scram-sha-256' "$root/data/pg_hba.conf" ||
    fail "cannot edit pg_hba.conf"

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# Tests need no durability; HX_PG_DURABLE=1 keeps the server's defaults (for
# benchmarks that must see the cost of a real commit).
durability="-c fsync=off -c full_page_writes=off"
[ "${HX_PG_DURABLE:-}" = 1 ] && durability=""
# More server options, e.g. "-c shared_preload_libraries=pg_stat_statements"
# for a benchmark that counts the statements a run sends.
extra=${HX_PG_OPTIONS:-}

started=""
for attempt in 1 2 3 4 5 6 7 8; do
    port=$((20000 + (RANDOM * 32768 + RANDOM) % 40000))
    port_in_use "$port" && continue
    if "${as_owner[@]}" "$bindir/pg_ctl" -D "$root/data" -l "$root/server.log" -w -t 60 \
        -o "-c listen_addresses=127.0.0.1 -p $port -k $root/sock $durability $extra -c TimeZone=Asia/Kolkata" \
        start >/dev/null 2>&1; then
        started=$port
        break
    fi
done
[ -n "$started" ] || fail "the server did not start"

"${as_owner[@]}" "$bindir/createdb" -h 127.0.0.1 -p "$started" -U hxtest hxtest >>"$root/server.log" 2>&1 ||
    fail "cannot create the test database"

"${as_owner[@]}" "$bindir/psql" -h 127.0.0.1 -p "$started" -U hxtest -d hxtest -q -c \
    "CREATE ROLE hxpw LOGIN PASSWORD 'hx-Pw-0451'" >>"$root/server.log" 2>&1 ||
    fail "cannot create the password role"

echo "READY $started $root/sock"
while read -r _; do :; done
exit 0
