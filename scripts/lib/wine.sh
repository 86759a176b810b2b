# Sourced by the scripts: the project's private Wine prefixes under build/,
# a persistent wineserver for each while a run lasts, and one Xvfb for the
# tests and demos that need real pixels or real input.
#
#   wine_prefix PREFIX null|x11|xvfb
#                                 create PREFIX once, ready for unattended use;
#                                 xvfb: X11 on a display with no window
#                                 manager, so Wine manages its windows itself
#   wine_up PREFIX                a wineserver that outlasts the run's pauses,
#                                 warmed up
#   xvfb_up                       start Xvfb on a display of its own, export
#                                 DISPLAY
#   wine_session_down             stop every server and Xvfb started here

export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko prompts: the program needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

wine_started_prefixes=()
xvfb_pid=""

wine_prefix() {
  local prefix=$1 kind=$2 driver=${2/xvfb/x11} managed=Y
  # Without a window manager, Wine would wait two seconds for one at every
  # window it hides (a message box closing, say).
  [ "$kind" = xvfb ] && managed=N
  [ -f "$prefix/.ready-$kind" ] && return 0
  echo "wine: preparing $prefix ($kind graphics)"
  rm -rf "$prefix"
  mkdir -p "$prefix"
  WINEPREFIX=$prefix DISPLAY= wineboot -i >/dev/null 2>&1 || true
  # A crash must end the process with a failure code instead of opening
  # the debugger's dialog, which hangs, or exiting 0.
  local settings=$prefix/unattended.reg
  cat > "$settings" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug]
"Debugger"=""

[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]
"Graphics"="$driver"

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Managed"="$managed"
REG
  WINEPREFIX=$prefix DISPLAY= wine regedit /S "$settings" >/dev/null 2>&1
  WINEPREFIX=$prefix wineserver -w
  touch "$prefix/.ready-$kind"
}

# How long a server waits after its last program before it ends: longer
# than any pause between a run's programs, so that each starts at once, yet
# a run ended by force (SIGKILL) leaves no server behind for good.
wine_idle_seconds=60

wine_up() {
  local prefix=$1
  # stdio away from our pipes, or whoever reads them would wait for it. A
  # server already up for the prefix (one a run ended by force left, in its
  # idle time) refuses to start a second, and serves as well.
  WINEPREFIX=$prefix wineserver -p$wine_idle_seconds </dev/null >/dev/null 2>&1 || true
  wine_started_prefixes+=("$prefix")
  WINEPREFIX=$prefix wine cmd /c exit >/dev/null 2>&1 || true
}

# Each number is tried by starting the server on it, which takes it or ends
# at once if another server has it; looking for a free one first, two runs
# could both take the same. The server says its number once it takes
# connections. Numbers from 90 leave the low ones to the user's own sessions.
xvfb_up() {
  local display said
  for display in $(seq 90 140); do
    exec {said}< <(exec Xvfb ":$display" -displayfd 3 -screen 0 800x600x24 -nolisten tcp \
                     3>&1 </dev/null >/dev/null 2>&1)
    xvfb_pid=$!
    if read -t 30 -r _ <&"$said"; then
      exec {said}<&-
      export DISPLAY=":$display"
      return 0
    fi
    exec {said}<&-
    kill "$xvfb_pid" 2>/dev/null || true
  done
  xvfb_pid=""
  echo "xvfb: no display could be started" >&2
  return 1
}

wine_session_down() {
  local prefix
  for prefix in "${wine_started_prefixes[@]}"; do
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  done
  wine_started_prefixes=()
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
  fi
}
