# Bash completion of shareadm and sharemon.
#
# Commands, options and the values an option or argument lists ({a,b}) are read from the tool's
# own --help, once per shell and command, so they follow whichever version is installed. Share
# and volume names are asked of the server when it answers; when it does not, nothing is offered
# and nothing is printed.

declare -gA _share_tools_help_cache=()

# Arguments that name an existing share, by "TOOL COMMAND...:POSITION". Volumes need no table:
# every --volume option and VOLUME argument takes one.
declare -gA _share_tools_share_args=(
    ["shareadm share show:0"]=1 ["shareadm share modify:0"]=1 ["shareadm share remove:0"]=1
    ["shareadm share encryption:0"]=1 ["shareadm share folder-redirection:0"]=1
    ["shareadm share atm-backup:0"]=1 ["shareadm share mfa:0"]=1
)

# _share_tools_help TOOL [COMMAND...]: the command's --help into _share_tools_text.
_share_tools_help() {
    local key="$*"
    if [[ -z ${_share_tools_help_cache[$key]+set} ]]; then
        _share_tools_help_cache[$key]=$("$@" --help 2>/dev/null </dev/null)
    fi
    _share_tools_text=${_share_tools_help_cache[$key]}
}

# _share_tools_entries SECTION: the entries of a --help section ("Options:") of
# _share_tools_text into _share_tools_lines, each on one line: name, type, description.
_share_tools_entries() {
    _share_tools_lines=()
    local line inside=0
    while IFS= read -r line; do
        if [[ $line != " "* ]]; then
            inside=0
            [[ $line == "$1" ]] && inside=1
        elif ((inside)) && [[ $line =~ ^\ \ [^\ ] ]]; then
            _share_tools_lines+=("${line:2}")
        elif ((inside && ${#_share_tools_lines[@]})); then
            # A description that did not fit beside its name is on the next line.
            read -r line <<<"$line"
            _share_tools_lines[-1]+="  $line"
        fi
    done <<<"$_share_tools_text"
}

# _share_tools_level TOOL [COMMAND...]: what the command accepts, into
#   _share_tools_subs    name -> canonical name (aliases included)
#   _share_tools_opts    option -> its type ("" for a flag); its help entry in _share_tools_info
#   _share_tools_args    positional names, in order; their help entries in _share_tools_arginfo
_share_tools_level() {
    _share_tools_help "$@"
    declare -gA _share_tools_subs=() _share_tools_opts=() _share_tools_info=()
    _share_tools_args=() _share_tools_arginfo=()
    local entry names name type canonical
    _share_tools_entries "Subcommands:"
    for entry in "${_share_tools_lines[@]}"; do
        [[ $entry =~ ^[a-z][a-z0-9_-]*(,\ [a-z][a-z0-9_-]*)* ]] || continue
        IFS=', ' read -r -a names <<<"${BASH_REMATCH[0]}"
        canonical=${names[0]}
        for name in "${names[@]}"; do _share_tools_subs[$name]=$canonical; done
    done
    _share_tools_entries "Options:"
    for entry in "${_share_tools_lines[@]}"; do
        read -r names type _ <<<"$entry"
        # A type is upper case: TEXT, UINT=15, SECONDS:INT, ADDR:PORT (not "Excludes:").
        [[ $type =~ ^[A-Z][A-Z0-9_]*([:=]|$) ]] || type=""
        IFS=',' read -r -a names <<<"$names"
        for name in "${names[@]}"; do
            _share_tools_opts[$name]=$type
            _share_tools_info[$name]=$entry
        done
    done
    _share_tools_entries "Positionals:"
    for entry in "${_share_tools_lines[@]}"; do
        read -r name _ <<<"$entry"
        _share_tools_args+=("$name")
        _share_tools_arginfo+=("$entry")
    done
}

# _share_tools_ask TOOL ARGS...: the tool's output for ARGS, or nothing when the server does
# not answer soon. The server-choosing options typed on the line are passed along.
_share_tools_ask() {
    local tool=$1
    shift
    local -a pre=("${_share_tools_pass[@]}")
    _share_tools_help "$tool"
    [[ $_share_tools_text == *"  --timeout "* ]] && pre+=(--timeout 2)
    if type -P timeout >/dev/null; then
        timeout 3 "$tool" "${pre[@]}" "$@" 2>/dev/null </dev/null
    else
        "$tool" "${pre[@]}" "$@" 2>/dev/null </dev/null
    fi
}

# _share_tools_names TOOL share|volume: the names into _share_tools_found.
_share_tools_names() {
    local tool=$1 out name
    local -a plain=()
    _share_tools_found=()
    # Only shareadm tells volumes from shares; sharemon borrows the one installed beside it.
    [[ ${tool##*/} == sharemon ]] && tool=${tool%sharemon}shareadm
    if ! type -P "$tool" >/dev/null; then
        [[ $2 == volume ]] || return 0
        tool=${tool%shareadm}sharemon
    fi
    # Text listings are one name a line, after a header row where the tool prints one.
    _share_tools_help "$tool"
    [[ $_share_tools_text == *"  --no-headers"* ]] && plain=(--no-headers)
    if [[ ${tool##*/} == sharemon ]]; then
        out=$(_share_tools_ask "$tool" "${plain[@]}" volumes)
    elif [[ $2 == share ]]; then
        out=$(_share_tools_ask "$tool" "${plain[@]}" share names)
    else
        # Every volume is listed as a record whose "volume" is itself.
        local json seen=" "
        json=$(_share_tools_ask "$tool" --json share list)
        out=""
        while [[ $json =~ \"volume\":\ ?\"([^\"]*)\" ]]; do
            name=${BASH_REMATCH[1]}
            json=${json#*"${BASH_REMATCH[0]}"}
            [[ $seen == *" $name "* ]] && continue
            seen+="$name "
            out+=$name$'\n'
        done
    fi
    while IFS= read -r name; do
        [[ -n $name ]] && _share_tools_found+=("$name")
    done <<<"$out"
}

# _share_tools_offer CUR WORDS...: the words that start with CUR into COMPREPLY, quoted for the
# command line when they need it.
_share_tools_offer() {
    local cur=$1 word
    shift
    for word in "$@"; do
        [[ $word == "$cur"* ]] || continue
        [[ $word == *[^[:alnum:]_.:/@+=,-]* ]] && printf -v word '%q' "$word"
        COMPREPLY+=("$word")
    done
}

# _share_tools_value TOOL KIND ENTRY CUR: complete a value from the help entry of its option or
# argument: the values its type lists ("TEXT:{a,b}", "TEXT:a, b" or "TEXT:one of A, B (any
# letter case)", or "one of A, B (...)" in the description), the column keys --sort lists at the end of its description, share or volume
# names (KIND), or file names for a FILE.
_share_tools_value() {
    local tool=$1 kind=$2 entry=$3 cur=$4 name type list=""
    local braces='^[A-Z]+:\{([^}]*)\}' one_of='^[A-Z]+:one of ([^(]*) \(' words='^[A-Z]+:([^ ,:]+(, [^ ,:]+)+)$'
    local described=': one of ([^(]*) \('
    local -a choices=()
    read -r name _ <<<"$entry"
    type=${entry#"$name"}
    read -r type <<<"${type%%  *}"
    if [[ $type =~ $braces || $type =~ $one_of || $type =~ $words || $entry =~ $described ]]; then
        list=${BASH_REMATCH[1]}
    elif [[ $name == --sort && $entry == *": "* ]]; then
        list=${entry##*: }
        [[ $cur == -* ]] && list=-${list//, /,-}  # a leading - sorts in descending order
    fi
    if [[ -n $list ]]; then
        IFS=',' read -r -a choices <<<"${list//, /,}"
        _share_tools_offer "$cur" "${choices[@]}"
    elif [[ -n $kind ]]; then
        _share_tools_names "$tool" "$kind"
        _share_tools_offer "$cur" "${_share_tools_found[@]}"
    elif [[ $type == FILE* ]]; then
        compopt -o default 2>/dev/null
    fi
}

_share_tools() {
    COMPREPLY=()
    local tool=${COMP_WORDS[0]/#\~/$HOME} cur=${COMP_WORDS[COMP_CWORD]}
    type -P "$tool" >/dev/null || return 0
    local -a path=()
    _share_tools_pass=()
    local i word pending="" helping=0 position=0
    _share_tools_level "$tool"
    # The root's options are accepted after a subcommand too.
    local -A globals=() global_info=()
    for word in "${!_share_tools_opts[@]}"; do
        globals[$word]=${_share_tools_opts[$word]}
        global_info[$word]=${_share_tools_info[$word]}
    done

    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        [[ $word == "=" ]] && continue  # --opt=value arrives as three words
        if [[ -n $pending ]]; then
            [[ $pending == --server-uid ]] && _share_tools_pass+=(--server-uid "$word")
            pending=""
        elif [[ $word == -* ]]; then
            [[ $word == --any-server ]] && _share_tools_pass+=("$word")
            if [[ -n ${_share_tools_opts[$word]-} || -n ${globals[$word]-} ]]; then
                pending=$word
            fi
        elif [[ -n ${_share_tools_subs[$word]-} && $position -eq 0 ]]; then
            if ((${#path[@]} == 0)) && [[ $word == help ]] && ! ((helping)); then
                helping=1  # help COMMAND...: complete the commands
            else
                path+=("${_share_tools_subs[$word]}")
                _share_tools_level "$tool" "${path[@]}"
            fi
        else
            position=$((position + 1))
        fi
    done

    local option=$pending
    if [[ $cur == "=" ]]; then
        cur="" option=${COMP_WORDS[COMP_CWORD - 1]}
    elif ((COMP_CWORD > 1)) && [[ ${COMP_WORDS[COMP_CWORD - 1]} == "=" ]]; then
        option=${COMP_WORDS[COMP_CWORD - 2]}
    fi
    if [[ -n $option ]]; then
        local entry=${_share_tools_info[$option]-${global_info[$option]-}} kind=""
        [[ $option == --volume ]] && kind=volume
        _share_tools_value "$tool" "$kind" "$entry" "$cur"
    elif [[ $cur == -* ]]; then
        _share_tools_offer "$cur" "${!_share_tools_opts[@]}"
    elif ((helping)); then
        ((position == 0)) && _share_tools_offer "$cur" "${!_share_tools_subs[@]}"
    elif ((position == 0 && ${#_share_tools_subs[@]} > 0)); then
        _share_tools_offer "$cur" "${!_share_tools_subs[@]}"
    elif ((position < ${#_share_tools_args[@]})); then
        local name=${_share_tools_args[position]} kind=""
        [[ $name == VOLUME ]] && kind=volume
        [[ -n ${_share_tools_share_args["${tool##*/} ${path[*]}:$position"]-} ]] && kind=share
        _share_tools_value "$tool" "$kind" "${_share_tools_arginfo[position]}" "$cur"
    fi
    # Offer them in order; the associative arrays above hold them in none.
    if ((${#COMPREPLY[@]} > 1)); then
        mapfile -t COMPREPLY < <(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort -u)
    fi
    return 0
}

complete -F _share_tools shareadm sharemon
