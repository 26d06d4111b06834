#!/usr/bin/env bash
# Renders a video or a numbered sequence on a Slurm cluster (docs/farm.md): an array job whose
# tasks each render one range of frames (fxaa --frames), then a job that runs once they have all
# ended and joins a video's parts into the output (fxaa join), or for frames written as files
# checks that every range was written. A task's failure is its own: the last job names the tasks
# and ranges that failed, and how to run them again, and exits 1.
#
# Usage: scripts/slurm-array.sh [options] INPUT -o OUTPUT [fxaa render options...]
#   --chunk N      frames per task (default 100)
#   --frames A-B   the frames to render, into files (default: all, as "fxaa frames INPUT" says)
#   --tasks LIST   only these tasks, as sbatch --array takes them (1,4 or 2-5, 0-9:2, %2): reruns
#   --work DIR     the parts, each task's log and result (default: OUTPUT's name + .farm)
#   --fxaa PATH    the fxaa every node runs (default: the one on PATH)
#   --wait         wait for the last job, print its log and exit with its status
# OUTPUT is a video (out.mkv: the parts are joined into it) or a pattern (out.%04d.png: each
# task writes its frames there). sbatch's own variables (SBATCH_PARTITION, SBATCH_ACCOUNT,
# SBATCH_TIMELIMIT, ...) apply to every job. The input, the output, the work folder and fxaa
# must be on storage that every node sees, under the same names.
set -uo pipefail

self=$(readlink -f "${BASH_SOURCE[0]}")

die() { echo "slurm-array.sh: $*" >&2; exit 2; }

# The frames of task $1 into globals a and b, from the job's settings.
task_range() {
  a=$((first + $1 * chunk))
  b=$((a + chunk - 1))
  ((b > last)) && b=$last
}

# The file task $1 writes its part to (a video output).
part_of() { printf '%s/part-%05d%s' "$work" "$1" "$extension"; }

# Inside the array job: renders this task's range, and records how it ended.
run_task() {
  work=$1
  source "$work/job.env" || exit 1
  local id=${SLURM_ARRAY_TASK_ID:?not in an array job} out=$output status
  task_range "$id"
  [[ $kind == video ]] && out=$(part_of "$id")
  echo "fxaa farm: task $id: frames $a-$b of $input on $(hostname -s)"
  "$fxaa" "$input" --frames "$a-$b" -o "$out" "${options[@]}"
  status=$?
  echo "$a-$b $status" >"$work/task-$id.result.tmp" && mv "$work/task-$id.result.tmp" "$work/task-$id.result"
  exit "$status"
}

