# Sourced by scripts/demo: the export through the host's window.
# demo_gui_build: builds the host, the plug-in bundle and the walk-through driver.
# demo_gui HEADLESS: installs host and plug-in under $OVPIKTO_ROOT, then starts the host
#   with the sample photos of $work/photos selected and the Export dialog open on the
#   plug-in's page. HEADLESS=0: a person takes it from there (sign in as demo with the
#   password in $PIKTO_PASSWORD); the demo goes on when the host is closed. HEADLESS=1:
#   the same under Xvfb, walked through by pikto-export-driver (sign in, new album,
#   export, results); each step's screenshot is kept under build/demo-screenshots/.
# Uses $work, $origin, $jobs and $PIKTO_PASSWORD of scripts/demo.

demo_gui_build() {
    cmake --build build -j "$jobs" --target ovpikto_bundles pikto-export-driver
}

demo_gui() {
    local headless=$1
    step "Installing the host and the plug-in under $OVPIKTO_ROOT"
    scripts/install-bundles "$OVPIKTO_ROOT" --build build >/dev/null
    export OVPIKTO_SERVICE_URL="$origin"
    local app="$OVPIKTO_ROOT/Applications/iPhoto.app"
    local photos=("$work"/photos/*.jpg)

    if [ "$headless" != 1 ]; then
        step "The host, with the photos selected and the Export dialog on the plug-in's page"
        echo "sign in as demo, password $PIKTO_PASSWORD; pick or create an album, press Export"
        echo "(close the host window to go on)"
        "$app/Contents/MacOS/iPhoto" --library "$work/photos" --select "${photos[@]}" --export
        return
    fi

    step "The host under Xvfb, walked through: sign in, new album, export, results"
    local shots
    shots="$(pwd)/build/demo-screenshots"
    rm -rf "$shots"
    mkdir -p "$shots"
    OVPIKTO_MAIN_BUNDLE="$app" QT_QPA_PLATFORM=xcb \
        xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" \
        build/bin/pikto-export-driver walkthrough --library "$work/photos" \
        --login demo --password "$PIKTO_PASSWORD" --album "Demo album from iPhoto" \
        --shots "$shots" "${photos[@]}" 2>"$work/walkthrough.log" | tee "$work/walkthrough.out" ||
        { echo "the walk-through failed:" >&2; tail -n 20 "$work/walkthrough.log" >&2; return 1; }
    local gui_page
    gui_page=$(sed -n 's/^album page: //p' "$work/walkthrough.out")
    [ -n "$gui_page" ] || { echo "the walk-through printed no album page" >&2; return 1; }
    curl -fsS ${OVPIKTO_CA_FILE:+--cacert "$OVPIKTO_CA_FILE"} "$gui_page" >"$work/gui-page.html"
    local name
    for name in "${photos[@]}"; do
        grep -q "<span class=\"name\">$(basename "$name")</span>" "$work/gui-page.html" ||
            { echo "the album page does not list $(basename "$name")" >&2; return 1; }
    done
    echo "every photo is on the album page $gui_page"
}
