#include "text/text_encoding.hpp"

#include <array>
#include <cctype>
#include <cstdint>

namespace glyphway::text {

namespace {

bool in(unsigned char byte, unsigned char low, unsigned char high) {
    return byte >= low && byte <= high;
}

bool is_gbk_trail(unsigned char byte) { return in(byte, 0x40, 0xFE) && byte != 0x7F; }

// A four-byte GB18030 sequence as one linear number (81 30 81 30 is 0).
std::uint32_t four_byte_index(const unsigned char* b) {
    return ((std::uint32_t(b[0] - 0x81) * 10 + (b[1] - 0x30)) * 126 + (b[2] - 0x81)) * 10 +
           (b[3] - 0x30);
}

// The linear numbers of 84 31 A4 39 (the last BMP code), 90 30 81 30 and
// E3 32 9A 35 (the first and last above the BMP).
const unsigned char kLastBmp[] = {0x84, 0x31, 0xA4, 0x39};
const unsigned char kFirstPlanes[] = {0x90, 0x30, 0x81, 0x30};
const unsigned char kLastPlanes[] = {0xE3, 0x32, 0x9A, 0x35};

// The length of the GB18030 sequence at `at`, or 0 where none starts.
std::size_t gb18030_sequence(std::string_view bytes, std::size_t at) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[at + k]); };
    if (byte(0) < 0x80) return 1;
    if (!in(byte(0), 0x81, 0xFE) || at + 1 >= bytes.size()) return 0;
    if (is_gbk_trail(byte(1))) return 2;
    if (!in(byte(1), 0x30, 0x39) || at + 3 >= bytes.size()) return 0;
    if (!in(byte(2), 0x81, 0xFE) || !in(byte(3), 0x30, 0x39)) return 0;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    const std::uint32_t index = four_byte_index(b);
    if (index <= four_byte_index(kLastBmp)) return 4;
    if (index >= four_byte_index(kFirstPlanes) && index <= four_byte_index(kLastPlanes)) return 4;
    return 0;
}

bool is_cjk_pair(unsigned char lead, unsigned char trail) {
    if (in(lead, 0xA1, 0xA9) && in(trail, 0xA1, 0xFE)) return true;   // GB2312 symbols
    if (in(lead, 0xB0, 0xF7) && in(trail, 0xA1, 0xFE)) return true;   // GB2312 ideographs
    if (in(lead, 0x81, 0xA0)) return true;                             // GBK/3
    if (in(lead, 0xAA, 0xFE) && in(trail, 0x40, 0xA0)) return true;   // GBK/4
    return in(lead, 0xA8, 0xA9) && in(trail, 0x40, 0xA0);              // GBK/5 symbols
}

std::string upper_alnum(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        }
    }
    return out;
}

CodePage page(CodePageKind kind, std::string codec) { return {kind, std::move(codec)}; }

CodePage windows_page(int number) {
    switch (number) {
        case 65001: return page(CodePageKind::utf8, "utf-8");
        case 936: return page(CodePageKind::gbk, "gbk");
        case 54936: return page(CodePageKind::gbk, "gb18030");
        case 932: return page(CodePageKind::multi_byte, "cp932");
        case 949: return page(CodePageKind::multi_byte, "cp949");
        case 950: return page(CodePageKind::multi_byte, "cp950");
        case 437: case 737: case 775: case 850: case 852: case 855: case 857: case 860:
        case 861: case 862: case 863: case 864: case 865: case 866: case 869: case 874:
        case 1250: case 1251: case 1252: case 1253: case 1254: case 1255: case 1256:
        case 1257: case 1258:
            return page(CodePageKind::single_byte, "cp" + std::to_string(number));
        case 10000: return page(CodePageKind::single_byte, "mac-roman");
        case 10007: return page(CodePageKind::single_byte, "mac-cyrillic");
        case 10029: return page(CodePageKind::single_byte, "mac-latin2");
        default: return {};
    }
}

}  // namespace

bool is_strict_utf8(std::string_view bytes) {
    std::size_t i = 0;
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    while (i < bytes.size()) {
        const unsigned char lead = byte(i);
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;  // the second byte's range
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (in(lead, 0xC2, 0xDF)) {
            length = 2;
        } else if (in(lead, 0xE0, 0xEF)) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;   // no overlong form
            if (lead == 0xED) high = 0x9F;  // no surrogate
        } else if (in(lead, 0xF0, 0xF4)) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
        } else {
            return false;
        }
        if (i + length > bytes.size() || !in(byte(i + 1), low, high)) return false;
        for (std::size_t k = 2; k < length; ++k) {
            if (!in(byte(i + k), 0x80, 0xBF)) return false;
        }
        i += length;
    }
    return true;
}

