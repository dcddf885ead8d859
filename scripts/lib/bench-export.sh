# Sourced by scripts/bench: the export benchmark.
# bench_export: 50 photos of 4 MiB exported through the plug-in in the host (offscreen,
# driven by pikto-export-driver: from pressing Export to the results page) against
# `pikto upload` of the same files to the same service in the same run; best of two
# rounds each. Prints the wall-time ratio and the plug-in's overhead per photo.
# OVPIKTO_BENCH_SERVICE names another pikto-service executable to measure against.
# Uses now, calc, figure, start_service and $jobs of scripts/bench.
bench_export() {
    local count=50 size=$((4 * 1024 * 1024)) rounds=2
    cmake --build build-bench -j "$jobs" --target pikto pikto-service ovpikto_bundles \
        pikto-export-driver >/dev/null
    local work
    work=$(mktemp -d "${TMPDIR:-/tmp}/pikto-bench-export.XXXXXX")
    service_pid=""
    # shellcheck disable=SC2064
    trap "[ -n \"\$service_pid\" ] && kill \$service_pid 2>/dev/null; wait 2>/dev/null; rm -rf '$work' \"\${results:-}\"" EXIT
    mkdir -p "$work/root" "$work/home" "$work/tmp" "$work/photos"
    export OVPIKTO_ROOT="$work/root" HOME="$work/home" TMPDIR="$work/tmp"
    start_service "${OVPIKTO_BENCH_SERVICE:-build-bench/bin/pikto-service}" "$work/data" \
        --user bench:bench-password
    export OVPIKTO_SERVICE_URL="$origin" PIKTO_PASSWORD=bench-password
    scripts/install-bundles "$OVPIKTO_ROOT" --build build-bench >/dev/null
    local pikto=(build-bench/bin/pikto --service "$origin" --login bench)
    local title="Export bench"
    local album
    album=$("${pikto[@]}" album create --title "$title")

    local i
    for i in $(seq -w 1 "$count"); do
        { printf '\xff\xd8\xff\xe0'; head -c $((size - 6)) /dev/urandom; printf '\xff\xd9'; } \
            >"$work/photos/photo$i.jpg"
    done

    local best_cli="" best_gui="" start end t
    for round in $(seq "$rounds"); do
        start=$(now)
        "${pikto[@]}" upload --album "$album" "$work"/photos/*.jpg >"$work/pikto.out" 2>"$work/pikto.err" ||
            { echo "pikto upload failed:" >&2; cat "$work/pikto.err" >&2; exit 1; }
        end=$(now)
        t=$(calc "$end - $start")
        if [ -z "$best_cli" ] || [ "$(calc "$t < $best_cli")" = 1 ]; then best_cli=$t; fi

        OVPIKTO_MAIN_BUNDLE="$OVPIKTO_ROOT/Applications/iPhoto.app" QT_QPA_PLATFORM=offscreen \
            build-bench/bin/pikto-export-driver bench --library "$work/photos" --login bench \
            --password bench-password --album "$title" "$work"/photos/*.jpg \
            >"$work/driver.out" 2>"$work/driver.err" ||
            { echo "the export through the host failed:" >&2; tail -n 20 "$work/driver.err" >&2; exit 1; }
        t=$(sed -n 's/^export seconds: //p' "$work/driver.out")
        if [ -z "$best_gui" ] || [ "$(calc "$t < $best_gui")" = 1 ]; then best_gui=$t; fi
    done

    local ratio overhead
    ratio=$(calc "$best_gui / $best_cli")
    overhead=$(calc "($best_gui - $best_cli) * 1000 / $count")
    echo "== export: $count photos of $((size / 1048576)) MiB to $origin, best of $rounds rounds"
    printf '  pikto upload (process):          %6.2f s\n' "$best_cli"
    printf '  plug-in export (Export..results): %6.2f s\n' "$best_gui"
    figure "wall-time ratio plug-in/pikto" "$ratio" "x" "<=" 1.15
    figure "overhead per photo" "$overhead" "ms" "<=" 20
    kill "$service_pid" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
    service_pid=""
}
