# Runs an end-to-end script inside a private network namespace of its own. Source it after
# setting PEERS (tests/peers), define namespace_setup and namespace_teardown if the script needs
# servers (they run outside, with NS and W set), then call namespace_enter "$0" "$@" first thing.
# Outside the namespace it needs root (else the script counts as skipped), makes the namespace NS
# and a work folder W, runs namespace_setup, runs the script again inside NS and cleans up after
# it. Inside, it returns at once with NS and W set.
namespace_enter() {
    [ "${KRONVIK_INSIDE_NS:-}" = 1 ] && return 0
    [ "$(id -u)" = 0 ] || { echo "skipped: needs root for network namespaces"; exit 77; }
    NS=kronvik-e2e-$$
    W=$(mktemp -d /tmp/kronvik-e2e.XXXXXX)
    trap 'declare -F namespace_teardown >/dev/null && namespace_teardown; "$PEERS/netns-delete.sh" "$NS"; rm -rf "$W"' EXIT
    "$PEERS/netns-create.sh" "$NS" || exit 1
    if declare -F namespace_setup >/dev/null; then namespace_setup || exit 1; fi
    KRONVIK_INSIDE_NS=1 NS=$NS W=$W ip netns exec "$NS" "$@"
    exit $?
}
