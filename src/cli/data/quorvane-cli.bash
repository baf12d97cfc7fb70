# bash completion for quorvane-cli                          -*- shell-script -*-
# Self-contained: needs only bash's own compgen, not the bash-completion helpers.

# Adds the words of compgen's output to COMPREPLY, one per line, so that
# names with spaces stay whole.
_quorvane_cli_add() {
  local line
  while IFS= read -r line; do
    [[ -n $line ]] && COMPREPLY+=("$line")
  done < <(compgen "$@")
}

# Files (only .torrent ones when there are any) and folders to walk into.
_quorvane_cli_torrents() {
  local cur=$1
  compopt -o filenames 2>/dev/null
  _quorvane_cli_add -f -X '!*.[Tt][Oo][Rr][Rr][Ee][Nn][Tt]' -- "$cur"
  if ((${#COMPREPLY[@]} == 0)); then
    _quorvane_cli_add -f -- "$cur"
  else
    _quorvane_cli_add -d -- "$cur"
  fi
}

# Tracker names from the program's own list (the cache; no download).
_quorvane_cli_tracker_names() {
  local cur=${1//\\/} cli=$2 name quoted # "Open\ B" was typed for "Open B"
  while IFS=$'\t' read -r name _; do
    [[ -n $name && $name == "$cur"* ]] || continue
    printf -v quoted '%q' "$name"
    COMPREPLY+=("$quoted")
  done < <("$cli" trackers 2>/dev/null)
}

_quorvane_cli() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=""
  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
  # "--output=FILE": bash splits the word at "=".
  if [[ $cur == "=" && $prev == --* ]]; then
    cur=""
  elif [[ $prev == "=" ]] && ((COMP_CWORD > 1)); then
    prev=${COMP_WORDS[COMP_CWORD - 2]}
  fi
  COMPREPLY=()

  if ((COMP_CWORD == 1)); then
    _quorvane_cli_add -W "create edit show verify trackers help --help --version -V" -- "$cur"
    return 0
  fi

  local command=${COMP_WORDS[1]} i
  # "help COMMAND" describes one command.
  if [[ $command == help ]]; then
    ((COMP_CWORD == 2)) && _quorvane_cli_add -W "create edit show verify trackers" -- "$cur"
    return 0
  fi
  # After "--" everything is a PATH.
  for ((i = 2; i < COMP_CWORD; i++)); do
    if [[ ${COMP_WORDS[i]} == "--" ]]; then
      if [[ $command == create ]]; then
        compopt -o filenames 2>/dev/null
        _quorvane_cli_add -f -- "$cur"
      fi
      return 0
    fi
  done

  case $command in
    create)
      case $prev in
        -a | --announce | -b | --backup)
          _quorvane_cli_tracker_names "$cur" "${COMP_WORDS[0]}"
          return 0
          ;;
        -l | --piece-length)
          _quorvane_cli_add -W "auto 16k 32k 64k 128k 256k 512k 1m 2m 4m 8m 16m 32m 64m" -- "$cur"
          return 0
          ;;
        --max-piece-length)
          _quorvane_cli_add -W "16k 32k 64k 128k 256k 512k 1m 2m 4m 8m 16m 32m 64m" -- "$cur"
          return 0
          ;;
        --format)
          _quorvane_cli_add -W "v1 v2 hybrid" -- "$cur"
          return 0
          ;;
        -o | --output)
          _quorvane_cli_torrents "$cur"
          return 0
          ;;
        --each)
          compopt -o filenames 2>/dev/null
          _quorvane_cli_add -d -- "$cur"
          return 0
          ;;
        -c | --comment | -s | --source | -w | --web-seed | -n | --name | --exclude | --exclude-ci | -t | --threads | \
          --date)
          return 0
          ;;
      esac
      if [[ $cur == -* ]]; then
        _quorvane_cli_add -W "-a --announce -b --backup -c --comment -l --piece-length --max-piece-length
                              -o --output --each -p --private -s --source -w --web-seed -n --name --no-date
                              --date --no-tracker --format --exclude --exclude-ci --exclude-hidden --keep-thumbs -f --force -y --yes
                              -q --quiet -t --threads --json --help" -- "$cur"
      else
        # A PATH is a file or a folder.
        compopt -o filenames 2>/dev/null
        _quorvane_cli_add -f -- "$cur"
      fi
      ;;
    edit)
      # The second value of --replace-tracker.
      if ((COMP_CWORD > 2)) && [[ ${COMP_WORDS[COMP_CWORD - 2]} == --replace-tracker ]]; then
        return 0
      fi
      case $prev in
        -o | --output)
          _quorvane_cli_torrents "$cur"
          return 0
          ;;
        --date)
          _quorvane_cli_add -W "now none" -- "$cur"
          return 0
          ;;
        --private)
          _quorvane_cli_add -W "on off" -- "$cur"
          return 0
          ;;
        --announce | --backup | --add-tracker)
          _quorvane_cli_tracker_names "$cur" "${COMP_WORDS[0]}"
          return 0
          ;;
        --remove-tracker | --replace-tracker | --name | --comment | --rename | --source | --web-seed)
          return 0
          ;;
      esac
      if [[ $cur == -* ]]; then
        _quorvane_cli_add -W "-o --output -f --force --announce --backup --no-backup --add-tracker --remove-tracker
                              --replace-tracker --name --comment --date --rename --private --source
                              --no-source --web-seed --no-web-seeds -y --yes --help" -- "$cur"
      else
        _quorvane_cli_torrents "$cur"
      fi
      ;;
    verify)
      if [[ $cur == -* ]]; then
        _quorvane_cli_add -W "--json -q --quiet --help" -- "$cur"
      else
        # FILE, then DATA: a file or a folder.
        local operands=0
        for ((i = 2; i < COMP_CWORD; i++)); do
          [[ ${COMP_WORDS[i]} != -* ]] && operands=$((operands + 1))
        done
        if ((operands == 0)); then
          _quorvane_cli_torrents "$cur"
        else
          compopt -o filenames 2>/dev/null
          _quorvane_cli_add -f -- "$cur"
        fi
      fi
      ;;
    show)
      if [[ $cur == -* ]]; then
        _quorvane_cli_add -W "--json --help" -- "$cur"
      else
        _quorvane_cli_torrents "$cur"
      fi
      ;;
    trackers)
      [[ $prev == --url ]] && return 0
      [[ $cur == -* ]] && _quorvane_cli_add -W "--refresh --url --help" -- "$cur"
      ;;
  esac
  return 0
}

complete -F _quorvane_cli quorvane-cli
