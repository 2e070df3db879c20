#pragma once
// The byte rules of attribute text in legacy tables: whether bytes are
// strict UTF-8 or strict GB18030, how much of a GB18030 reading is Chinese,
// what a dBASE code-page byte (LDID) or a .cpg file declares, and which
// encoding a table's text is read with.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace glyphway::text {

// Strict UTF-8 as the host's decoder takes it: no overlong forms, no
// surrogates, nothing above U+10FFFF, no cut sequence.
bool is_strict_utf8(std::string_view bytes);

// Strict GB18030 (a superset of GBK and GB2312): one byte 00-7F, two bytes
// 81-FE then 40-7E or 80-FE, four bytes 81-FE 30-39 81-FE 30-39 inside the
// ranges that map to Unicode (the BMP from 81 30 81 30, the planes above
// from 90 30 81 30 to E3 32 9A 35).
bool is_strict_gb18030(std::string_view bytes);

// The characters of a GB18030 reading of `bytes` that count for its
// Chinese share: every character but ASCII digits, punctuation and
// whitespace; and of those the CJK ones (the ideographs of GB2312, GBK/3
// and GBK/4 and the full-width CJK symbols of rows A1-A9). The
// user-defined areas, which map to private use, are no CJK.
struct CjkShare {
    std::size_t cjk = 0;
    std::size_t counted = 0;
};
CjkShare gb18030_cjk_share(std::string_view bytes);

// What a table declares its text to be.
enum class CodePageKind {
    none,         // nothing: no .cpg and LDID 0, or a .cpg naming no known code page
    utf8,
    gbk,          // GBK, CP936, GB2312 or GB18030
    single_byte,  // a Latin, Cyrillic, Greek ... page: every byte decodes
    multi_byte,   // another double-byte page (Shift-JIS, Big5, UHC)
};

struct CodePage {
    CodePageKind kind = CodePageKind::none;
    std::string codec;  // the host's codec name ("utf-8", "gbk", "cp1252" ...); empty for none
};

// The code page a dBASE language-driver byte stands for (shapelib's and
// GDAL's table); none for 0 and for bytes no table knows.
CodePage code_page_of_ldid(unsigned char ldid);

// The code page a .cpg file's text names ("UTF-8", "65001", "936", "GBK",
// "88591", "ISO-8859-1", "1252", "ANSI 1252" ...), or none.
CodePage code_page_of_cpg(std::string_view text);

// How a table's text is read. `codec` empty: as the table declares, which
// the reader already does, so nothing changes. `replace`: the chosen codec
// does not decode every value, and what does not decode becomes U+FFFD.
struct EncodingChoice {
    std::string codec;
    bool replace = false;
    std::string reason;  // why the declaration was not followed; empty when it was
};

// The encoding the text `values` (the raw bytes of every text field of every
// row) are read with, given what the table declares:
// - pure ASCII, or text the declaration decodes: the declaration;
// - strict UTF-8 with non-ASCII bytes: UTF-8, whatever is declared. A GBK
//   name is almost never valid UTF-8, while UTF-8 Chinese often happens to
//   be valid GBK (a 0x4D LDID over UTF-8 text, the case that forced this);
// - else strict GB18030: GB18030 where nothing or GBK is declared, and over
//   a single-byte declaration only when at least half the counted
//   characters of the values holding non-ASCII bytes read as CJK (Latin text
//   such as "Praça" is often valid GB18030 too, but reads as a scattering
//   of ideographs);
// - else the declared code page (Latin-1 where there is none), with
//   replacement where it is UTF-8 or GBK.
// `declared_as`: how the declaration is named in the reason ("the .cpg's
// \"UTF-8\"", "LDID 0x4D" ...).
EncodingChoice choose_encoding(const std::vector<std::string_view>& values,
                               const CodePage& declared, const std::string& declared_as);

}  // namespace glyphway::text
