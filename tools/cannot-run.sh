# shellcheck shell=bash disable=SC2154  # stage_name is the sourcing stage's
# A CI stage that cannot run on this machine: under CI, where every stage must run, it fails;
# elsewhere it says SKIPPED and ends with `skip_status` (0 unless the stage sets it). Sourced by
# the stages, which set `stage_name` first.
cannot_run() {
  if [ -n "${CI:-}" ]; then
    echo "FAILED: $stage_name cannot run: $* (CI is set, where it must run)" >&2
    exit 1
  fi
  echo "SKIPPED: $stage_name cannot run: $*" >&2
  exit "${skip_status:-0}"
}