# The job after the array: names every task that failed or left no result, else joins the parts.
run_finish() {
  work=$1
  source "$work/job.env" || exit 1
  local id failed=() status range parts=()
  for ((id = 0; id < tasks; id++)); do
    task_range "$id"
    parts+=("$(part_of "$id")")
    if [[ ! -f $work/task-$id.result ]]; then
      echo "fxaa farm: task $id (frames $a-$b): no result: cancelled, out of time, or its node failed (log: $work/task-$id.log)" >&2
      failed+=("$id")
      continue
    fi
    read -r range status <"$work/task-$id.result"
    if [[ $range != "$a-$b" || $status != 0 ]]; then
      echo "fxaa farm: task $id (frames $a-$b): failed with exit status $status (log: $work/task-$id.log)" >&2
      failed+=("$id")
    fi
  done
  if ((${#failed[@]})); then
    local list
    list=$(IFS=,; echo "${failed[*]}")
    echo "fxaa farm: ${#failed[@]} of $tasks tasks failed; to run them again: $submit --tasks $list" >&2
    exit 1
  fi
  if [[ $kind == files ]]; then
    echo "fxaa farm: frames $first-$last written by $tasks tasks to $output"
    exit 0
  fi
  "$fxaa" join "${parts[@]}" --streams-from "$input" -o "$output" || exit 1
  echo "fxaa farm: $output: $tasks parts joined"
}

# Absolute, so that every node reads the same name whatever its working folder.
absolute() { [[ $1 == /* ]] && echo "$1" || echo "$PWD/$1"; }

case ${1:-} in
  --task) run_task "$2"; exit ;;
  --finish) run_finish "$2"; exit ;;
esac

chunk=100 frames= task_list= work= fxaa=fxaa wait=0 input= output= options=()
submit=$(printf '%q ' "$self" "$@")
while (($#)); do
  case $1 in
    --chunk) chunk=${2:?}; shift 2 ;;
    --frames) frames=${2:?}; shift 2 ;;
    --tasks) task_list=${2:?}; shift 2 ;;
    --work) work=${2:?}; shift 2 ;;
    --fxaa) fxaa=${2:?}; shift 2 ;;
    --wait) wait=1; shift ;;
    -o | --output) output=${2:?}; shift 2 ;;
    -h | --help) sed -n '2,/^set /{/^set /d;s/^# \{0,1\}//;p}' "$self"; exit 0 ;;
    # fxaa's own options before INPUT: its flags alone, any other with its value.
    --fail-fast | --timing | --premultiplied | -q | --quiet | --release-memory | -*=*)
      options+=("$1"); shift ;;
    -?*) options+=("$1" "${2:?$1 needs a value}"); shift 2 ;;
    *)
      if [[ -z $input ]]; then input=$1; else options+=("$1"); fi
      shift ;;
  esac
done
[[ -n $input && -n $output ]] || die "usage: slurm-array.sh [options] INPUT -o OUTPUT [fxaa options] (--help)"
[[ $chunk =~ ^[1-9][0-9]*$ ]] || die "--chunk $chunk: expected a number of frames"
command -v sbatch >/dev/null || die "sbatch not found: run this where Slurm's commands are"
fxaa=$(command -v "$fxaa") || die "fxaa not found (--fxaa PATH)"
fxaa=$(absolute "$fxaa")
input=$(absolute "$input")
output=$(absolute "$output")
whole=$("$fxaa" frames "$input") || exit
[[ -n $frames ]] || frames=$whole
[[ $frames =~ ^([0-9]+)-([0-9]+)$ ]] || die "--frames $frames: expected FIRST-LAST"
first=${BASH_REMATCH[1]} last=${BASH_REMATCH[2]}
((first <= last)) || die "--frames $frames: runs backwards"
tasks=$(((last - first) / chunk + 1))
if [[ $output =~ %[0-9]*d|# ]]; then
  kind=files extension=
else
  kind=video extension=.${output##*.}
  [[ $input =~ %[0-9]*d|# ]] && die "$input: a sequence's frames go to files (-o out.%04d.png); encode them into a video after"
  [[ $frames == "$whole" ]] || die "--frames $frames: the parts of a video join into the whole ($whole); other ranges go to files"
fi
work=$(absolute "${work:-$(dirname "$output")/$(basename "$output" | tr -c 'A-Za-z0-9._\n-' '_').farm}")
mkdir -p "$work" || exit 1
{
  declare -p input output kind extension first last chunk tasks fxaa options submit
} >"$work/job.env"
[[ -n $task_list ]] || task_list=0-$((tasks - 1))

# Results of the tasks about to run are theirs to write: N, N-M and N-M:STEP, comma-separated,
# with sbatch's %LIMIT of tasks at once after them.
for item in $(echo "${task_list%\%*}" | tr ',' ' '); do
  [[ $item =~ ^([0-9]+)(-([0-9]+)(:([1-9][0-9]*))?)?$ ]] || die "--tasks $task_list: expected N, N-M or N-M:STEP, comma-separated, and %LIMIT"
  for ((t = BASH_REMATCH[1]; t <= ${BASH_REMATCH[3]:-${BASH_REMATCH[1]}}; t += ${BASH_REMATCH[5]:-1})); do
    rm -f "$work/task-$t.result"
  done
done

array=$(sbatch --parsable --job-name=fxaa-render --array="$task_list" \
  --output="$work/task-%a.log" --wrap "exec $(printf '%q' "$self") --task $(printf '%q' "$work")") || exit
echo "fxaa farm: job $array renders frames $first-$last of $input in $tasks tasks of $chunk (logs in $work)"
finish_args=(--parsable --job-name=fxaa-join --dependency="afterany:${array%%;*}" --output="$work/finish.log")
((wait)) && finish_args+=(--wait)
finish=$(sbatch "${finish_args[@]}" --wrap "exec $(printf '%q' "$self") --finish $(printf '%q' "$work")")
status=$?
if ((wait)); then
  cat "$work/finish.log" 2>/dev/null
  exit "$status"
fi
((status == 0)) || exit "$status"
echo "fxaa farm: job $finish then $([[ $kind == video ]] && echo "joins the parts into" || echo "checks") $output"
