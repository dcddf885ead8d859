# Sourced by scripts/bench: how cost grows with the number of photos.
# bench_export_scale: 1,000 photos of 100 KB exported through the plug-in in the host
# (offscreen, pikto-export-driver) and sent by `pikto upload`, each against a service of
# its own. The time per photo is read from when the service stored each one (its files'
# modification times), so start-up and sign-in stay out of it: the last hundred photos
# must take no longer each than the first hundred (within 10 %). The peak memory of each
# must stay within 10 MiB of the same run with 100 photos.
# Uses now, calc, figure, start_service, run_measured and $jobs of scripts/bench.
bench_export_scale() {
    local count=1000 small=100 size=$((100 * 1000))
    cmake --build build-bench -j "$jobs" --target pikto pikto-service ovpikto_bundles \
        pikto-export-driver >/dev/null
    local work
    work=$(mktemp -d "${TMPDIR:-/tmp}/pikto-bench-scale.XXXXXX")
    service_pid=""
    # shellcheck disable=SC2064
    trap "[ -n \"\$service_pid\" ] && kill \$service_pid 2>/dev/null; wait 2>/dev/null; rm -rf '$work' \"\${results:-}\"" EXIT
    mkdir -p "$work/root" "$work/home" "$work/tmp" "$work/photos"
    export OVPIKTO_ROOT="$work/root" HOME="$work/home" TMPDIR="$work/tmp" PIKTO_PASSWORD=bench-password
    scripts/install-bundles "$OVPIKTO_ROOT" --build build-bench >/dev/null
    local i
    for i in $(seq -w 1 "$count"); do
        { printf '\xff\xd8\xff\xe0'; head -c $((size - 6)) /dev/urandom; printf '\xff\xd9'; } \
            >"$work/photos/photo$i.jpg"
    done
    local all=("$work"/photos/*.jpg)

    # scale_run WAY N: sends the first N photos one way (plug-in or pikto) to a fresh
    # service; sets run_first and run_last (ms a photo over the first and last hundred
    # stores), run_peak (MiB) and run_seconds.
    scale_run() {
        local way=$1 n=$2 run=$work/run-$1-$2
        mkdir -p "$run"
        start_service build-bench/bin/pikto-service "$run/data" --user bench:bench-password
        export OVPIKTO_SERVICE_URL="$origin"
        local title="Scale bench" album start
        album=$(build-bench/bin/pikto --service "$origin" --login bench album create --title "$title")
        start=$(now)
        if [ "$way" = plug-in ]; then
            OVPIKTO_MAIN_BUNDLE="$OVPIKTO_ROOT/Applications/iPhoto.app" QT_QPA_PLATFORM=offscreen \
                run_measured "$run/peak" build-bench/bin/pikto-export-driver bench \
                --library "$work/photos" --login bench --password bench-password --album "$title" \
                "${all[@]:0:n}" >"$run/out" 2>"$run/err" ||
                { echo "the export through the host failed:" >&2; tail -n 20 "$run/err" >&2; exit 1; }
        else
            run_measured "$run/peak" build-bench/bin/pikto --service "$origin" --login bench \
                upload --album "$album" "${all[@]:0:n}" >"$run/out" 2>"$run/err" ||
                { echo "pikto upload failed:" >&2; tail -n 20 "$run/err" >&2; exit 1; }
        fi
        run_seconds=$(calc "$(now) - $start")
        kill "$service_pid" 2>/dev/null || true
        wait "$service_pid" 2>/dev/null || true
        service_pid=""
        local stored
        stored=$(find "$run/data/photos" -maxdepth 1 -type f -name '*.jpg' | wc -l)
        [ "$stored" -eq "$n" ] || { echo "$way: the service stored $stored of $n photos" >&2; exit 1; }
        read -r run_first run_last < <(find "$run/data/photos" -maxdepth 1 -type f -name '*.jpg' \
            -printf '%T@\n' | sort -g | awk '
                { t[NR] = $1 }
                END {
                    if (NR <= 100) { print 0, 0; exit }
                    printf "%.3f %.3f\n", (t[101] - t[1]) * 10, (t[NR] - t[NR - 100]) * 10
                }')
        run_peak=$(calc "$(cat "$run/peak") / 1024")
        rm -rf "$run"
    }

    echo "== scale, export: $count photos of $((size / 1000)) KB (load: $(cut -d' ' -f1-3 /proc/loadavg))"
    local way small_peak
    for way in plug-in pikto; do
        scale_run "$way" "$small"
        small_peak=$run_peak
        scale_run "$way" "$count"
        printf '  %-7s %d photos in %.1f s; ms a photo: first hundred %.2f, last hundred %.2f\n' \
            "$way" "$count" "$run_seconds" "$run_first" "$run_last"
        figure "$way: last/first hundred, a photo" "$(calc "$run_last / $run_first")" "x" "<=" 1.10
        figure "$way: peak over a $small-photo run" "$(calc "$run_peak - $small_peak")" "MiB" "<=" 10 \
            "($(printf '%.1f' "$run_peak") MiB against $(printf '%.1f' "$small_peak") MiB)"
    done
    unset OVPIKTO_SERVICE_URL PIKTO_PASSWORD
}
