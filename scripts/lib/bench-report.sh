# Sourced by scripts/bench: how figures are summed up and printed.

# median_spread VALUE...: prints "MEDIAN MIN MAX" of the values.
median_spread() {
    printf '%s\n' "$@" | sort -g | awk '
        { v[NR] = $1 }
        END {
            m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
            print m, v[1], v[NR]
        }'
}

# figure LABEL VALUE UNIT OP BOUND [NOTE]: one line with the figure beside its bound and
# whether it is met; OP is <= or <. Returns 0 either way (a bench reports, it does not fail).
figure() {
    local label=$1 value=$2 unit=$3 op=$4 bound=$5 note=${6:-}
    local verdict
    verdict=$(awk -v v="$value" -v b="$bound" -v op="$op" \
        'BEGIN { ok = (op == "<") ? (v < b) : (v <= b); print ok ? "met" : "NOT MET" }')
    printf '  %-40s %9.3f %-4s bound %s %s %-4s %-7s %s\n' "$label" "$value" "$unit" "$op" \
        "$bound" "$unit" "$verdict" "$note"
}
