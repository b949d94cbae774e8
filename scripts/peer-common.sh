# Shared by the scripts that run test peers (smtp-sink.sh, pop3-server.sh). Sourced with the
# script's arguments once PEER (its name in messages) and USAGE are set: checks "COMMAND DIR ...",
# sets cmd and dir, leaves the other arguments in peer_args, and runs the peer as "nobody" when
# called by root (as_peer, peer_owner).
PEER_USER=nobody

die() { echo "$PEER: $*" >&2; exit 1; }
usage() { echo "usage: $0 $USAGE" >&2; exit 2; }

[ $# -ge 2 ] || usage
cmd=$1
dir=$2
peer_args=("${@:3}")
case "$dir" in
    ''|*[!A-Za-z0-9/._-]*) die "unsupported folder name: '$dir'" ;;
esac

if [ "$(id -u)" -eq 0 ]; then
    id "$PEER_USER" >/dev/null 2>&1 || die "no '$PEER_USER' user to run the $PEER"
    as_peer() { runuser -u "$PEER_USER" -- "$@"; }
    peer_owner=$PEER_USER
else
    as_peer() { "$@"; }
    peer_owner=$(id -un)
fi

# Alive, and not a zombie that nobody reaps.
running() {
    local state
    state=$(ps -o stat= -p "$1" 2>/dev/null) && [[ $state != Z* ]]
}
