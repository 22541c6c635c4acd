#include "campus/Sha256.h"

#include "common/SharedLibrary.h"

#include <openssl/evp.h>

#include <array>
#include <fstream>
#include <memory>
#include <system_error>

namespace halvix::campus {

namespace {

// libcrypto's digest, looked up when a campus first hashes: a program outside a campus never maps
// the library. Without it every hash is empty, which no check accepts.
struct Digest {
    decltype(&::EVP_MD_CTX_new) newContext = nullptr;
    decltype(&::EVP_MD_CTX_free) freeContext = nullptr;
    decltype(&::EVP_sha256) sha256 = nullptr;
    decltype(&::EVP_DigestInit_ex) init = nullptr;
    decltype(&::EVP_DigestUpdate) update = nullptr;
    decltype(&::EVP_DigestFinal_ex) finalize = nullptr;
};

const Digest* digest() {
    static const Digest* const loaded = []() -> const Digest* {
        static SharedLibrary library;
        static Digest d;
        std::string problem;
        const bool ok = library.open("libcrypto.so.3", problem) &&
                        library.resolve("EVP_MD_CTX_new", d.newContext, problem) &&
                        library.resolve("EVP_MD_CTX_free", d.freeContext, problem) &&
                        library.resolve("EVP_sha256", d.sha256, problem) &&
                        library.resolve("EVP_DigestInit_ex", d.init, problem) &&
                        library.resolve("EVP_DigestUpdate", d.update, problem) &&
                        library.resolve("EVP_DigestFinal_ex", d.finalize, problem);
        return ok ? &d : nullptr;
    }();
    return loaded;
}

struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { digest()->freeContext(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, ContextFree>;

DigestContext newContext() {
    const Digest* d = digest();
    if (!d)
        return nullptr;
    DigestContext context(d->newContext());
    if (context && d->init(context.get(), d->sha256(), nullptr) != 1)
        context.reset();
    return context;
}

bool update(EVP_MD_CTX* context, const void* bytes, std::size_t size) {
    return digest()->update(context, bytes, size) == 1;
}

std::string finish(EVP_MD_CTX* context) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> bytes{};
    unsigned int length = 0;
    if (digest()->finalize(context, bytes.data(), &length) != 1)
        return {};
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[bytes[i] >> 4];
        hex += kHex[bytes[i] & 0xf];
    }
    return hex;
}

} // namespace

std::string sha256Hex(std::string_view bytes) {
    const DigestContext context = newContext();
    if (!context || !update(context.get(), bytes.data(), bytes.size()))
        return {};
    return finish(context.get());
}

std::optional<std::string> sha256OfFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const DigestContext context = newContext();
    if (!in || !context)
        return std::nullopt;
    std::array<char, 64 * 1024> buffer{};
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const std::streamsize got = in.gcount();
        if (got > 0 && !update(context.get(), buffer.data(), static_cast<std::size_t>(got)))
            return std::nullopt;
    }
    if (in.bad())
        return std::nullopt;
    std::string hex = finish(context.get());
    if (hex.empty())
        return std::nullopt;
    return hex;
}

bool fileHasSha256(const std::filesystem::path& file, const std::string& sha256) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(file, error)))
        return false;
    const auto hash = sha256OfFile(file);
    return hash && *hash == sha256;
}

bool isSha256Hex(std::string_view text) {
    if (text.size() != 64)
        return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

} // namespace halvix::campus
