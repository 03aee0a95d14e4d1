// Decoding of character references in link values: any bytes may arrive. The result never holds
// a control byte the value did not hold, keeps valid UTF-8 valid, and leaves text without "&"
// alone.

#include <algorithm>
#include <cstdint>
#include <string>

#include "CharacterReferences.h"
#include "FuzzCheck.h"

namespace {

bool IsControl(char c) {
    return static_cast<unsigned char>(c) < 32 || c == 127;
}

bool IsValidUtf8(const std::string& Text) {
    for (std::size_t i = 0; i < Text.size();) {
        const auto c = static_cast<unsigned char>(Text[i]);
        const int length = c < 0x80         ? 1
                           : (c >> 5) == 6  ? 2
                           : (c >> 4) == 14 ? 3
                           : (c >> 3) == 30 ? 4
                                            : 0;
        if (length == 0 || i + length > Text.size()) return false;
        std::uint32_t code = length == 1 ? c : c & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(Text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += static_cast<std::size_t>(length);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string value(reinterpret_cast<const char*>(Data), Size);
    const std::string decoded = DecodeCharacterReferences(value);
    if (!MayHoldCharacterReference(value)) FUZZ_CHECK(decoded == value);
    FUZZ_CHECK(std::count_if(decoded.begin(), decoded.end(), IsControl) ==
               std::count_if(value.begin(), value.end(), IsControl));
    FUZZ_CHECK(decoded.size() <= 2 * value.size());
    if (IsValidUtf8(value)) FUZZ_CHECK(IsValidUtf8(decoded));
    return 0;
}
