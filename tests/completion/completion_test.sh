#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The completion scripts as `cmake --install` puts them in place, run by the shells
# themselves: bash's through bash-completion, as Tab runs it, and zsh's through compinit on a
# pseudo-terminal (complete.zsh). Each line of the table is completed after
# "veskar-convert " in a folder that holds a folder and a file: what a shell offers must
# hold every word of the second column and none of the third. Exits 77 where
# bash-completion or zsh is missing.
#
#   completion_test.sh CMAKE BUILD
set -euo pipefail
cmake=$1
build=$2
here=$(cd "$(dirname "$0")" && pwd)
bash_completion=/usr/share/bash-completion/bash_completion
if [ ! -r "$bash_completion" ] || ! command -v zsh >/dev/null; then
    echo "bash-completion or zsh is missing"; exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

DESTDIR=$work/root "$cmake" --install "$build" --prefix /usr >/dev/null
bash_script=$work/root/usr/share/bash-completion/completions/veskar-convert
zsh_folder=$work/root/usr/share/zsh/vendor-completions
mkdir -p "$work/cwd/folder-x" && : >"$work/cwd/file-x"
cd "$work/cwd"

# The line split into words as readline splits it: "=" is a word of its own.
bash_offers() {
    bash --norc --noprofile -c '
        source "$1" && source "$2"
        COMP_LINE=$3 && COMP_POINT=${#COMP_LINE}
        read -ra COMP_WORDS <<<"${COMP_LINE//=/ = }"
        [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        _veskar_convert veskar-convert "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf "%s\n" "${COMPREPLY[@]}"' bash "$bash_completion" "$bash_script" "$1"
}
zsh_offers() {
    zsh -f "$here/complete.zsh" "$zsh_folder" "$work/zdotdir" "$1"
}

failures=0
check() {
    local line="veskar-convert $1" shell offered word
    for shell in bash zsh; do
        offered=$("${shell}_offers" "$line")
        for word in $2; do
            grep -qxF -- "$word" <<<"$offered" && continue
            echo "$shell: '$line' does not offer $word (offers:" $offered")"
            failures=$((failures + 1))
        done
        for word in $3; do
            grep -qxF -- "$word" <<<"$offered" || continue
            echo "$shell: '$line' offers $word"
            failures=$((failures + 1))
        done
    done
}

#     after veskar-convert  offered                                  not offered
check '--la'                '--layout'                               '--format'
check '--layout '           'sfm fruit netatalk2 binhex'             'auto folder-x'
check '-f '                 'auto macbinary'                         'folder-x'
check '--format=mac'        'macbinary'                              'auto'
check '-rl '                'appledouble'                            'folder-x'
check ''                    'folder-x'                               'file-x'
check 'out '                'folder-x file-x'                        ''
check '--info '             'file-x'                                 ''
check '-- -f '              'file-x'                                 'auto'

[ "$failures" = 0 ] || exit 1
echo "bash and zsh complete veskar-convert as expected"
