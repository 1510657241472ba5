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

stop() {
  if [ -f "$state/pids" ]; then
    while read -r pid; do
      kill "$pid" 2>/dev/null || true
    done < <(tac "$state/pids")
    sleep 0.3
    while read -r pid; do
      kill -9 "$pid" 2>/dev/null || true
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
    echo "export HOME='$HOME'"
    echo "export XDG_RUNTIME_DIR='$XDG_RUNTIME_DIR'"
    echo "export XDG_CONFIG_HOME='$XDG_CONFIG_HOME'"
    echo "export PULSE_RUNTIME_PATH='$PULSE_RUNTIME_PATH'"
    echo "export DBUS_SESSION_BUS_ADDRESS='$DBUS_SESSION_BUS_ADDRESS'"
    echo "export VOXTRELLA_HEADLESS_AUDIO=1"
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
