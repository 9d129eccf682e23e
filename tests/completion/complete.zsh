# SPDX-License-Identifier: Apache-2.0
# Completes a command line in an interactive zsh on a pseudo-terminal (zsh/zpty), as Tab at
# the end of the line does, and prints the words the completion functions offered, one a
# line. The shell's start-up file is a .zshrc of its own in ZDOTDIR, whose compinit loads
# the functions of FUNCTION_FOLDER.
#
#   zsh -f complete.zsh FUNCTION_FOLDER ZDOTDIR LINE
zmodload zsh/zpty || exit 1
local line=$3
export VESKAR_FUNCTIONS=$1 ZDOTDIR=$2 VESKAR_OFFERED=$2/offered
mkdir -p $ZDOTDIR && : >$VESKAR_OFFERED
cat >$ZDOTDIR/.zshrc <<'RC'
fpath=($VESKAR_FUNCTIONS $fpath)
autoload -Uz compinit && compinit -u -D
unsetopt auto_list auto_menu
bindkey '^I' complete-word
# Every word a completion function adds that matches the line goes to $VESKAR_OFFERED too.
# Calls that only match words into arrays (-O, -A, -D) are the functions' own work.
compadd() {
    local -a flags=("${(@)argv[1,(i)--]}") offered
    if (( ${flags[(I)-[OAD]*]} )); then
        builtin compadd "$@"
        return
    fi
    builtin compadd -O offered "$@"
    (( $#offered )) && print -rl -- $offered >>$VESKAR_OFFERED
    builtin compadd "$@"
}
# Marks for the driver: the line editor reads keys; the completion has ended.
zle-line-init() { print -n '<ready>' }
zle -N zle-line-init
veskar_completed() { print -n '<completed>' }
comppostfuncs=(veskar_completed)
RC

local seen
zpty shell zsh -d -i
zpty -r shell seen '*<ready>*' || exit 1
zpty -w -n shell "$line"$'\t'
zpty -r shell seen '*<completed>*' || exit 1
zpty -d shell
cat $VESKAR_OFFERED
