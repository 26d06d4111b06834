#!/usr/bin/env bash
# scripts/slurm-array.sh on Slurm itself: a one-node cluster started here (munged, slurmctld and
# slurmd of Debian's slurm-wlm and munge, on this machine's loopback, their configuration, key,
# state and logs in a temporary folder, no accounting). The array job renders a short clip in
# three ranges and joins the parts: the result must decode to the frames of a whole run, with
# the source's audio packets. A second job, whose middle task fails, must name that task's range
# and leave no output. Every daemon started is stopped by its process id, on every path.
# Usage: tests/farm/slurm_array_test.sh FXAA SLURM_ARRAY_SCRIPT
# Exits 77 (skipped) where no cluster can start for want of root; fails where Slurm is missing.
set -uo pipefail
fxaa=$(readlink -f "${1:?usage: slurm_array_test.sh FXAA SLURM_ARRAY_SCRIPT}")
script=$(readlink -f "${2:?usage: slurm_array_test.sh FXAA SLURM_ARRAY_SCRIPT}")

tmp= pids=() child=
# Prints the daemons' and the jobs' logs, for a failure.
show_logs() {
  for log in "$tmp"/log/* "$tmp"/work/*/*.log; do
    [[ -f $log ]] && { echo "--- $log"; tail -n 20 "$log"; }
  done
}
skip() { echo "SKIPPED: $*"; exit 77; }
# Runs a command in the background and waits for it: bash runs a trap only once the command in
# the foreground ends, and a signal must end the test (and the command) at once.
interruptible() {
  "$@" &
  child=$!
  wait "$child"
  local status=$?
  child=
  return "$status"
}
fail() { echo "FAIL: $*"; show_logs; exit 1; }
# Stops what this test started, by process and job id: a job script still running (and its
# sbatch), the jobs, then each daemon; then removes the folder.
stop() {
  local pid i jobs
  if [[ -n $child ]]; then
    pkill -TERM -P "$child" 2>/dev/null
    kill -TERM "$child" 2>/dev/null
  fi
  if ((${#pids[@]} == 3)) && jobs=$(squeue -h -o %A 2>/dev/null) && [[ -n $jobs ]]; then
    scancel $jobs 2>/dev/null
    for ((i = 0; i < 50; i++)); do [[ -z $(squeue -h -o %A 2>/dev/null) ]] && break; sleep 0.1; done
  fi
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do
    for ((i = 0; i < 100 && $(kill -0 "$pid" 2>/dev/null && echo 1 || echo 0); i++)); do sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  [[ -n $tmp ]] && rm -rf "$tmp"
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

[[ $(id -u) == 0 ]] || skip "slurmd and munged (as the munge user) are started as root"
for tool in munged munge slurmctld slurmd sbatch sinfo setpriv ffmpeg; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/setup.sh installs slurm-wlm and munge)"
done
id munge >/dev/null 2>&1 || fail "no munge user: the munge package is not installed right"
host=$(hostname -s) && [[ -n $host ]] || skip "this machine has no short host name for Slurm"

tmp=$(mktemp -d) && chmod 755 "$tmp" || fail "no temporary folder"
mkdir -p "$tmp"/{key,munge,state,spool,log,work} && chown munge:munge "$tmp/key" "$tmp/munge" &&
  chmod 700 "$tmp/key" && chmod 755 "$tmp/munge" || fail "cannot prepare $tmp"

# munged as the munge user with its own key and socket.
dd if=/dev/urandom of="$tmp/key/munge.key" bs=1024 count=1 status=none &&
  chown munge:munge "$tmp/key/munge.key" && chmod 400 "$tmp/key/munge.key" || fail "no munge key"
setpriv --reuid=munge --regid=munge --init-groups munged --foreground \
  --key-file="$tmp/key/munge.key" --seed-file="$tmp/key/munge.seed" \
  --socket="$tmp/munge/munge.socket" --pid-file="$tmp/munge/munged.pid" \
  --log-file="$tmp/log/munged.log" >"$tmp/log/munged.out" 2>&1 &
pids+=($!)
for ((i = 0; i < 50; i++)); do [[ -S $tmp/munge/munge.socket ]] && break; sleep 0.1; done
munge -S "$tmp/munge/munge.socket" -n </dev/null | unmunge -S "$tmp/munge/munge.socket" >/dev/null ||
  fail "munged does not answer"

# Two free ports on the loopback for slurmctld and slurmd.
free_port() {
  local port
  for port in $(shuf -i 20000-60000 -n 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
  done
  return 1
}
ctld_port=$(free_port) && slurmd_port=$(free_port) && [[ $ctld_port != "$slurmd_port" ]] ||
  skip "no free ports on the loopback"
node=$(slurmd -C | head -n 1) && [[ $node == NodeName=* ]] || fail "slurmd -C says: $node"
cat >"$tmp/slurm.conf" <<CONF
ClusterName=fxaa-test
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$tmp/munge/munge.socket
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
MpiDefault=none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/log/slurmctld.log
SlurmdLogFile=$tmp/log/slurmd.log
ReturnToService=2
$node NodeAddr=127.0.0.1 State=UNKNOWN
PartitionName=farm Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF=$tmp/slurm.conf
slurmctld -D -i -f "$SLURM_CONF" >"$tmp/log/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" >"$tmp/log/slurmd.out" 2>&1 &
pids+=($!)
for ((i = 0; i < 150; i++)); do
  [[ $(sinfo -h -o %T 2>/dev/null) == idle ]] && break
  sleep 0.2
done
[[ $(sinfo -h -o %T 2>/dev/null) == idle ]] || fail "the node did not come up"

# A clip whose ranges cross key frames (every 10 frames, B-frames between), with audio.
cd "$tmp/work" || fail "no work folder"
ffmpeg -v error -f lavfi -i testsrc2=size=64x48:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 \
  -frames:v 30 -t 1.2 -c:v libx264 -g 10 -bf 3 -pix_fmt yuv420p -c:a aac clip.mp4 || fail "ffmpeg"
"$fxaa" -q clip.mp4 -o whole.mkv --codec ffv1 || fail "the whole run failed"

# The frames' MD5s of a video's picture; the sizes and MD5s of its audio packets (their times
# and side data are the containers' own).
frames_md5() { ffmpeg -v error -i "$1" -map 0:v -fps_mode passthrough -f framemd5 - | grep -v '^#'; }
audio_md5() { ffmpeg -v error -i "$1" -map 0:a -c copy -f framemd5 - | grep -v '^#' | cut -d, -f5,6; }

interruptible "$script" --fxaa "$fxaa" --chunk 12 --wait clip.mp4 -o farm.mkv --codec ffv1 >job.out 2>&1 ||
  { cat job.out; fail "the array job failed"; }
[[ $(ls farm.mkv.farm/part-*.mkv | wc -l) == 3 ]] || fail "not three parts: $(ls farm.mkv.farm)"
frames_md5 whole.mkv >whole.md5 && frames_md5 farm.mkv >farm.md5 || fail "cannot decode"
[[ $(wc -l <whole.md5) == 30 ]] || fail "the whole run has $(wc -l <whole.md5) frames, not 30"
cmp -s whole.md5 farm.md5 || { diff whole.md5 farm.md5; fail "the joined frames differ from the whole run's"; }
audio_md5 clip.mp4 >clip.audio && audio_md5 farm.mkv >farm.audio || fail "no audio"
[[ -s clip.audio ]] && cmp -s clip.audio farm.audio || fail "the joined audio differs from the source's"
echo "ok   the array job's joined video has the whole run's frames and the source's audio"

# A task that fails is named with its range, and nothing is joined.
cat >flaky-fxaa <<WRAP
#!/bin/sh
case " \$* " in *" --frames 13-24 "*) echo "flaky-fxaa: refusing frames 13-24" >&2; exit 1 ;; esac
exec '$fxaa' "\$@"
WRAP
chmod +x flaky-fxaa
interruptible "$script" --fxaa "$tmp/work/flaky-fxaa" --chunk 12 --wait clip.mp4 -o failed.mkv \
  --codec ffv1 >job.out 2>&1 && 
  { cat job.out; fail "a job with a failed task succeeded"; }
grep -q "task 1 (frames 13-24): failed with exit status 1" job.out || { cat job.out; fail "the failed range is not named"; }
grep -q -- "--tasks 1\$" job.out || { cat job.out; fail "no rerun of the failed task offered"; }
[[ ! -e failed.mkv ]] || fail "an output was written although a task failed"
echo "ok   a failed task is named by its range, and nothing is joined"
