#!/usr/bin/env bash
# fault-injection.sh [--runs N] [--seed S] [--program PATH] [--keep]
# Starts the real program on a saved file of 5,000 articles and ends it with
# SIGTERM, SIGHUP or SIGKILL at a random moment: while it imports the
# articles, when it is idle, while it saves, with a notice box open, or while
# it reads the articles into a WAV or MP3 file; and with SIGKILL a few seconds
# after an edit was typed (one run in ten). After each run the saved file
# must still hold all 5,000 articles as they were, and nothing but the
# program's own files may be left beside it. A reading into a file must leave
# no file under a final name, and after the next start nothing in the output
# or temporary folder.
# One line per run, then "N passed, M failed"; the exit status is 1 when a
# run failed. The seed is printed; --seed repeats the same choices.
# Runs on its own Xvfb display and, unless the test runner's sound server is
# in the environment, on its own headless sound server.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=30
seed=""
program="$root/build/src/app/voxtrella"
keep=0
articles=5000

usage() { sed -n '2,2p' "$0" | sed 's/^# //' >&2; exit 2; }
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=${2:?}; shift 2 ;;
    --seed) seed=${2:?}; shift 2 ;;
    --program) program=${2:?}; shift 2 ;;
    --keep) keep=1; shift ;;
    -h|--help) usage ;;
    *) echo "unknown option: $1" >&2; usage ;;
  esac
done
case "$runs" in ''|*[!0-9]*) echo "--runs wants a number" >&2; exit 2 ;; esac
if [ -z "$seed" ]; then seed=$(( $(date +%s%N) % 2147483647 )); fi
case "$seed" in ''|*[!0-9]*) echo "--seed wants a number" >&2; exit 2 ;; esac
if [ ! -x "$program" ]; then echo "no program at $program" >&2; exit 2; fi
program=$(cd "$(dirname "$program")" && pwd)/$(basename "$program")
for tool in Xvfb python3; do
  # 77: skipped, for the test suite.
  command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 77; }
done
check="$root/scripts/fault-injection-check.py"

work=$(mktemp -d /tmp/voxtrella-fault.XXXXXX)
xvfb_pid=""
audio_state=""
prog_pid=""
wrapper_pid=""
dir=""
failed_dirs=()

cleanup() {
  trap - EXIT INT TERM HUP
  # Interrupted right after the start, the program's PID may not be read yet.
  if [ -n "$wrapper_pid" ] && [ -z "$prog_pid" ]; then
    sleep 0.2
    prog_pid=$(cat "$dir/program.pid" 2>/dev/null)
  fi
  if [ -n "$prog_pid" ]; then kill -KILL "$prog_pid" 2>/dev/null; fi
  if [ -n "$wrapper_pid" ]; then wait "$wrapper_pid" 2>/dev/null; fi
  if [ -n "$xvfb_pid" ]; then
    kill -TERM "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  if [ -n "$audio_state" ]; then
    "$root/scripts/headless-audio.sh" stop "$audio_state" >/dev/null 2>&1
    rm -rf "$audio_state"
  fi
  if [ "$keep" = 1 ]; then
    echo "kept: $work"
  elif [ ${#failed_dirs[@]} -gt 0 ]; then
    # Only what shows a failure stays.
    for d in "$work"/run-*; do
      case " ${failed_dirs[*]} " in *" $d "*) ;; *) rm -rf "$d" ;; esac
    done
    rm -f "$work/VXExport.txt"
    echo "kept the failed runs in: $work"
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT
trap 'echo "interrupted" >&2; exit 130' INT TERM HUP

# --- display -----------------------------------------------------------------
# A free display number, as the program tests pick one; a number taken by a
# server starting at the same moment makes Xvfb quit, and the next is tried.
start_display() {
  local n
  for n in $(seq 170 260); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -nolisten tcp -screen 0 1024x768x24 >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 100); do
      kill -0 "$xvfb_pid" 2>/dev/null || break
      # The lock names the server that got the number: ours, or one that
      # started at the same moment.
      if [ -S "/tmp/.X11-unix/X$n" ] && [ "$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null)" = "$xvfb_pid" ]; then
        export DISPLAY=":$n"
        return 0
      fi
      sleep 0.1
    done
    kill -TERM "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=""
  done
  return 1
}

