# Sourced by scripts/bench: the sync line of the upload group.
# bench_sync: `pikto sync` of a folder of 1,000 small photos of which 990 are in the album's
# record already (recorded by a first sync), against a bound of 2 s, printed beside the time
# `pikto upload` takes to send the 10 new photos alone (sign-in and album check included in
# both). Uses now, calc, start_service and $jobs of scripts/bench.
bench_sync() {
    local count=1000 new=10 size=2048 bound=2
    cmake --build build-bench -j "$jobs" --target pikto pikto-service >/dev/null
    local work
    work=$(mktemp -d "${TMPDIR:-/tmp}/pikto-bench-sync.XXXXXX")
    service_pid=""
    # shellcheck disable=SC2064
    trap "[ -n \"\$service_pid\" ] && kill \$service_pid 2>/dev/null; wait 2>/dev/null; rm -rf '$work' \"\${results:-}\"" EXIT
    mkdir -p "$work/home" "$work/state" "$work/photos" "$work/new"
    export HOME="$work/home" XDG_STATE_HOME="$work/state" PIKTO_PASSWORD=bench-password
    start_service build-bench/bin/pikto-service "$work/data" --user bench:bench-password
    local pikto=(build-bench/bin/pikto --service "$origin" --login bench) album other
    album=$("${pikto[@]}" album create --title "Sync bench")
    other=$("${pikto[@]}" album create --title "Upload bench")

    head -c $((count * size)) /dev/urandom |
        split -b "$size" -a 4 -d --additional-suffix=.jpg - "$work/photos/photo"
    # The last ten (photo0990 to photo0999) wait aside while the first sync records the others.
    mv "$work"/photos/photo099?.jpg "$work/new/"
    local start end first
    start=$(now)
    "${pikto[@]}" sync "$work/photos" --album "$album" >"$work/first.out" 2>&1 ||
        { echo "the first pikto sync failed:" >&2; cat "$work/first.out" >&2; exit 1; }
    first=$(calc "$(now) - $start")

    start=$(now)
    "${pikto[@]}" upload --album "$other" "$work"/new/*.jpg >"$work/upload.out" 2>&1 ||
        { echo "pikto upload failed:" >&2; cat "$work/upload.out" >&2; exit 1; }
    end=$(now)
    local upload
    upload=$(calc "$end - $start")

    mv "$work"/new/*.jpg "$work/photos/"
    start=$(now)
    "${pikto[@]}" sync "$work/photos" --album "$album" >"$work/sync.out" 2>&1 ||
        { echo "pikto sync failed:" >&2; cat "$work/sync.out" >&2; exit 1; }
    end=$(now)
    local sync
    sync=$(calc "$end - $start")
    grep -q "^sent $new, already there $((count - new)), set aside 0, failed 0$" "$work/sync.out" ||
        { echo "pikto sync sent other than the $new new photos:" >&2; cat "$work/sync.out" >&2; exit 1; }
    kill "$service_pid" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
    service_pid=""
    unset XDG_STATE_HOME PIKTO_PASSWORD

    echo "== sync: $count photos of $((size / 1024)) KiB, $((count - new)) of them recorded (the first sync took $(printf '%.1f' "$first") s)"
    printf '  pikto upload of the %d new:     %6.2f s\n' "$new" "$upload"
    printf '  pikto sync of all %d:         %6.2f s  (bound %d s): %s\n' "$count" "$sync" "$bound" \
        "$([ "$(calc "$sync < $bound")" = 1 ] && echo met || echo MISSED)"
}
