// The update server's answer and the signature reader on arbitrary bytes: an accepted answer
// holds only safe entries, each a part of the body; a signature that parses is 64 bytes.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "database/UpdateAnswer.h"
#include "database/UpdateSignature.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const auto split = sentrel::SplitUpdateAnswer(body);
    for (const std::string& entry : split) {
        if (entry.find('|') != std::string::npos || body.find(entry) == std::string_view::npos) std::abort();
    }
    try {
        const auto entries = sentrel::ParseUpdateAnswer(body);
        if (entries != split || entries.size() > sentrel::kMaxUpdateEntries) std::abort();
        for (const std::string& entry : entries) {
            if (!sentrel::IsSafeUpdateEntryName(entry) || entry.find_first_of("/\\:") != std::string::npos)
                std::abort();
        }
    } catch (const sentrel::UpdateAnswerError&) {
    }
    (void)sentrel::RawSignatureFromDer(std::span(data, size));
    (void)sentrel::PublicKeyFromPem(body);
    (void)sentrel::IsAllowedUpdateServer(body);
    return 0;
}
