#!/bin/sh
# Submits slurm-shards.sbatch as a job array, then the merge as a job that starts once every
# task has ended, and waits for the merge: harvest.txt is then the whole harvest.
# Usage: slurm-submit.sh [SBATCH_FILE]   (run in the shared folder that holds starts.txt)
set -eu
script=${1:-$(dirname "$0")/slurm-shards.sbatch}
# The number of shards is the array's last task.
shards=$(sed -n 's/^#SBATCH --array=1-\([0-9]*\).*/\1/p' "$script")
array=$(sbatch --parsable "$script")
# afterany: a shard that failed leaves no harvest, and the merge then names it.
sbatch --wait --dependency="afterany:${array%%;*}" --job-name=tarnwick-merge \
    --output=merge.log \
    --wrap "tarnwick-crawl --merge $(seq -f 'shard-%g.txt' 1 "$shards" | tr '\n' ' ') -o harvest.txt"