# --- sound -------------------------------------------------------------------
# The program will not run without a sound device. The test runner's private
# server is reused; otherwise this script starts one of its own, so that the
# program never touches a real sound card.
start_sound() {
  if [ -n "${PULSE_SERVER:-}" ] ||
     { [ "${VOXTRELLA_HEADLESS_AUDIO:-}" = 1 ] && [ -S "${XDG_RUNTIME_DIR:-/nonexistent}/pulse/native" ]; }; then
    echo "sound server: reusing the one in the environment"
    return 0
  fi
  audio_state="$work/audio"
  if ! "$root/scripts/headless-audio.sh" start "$audio_state" >"$work/audio.log" 2>&1; then
    cat "$work/audio.log" >&2
    return 1
  fi
  # shellcheck disable=SC1091
  source "$audio_state/env"
  echo "sound server: private, in $audio_state"
}

if ! start_display; then echo "could not start Xvfb" >&2; exit 2; fi
if ! start_sound; then echo "could not start a sound server" >&2; exit 2; fi
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY

python3 "$check" generate "$work/VXExport.txt" "$articles" || exit 2
echo "seed $seed, $runs runs, program $program, display $DISPLAY"
RANDOM=$seed

# --- helpers -----------------------------------------------------------------
ms_to_s() { printf '%d.%03d' $(($1 / 1000)) $(($1 % 1000)); }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# True while the program runs (a child that ended but is not waited for yet
# is a zombie and does not count).
running() {
  local state=""
  [ -r "/proc/$1/stat" ] || return 1
  state=$(sed 's/^.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1)
  [ -n "$state" ] && [ "$state" != Z ]
}

# Waits up to $2 ms for the program to end.
wait_end() {
  local until=$(( $(now_ms) + $2 ))
  while running "$1"; do
    [ "$(now_ms)" -ge "$until" ] && return 1
    sleep 0.05
  done
  return 0
}

wait_for_log() {
  local until=$(( $(now_ms) + $2 ))
  until grep -q "$1" "$home/voxtrella.dbg" 2>/dev/null; do
    running "$prog_pid" || return 1
    [ "$(now_ms)" -ge "$until" ] && return 1
    sleep 0.05
  done
}

# The damaged-settings notice comes up inside FormShow, before the articles
# are read: FormShow entered but not left, and a window of the program's title.
box_open() {
  command -v xdotool >/dev/null || return 0
  grep -q "Entered FormShow" "$home/voxtrella.dbg" 2>/dev/null || return 1
  grep -q "Exiting FormShow" "$home/voxtrella.dbg" 2>/dev/null && return 1
  [ -n "$(xdotool search --onlyvisible --name '^Voxtrella MP3$' 2>/dev/null)" ]
}

# A SIGKILL leaves the single-instance socket behind; each run has its own
# home and so its own socket name, and stale ones would pile up.
remove_stale_socket() {
  local hash runtime=${XDG_RUNTIME_DIR:-}
  [ -n "$runtime" ] || return 0
  hash=$(printf '%s' "$home" | sha1sum | cut -c1-12)
  rm -f "$runtime/voxtrella-$(id -u)-$hash.sock" "$runtime/voxtrella-$(id -u)-$hash.sock.lock"
}

join() {
  local out="" item
  for item in "$@"; do out+="${out:+; }$item"; done
  printf '%s' "$out"
}

# Counts a run as passed or failed and prints its line; a passed run's
# folder goes unless --keep. Arguments: the line's start, what was done.
report_run() {
  local joined_notes
  joined_notes=$(join "${notes[@]}")
  if [ ${#problems[@]} -eq 0 ]; then
    passed=$((passed + 1))
    echo "$1PASS  (${2:+$2; }$result${joined_notes:+; $joined_notes})"
    [ "$keep" = 1 ] || rm -rf "$dir"
  else
    failed=$((failed + 1))
    failed_dirs+=("$dir")
    echo "$1FAIL  (${2:+$2; }seed $seed; $(join "${problems[@]}")${joined_notes:+; $joined_notes}; kept in $dir)"
  fi
}

signal_name() { case "$1" in TERM) echo SIGTERM ;; HUP) echo SIGHUP ;; KILL) echo SIGKILL ;; esac; }

