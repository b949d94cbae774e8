#!/usr/bin/env bash
# POP3 server for tests: Debian's dovecot-pop3d with a standalone configuration in a folder.
#
#   pop3-server.sh start DIR               start a server that keeps everything in DIR; a folder
#                                          that held a server before gets it back on its old port
#   pop3-server.sh user DIR NAME PASSWORD  add a mailbox (an existing one is emptied) and print
#                                          the path of its Maildir
#   pop3-server.sh stop DIR                stop the server; its mail and port stay for a restart
#   pop3-server.sh remove DIR              stop it and remove DIR
#
# The server speaks POP3 only, with plain-text logins from DIR/users, on 127.0.0.1 at a free port
# written to DIR/port. Mail lives in DIR/home/NAME/Maildir. It runs as the calling user, or as
# "nobody" when called by root; mail put into a Maildir must then belong to that user.
set -euo pipefail

MARKER=.lir-pop3-server
DOVECOT=/usr/sbin/dovecot
PEER=pop3-server
USAGE="start DIR | user DIR NAME PASSWORD | stop DIR | remove DIR"
# shellcheck source=peer-common.sh
. "$(dirname "$0")/peer-common.sh"
set -- "${peer_args[@]}"

server_pid() {
    # Only the master of this folder's configuration, so a reused process id is left alone.
    local pid
    pid=$(cat "$dir/run/master.pid" 2>/dev/null) || return 1
    [[ $pid =~ ^[0-9]+$ ]] || return 1
    tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -qF "$dir/dovecot.conf" || return 1
    echo "$pid"
}

free_port() {
    /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

write_config() {
    local port=$1
    cat >"$dir/dovecot.conf" <<EOF
base_dir = $dir/run
state_dir = $dir/state
log_path = $dir/dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain
# The default of 2 s equals the client's silence limit.
auth_failure_delay = 0
default_internal_user = $peer_owner
default_internal_group = $(id -gn "$peer_owner")
default_login_user = $peer_owner
first_valid_uid = 1
mail_location = maildir:~/Maildir
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $dir/users
}
userdb {
  driver = passwd-file
  args = username_format=%u $dir/users
}
service pop3-login {
  chroot =
  inet_listener pop3 {
    address = 127.0.0.1
    port = $port
  }
}
service anvil {
  chroot =
  # No auth penalty: one test's failed logins must not delay the logins of the others.
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
EOF
}

listening() {
    /usr/bin/python3 -c 'import socket, sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), 1).close()' "$1" 2>/dev/null
}

can_login() {
    /usr/bin/python3 - "$@" <<'EOF'
import poplib, sys, time
port, user, password = int(sys.argv[1]), sys.argv[2], sys.argv[3]
for _ in range(50):
    pop = poplib.POP3("127.0.0.1", port, timeout=5)
    try:
        pop.user(user)
        pop.pass_(password)
        sys.exit(0)
    except poplib.error_proto:
        time.sleep(0.1)
    finally:
        pop.quit()
sys.exit(1)
EOF
}

start() {
    [ $# -eq 0 ] || usage
    [ -x "$DOVECOT" ] || die "dovecot-pop3d is not installed"
    mkdir -p -- "$dir"
    dir=$(cd -- "$dir" && pwd -P)
    if [ -f "$dir/$MARKER" ]; then
        ! server_pid >/dev/null || die "a server already runs in $dir"
    else
        [ -z "$(ls -A -- "$dir")" ] || die "$dir is not empty"
        touch "$dir/$MARKER"
        mkdir -p "$dir/run" "$dir/state" "$dir/home"
        : >"$dir/users"
        write_config "$(free_port)"
        sed -n 's/^    port = //p' "$dir/dovecot.conf" >"$dir/port"
        [ "$(id -u)" -ne 0 ] || chown -R "$PEER_USER": "$dir"
        chmod 0755 "$dir"
    fi
    local port
    port=$(cat "$dir/port")
    as_peer "$DOVECOT" -c "$dir/dovecot.conf" </dev/null || die "dovecot did not start: $(tail -n 5 "$dir/dovecot.log" 2>/dev/null)"
    local tries=0
    until listening "$port"; do
        tries=$((tries + 1))
        [ $tries -le 100 ] || die "dovecot does not listen on $port: $(tail -n 5 "$dir/dovecot.log" 2>/dev/null)"
        sleep 0.1
    done
}

user() {
    [ $# -eq 2 ] || usage
    local name=$1 password=$2
    [[ $name =~ ^[A-Za-z0-9._-]+$ && $password =~ ^[A-Za-z0-9._-]+$ ]] || die "unsupported user name or password"
    [ -f "$dir/$MARKER" ] || die "$dir holds no POP3 server"
    dir=$(cd -- "$dir" && pwd -P)
    local home=$dir/home/$name
    if [ -d "$home" ]; then
        rm -rf -- "$home"
    fi
    as_peer mkdir -p "$home/Maildir/new" "$home/Maildir/cur" "$home/Maildir/tmp"
    # Tests add their mailboxes at the same time: one at a time rewrites the file, which the server
    # reads again whenever it changes.
    (
        flock 9
        local others
        others=$(grep -v "^$name:" "$dir/users" || true)
        printf '%s\n%s:{PLAIN}%s:%s:%s::%s\n' "$others" "$name" "$password" "$(id -u "$peer_owner")" \
            "$(id -g "$peer_owner")" "$home" | sed '/^$/d' >"$dir/users.new"
        mv -f -- "$dir/users.new" "$dir/users"
    ) 9>"$dir/users.lock"
    # The server notices a changed file only a little later.
    if server_pid >/dev/null; then
        can_login "$(cat "$dir/port")" "$name" "$password" || die "the server does not take the login of $name"
    fi
    echo "$home/Maildir"
}

stop() {
    [ -d "$dir" ] || return 0
    [ -f "$dir/$MARKER" ] || die "$dir holds no POP3 server"
    dir=$(cd -- "$dir" && pwd -P)
    local pid
    if pid=$(server_pid); then
        # Sessions in progress outlive the master: they are ended too, as a stopped server's would be.
        local children
        children=$(ps -o pid= --ppid "$pid" || true)
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 100); do
            running "$pid" || break
            sleep 0.05
        done
        local child
        for child in $children; do
            if { tr '\0' ' ' <"/proc/$child/cmdline"; } 2>/dev/null | grep -q '^dovecot/'; then
                kill -KILL "$child" 2>/dev/null || true
            fi
        done
    fi
}

case "$cmd" in
    start) start "$@" ;;
    user) user "$@" ;;
    stop) [ $# -eq 0 ] || usage; stop ;;
    remove) [ $# -eq 0 ] || usage; stop; [ ! -d "$dir" ] || rm -rf -- "$dir" ;;
    *) usage ;;
esac
