#!/bin/sh
# Crawls a list of start URLs on several hosts at once with GNU parallel: one shard of the list
# per job, then the merge of the shards' harvests into one.
#
# Usage: parallel-shards.sh LIST OUTPUT [SSHLOGINS]
#   LIST       the start URLs, one a line (a name relative to this folder)
#   OUTPUT     the merged harvest
#   SSHLOGINS  GNU parallel's --sshlogin list, such as "4/alpha,4/beta" (4 jobs at once on each
#              of the hosts alpha and beta); ":" is this machine (the default)
# SHARDS (default 8) is the number of shards: more shards than hosts let a host that is done
# early take another one. Each host needs tarnwick-crawl, and ssh to it must not ask for a
# password. The list goes to each host and every shard's harvest (shard-I.txt) comes back here.
# A shard that writes no harvest makes the merge fail and name it.
set -u
list=${1:?usage: parallel-shards.sh LIST OUTPUT [SSHLOGINS]}
output=${2:?usage: parallel-shards.sh LIST OUTPUT [SSHLOGINS]}
sshlogins=${3:-:}
shards=${SHARDS:-8}

parallel --sshlogin "$sshlogins" --transferfile "$list" --return 'shard-{}.txt' --cleanup \
    tarnwick-crawl --quiet --list "$list" --shard '{}/'"$shards" -o 'shard-{}.txt' \
    ::: $(seq 1 "$shards")
crawled=$?
# GNU parallel's status is the number of shards that failed; merge what there is all the same.
# shellcheck disable=SC2046
tarnwick-crawl --merge $(seq -f 'shard-%g.txt' 1 "$shards") -o "$output" || exit
exit "$crawled"