# Starts the program in $home through a small shell that keeps the exit
# status ($1.rc); the shell's own note on a killed job ("Killed") goes to
# $1.out. Sets wrapper_pid and prog_pid.
start_program() {
  rm -f "$1.pid" "$1.rc"
  VOXTRELLA_HOME="$home" TMPDIR="$dir/tmp" bash -c '"$0" & echo $! >"$1.pid"; wait $!; echo $? >"$1.rc"' \
    "$program" "$1" >"$1.out" 2>&1 &
  wrapper_pid=$!
  for _ in $(seq 1 100); do [ -s "$1.pid" ] && break; sleep 0.01; done
  prog_pid=$(cat "$1.pid" 2>/dev/null)
  if [ -z "$prog_pid" ]; then echo "the program did not start" >&2; exit 2; fi
}

# Read to File (Ctrl+F7) in the program's window.
press_read_to_file() {
  local w
  command -v xdotool >/dev/null || return 1
  w=$(xdotool search --onlyvisible --name '^Voxtrella MP3$' 2>/dev/null | head -n 1)
  [ -n "$w" ] || return 1
  # Without a window manager only the focus can be set.
  xdotool windowactivate --sync "$w" >/dev/null 2>&1 || xdotool windowfocus --sync "$w" >/dev/null 2>&1
  xdotool key ctrl+F7
}

# The output folder and the temporary folder after a reading into a file:
# files under a final name are problems; what a killed program left is
# listed in $left.
check_outputs() {
  local path name
  left=()
  while IFS= read -r -d '' path; do
    name=${path##*/}
    case "$name" in
      .voxtrella-*.part) left+=("$name") ;;
      *) problems+=("$1: a file under a final name: $name ($(stat -c %s "$path") bytes)") ;;
    esac
  done < <(find "$home/Files" -mindepth 1 -maxdepth 1 -print0 2>/dev/null)
  while IFS= read -r -d '' path; do
    left+=("${path##*/}")
  done < <(find "$dir/tmp" -mindepth 1 -maxdepth 1 -print0 2>/dev/null)
}

# Sets sig (not in a subshell: $RANDOM must advance here).
pick_signal() {
  local s=(TERM HUP KILL)
  sig=${s[$((RANDOM % 3))]}
}

passed=0
failed=0
modes=(import idle save box file)

