#!/bin/sh
# One conversation of pop3fault-start.sh's server in mode $MODE; stdin and stdout are the
# connection. `answer REPLY` waits for the next command and answers it.
say() { printf '%s\r\n' "$1"; }
answer() {
    read -r _ || exit 0
    say "$1"
}
stat="+OK 2 320"
case $MODE in
err-greeting)
    say "-ERR not now"
    exec cat >/dev/null
    ;;
silent) exec cat >/dev/null ;;
stall)
    say "+OK ready"
    answer "+OK"
    exec cat >/dev/null
    ;;
big)
    printf '+OK '
    head -c 6000 /dev/zero | tr '\000' x
    printf '\r\n'
    ;;
close)
    say "+OK ready"
    exit 0
    ;;
reset)
    say "+OK ready"
    sleep 1
    exit 0
    ;;
letters) say "+OK ready" && stat="+OK two 320" ;;
no-numbers) say "+OK ready" && stat="+OK" ;;
huge) say "+OK ready" && stat="+OK 4294967298 320" ;;
*) say "+OK ready" ;;
esac
answer "+OK"
answer "+OK"
if [ "$MODE" = split ]; then
    read -r _ || exit 0
    printf '+OK 2'
    sleep 1
    printf ' 320\r\n'
else
    answer "$stat"
fi
answer "+OK bye"
