#!/usr/bin/env bash
# What leaves the build machine runs without it.
#   selfcontained.sh installed SOURCE BUILD: installs the host, the plug-in and the updater into
#     a fresh root with the shared install scripts, hides BUILD/lib (a private mount
#     namespace), then starts the host with the plug-in (--export --screenshot) and the
#     updater (--check) from the root.
#   selfcontained.sh release SOURCE BUILD: makes a release, unpacks it and finds every ELF
#     file stripped (its debug information in the debug archive beside it) and needing only
#     libraries inside the archive or the system's, with BUILD/lib hidden likewise; the
#     plug-in's libovplatform.so alone comes from the host it is installed with.
# In both, every RUNPATH is $ORIGIN-relative and there is no RPATH.
set -euo pipefail
mode=$1 source=$2 build=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/selfcontained.XXXXXX")
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# Runs "$@" with BUILD/lib replaced by an empty folder, for this process tree only.
without_build_lib() {
    unshare -rm sh -c 'mount -t tmpfs none "$0" && exec "$@"' "$build/lib" "$@"
}
if ! unshare -rm true 2>/dev/null; then
    echo "no private mount namespace here (unshare -rm): cannot hide $build/lib" >&2
    exit 77
fi

elf_files() {
    find "$1" -type f -print0 | while IFS= read -r -d '' file; do
        [ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ] && printf '%s\n' "$file"
    done
}

# check_paths FILE: no RPATH, and each RUNPATH entry starts at $ORIGIN.
check_paths() {
    local dynamic
    dynamic=$(readelf -d "$1")
    ! grep -q '(RPATH)' <<<"$dynamic" || fail "$1 has an RPATH"
    local runpath entry
    runpath=$(sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p' <<<"$dynamic")
    IFS=: read -ra entries <<<"$runpath"
    for entry in "${entries[@]}"; do
        [[ $entry == '$ORIGIN'* ]] || fail "$1 looks for libraries in $entry"
    done
}

case $mode in
installed)
    root=$work/root
    "$source/scripts/install-bundles" "$root" --build "$build" >/dev/null
    "$source/scripts/install-updater" "$root" --build "$build"
    count=0
    while IFS= read -r file; do
        check_paths "$file"
        count=$((count + 1))
    done < <(elf_files "$root")
    [ "$count" -eq 5 ] || fail "expected host, plug-in, updater and one libovplatform.so per app, found $count ELF files"
    [ "$(find "$root" -name libovplatform.so | wc -l)" -eq 2 ] || fail "libovplatform.so is not installed once per application"

    mkdir -p "$work/home"
    printf '\xff\xd8\xff\xd9' >"$work/home/a.jpg"
    export HOME=$work/home OVPIKTO_ROOT=$root OVPIKTO_SERVICE_URL=http://127.0.0.1:1 QT_QPA_PLATFORM=offscreen
    without_build_lib "$root/Applications/iPhoto.app/Contents/MacOS/iPhoto" --library "$work/home" \
        --select "$work/home/a.jpg" --export --screenshot "$work/shot.png" >"$work/host.out" 2>&1 ||
        { cat "$work/host.out" >&2; fail "the installed host did not run"; }
    grep -q 'initWithExportImageObj: Exited OK' "$work/host.out" ||
        { cat "$work/host.out" >&2; fail "the installed plug-in was not loaded"; }
    [ -s "$work/shot.png" ] || fail "no screenshot of the Export page"
    updater="$root/Applications/Оврана.Пикто/Обновить Оврана.Пикто для iPhoto.app/Contents/MacOS/OvPiktoUpdater"
    status=0
    without_build_lib "$updater" --check >"$work/updater.out" 2>&1 || status=$?
    # 2: the feed cannot be reached (nothing serves it here); 127 would be a missing library.
    [ "$status" -eq 2 ] && grep -q '^installed: 1.2.0' "$work/updater.out" ||
        { cat "$work/updater.out" >&2; fail "the installed updater did not run (status $status)"; }
    echo "installed tree of $count ELF files runs without $build/lib"
    ;;
release)
    OVPIKTO_RELEASE_KEYS=$work/keys "$source/scripts/make-release" 1.3.0 --no-build --build "$build" \
        --out "$work/out" >/dev/null
    [ -f "$work/out/OvPikto_1.3.0.debug.zip" ] || fail "no debug archive beside the release"
    mkdir "$work/unpacked" "$work/debug"
    unzip -q "$work/out/OvPikto_1.3.0.zip" -d "$work/unpacked"
    unzip -q "$work/out/OvPikto_1.3.0.debug.zip" -d "$work/debug"
    ! grep -q '\.debug$' <<<"$(unzip -l "$work/out/OvPikto_1.3.0.zip")" || fail "debug files inside the release"
    count=0
    while IFS= read -r file; do
        count=$((count + 1))
        relative=${file#"$work/unpacked/"}
        check_paths "$file"
        sections=$(readelf -S "$file")
        ! grep -qE '\.debug_|\.symtab' <<<"$sections" || fail "$relative is not stripped"
        grep -q '\.gnu_debuglink' <<<"$sections" || fail "$relative names no debug file"
        [ -s "$work/debug/$relative.debug" ] || fail "no debug file for $relative beside the archive"
        # What the build had goes to the debug file (a build without -g has none to keep).
        if grep -q '\.debug_info' <<<"$(readelf -S "$build/bundles/$relative")"; then
            grep -q '\.debug_info' <<<"$(readelf -S "$work/debug/$relative.debug")" ||
                fail "the debug file of $relative lost its debug information"
        fi
        # Every library found lies inside the archive or the system's folders.
        while read -r name arrow path _; do
            [ "$arrow" = '=>' ] || continue
            case $path in
            "$work/unpacked/"* | /lib/* | /usr/lib/* | /lib64/* | /usr/lib64/*) ;;
            'not')
                [ "$name" = libovplatform.so ] && [[ $relative == Ov.Pikto.Export.iPhotoExporter/* ]] ||
                    fail "$relative needs $name, found nowhere" ;;
            *) fail "$relative takes $name from $path" ;;
            esac
        done < <(without_build_lib ldd "$file")
    done < <(elf_files "$work/unpacked")
    [ "$count" -eq 3 ] || fail "expected plug-in, updater and its libovplatform.so, found $count ELF files"
    echo "release of $count stripped ELF files needs only its own and the system's libraries"
    ;;
*) fail "unknown mode $mode" ;;
esac
