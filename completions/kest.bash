# Bash completion for kest.                                  -*- shell-script -*-
#
# Completes the long options (those that take an argument end in "=", so the
# value can follow at once), the short options, the function names of --math,
# the values of --plot-log and --plot-style, argument files after "@", and file
# names everywhere else. Works with and without the bash-completion package;
# install as share/bash-completion/completions/kest or source it from ~/.bashrc.

# Long options without an argument.
_kest_long_plain=(
  quiet silence keep-comments check inverse columns remove-columns rows
  remove-rows qxstars transpose add-line-count more shuffle diff special-log
  sum-col sum_col sum-vertical sum_vertical sum-row sum_row sum-horizontal
  sum_horizontal eval-examples eval_examples eval-operators eval_operators
  eval-constants eval_constants eval-functions eval_functions latex-output
  output-latex c-output output-c standard-output output-standard output-csv
  nop noop no-wait-on-error wait-on-error help version debug get-rows get-cols
  append flip-ud flip-lr plot
)

# Long options that require an argument.
_kest_long_required=(
  skip-columns skip-rows split specified sinc-lp sinc-hp sinc-bp sinc-bs shift
  multiply divide noise add sort qsort medianfilter xtra delimiter format
  removegt keepleq removelt keepgeq removeeq keepneq keepgt removeleq keeplt
  removegeq keepeq removeneq range-keep range-remove math eval cut-square
  eval-begin eval_begin eval-prolog eval_prolog eval-end eval_end eval-epilog
  eval_epilog fuzz maxbuff running-average running-avg running-mean
  input-delimiter plot-x plot-size plot-title plot-xlabel plot-ylabel plot-log
  plot-style
)

# Long options whose argument is optional (it must then be attached with "=").
_kest_long_optional=(filter keep-columns keep-rows wildcard enumerate)

# Short options; the upper-case letters act as these and are not offered.
_kest_short=(-a -b -c -d -e -f -h -i -j -k -m -n -p -q -r -s -t -u -v -w -x -y -z -#)

# Short options whose argument is the next word.
_kest_short_required=" -b -e -j -m -n -p -q -u -x -z -B -E -J -M -N -P -Q -U -X -Z "

# The function names of --math.
_kest_math_functions="nop fabs cos cosh sin sinh ln log log10 log2 acos asin tan
  atan ceil floor inv x2 x3 sqrt sqrt3"

# Adds to COMPREPLY the file names that complete $2, each preceded by $1. With
# a prefix the names are quoted here, since readline then takes them as text.
_kest_files() {
  local prefix=$1 path=$2 name quoted
  if [[ -z $prefix ]]; then
    if declare -F _filedir >/dev/null; then
      local cur=$path
      _filedir
    else
      compopt -o filenames 2>/dev/null
      while IFS= read -r name; do
        COMPREPLY+=("$name")
      done < <(compgen -f -- "$path")
    fi
    return
  fi
  compopt -o nospace 2>/dev/null
  while IFS= read -r name; do
    printf -v quoted '%q' "$name"
    if [[ -d $name ]]; then
      COMPREPLY+=("$prefix$quoted/")
    else
      COMPREPLY+=("$prefix$quoted ")
    fi
  done < <(compgen -f -- "$path")
}

# Adds to COMPREPLY the completions of the argument $2 of the long option $1,
# each preceded by $3.
_kest_option_value() {
  local option=$1 value=$2 prefix=$3 word
  case $option in
    --math)
      for word in $(compgen -W "$_kest_math_functions" -- "$value"); do
        COMPREPLY+=("$prefix$word")
      done
      ;;
    --plot-log | --plot-style)
      local words="x y xy"
      [[ $option == --plot-style ]] && words="lines points both"
      for word in $(compgen -W "$words" -- "$value"); do
        COMPREPLY+=("$prefix$word")
      done
      ;;
  esac
}

_kest() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev=${COMP_WORDS[COMP_CWORD - 1]}
  local i name
  COMPREPLY=()

  # After "--" every word is a file name.
  for ((i = 1; i < COMP_CWORD; i++)); do
    if [[ ${COMP_WORDS[i]} == -- ]]; then
      _kest_files "" "$cur"
      return 0
    fi
  done

  # "--option=value" arrives split at "=" when "=" is a word break (the
  # default): the words are "--option", "=" and the value typed so far.
  if [[ $cur == = && $prev == --* ]]; then
    _kest_option_value "$prev" "" ""
    return 0
  fi
  if [[ $prev == = && $COMP_CWORD -ge 2 && ${COMP_WORDS[COMP_CWORD - 2]} == --* ]]; then
    _kest_option_value "${COMP_WORDS[COMP_CWORD - 2]}" "$cur" ""
    return 0
  fi
  # ... or whole, when "=" is not a word break.
  if [[ $cur == --*=* ]]; then
    _kest_option_value "${cur%%=*}" "${cur#*=}" "${cur%%=*}="
    return 0
  fi

  # Argument files. Readline keeps the "@" in the word it completes, while
  # COMP_WORDS may hold it as a word of its own (it is a word break).
  if [[ $cur == @ ]]; then
    _kest_files @ ""
    return 0
  fi
  if [[ $prev == @ ]]; then
    _kest_files @ "$cur"
    return 0
  fi

  # The argument of an option as the next word: no file name.
  if [[ $_kest_short_required == *" $prev "* ]]; then
    return 0
  fi
  if [[ $prev == --* ]]; then
    for name in "${_kest_long_required[@]}"; do
      if [[ $prev == "--$name" ]]; then
        _kest_option_value "$prev" "$cur" ""
        return 0
      fi
    done
  fi

  case $cur in
    --*)
      local -a candidates=()
      for name in "${_kest_long_plain[@]}" "${_kest_long_optional[@]}"; do
        candidates+=("--$name")
      done
      for name in "${_kest_long_required[@]}" "${_kest_long_optional[@]}"; do
        candidates+=("--$name=")
      done
      for name in "${candidates[@]}"; do
        [[ $name == "$cur"* ]] && COMPREPLY+=("$name")
      done
      for name in "${COMPREPLY[@]}"; do
        if [[ $name == *= ]]; then
          compopt -o nospace 2>/dev/null
          break
        fi
      done
      ;;
    -?*)
      for name in "${_kest_short[@]}"; do
        [[ $name == "$cur"* ]] && COMPREPLY+=("$name")
      done
      ;;
    -)
      COMPREPLY=("${_kest_short[@]}")
      ;;
    @*)
      _kest_files @ "${cur#@}"
      ;;
    *)
      _kest_files "" "$cur"
      ;;
  esac
  return 0
}

complete -F _kest kest
