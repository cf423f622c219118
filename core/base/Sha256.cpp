#include "core/base/Sha256.h"

#include <openssl/evp.h>

#include <memory>

namespace twinlantern {

std::optional<Sha256Digest> sha256Digest(std::string_view bytes) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                    &EVP_MD_CTX_free);
    Sha256Digest digest{};
    unsigned int length = 0;
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1 ||
        EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1 ||
        EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1 || length != digest.size()) {
        return std::nullopt;
    }
    return digest;
}

std::string sha256Hex(std::string_view bytes) {
    const std::optional<Sha256Digest> digest = sha256Digest(bytes);
    if (!digest) {
        return {};
    }
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(digest->size() * 2);
    for (const std::uint8_t byte : *digest) {
        out += hex[byte >> 4];
        out += hex[byte & 0xf];
    }
    return out;
}

} // namespace twinlantern
