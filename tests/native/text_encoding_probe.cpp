// The byte rules of attribute text for the Python tests, which hold them
// against the host's own decoders.
//
//   text_encoding_probe   lines of hex bytes
//     -> per line "UTF8 GB18030 CJK COUNTED": 1/0 for strict UTF-8 and
//        strict GB18030, then the GB18030 reading's CJK share
#include <iostream>
#include <string>

#include "text/text_encoding.hpp"

namespace tx = glyphway::text;

int main() {
    std::string line;
    while (std::getline(std::cin, line)) {
        std::string bytes;
        for (std::size_t i = 0; i + 1 < line.size(); i += 2) {
            bytes.push_back(static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16)));
        }
        const tx::CjkShare share = tx::gb18030_cjk_share(bytes);
        std::cout << tx::is_strict_utf8(bytes) << ' ' << tx::is_strict_gb18030(bytes) << ' '
                  << share.cjk << ' ' << share.counted << '\n';
    }
    return 0;
}
