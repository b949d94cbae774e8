// The cipher of the stored passwords: RC4 under a key derived from a fixed pass phrase, so that
// settings written by earlier versions of the plug-in still read back.
#pragma once

#include <QByteArray>
#include <QString>

#include <string>
#include <string_view>

// RC4 from the start of the key stream; the same call enciphers and deciphers.
std::string RuneCipher(std::string_view bytes);

// A password's cp1251 bytes, enciphered; the result is as long as those bytes.
QByteArray EncipherPassword(const QString& password);
QString DecipherPassword(const QByteArray& stored);
