#!/usr/bin/env bash
# Starts the real program under Xvfb in a fresh run directory and captures each of the
# four windows and a message box into docs/screenshots/. Needs a built build/keyvora.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out="$top/docs/screenshots"
run=$(mktemp -d)
display=:$((90 + RANDOM % 50))
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$run"' EXIT

cp "$top/build/keyvora" "$run/"
"$top/build/tools/keyvora-store" init "$run" >/dev/null
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp &>/dev/null &
export DISPLAY=$display QT_QPA_PLATFORM=xcb
sleep 1
"$run/keyvora" &>/dev/null &

window() {  # window TITLE-REGEX: the id of the first visible window with that title
  for _ in $(seq 1 300); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) && [ -n "$id" ] && { echo "$id"; return; }
    sleep 0.1
  done
  echo "no window $1" >&2; exit 1
}
shot() { sleep 0.5; /usr/bin/import -window "$1" "$out/$2.png"; }
keys() { xdotool windowfocus --sync "$1"; shift; xdotool key --delay 40 "$@"; }
type_in() { xdotool windowfocus --sync "$1"; xdotool type --delay 30 "$2"; }
click() { xdotool mousemove --window "$1" "$2" "$3" click 1; }

login=$(window '^Keyvora-')
shot "$login" login

click "$login" 285 158                       # 新建
newuser=$(window '^新建用户$')
type_in "$newuser" alice; keys "$newuser" Tab
type_in "$newuser" 'secret1'; keys "$newuser" Tab
type_in "$newuser" 'secret1'
shot "$newuser" new-user
keys "$newuser" Return
box=$(window '^信息：$')
shot "$box" message-box
keys "$box" Return

type_in "$login" alice; keys "$login" Tab; type_in "$login" secret1; keys "$login" Return
main=$(window '^Keyvora --by')
for record in "mail.example.org:alice01:work mail" "bank:alice.w:savings" "shop:alice_w:"; do
  IFS=: read -r user pass remark <<<"$record"
  click "$main" 342 42                       # 添加
  type_in "$main" "$user"; keys "$main" Tab; type_in "$main" "$pass"; keys "$main" Tab
  [ -n "$remark" ] && type_in "$main" "$remark"
  click "$main" 289 100                      # the panel's 添加
  sleep 0.3
done
shot "$main" main

click "$main" 342 178                        # 返回
sleep 0.5
click "$login" 276 84                        # 管理用户
admin=""                                      # its title is empty
for _ in $(seq 1 100); do
  for id in $(xdotool search --onlyvisible --class keyvora 2>/dev/null); do
    [ "$id" != "$login" ] && case "$(xdotool getwindowname "$id")" in ""|keyvora) admin=$id ;; esac
  done
  [ -n "$admin" ] && break; sleep 0.1
done
shot "$admin" user-admin
keys "$admin" Escape
keys "$login" Escape
echo "screenshots written to $out"