bool is_strict_gb18030(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = gb18030_sequence(bytes, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

CjkShare gb18030_cjk_share(std::string_view bytes) {
    CjkShare share;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = gb18030_sequence(bytes, i);
        if (length == 0) {
            ++i;
            continue;
        }
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (length == 1) {
            if (std::isalpha(lead)) ++share.counted;
        } else {
            ++share.counted;
            if (length == 2 && is_cjk_pair(lead, static_cast<unsigned char>(bytes[i + 1]))) {
                ++share.cjk;
            }
        }
        i += length;
    }
    return share;
}

CodePage code_page_of_ldid(unsigned char ldid) {
    // shapelib's language drivers and the Windows code pages they stand for.
    static const std::array<std::pair<unsigned char, int>, 59> kDrivers = {{
        {1, 437}, {2, 850}, {3, 1252}, {4, 10000}, {8, 865}, {9, 437}, {10, 850},
        {11, 437}, {13, 437}, {14, 850}, {15, 437}, {16, 850}, {17, 437}, {18, 850},
        {19, 932}, {20, 850}, {21, 437}, {22, 850}, {23, 865}, {24, 437}, {25, 437},
        {26, 850}, {27, 437}, {28, 863}, {29, 850}, {31, 852}, {34, 852}, {35, 852},
        {36, 860}, {37, 850}, {38, 866}, {55, 850}, {64, 852}, {77, 936}, {78, 949},
        {79, 950}, {80, 874}, {87, 1252}, {88, 1252}, {89, 1252}, {100, 852}, {101, 866},
        {102, 865}, {103, 861}, {106, 737}, {107, 857}, {108, 863}, {120, 950},
        {121, 949}, {122, 936}, {123, 932}, {124, 874}, {134, 737}, {135, 852},
        {136, 857}, {150, 10007}, {151, 10029}, {200, 1250}, {201, 1251},
    }};
    for (const auto& [byte, number] : kDrivers) {
        if (byte == ldid) return windows_page(number);
    }
    switch (ldid) {
        case 202: return windows_page(1254);
        case 203: return windows_page(1253);
        case 204: return windows_page(1257);
        default: return {};
    }
}

CodePage code_page_of_cpg(std::string_view text) {
    const std::string name = upper_alnum(text);
    if (name == "UTF8" || name == "65001") return windows_page(65001);
    if (name == "GBK" || name == "CP936" || name == "936" || name == "GB2312") {
        return windows_page(936);
    }
    if (name == "GB18030" || name == "54936") return windows_page(54936);
    if (name.rfind("8859", 0) == 0 || name.rfind("ISO8859", 0) == 0) {
        const std::string part = name.substr(name.rfind("8859", 0) == 0 ? 4 : 7);
        if (!part.empty() && part.size() <= 2 &&
            part.find_first_not_of("0123456789") == std::string::npos) {
            return page(CodePageKind::single_byte, "iso-8859-" + std::to_string(std::stoi(part)));
        }
        return {};
    }
    std::string digits = name;
    for (const char* prefix : {"ANSI", "CP", "WINDOWS", "OEM"}) {
        const std::string p(prefix);
        if (digits.rfind(p, 0) == 0) digits = digits.substr(p.size());
    }
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        return {};
    }
    return windows_page(std::stoi(digits));
}

EncodingChoice choose_encoding(const std::vector<std::string_view>& values,
                               const CodePage& declared, const std::string& declared_as) {
    // UTF-8 first, over every value: a country's table of Chinese names is
    // settled by this pass alone, and the GB18030 pass below, several times
    // slower, runs only for text that is not UTF-8.
    bool non_ascii = false, utf8 = true;
    for (std::string_view value : values) {
        bool value_non_ascii = false;
        for (char c : value) value_non_ascii |= static_cast<unsigned char>(c) >= 0x80;
        if (!value_non_ascii) continue;
        non_ascii = true;
        if (!is_strict_utf8(value)) {
            utf8 = false;
            break;
        }
    }
    const CodePageKind kind = declared.kind;
    if (!non_ascii) return {};
    if (kind == CodePageKind::utf8 && utf8) return {};
    if (utf8) return {"utf-8", false, declared_as + ", but the text is valid UTF-8"};
    bool gb18030 = true;
    CjkShare share;
    for (std::string_view value : values) {
        bool value_non_ascii = false;
        for (char c : value) value_non_ascii |= static_cast<unsigned char>(c) >= 0x80;
        if (!value_non_ascii) continue;
        gb18030 = gb18030 && is_strict_gb18030(value);
        const CjkShare part = gb18030_cjk_share(value);
        share.cjk += part.cjk;
        share.counted += part.counted;
    }
    if (kind == CodePageKind::gbk && gb18030) return {};
    const bool mostly_cjk = share.counted > 0 && 2 * share.cjk >= share.counted;
    if (gb18030 && mostly_cjk && kind != CodePageKind::multi_byte) {
        return {"gb18030", false, declared_as + ", but the text is valid GB18030 (GBK) and " +
                                      std::to_string(share.cjk * 100 / share.counted) +
                                      "% of its letters read as Chinese"};
    }
    switch (kind) {
        case CodePageKind::single_byte:
        case CodePageKind::multi_byte:
            return {};
        case CodePageKind::none:
            return {"", false, declared_as + ", and the text is neither UTF-8 nor GB18030: read "
                                             "as ISO-8859-1"};
        default:
            return {declared.codec, true,
                    declared_as + ", but the text does not decode as " + declared.codec +
                        "; what does not decode is replaced with U+FFFD"};
    }
}

}  // namespace glyphway::text
