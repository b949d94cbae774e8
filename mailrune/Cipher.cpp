#include "Cipher.h"

#include "Codepage.h"
#include "MailQtText.h"

#include <nettle/arcfour.h>
#include <nettle/sha1.h>

#include <array>
#include <cstdint>
#include <cstring>

namespace {

constexpr char kPassPhrase[] = "qrMellowix";

// The old provider's default RC4 key: 40 bits of the phrase's SHA-1, padded with zero bytes to 128.
std::array<std::uint8_t, 16> CipherKey()
{
    sha1_ctx hash;
    sha1_init(&hash);
    sha1_update(&hash, sizeof kPassPhrase - 1, reinterpret_cast<const std::uint8_t*>(kPassPhrase));
    std::uint8_t digest[SHA1_DIGEST_SIZE];
    sha1_digest(&hash, sizeof digest, digest);

    std::array<std::uint8_t, 16> key{};
    std::memcpy(key.data(), digest, 5);
    return key;
}

} // namespace

std::string RuneCipher(std::string_view bytes)
{
    const auto key = CipherKey();
    arcfour_ctx rc4;
    arcfour_set_key(&rc4, key.size(), key.data());
    std::string out(bytes.size(), '\0');
    if (!bytes.empty())
        arcfour_crypt(&rc4, bytes.size(), reinterpret_cast<std::uint8_t*>(out.data()),
                      reinterpret_cast<const std::uint8_t*>(bytes.data()));
    return out;
}

QByteArray EncipherPassword(const QString& password)
{
    const std::string cipher = RuneCipher(ToCp1251(password));
    return QByteArray(cipher.data(), qsizetype(cipher.size()));
}

QString DecipherPassword(const QByteArray& stored)
{
    const std::u16string plain =
        CodepageToUtf16(RuneCipher(std::string_view(stored.constData(), std::size_t(stored.size()))));
    return QString::fromUtf16(plain.data(), qsizetype(plain.size()));
}
