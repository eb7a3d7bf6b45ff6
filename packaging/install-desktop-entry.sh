#!/usr/bin/env bash
# Puts ZAVO into the current user's application menu: a desktop entry that
# starts the program of a program folder, with the program's icon.
#
#   install-desktop-entry.sh [PROGRAM_FOLDER]   the folder of the executable `zavo`;
#                                               default: the folder of this script
#   install-desktop-entry.sh --remove           takes the entry out of the menu
set -euo pipefail
apps="${XDG_DATA_HOME:-$HOME/.local/share}/applications"
entry="$apps/zavo.desktop"
if [ "${1:-}" = "--remove" ]; then
    rm -f "$entry"
    echo "Removed $entry"
    exit 0
fi
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
dir="$(cd "${1:-$here}" && pwd)"
if [ ! -x "$dir/zavo" ]; then
    echo "No program in $dir: it holds no executable 'zavo'." >&2
    exit 1
fi
# The entry quotes the path; these characters would need escapes that not
# every menu reads alike.
case "$dir" in
    *[\"\`\$\\]*)
        echo "The folder's path holds one of \" \` \$ \\: move the program folder." >&2
        exit 1
        ;;
esac
# An installed folder carries its icon; the source tree keeps it beside this script.
icon="$dir/zavo.svg"
[ -f "$icon" ] || icon="$here/zavo.svg"
mkdir -p "$apps"
cat >"$entry.new" <<EOF
[Desktop Entry]
Type=Application
Name=ZAVO
GenericName=AF demagnetizer
Comment=Operator program of the alternating-field coil unit
Exec="${dir//%/%%}/zavo"
Icon=$icon
Terminal=false
Categories=Science;Physics;
EOF
mv -f "$entry.new" "$entry"
command -v update-desktop-database >/dev/null && update-desktop-database -q "$apps" || true
echo "Added $entry: ZAVO starts $dir/zavo"
