# Bash completion of skd's commands and options; installed to share/bash-completion/completions.

_skd() {
  local cur prev words cword
  _init_completion || return

  local commands="create list info put get delete passwd pack kill recover add export convert identify scan"
  local command="" i
  for ((i = 1; i < cword; i++)); do
    case ${words[i]} in
      -*) ;;
      *) command=${words[i]}; break ;;
    esac
  done

  if [[ -z $command ]]; then
    if [[ $cur == -* ]]; then
      COMPREPLY=($(compgen -W "--help --version --quiet --recover --discard" -- "$cur"))
    else
      COMPREPLY=($(compgen -W "$commands" -- "$cur"))
    fi
    return
  fi

  case $prev in
    --password-file | --new-password-file | -o | --output)
      _filedir
      return
      ;;
    --dir)
      _filedir -d
      return
      ;;
    --format)
      COMPREPLY=($(compgen -W "jpg bmp gif" -- "$cur"))
      return
      ;;
    --quality | --name | --filter | --mask)
      return
      ;;
  esac

  local options="--help --quiet --recover --discard" password="--password-file" gif="--interlaced --transparent --lzw"
  case $command in
    create) ;;
    info | pack) options+=" $password" ;;
    list) options+=" --filter --grep -0 --null $password" ;;
    put) options+=" --compress $password" ;;
    get) options+=" -o --output $password" ;;
    delete) options+=" $password" ;;
    passwd) options+=" --new-password-file --strong --legacy $password" ;;
    kill) options+=" --yes $password" ;;
    recover) options+=" --list --discard-all" ;;
    add) options+=" --name --quality $password" ;;
    export) options+=" --format --quality --dir $gif $password" ;;
    convert) options+=" --quality $gif" ;;
    identify) ;;
    scan) options+=" --mask --no-recursive --drive --all-disks" ;;
  esac

  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
  elif [[ $command == scan ]]; then
    _filedir -d
  else
    _filedir
  fi
} && complete -F _skd skd
