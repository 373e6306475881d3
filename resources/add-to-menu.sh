#!/bin/sh
# Adds Dedicated Server Starter to the applications menu: an entry that
# starts the launcher copied into the game's folder, in that folder, where
# the server reads its default map. A bare Exec= would need the launcher on
# PATH and would run it in the home folder.
#
#     ./add-to-menu.sh GAME-FOLDER
set -eu

if [ "$#" -ne 1 ]; then
    echo "Usage: $0 GAME-FOLDER (the folder of Quarnvale.exe and dedicated-server-starter)" >&2
    exit 2
fi
game=$(cd -- "$1" && pwd)
launcher=$game/dedicated-server-starter
if [ ! -x "$launcher" ]; then
    echo "$0: $launcher is missing: copy bin/dedicated-server-starter into the game's folder first" >&2
    exit 1
fi
# A desktop entry holds UTF-8 text without control characters.
if ! printf '%s' "$game" | iconv -f UTF-8 -t UTF-8 >/dev/null 2>&1 ||
    [ "$(printf '%s' "$game" | tr -d '[:cntrl:]')" != "$game" ]; then
    echo "$0: a menu entry cannot name the folder $game" >&2
    exit 1
fi

# Values of a desktop entry write a backslash as \\. Exec= quotes the
# program in double quotes, where " ` $ and \ take a backslash, and writes
# % as %%.
path_value=$(printf '%s' "$game" | sed 's/\\/\\\\/g')
exec_value=$(printf '%s' "$launcher" | sed 's/[\\"`$]/\\&/g; s/%/%%/g; s/\\/\\\\/g')
# GLib (gio launch, the menus of GNOME, Xfce and others) looks for the
# program before it turns %% back into %, so a launcher whose path has a %
# is started through sh, which GLib finds; to every reader of the entry that
# is the same command.
# shellcheck disable=SC2016 # $0 is for sh
case $launcher in
*%*) program='/bin/sh -c "exec \\"\\$0\\"" ' ;;
*) program= ;;
esac

here=$(cd -- "$(dirname -- "$0")" && pwd)
data=${XDG_DATA_HOME:-$HOME/.local/share}
entry=$data/applications/dedicated-server-starter.desktop
mkdir -p "$data/applications" "$data/icons"
cp -R "$here/share/icons/hicolor" "$data/icons/"
while IFS= read -r line; do
    case $line in
    Exec=*) printf 'Exec=%s"%s"\nPath=%s\n' "$program" "$exec_value" "$path_value" ;;
    *) printf '%s\n' "$line" ;;
    esac
done <"$here/share/applications/dedicated-server-starter.desktop" >"$entry"
echo "Added $entry"
