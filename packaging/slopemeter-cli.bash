# bash completion for slopemeter-cli                             -*- shell-script -*-

_slopemeter_cli()
{
    local cur prev words cword split
    _init_completion -s || return

    case $prev in
        --annotate)
            _filedir -d
            return
            ;;
        --files-from)
            _filedir
            return
            ;;
        --report)
            _filedir 'html|htm'
            return
            ;;
        --level | -l | --jobs | -j | --memory | --help | --version)
            return
            ;;
    esac
    $split && return

    # After "--" every word is a picture, even one that starts with "-".
    local i options_ended=false
    for ((i = 1; i < cword; i++)); do
        [[ ${words[i]} == -- ]] && options_ended=true && break
    done

    if ! $options_ended && [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--level --fit --json --csv --annotate --report --overwrite --jobs --memory
            --files-from --null --help --version -- -' -- "$cur"))
        [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
        return
    fi

    # The formats the program reads, by the names such files usually have.
    _filedir 'bmp|dib|png|jpg|jpeg|jpe|jfif|gif|pbm|pgm|ppm|pnm|xbm|xpm|ico'
} &&
    complete -F _slopemeter_cli slopemeter-cli

# ex: filetype=sh
