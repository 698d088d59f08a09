#pragma once

#include <QByteArray>

// The stored form of the mail password: byte p (counted from 1) moved by p + PasswordScrambleOffset,
// modulo 256. Settings stored with one offset are readable only with the same offset.
constexpr unsigned char PasswordScrambleOffset = 0x4B;

QByteArray ScramblePassword(const QByteArray& password);
QByteArray UnscramblePassword(const QByteArray& scrambled);