for run in $(seq 1 "$runs"); do
  mode=${modes[$((RANDOM % 5))]}
  dir="$work/run-$(printf '%02d' "$run")"
  home="$dir/home"
  mkdir -p "$home" "$dir/tmp"
  cp "$work/VXExport.txt" "$home/VXExport.txt"
  if [ "$mode" = box ]; then
    # A damaged settings file: the program keeps it aside and tells so in a
    # box at start-up, which is open when the signal comes.
    printf 'not [ settings\n\001\002 garbage \377\376\n' >"$home/registry.ini"
  fi
  problems=()
  notes=()
  first=""
  first_delay=""
  # The random choices come before the program starts, so a seed gives the
  # same choices whatever the timing.
  case "$mode" in
    import) pick_signal; delay=$((200 + RANDOM % 2801)) ;;
    idle) pick_signal; delay=$((RANDOM % 1001)) ;;
    save)
      first=TERM
      first_delay=$((RANDOM % 501))
      r=$((RANDOM % 10))
      if [ $r -lt 6 ]; then sig=KILL; elif [ $r -lt 8 ]; then sig=TERM; else sig=HUP; fi
      # Writing the 5,000 articles takes about ten milliseconds: half the
      # runs aim at that window, the others anywhere in the 300 ms.
      if [ $((RANDOM % 2)) = 0 ]; then delay=$((RANDOM % 16)); else delay=$((RANDOM % 301)); fi ;;
    box) pick_signal; delay=$((1500 + RANDOM % 1001)) ;;
    file)
      if [ $((RANDOM % 2)) = 0 ]; then sig=KILL; else sig=TERM; fi
      format=$((RANDOM % 2))
      delay=$((RANDOM % 3001))
      # The default output folder, "Files" in the home; 1 is MP3. Multi-Article
      # mode, so that all 5,000 articles go into one long file.
      printf '[Software\\VarnyxTech\\Voxtrella]\n"OUT_FileFormat"="%d"\n"ML_ListMode"="1"\n' "$format" >"$home/registry.ini" ;;
  esac

  start_program "$dir/program"
  started=$(now_ms)
  case "$mode" in
    import|box)
      sleep "$(ms_to_s "$delay")"
      if [ "$mode" = import ] && grep -q "Exiting FormShow" "$home/voxtrella.dbg" 2>/dev/null; then
        notes+=("the import had ended already")
      fi
      if [ "$mode" = box ] && ! box_open; then
        notes+=("the notice box was not seen open")
      fi ;;
    idle|save)
      if ! wait_for_log "Exiting FormShow" 30000; then
        problems+=("never became idle (no \"Exiting FormShow\" within 30 s)")
      fi
      if [ "$mode" = idle ]; then
        sleep "$(ms_to_s "$delay")"
      else
        sleep "$(ms_to_s "$first_delay")"
        kill -TERM "$prog_pid" 2>/dev/null
        sleep "$(ms_to_s "$delay")"
        # Where the save was when the second signal went out.
        if ! running "$prog_pid"; then
          notes+=("it had ended before the second signal")
        elif grep -q "Export Complete" "$home/voxtrella.dbg" 2>/dev/null; then
          notes+=("second signal after the save")
        elif grep -q "ExportList" "$home/voxtrella.dbg" 2>/dev/null; then
          notes+=("second signal while saving")
        else
          notes+=("second signal before the save began")
        fi
      fi ;;
    file)
      if ! wait_for_log "Exiting FormShow" 30000; then
        problems+=("never became idle (no \"Exiting FormShow\" within 30 s)")
      elif ! press_read_to_file; then
        problems+=("Read to File could not be pressed (xdotool, the window)")
      elif ! wait_for_log "Article 1 of" 15000; then
        problems+=("the reading into a file did not start within 15 s")
      fi
      sleep "$(ms_to_s "$delay")" ;;
  esac
  signalled=$(( $(now_ms) - started ))
  kill "-$sig" "$prog_pid" 2>/dev/null

  # A termination request or hangup must end the program by itself.
  if ! wait_end "$prog_pid" 10000; then
    problems+=("still running 10 s after $(signal_name "$sig"): killed")
    kill -KILL "$prog_pid" 2>/dev/null
  fi
  wait "$wrapper_pid" 2>/dev/null
  rc=$(cat "$dir/program.rc" 2>/dev/null)
  rc=${rc:-?}
  prog_pid=""
  wrapper_pid=""
  # Exit status 0, or death by the SIGKILL sent (a program that ended by
  # itself before it still has to have ended well).
  if [ "$rc" != 0 ] && { [ "$sig" != KILL ] || [ "$rc" != 137 ]; }; then
    if [ "$rc" = "?" ]; then
      problems+=("no exit status")
    elif [ "$rc" -gt 128 ]; then
      problems+=("ended by signal $((rc - 128)) instead of exiting")
    else
      problems+=("exit status $rc")
    fi
  fi
  [ "$sig" = KILL ] && remove_stale_socket

  if [ "$mode" = file ]; then
    # No file under a final name; what a kill left, the next start removes.
    check_outputs "after $(signal_name "$sig")"
    [ ${#left[@]} -gt 0 ] && notes+=("left until the next start: ${left[*]}")
    # A fresh log, so that the start waited for is this one.
    mv "$home/voxtrella.dbg" "$dir/program.dbg" 2>/dev/null
    start_program "$dir/restart"
    wait_for_log "Exiting FormShow" 30000 >/dev/null
    sleep 1
    kill -TERM "$prog_pid" 2>/dev/null
    wait_end "$prog_pid" 10000 || { problems+=("the next start did not end on SIGTERM"); kill -KILL "$prog_pid"; }
    wait "$wrapper_pid" 2>/dev/null
    prog_pid=""
    wrapper_pid=""
    check_outputs "after the next start"
    [ ${#left[@]} -gt 0 ] && problems+=("left after the next start: ${left[*]}")
  fi

  # Every article, title and text as generated.
  if result=$(python3 "$check" check "$home/VXExport.txt" "$articles"); then
    if ! cmp -s "$home/VXExport.txt" "$work/VXExport.txt"; then
      notes+=("the bytes differ from the original, the records do not")
    fi
  else
    problems+=("saved file: $result")
  fi

  # Nothing beside the saved file but the program's own files. The atomic
  # writer's hidden temporary file can only stay when the writer was killed.
  while IFS= read -r -d '' path; do
    name=${path##*/}
    case "$name" in
      VXExport.txt|registry.ini|voxtrella.dbg|Files) continue ;;
      registry.ini.damaged) [ "$mode" = box ] && continue ;;
    esac
    if [ "$sig" = KILL ] && [[ "$name" =~ ^\.(VXExport\.txt|registry\.ini)\.[0-9a-z]+\.tmp$ ]]; then
      notes+=("left after SIGKILL: $name ($(stat -c %s "$path") bytes)")
    else
      problems+=("left beside the saved file: $name")
    fi
  done < <(find "$home" -mindepth 1 -maxdepth 1 -print0)

  if [ -n "$first" ]; then
    how="SIGTERM then $(signal_name "$sig") ${first_delay}+${delay} ms after idle"
  else
    case "$mode" in
      import) how="$(signal_name "$sig") ${delay} ms after start" ;;
      idle) how="$(signal_name "$sig") ${delay} ms after idle" ;;
      box) how="$(signal_name "$sig") ${delay} ms after start, box open" ;;
      file) how="$(signal_name "$sig") ${delay} ms into a Read to File as $([ "$format" = 1 ] && echo MP3 || echo WAV)" ;;
    esac
  fi
  line=$(printf 'run %2d  %-6s %-7s delay %4s ms  at %5s ms  exit %3s  ' \
    "$run" "$mode" "$(signal_name "$sig")" "$delay" "$signalled" "$rc")
  report_run "$line" "$how"
