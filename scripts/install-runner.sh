#!/bin/sh
# Installs a systemd user service that runs a show file from boot:
#   scripts/install-runner.sh SHOWFILE [NAME]
# The service restarts the runner when it fails or stops answering the
# watchdog, and starts at boot without anyone logging in (lingering).
# Remove it with: systemctl --user disable --now kestrova-NAME.service
set -eu

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 SHOWFILE [NAME]" >&2
    exit 2
fi
show=$(readlink -f "$1")
name=${2:-$(basename "$show" .json)}
case "$name" in
    *[!A-Za-z0-9_.-]*|"") echo "$0: NAME may hold letters, digits, '.', '_' and '-' only" >&2; exit 2 ;;
esac
cli=$(command -v kestrova-cli || true)
[ -n "$cli" ] || cli=$(readlink -f "$(dirname "$0")/../build/src/cli/kestrova-cli" 2>/dev/null || true)
if [ -z "$cli" ] || [ ! -x "$cli" ]; then
    echo "$0: kestrova-cli not found (install it, or build it first)" >&2
    exit 2
fi

# The show file is checked now, not at the next boot.
"$cli" run "$show" --check

unit_dir=${XDG_CONFIG_HOME:-$HOME/.config}/systemd/user
unit="$unit_dir/kestrova-$name.service"
mkdir -p "$unit_dir"
cat > "$unit" <<UNIT
[Unit]
Description=Kestrova show runner ($name)
After=sound.target

[Service]
Type=notify
NotifyAccess=main
ExecStart="$cli" run "$show"
WatchdogSec=10
Restart=on-failure
RestartSec=5
KillSignal=SIGTERM
TimeoutStopSec=10
Environment=QT_QPA_PLATFORM=offscreen

[Install]
WantedBy=default.target
UNIT
echo "Wrote $unit"

if [ "${KESTROVA_NO_SYSTEMCTL:-}" = 1 ]; then
    exit 0
fi
systemctl --user daemon-reload
systemctl --user enable --now "kestrova-$name.service"
# Lingering starts the user's services at boot, before anyone logs in.
loginctl enable-linger "$(id -un)" 2>/dev/null || echo "Note: 'loginctl enable-linger $(id -un)' (as root) makes it start at boot without a login."
systemctl --user --no-pager status "kestrova-$name.service" || true
