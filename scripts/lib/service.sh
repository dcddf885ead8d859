# Sourced by the scripts that run pikto-service in the background.
# start_service BINARY DATA [ARGS...]: starts BINARY on a free loopback port with its data
# in DATA (its log in DATA.log), waits for its "listening on" line, and sets
# service_pid and origin. Returns 1 with the log on standard error when it does not start.
start_service() {
    local binary=$1 data=$2
    shift 2
    "$binary" --port 0 --data "$data" "$@" >"$data.log" 2>&1 &
    service_pid=$!
    origin=""
    for _ in $(seq 200); do
        origin=$(sed -n 's/^pikto-service listening on \(https\{0,1\}:[^ ]*\).*/\1/p' "$data.log")
        [ -n "$origin" ] && return 0
        kill -0 "$service_pid" 2>/dev/null || break
        sleep 0.05
    done
    echo "pikto-service did not start:" >&2
    cat "$data.log" >&2
    return 1
}
