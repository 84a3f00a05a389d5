# bash completion for tovalin.
#
# The commands and each command's options are read from the tool's own --help when asked for,
# so that completion offers whatever the installed tovalin takes, options added later included.
# A value of an option whose help calls it DIR completes folders; other values and the operands
# complete file names.

# The option lines of a --help text: "  -d, --directory DIR  text" gives "-d --directory DIR".
_tovalin_option_lines() {
  local line
  while IFS= read -r line; do
    if [[ $line =~ ^\ +(-[A-Za-z0-9],\ )?(--[A-Za-z0-9-]+)(\ ([A-Z][A-Z0-9|_-]*))?(\ \ |$) ]]; then
      printf '%s %s %s\n' "${BASH_REMATCH[1]%, }" "${BASH_REMATCH[2]}" "${BASH_REMATCH[4]}"
    fi
  done
}

_tovalin() {
  local tool=${COMP_WORDS[0]} cur=${COMP_WORDS[COMP_CWORD]}
  local prev=${COMP_WORDS[COMP_CWORD - 1]}
  COMPREPLY=()

  if ((COMP_CWORD == 1)); then
    local commands
    commands=$("$tool" --help 2>/dev/null |
      sed -n '/^Commands:$/,/^$/{s/^  \([a-z][a-z0-9-]*\) .*/\1/p}')
    mapfile -t COMPREPLY < <(compgen -W "$commands --help --version" -- "$cur")
    return 0
  fi

  local help
  help=$("$tool" "${COMP_WORDS[1]}" --help 2>/dev/null) || return 0
  local short long value words=""
  while read -r short long value; do
    # read shifts the fields left when there is no short form.
    if [[ $short == --* ]]; then
      value=$long
      long=$short
      short=""
    fi
    if [[ -n $value && ($prev == "$long" || (-n $short && $prev == "$short")) ]]; then
      if [[ $value == DIR ]]; then
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
      else
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      fi
      return 0
    fi
    words+=" $short $long"
  done < <(_tovalin_option_lines <<<"$help")

  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
  else
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  fi
  return 0
}

complete -o filenames -F _tovalin tovalin tovalin.exe
