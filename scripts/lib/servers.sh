# Throwaway PostgreSQL clusters for tests and the demo, run as the postgres system user.
# shellcheck shell=bash

# A free TCP port on 127.0.0.1.
qv_free_port() {
  local port
  for _ in $(seq 1 200); do
    port=$(( 20000 + RANDOM % 30000 ))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then echo "$port"; return 0; fi
  done
  return 1
}

# PostgreSQL refuses to run as root: as root the clusters belong to the postgres system user, otherwise to
# the user running the script.
qv_as_pg() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}
qv_own_pg() {
  if [ "$(id -u)" -eq 0 ]; then chown postgres:postgres "$@"; fi
}

# qv_pg_cluster_start <dir> <port> <ssl:on|off>
# Creates the cluster when the folder is new. Local socket: trust (for the admin); TCP: passwords.
qv_pg_cluster_start() {
  local dir=$1 port=$2 ssl=$3 bin
  bin=$(qv_pg_bin)
  mkdir -p "$dir"
  qv_own_pg "$dir"
  chmod 700 "$dir"
  if [ ! -f "$dir/data/PG_VERSION" ]; then
    qv_as_pg "$bin/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 \
      || { cat "$dir/initdb.log" >&2; return 1; }
    cat >"$dir/data/pg_hba.conf" <<HBA
local all all trust
host all all 127.0.0.1/32 scram-sha-256
host all all ::1/128 scram-sha-256
HBA
    if [ "$ssl" = on ]; then
      openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=localhost" \
        -keyout "$dir/data/server.key" -out "$dir/data/server.crt" >/dev/null 2>&1
      qv_own_pg "$dir/data/server.key" "$dir/data/server.crt"
      chmod 600 "$dir/data/server.key"
    fi
  fi
  cat >"$dir/data/postgresql.auto.conf" <<CONF
listen_addresses = '127.0.0.1'
port = $port
unix_socket_directories = '$dir'
ssl = $ssl
fsync = off
synchronous_commit = off
full_page_writes = off
max_connections = 100
CONF
  [ "$ssl" = on ] && printf "ssl_cert_file = 'server.crt'\nssl_key_file = 'server.key'\n" >>"$dir/data/postgresql.auto.conf"
  qv_own_pg "$dir/data/postgresql.auto.conf"
  qv_as_pg "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 start >/dev/null \
    || { cat "$dir/server.log" >&2; return 1; }
}

qv_pg_cluster_stop() {
  local dir=$1
  [ -f "$dir/data/postmaster.pid" ] || return 0
  qv_as_pg "$(qv_pg_bin)/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null 2>&1 || true
}

# qv_psql <socket-dir> <port> <db> [psql args]: as the superuser over the socket.
qv_psql() {
  local PGOPTIONS="-c client_min_messages=warning"; export PGOPTIONS
  local dir=$1 port=$2 db=$3; shift 3
  psql -X -q -v ON_ERROR_STOP=1 -h "$dir" -p "$port" -U postgres -d "$db" "$@"
}

# qv_apply_sql <socket-dir> <port> <db> <folder> [psql -v args]: every .sql file of the folder, in name
# order, as the database user "qem" (so the program's user owns what it uses).
qv_apply_sql() {
  local dir=$1 port=$2 db=$3 folder=$4; shift 4
  local f
  for f in $(ls "$folder"/*.sql 2>/dev/null | sort); do
    psql -X -q -v ON_ERROR_STOP=1 -h "$dir" -p "$port" -U qem -d "$db" "$@" -f "$f" >/dev/null || return 1
  done
}

# qv_make_templates <socket-dir> <port> <qem-password>: the role "qem" and the template databases that
# tests copy: qv_tpl_directory, qv_tpl_qem (bare) and qv_tpl_directory_demo, qv_tpl_qem_demo (seeded).
qv_make_templates() {
  local dir=$1 port=$2 pw=$3 t
  qv_psql "$dir" "$port" postgres -c "DO \$\$BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname='qem') THEN CREATE ROLE qem LOGIN CREATEDB; END IF; END\$\$;" \
    -c "ALTER ROLE qem PASSWORD '$pw'" >/dev/null
  for t in qv_tpl_directory qv_tpl_qem qv_tpl_directory_demo qv_tpl_qem_demo; do
    qv_psql "$dir" "$port" postgres -c "UPDATE pg_database SET datistemplate = false WHERE datname = '$t'" \
      -c "DROP DATABASE IF EXISTS $t" -c "CREATE DATABASE $t OWNER qem" >/dev/null || return 1
  done
  qv_apply_sql "$dir" "$port" qv_tpl_directory "$QV_ROOT/data/sql/directory" || return 1
  qv_apply_sql "$dir" "$port" qv_tpl_qem "$QV_ROOT/data/sql/qem" || return 1
  qv_apply_sql "$dir" "$port" qv_tpl_directory_demo "$QV_ROOT/data/sql/directory" || return 1
  qv_apply_sql "$dir" "$port" qv_tpl_qem_demo "$QV_ROOT/data/sql/qem" || return 1
  # Tests re-point the seeded rows at their own databases and simulator.
  qv_apply_sql "$dir" "$port" qv_tpl_directory_demo "$QV_ROOT/data/sql/demo/directory" \
    -v qem_host=127.0.0.1 -v qem_port="$port" -v qem_db=qv_tpl_qem_demo -v backoffice_url=http://127.0.0.1:9 || return 1
  qv_apply_sql "$dir" "$port" qv_tpl_qem_demo "$QV_ROOT/data/sql/demo/qem" \
    -v qem_host=127.0.0.1 -v qem_port="$port" -v qem_db=qv_tpl_qem_demo -v backoffice_url=http://127.0.0.1:9 || return 1
  for t in qv_tpl_directory qv_tpl_qem qv_tpl_directory_demo qv_tpl_qem_demo; do
    qv_psql "$dir" "$port" postgres -c "ALTER DATABASE $t IS_TEMPLATE true" >/dev/null || return 1
  done
}
