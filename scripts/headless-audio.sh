#!/usr/bin/env bash
# headless-audio.sh start|stop STATE_DIR
# A private PipeWire server with two null sinks, on its own runtime folder and
# session bus, for tests that need a real audio output without a sound card.
# "voxtrella_null" (stereo, "Voxtrella Test Output") is the default sink;
# "voxtrella_aux" (mono, a description longer than 31 characters) sorts first
# by name, so tests can check device order, naming and the default mapping.
# "voxtrella_mic" is a silent input device.
# "start" writes STATE_DIR/env (variables to source) and STATE_DIR/pids.
set -euo pipefail
cmd=${1:?start or stop}
state=${2:?state folder}
if [ "$cmd" = start ]; then mkdir -p "$state"; fi
# The env file is sourced from other folders: keep the paths absolute.
if [ -d "$state" ]; then state=$(cd "$state" && pwd); fi

# Only a process that still is one we started: a PID may have been reused.
ours() {
  local name=""
  [ -r "/proc/$1/comm" ] && read -r name < "/proc/$1/comm" 2>/dev/null
  case "$name" in
    dbus-daemon|pipewire|wireplumber|pipewire-pulse) return 0 ;;
    *) return 1 ;;
  esac
}

stop() {
  if [ -f "$state/pids" ]; then
    while read -r pid; do
      if ours "$pid"; then kill "$pid" 2>/dev/null || true; fi
    done < <(tac "$state/pids")
    for _ in $(seq 1 20); do
      alive=0
      while read -r pid; do
        if ours "$pid" && kill -0 "$pid" 2>/dev/null; then alive=1; fi
      done < "$state/pids"
      [ "$alive" = 0 ] && break
      sleep 0.1
    done
    while read -r pid; do
      if ours "$pid"; then kill -9 "$pid" 2>/dev/null || true; fi
    done < "$state/pids"
    rm -f "$state/pids"
  fi
}

start() {
  mkdir -p "$state/home" "$state/config/pipewire/pipewire.conf.d" "$state/runtime"
  chmod 700 "$state/runtime"
  export HOME="$state/home" XDG_RUNTIME_DIR="$state/runtime" XDG_CONFIG_HOME="$state/config"
  export PIPEWIRE_RUNTIME_DIR="$state/runtime" PULSE_RUNTIME_PATH="$state/runtime/pulse"
  # The readiness checks below must talk to this server, not an inherited one.
  unset PULSE_SERVER PIPEWIRE_REMOTE
  cat > "$state/config/pipewire/pipewire.conf.d/voxtrella-null-sink.conf" <<'CONF'
context.objects = [
  { factory = adapter
    args = {
      factory.name     = support.null-audio-sink
      node.name        = "voxtrella_null"
      node.description = "Voxtrella Test Output"
      media.class      = Audio/Sink
      audio.position   = [ FL FR ]
      audio.rate       = 44100
      priority.session = 2000
      priority.driver  = 2000
    }
  }
  { factory = adapter
    args = {
      factory.name     = support.null-audio-sink
      node.name        = "voxtrella_aux"
      node.description = "Voxtrella Auxiliary Output For Device Tests"
      media.class      = Audio/Sink
      audio.position   = [ MONO ]
      audio.rate       = 22050
      priority.session = 100
      priority.driver  = 100
    }
  }
  { factory = adapter
    args = {
      factory.name     = support.null-audio-sink
      node.name        = "voxtrella_mic"
      node.description = "Voxtrella Test Microphone"
      media.class      = Audio/Source/Virtual
      audio.position   = [ MONO ]
    }
  }
]
CONF
  : > "$state/pids"
  eval "$(dbus-launch --sh-syntax)"
  echo "$DBUS_SESSION_BUS_PID" >> "$state/pids"
  pipewire > "$state/pipewire.log" 2>&1 &
  echo $! >> "$state/pids"
  sleep 0.3
  wireplumber > "$state/wireplumber.log" 2>&1 &
  echo $! >> "$state/pids"
  pipewire-pulse > "$state/pipewire-pulse.log" 2>&1 &
  echo $! >> "$state/pids"
  {
    printf 'export HOME=%q\n' "$HOME"
    printf 'export XDG_RUNTIME_DIR=%q\n' "$XDG_RUNTIME_DIR"
    printf 'export XDG_CONFIG_HOME=%q\n' "$XDG_CONFIG_HOME"
    printf 'export PULSE_RUNTIME_PATH=%q\n' "$PULSE_RUNTIME_PATH"
    printf 'export DBUS_SESSION_BUS_ADDRESS=%q\n' "$DBUS_SESSION_BUS_ADDRESS"
    echo 'unset PULSE_SERVER'
    echo 'export VOXTRELLA_HEADLESS_AUDIO=1'
  } > "$state/env"
  # The first stream right after start-up can fail; retry until one plays.
  for _ in $(seq 1 100); do
    if head -c 4410 /dev/zero | timeout 5 pacat --raw --rate=22050 --channels=1 --format=s16le >/dev/null 2>&1; then
      # The session manager picks the default by priority; pin it anyway so
      # tests see the same default on every machine.
      for _ in $(seq 1 25); do
        pactl set-default-sink voxtrella_null >/dev/null 2>&1 &&
          [ "$(pactl get-default-sink 2>/dev/null)" = voxtrella_null ] && return 0
        sleep 0.2
      done
      echo "headless audio: could not make voxtrella_null the default sink" >&2
      break
    fi
    sleep 0.2
  done
  echo "headless audio: the private sound server did not come up" >&2
  tail -n 20 "$state"/*.log >&2 || true
  stop
  return 1
}

case "$cmd" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop STATE_DIR" >&2; exit 2 ;;
esac
