# Bash completion for tarnwick-crawl: its options, the values of its choice options, and file
# names for its file options.
# The usual idioms of bash-completion: _init_completion sets all four variables, and compgen's
# words never hold blanks.
# shellcheck disable=SC2034,SC2207

_tarnwick_crawl() {
    local cur prev words cword
    _init_completion -n = || return

    case $prev in
        --include | --exclude | --never-collect | --password-file | --proxy-password-file | \
            --results-file | \
            --contact-list | \
            -l | --list | -o | --output | --skipped | --explain | --journal | --resume)
            _filedir
            return
            ;;
        --follow | --report)
            COMPREPLY=($(compgen -W 'all site path' -- "$cur"))
            return
            ;;
        --format)
            COMPREPLY=($(compgen -W 'text tsv jsonl' -- "$cur"))
            return
            ;;
        -t | --types)
            # A comma list: complete the type after the last comma.
            local prefix=${cur%"${cur##*,}"}
            COMPREPLY=($(compgen -P "$prefix" -W 'mail jpg gif mp3 pdf zip' -- "${cur##*,}"))
            compopt -o nospace
            return
            ;;
        --retries)
            # 0: one attempt only.
            COMPREPLY=($(compgen -W '0 1 2 3' -- "$cur"))
            return
            ;;
        -d | --depth | -c | --concurrent | --timeout | --max-queue | --agent | \
            --proxy | --proxy-user | --user | --delay | --max-per-host | \
            --sites)
            return
            ;;
        # Across machines: I/N is the user's to write.
        --shard)
            return
            ;;
    esac

    # Across machines: after --merge, every word is a result file.
    local word
    for word in "${words[@]:1:cword-1}"; do
        if [[ $word == --merge && $cur != -* ]]; then
            _filedir
            return
        fi
    done

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--types --all-types --include --exclude --never-collect --depth --follow
            --report --max-queue --robots --sitemaps --no-redirect --ignore-robots --delay
            --max-per-host
            --skipped --explain --concurrent --retries --timeout
            --agent --paced --user --password-file --proxy --no-proxy --proxy-user
            --proxy-password-file --list --output --format --results-file --journal --resume
            --quiet --progress
            --shard --merge
            --contact-pages --contact-list
            --sites
            --help --version -t -d -c -l -o -q -h' -- "$cur"))
    fi
} &&
    complete -F _tarnwick_crawl tarnwick-crawl
