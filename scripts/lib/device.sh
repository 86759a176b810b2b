# Sourced by the scripts that hand a serial device to the program: whether
# DEVICE can be the accessory's line, in the words the user reads.
#
#   device_refusal DEVICE   prints why DEVICE cannot be used and returns 1,
#                           or prints nothing and returns 0
#   is_pty DEVICE           whether DEVICE leads to a pty's far end, however
#                           named

device_refusal() {
  local device=$1 pid
  [ -e "$device" ] || {
    echo "$device: no such device; check the path (a paired Bluetooth serial port appears as /dev/rfcommN once bound with 'rfcomm bind')"
    return 1
  }
  [ -c "$device" ] || { echo "$device: not a serial device"; return 1; }
  # /dev/tty is the terminal of whoever opens it, /dev/console the system's:
  # never an accessory's, whether or not a session has it now.
  case $(stat -L -c '%t:%T' "$device") in
    5:0|5:1)
      echo "$device: a terminal (yours, or the system's console); name the accessory's serial device"
      return 1 ;;
  esac
  [ -r "$device" ] && [ -w "$device" ] || {
    echo "$device: no permission to read and write it; add yourself to its group ($(stat -c %G "$device")) and log in again"
    return 1
  }
  # Made raw and written to, someone's terminal would be left unusable.
  if pid=$(terminal_session "$device"); then
    echo "$device: a terminal in use (process $(process_named "$pid")); name the accessory's serial device"
    return 1
  fi
  if pid=$(device_holder "$device"); then
    if [ "$(stat -c %u "/proc/$pid" 2>/dev/null)" = "$(id -u)" ]; then
      echo "$device: in use by process $(process_named "$pid"); close that program first"
    else
      echo "$device: in use by another user (process $(process_named "$pid")); they must close it first"
    fi
    return 1
  fi
  return 0
}

# By the node: /dev/pts/N, /dev//pts/N and a link to either are one pty.
is_pty() {
  local major
  major=$(stat -L -c %t "$1" 2>/dev/null) && [ $((16#$major)) -ge 136 ] && [ $((16#$major)) -le 143 ]
}

process_named() {  # process_named PID: "PID (NAME)"
  echo "$1 ($(cat "/proc/$1/comm" 2>/dev/null))"
}

# The process whose session has DEVICE as its controlling terminal, if any:
# the session's leader (the user's shell) while it runs.
terminal_session() {
  local major minor number stat line fields
  read -r major minor < <(stat -L -c '%t %T' "$1")
  major=$((16#$major)) minor=$((16#$minor))
  # As the kernel encodes a device in a process's tty_nr.
  number=$(( (minor & 0xff) | (major << 8) | ((minor & ~0xff) << 12) ))
  for stat in /proc/[0-9]*/stat; do
    read -r line 2>/dev/null <"$stat" || continue
    # pid (comm) state ppid pgrp session tty_nr ...; comm may hold anything.
    read -ra fields <<< "${line##*) }"
    [ "${fields[4]}" = "$number" ] || continue
    [ -e "/proc/${fields[3]}" ] && echo "${fields[3]}" || echo "${line%% *}"
    return 0
  done
  return 1
}

# The process that has DEVICE, if any: one named by a terminal program's lock
# file, or one holding it open. A pseudo-terminal is always held by the
# program that made it, so for one only the lock file counts. A lock file is
# live while /proc has its process (another user's cannot be signalled to
# ask); another user's open files cannot be seen.
device_holder() {
  local target lock pid fd
  target=$(readlink -f "$1")
  for lock in /var/lock/LCK.."${target##*/}" /run/lock/LCK.."${target##*/}"; do
    [ -r "$lock" ] || continue
    pid=$(tr -dc 0-9 < "$lock")
    [ -n "$pid" ] && pid=$((10#$pid)) && [ -e "/proc/$pid" ] && { echo "$pid"; return 0; }
  done
  is_pty "$target" && return 1
  fd=$(find /proc/[0-9]*/fd -maxdepth 1 -lname "$target" -print -quit 2>/dev/null)
  [ -n "$fd" ] || return 1
  pid=${fd%/fd/*}
  echo "${pid#/proc/}"
}
