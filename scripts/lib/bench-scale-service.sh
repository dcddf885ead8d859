# Sourced by scripts/bench (needs start_service from service.sh, and $jobs).
# bench_scale_service: one pikto-service data folder filled with 100,000 photos in 1,000 albums
# of one account straight through the service's storage code, then the service started on it:
# start-up time to its first answer against 2 s, and the p95 of the album list API, an album
# page, the user page, the home page, a photo page and an upload against 50 ms each.
# OVPIKTO_SCALE_PHOTOS / OVPIKTO_SCALE_ALBUMS change the size (for a quick look). Returns 1 when
# a request fails or a bound is not met.
bench_scale_service() {
    local photos=${OVPIKTO_SCALE_PHOTOS:-100000} albums=${OVPIKTO_SCALE_ALBUMS:-1000}
    local token=bench-scale-token login=scale
    cmake --build build-bench -j "$jobs" --target pikto-service bench_service_scale >/dev/null
    local work
    work=$(mktemp -d /tmp/ovpikto-scale.XXXXXX)
    echo "service at scale: $photos photos in $albums albums of one account"
    local filled
    local fill_start fill_end
    fill_start=$(date +%s.%N)
    filled=$(build-bench/bin/bench_service_scale --fill "$work/data" --photos "$photos" \
        --albums "$albums" --login "$login")
    fill_end=$(date +%s.%N)
    printf '  filled in %.1f s\n' "$(awk "BEGIN { print $fill_end - $fill_start }")"
    local album photo
    album=$(sed -n 's/^album //p' <<<"$filled")
    photo=$(sed -n 's/^photo //p' <<<"$filled")

    # Start-up: from launch to the first answer of the home page.
    local started answered status=0 missed=0
    started=$(date +%s.%N)
    start_service build-bench/bin/pikto-service "$work/data" --token "$login:$token" \
        --sign-in-limit 0 || status=1
    if [ "$status" = 0 ]; then
        until curl -fsS -o /dev/null "$origin/"; do
            kill -0 "$service_pid" 2>/dev/null || { status=1; break; }
            sleep 0.01
        done
    fi
    answered=$(date +%s.%N)
    local startup_ms
    startup_ms=$(awk "BEGIN { printf \"%.0f\", ($answered - $started) * 1000 }")
    printf '  start-up to the first answer: %s ms (bound 2000 ms): %s\n' "$startup_ms" \
        "$([ "$startup_ms" -le 2000 ] && echo met || echo 'not met')"
    [ "$startup_ms" -le 2000 ] || missed=1

    if [ "$status" = 0 ]; then
        local figures
        if figures=$(build-bench/bin/bench_service_scale --origin "$origin" --login "$login" \
            --token "$token" --album "$album" --photo "$photo" --requests 200); then :; else
            status=1
        fi
        while read -r _ kind ms; do
            printf '  %-15s p95 %6.1f ms (bound 50 ms): %s\n' "$kind" "$ms" \
                "$(awk "BEGIN { print ($ms <= 50) ? \"met\" : \"not met\" }")"
            awk "BEGIN { exit !($ms <= 50) }" || missed=1
        done <<<"$figures"
        printf '  pikto-service resident memory: %s MiB\n' \
            "$(awk '/^VmHWM:/ { printf "%.1f", $2 / 1024 }' "/proc/$service_pid/status")"
        kill "$service_pid"
        wait "$service_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
    [ "$missed" = 0 ] || status=1
    return "$status"
}
