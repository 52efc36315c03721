#!/usr/bin/env bash
# The project's Wine, the same for ctest's tests and for the scenarios: a prefix whose COM1 and
# COM2 are links in a folder of ours, and Windows programs run in it with one environment.
#
#   wine.sh prefix PORTS_DIR MODEM_LINES_SO   makes $WINEPREFIX (or sets up an existing one):
#                                             COM1 and COM2 are PORTS_DIR/COM1 and PORTS_DIR/COM2,
#                                             MODEM_LINES_SO is preloaded into every Wine process
#   wine.sh com N TARGET                      points COMn at TARGET (which need not exist)
#   wine.sh restart                           starts the server and services afresh, on $DISPLAY
#   wine.sh look 10|11 light|dark PERCENT     the Windows version Wine reports, light or dark
#                                             apps, the display's scale (LogPixels = 96 x PERCENT%)
#   wine.sh run PROGRAM [ARG ...]             runs PROGRAM (execs wine: the same process id)
#       [--path DIR ...]                      before PROGRAM: folders for WINEPATH, where the
#                                             program's libraries are
#   wine.sh end                               ends the prefix's server and every program in it
#
# WINEPREFIX must be set, to an absolute path; every command but prefix needs one that prefix set
# up. The environment of every Wine process: WINEDEBUG=-all (unless set), no Mono or Gecko
# (WINEDLLOVERRIDES=mscoree,mshtml=, whose installers would ask), LANG=C.UTF-8, the modem lines
# preloaded, and no TOLVANE_COMn of the caller's.
#
# Two things of Wine's own are set here, not in the panel. Wine's mount manager points COM1 at
# /dev/ttyS0 whenever its services start, whatever link was put in dosdevices: COM1 and COM2 are
# named in the registry (HKLM\Software\Wine\Ports) instead. And Wine's serial wait fails on a
# device without modem lines, as a pseudo-terminal is: pty_modem_lines.so lends them.
set -euo pipefail

fail() {
  echo "wine.sh: $*" >&2
  exit 1
}
quietly() { timeout 120 "$@" >/dev/null 2>&1; }

[ $# -ge 1 ] || fail "usage: wine.sh prefix|com|restart|look|run|end ... (see the script's head)"
command=$1
shift
case ${WINEPREFIX:-} in
  /*) ;;
  *) fail "WINEPREFIX must be an absolute path, not '${WINEPREFIX:-}'" ;;
esac
command -v wine >/dev/null || fail "Wine is not installed (tools/install-deps.sh --wine)"
settings=$WINEPREFIX/tolvane-wine.env # what prefix set, read by every later command

export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8
unset LC_ALL WINEPATH # Windows finds libraries beside the program, or where run --path says
for variable in ${!TOLVANE_COM@}; do
  unset "$variable"
done

case $command in
  prefix)
    [ $# -eq 2 ] || fail "usage: wine.sh prefix PORTS_DIR MODEM_LINES_SO"
    ports=$(realpath -m "$1")
    preload=$(realpath -e "$2") || fail "no modem lines library $2"
    ;;
  end) preload= ;;
  *)
    [ -f "$settings" ] || fail "$WINEPREFIX is no prefix of ours: wine.sh prefix sets it up"
    # shellcheck source=/dev/null
    source "$settings"
    ;;
esac
export LD_PRELOAD=$preload

# restart [WINEBOOT_OPTION]: the server and the services, started with no output of ours: they
# outlive the program that starts them and would hold its output open (ctest would wait for a
# test until its timeout).
restart() {
  quietly wineserver -k || true
  quietly wineserver -p || fail "wineserver did not start"
  quietly wineboot "$@" || fail "wineboot $* failed"
}

case $command in
  prefix)
    started=$SECONDS
    mkdir -p "$WINEPREFIX" "$ports"
    unset DISPLAY # no window of Wine's anywhere while the prefix is made
    restart --init
    for port in 1 2; do
      quietly wine reg add 'HKLM\Software\Wine\Ports' /v "COM$port" /d "$ports/COM$port" /f ||
        fail "could not name COM$port in the registry"
    done
    # The mount manager reads the names when the services start.
    restart
    for port in 1 2; do
      device=$(readlink "$WINEPREFIX/dosdevices/com$port") || device="nothing"
      [ "$device" = "$ports/COM$port" ] ||
        fail "COM$port of the prefix is $device, not $ports/COM$port"
    done
    printf 'ports=%q\npreload=%q\n' "$ports" "$preload" >"$settings"
    echo "wine: $WINEPREFIX made in $((SECONDS - started)) s ($(wine --version)), COM1 and COM2 in $ports"
    ;;
  com)
    if [ $# -ne 2 ] || [[ ! $1 =~ ^[12]$ ]]; then fail "usage: wine.sh com 1|2 TARGET"; fi
    ln -sfn "$2" "$ports/COM$1"
    ;;
  restart)
    [ $# -eq 0 ] || fail "usage: wine.sh restart"
    restart
    ;;
  look)
    if [ $# -ne 3 ] || [[ ! $1 =~ ^1[01]$ || ! $2 =~ ^(light|dark)$ ]] ||
      [[ ! $3 =~ ^[1-9][0-9]{1,2}$ ]]; then
      fail "usage: wine.sh look 10|11 light|dark PERCENT"
    fi
    quietly wine winecfg -v "win$1" || fail "winecfg could not set Windows $1"
    light=$([ "$2" = light ] && echo 1 || echo 0)
    dpi=$(printf %08x $((96 * $3 / 100)))
    # One import for the rest: each Wine program started costs a second or so.
    printf '%s\n' REGEDIT4 '' \
      '[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize]' \
      "\"AppsUseLightTheme\"=dword:0000000$light" \
      '[HKEY_CURRENT_USER\Control Panel\Desktop]' "\"LogPixels\"=dword:$dpi" \
      '[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts]' \
      "\"LogPixels\"=dword:$dpi" >"$WINEPREFIX/tolvane-look.reg"
    quietly wine regedit /S "Z:${WINEPREFIX//\//\\}\\tolvane-look.reg" ||
      fail "regedit could not import the look"
    ;;
  run)
    path=()
    while [ "${1:-}" = --path ]; do
      [ $# -ge 2 ] || fail "usage: wine.sh run [--path DIR ...] PROGRAM [ARG ...]"
      path+=("$2")
      shift 2
    done
    [ $# -ge 1 ] || fail "usage: wine.sh run [--path DIR ...] PROGRAM [ARG ...]"
    if [ ${#path[@]} -gt 0 ]; then
      WINEPATH=$(IFS=';' && echo "${path[*]}")
      export WINEPATH
    fi
    exec wine "$@"
    ;;
  end)
    [ $# -eq 0 ] || fail "usage: wine.sh end"
    timeout 60 wineserver -k >/dev/null 2>&1 || true
    ;;
  *)
    fail "no command '$command' (prefix, com, restart, look, run, end)"
    ;;
esac
