#!/usr/bin/python3
"""The Kubernetes recipes of dist/examples: valid YAML by yamllint, and an Indexed Job whose N
pods each crawl shard JOB_COMPLETION_INDEX + 1 of N, followed by a merge of the N harvests.

Usage: kubernetes_job_test.py EXAMPLES_DIR
"""

import os
import re
import subprocess
import sys

import yaml

LINT_RULES = "{extends: default, rules: {line-length: {max: 100}}}"


def fail(text):
    print("kubernetes_job_test: " + text, file=sys.stderr)
    sys.exit(1)


def only_job(path):
    with open(path, encoding="utf-8") as f:
        documents = [d for d in yaml.safe_load_all(f) if d is not None]
    if len(documents) != 1 or documents[0].get("kind") != "Job":
        fail("%s: want one Job, got %r" % (path, documents))
    return documents[0]


def command_line(job):
    containers = job["spec"]["template"]["spec"]["containers"]
    if len(containers) != 1:
        fail("want one container, got %d" % len(containers))
    return " ".join(containers[0].get("command", []) + containers[0].get("args", []))


def main():
    examples = sys.argv[1]
    shards_file = os.path.join(examples, "kubernetes-shards.yaml")
    merge_file = os.path.join(examples, "kubernetes-merge.yaml")
    lint = subprocess.run(["yamllint", "--strict", "-d", LINT_RULES, shards_file, merge_file],
                          capture_output=True, text=True)
    if lint.returncode != 0:
        fail("yamllint:\n" + lint.stdout + lint.stderr)

    shards = only_job(shards_file)
    spec = shards["spec"]
    if spec.get("completionMode") != "Indexed":
        fail("completionMode is %r, not Indexed" % spec.get("completionMode"))
    count = spec.get("completions")
    if not isinstance(count, int) or count < 2 or spec.get("parallelism") != count:
        fail("completions %r and parallelism %r must be one N of at least 2"
             % (count, spec.get("parallelism")))
    line = command_line(shards)
    # The index counts from 0, shards from 1.
    wanted = "--shard $((JOB_COMPLETION_INDEX + 1))/%d" % count
    if wanted not in line:
        fail("the shard's command lacks %r: %s" % (wanted, line))
    if "--list" not in line or not re.search(r"-o shard-\$shard\.txt", line):
        fail("each shard must crawl the list into its own harvest: " + line)

    merge = command_line(only_job(merge_file))
    wanted = "--merge $(seq -f 'shard-%%g.txt' 1 %d)" % count
    if wanted not in merge:
        fail("the merge lacks %r: %s" % (wanted, merge))
    print("Indexed Job of %d shards and its merge: fine" % count)


if __name__ == "__main__":
    main()
