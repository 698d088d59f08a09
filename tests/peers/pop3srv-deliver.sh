#!/bin/sh
# usage: pop3srv-deliver.sh DIR SUBJECT
# Delivers one small message into the maildir of the server that pop3srv-start.sh set up in DIR.
set -eu
DIR=$1 SUBJECT=$2
MAILDIR=$DIR/home/tester/Maildir
name=$(date +%s).M$(date +%N)P$$.kronvik-test
printf 'From: a@example.test\r\nTo: tester@example.test\r\nSubject: %s\r\n\r\nbody of %s\r\n' "$SUBJECT" "$SUBJECT" \
    >"$MAILDIR/tmp/$name"
chown -R nobody:nogroup "$DIR/home"
mv "$MAILDIR/tmp/$name" "$MAILDIR/new/$name"