done

# --- a typed edit, then SIGKILL ----------------------------------------------
# Edits are saved a few seconds after the typing stops: text typed into the
# first article and SIGKILL 4 to 6 s later must leave it in the saved file,
# with every other article as it was. One run in ten, at least one.
edit_runs=$(( (runs + 9) / 10 ))
if ! command -v xdotool >/dev/null; then
  echo "xdotool is missing: no typed-edit runs"
  edit_runs=0
fi
for run in $(seq 1 "$edit_runs"); do
  dir="$work/edit-$(printf '%02d' "$run")"
  home="$dir/home"
  mkdir -p "$home"
  cp "$work/VXExport.txt" "$home/VXExport.txt"
  problems=()
  notes=()
  delay=$((4000 + RANDOM % 2001))
  typed="Typed edit $run-$RANDOM "
  VOXTRELLA_HOME="$home" bash -c '"$0" & echo $! >"$1.pid"; wait $!; echo $? >"$1.rc"' \
    "$program" "$dir/program" >"$dir/program.out" 2>&1 &
  wrapper_pid=$!
  for _ in $(seq 1 100); do [ -s "$dir/program.pid" ] && break; sleep 0.01; done
  prog_pid=$(cat "$dir/program.pid" 2>/dev/null)
  if [ -z "$prog_pid" ]; then echo "the program did not start" >&2; exit 2; fi
  if ! wait_for_log "Exiting FormShow" 30000; then
    problems+=("never became idle (no \"Exiting FormShow\" within 30 s)")
  fi
  window=$(xdotool search --onlyvisible --name '^Voxtrella MP3$' 2>/dev/null | head -n 1)
  if [ -n "$window" ]; then
    xdotool windowactivate --sync "$window" 2>/dev/null
    xdotool type --delay 20 "$typed"
  else
    problems+=("no window to type into")
  fi
  sleep "$(ms_to_s "$delay")"
  kill -KILL "$prog_pid" 2>/dev/null
  wait "$wrapper_pid" 2>/dev/null
  prog_pid=""
  wrapper_pid=""
  remove_stale_socket
  if ! result=$(python3 "$check" check "$home/VXExport.txt" "$articles" --typed "$typed"); then
    problems+=("saved file: $result")
  fi
  for path in "$home"/.VXExport.txt.*.tmp; do
    [ -e "$path" ] && notes+=("left after SIGKILL: ${path##*/}")
  done
  line=$(printf 'edit %2d  SIGKILL %5s ms after typing  ' "$run" "$delay")
  report_run "$line" ""
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
