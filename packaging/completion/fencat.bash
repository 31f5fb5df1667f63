# bash completion for fencat(1)

_fencat() {
    local cur prev words cword split=false
    if declare -F _init_completion >/dev/null; then
        _init_completion -s || return
    else
        # Without the bash-completion package: split --opt=value by hand.
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD - 1]}
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
        if [[ $cur == = && $cword -ge 2 ]]; then
            prev=${COMP_WORDS[COMP_CWORD - 1]} cur="" split=true
        elif [[ $prev == = && $cword -ge 2 ]]; then
            prev=${COMP_WORDS[COMP_CWORD - 2]} split=true
        fi
    fi

    # The names fencat -l lists, as -k takes them: TERM, not SIGTERM. The
    # shell's own list holds names fencat refuses (EXIT, RTMIN+1).
    local signals='HUP INT QUIT ILL TRAP ABRT BUS FPE KILL USR1 SEGV USR2 PIPE ALRM TERM STKFLT
        CHLD CONT STOP TSTP TTIN TTOU URG XCPU XFSZ VTALRM PROF WINCH IO PWR SYS'

    local i
    for ((i = 1; i < cword; i++)); do
        if [[ ${words[i]} == -- ]]; then
            COMPREPLY=($(compgen -f -- "$cur"))
            return
        fi
    done

    case $prev in
        --under)
            COMPREPLY=($(compgen -d -- "$cur"))
            return
            ;;
        --name)
            # A name in any folder: nothing here to offer.
            return
            ;;
        --pid)
            COMPREPLY=($(compgen -W "$(command ps -e -o pid= 2>/dev/null)" -- "$cur"))
            return
            ;;
        --signal)
            COMPREPLY=($(compgen -W "$signals" -- "$cur"))
            return
            ;;
        --wait)
            $split && return
            ;;
    esac

    case $cur in
        --*)
            COMPREPLY=($(compgen -W '--under --name --mount --pid --terse --verbose --long --json --kill
                --signal= --list-signals --interactive --wait --wait= --trace --help --version' -- "$cur"))
            [[ ${COMPREPLY-} == *= ]] && compopt -o nospace 2>/dev/null
            ;;
        -[A-Z]* | -[0-9]*)
            # -SIGNAL, for -k.
            COMPREPLY=($(compgen -P - -W "$signals" -- "${cur#-}"))
            ;;
        -*)
            COMPREPLY=($(compgen -W '-m -t -v -k -l -i -w -h -V --' -- "$cur"))
            ;;
        *)
            COMPREPLY=($(compgen -f -- "$cur"))
            ;;
    esac
}
complete -o filenames -F _fencat fencat
