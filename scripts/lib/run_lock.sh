# Sourced by the scripts that allow one run at a time: a second would take
# the first one's ports, programs and Wine server from under it.
#
#   run_lock DIR NAME   holds DIR/run.lock on file descriptor 9 for as long
#                       as this shell runs and keeps its process id in
#                       DIR/run.pid; or sets run_lock_refusal to the words
#                       that say why not and returns 1
#
# Whatever the run starts gets 9 closed (9>&-): a program left running, a
# Wine server say, would otherwise hold the lock after the run.

run_lock() {
  local dir=$1 name=$2 status=0 other
  exec 9>>"$dir/run.lock" || status=2
  [ "$status" -ne 0 ] || flock -n 9 || status=$?
  if [ "$status" -eq 1 ]; then
    other=$(cat "$dir/run.pid" 2>/dev/null) && kill -0 "$other" 2>/dev/null || other=unknown
    run_lock_refusal="another $name is running (process $other); close its program first"
    return 1
  fi
  [ "$status" -eq 0 ] || { run_lock_refusal="$dir/run.lock: cannot be locked"; return 1; }
  echo $$ > "$dir/run.pid"
}
