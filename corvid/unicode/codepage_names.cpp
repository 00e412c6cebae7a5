// SPDX-License-Identifier: MIT
#include <corvid/unicode/codepage_names.h>

#include <algorithm>
#include <iterator>

namespace corvid::unicode::detail {

namespace {

// Canonical ICU names where an alias is ambiguous (several tables answer to
// "windows-936", for example), aliases where they read better. Numbers that
// ICU has no table for (Johab 1361, the Mac Japanese and Korean pages, the
// IA5 variants, ...) are simply absent and count as invalid code pages.
constexpr codepage_name names[] = {
    {37, "ibm-37_P100-1995"},
    {437, "ibm-437_P100-1995"},
    {500, "ibm-500_P100-1995"},
    {708, "ibm-1089_P100-1995"},  // ASMO 708 is ISO 8859-6
    {720, "ibm-720_P100-1997"},
    {737, "ibm-737_P100-1997"},
    {775, "ibm-775_P100-1996"},
    {850, "ibm-850_P100-1995"},
    {852, "ibm-852_P100-1995"},
    {855, "ibm-855_P100-1995"},
    {857, "ibm-857_P100-1995"},
    {858, "ibm-858_P100-1997"},
    {860, "ibm-860_P100-1995"},
    {861, "ibm-861_P100-1995"},
    {862, "ibm-862_P100-1995"},
    {863, "ibm-863_P100-1995"},
    {864, "ibm-864_X110-1999"},
    {865, "ibm-865_P100-1995"},
    {866, "ibm-866_P100-1995"},
    {869, "ibm-869_P100-1995"},
    {870, "ibm-870_P100-1995"},
    {874, "windows-874-2000"},
    {875, "ibm-875_P100-1995"},
    {932, "ibm-943_P15A-2003"},
    {936, "windows-936-2000"},
    {949, "windows-949-2000"},
    {950, "windows-950-2000"},
    {1026, "ibm-1026_P100-1995"},
    {1047, "ibm-1047_P100-1995"},
    {1140, "ibm-1140_P100-1997"},
    {1141, "ibm-1141_P100-1997"},
    {1142, "ibm-1142_P100-1997"},
    {1143, "ibm-1143_P100-1997"},
    {1144, "ibm-1144_P100-1997"},
    {1145, "ibm-1145_P100-1997"},
    {1146, "ibm-1146_P100-1997"},
    {1147, "ibm-1147_P100-1997"},
    {1148, "ibm-1148_P100-1997"},
    {1149, "ibm-1149_P100-1997"},
    {1200, "UTF-16LE"},
    {1201, "UTF-16BE"},
    {1250, "ibm-5346_P100-1998"},
    {1251, "ibm-5347_P100-1998"},
    {1252, "ibm-5348_P100-1997"},
    {1253, "ibm-5349_P100-1998"},
    {1254, "ibm-5350_P100-1998"},
    {1255, "ibm-9447_P100-2002"},
    {1256, "ibm-9448_X100-2005"},
    {1257, "ibm-9449_P100-2002"},
    {1258, "ibm-5354_P100-1998"},
    {10000, "macos-0_2-10.2"},
    {10006, "macos-6_2-10.4"},
    {10007, "macos-7_3-10.2"},
    {10029, "macos-29-10.2"},
    {10081, "macos-35-10.2"},
    {12000, "UTF-32LE"},
    {12001, "UTF-32BE"},
    {20127, "US-ASCII"},
    {20273, "ibm-273_P100-1995"},
    {20277, "ibm-277_P100-1995"},
    {20278, "ibm-278_P100-1995"},
    {20280, "ibm-280_P100-1995"},
    {20284, "ibm-284_P100-1995"},
    {20285, "ibm-285_P100-1995"},
    {20290, "ibm-290_P100-1995"},
    {20297, "ibm-297_P100-1995"},
    {20420, "ibm-420_X120-1999"},
    {20424, "ibm-424_P100-1995"},
    {20838, "ibm-838_P100-1995"},
    {20866, "ibm-878_P100-1996"},  // KOI8-R
    {20871, "ibm-871_P100-1995"},
    {20932, "euc-jp-2007"},
    {20936, "ibm-1383_P110-1999"},  // GB 2312 in EUC form
    {20949, "ibm-970_P110_P110-2006_U2"},
    {21025, "ibm-1025_P100-1995"},
    {21866, "ibm-1168_P100-2002"},  // KOI8-U
    {28591, "ISO-8859-1"},
    {28592, "ibm-912_P100-1995"},
    {28593, "ibm-913_P100-2000"},
    {28594, "ibm-914_P100-1995"},
    {28595, "ibm-915_P100-1995"},
    {28596, "ibm-1089_P100-1995"},
    {28597, "ibm-9005_X110-2007"},
    {28598, "ibm-5012_P100-1999"},
    {28599, "ibm-920_P100-1995"},
    {28600, "iso-8859_10-1998"},
    {28601, "iso-8859_11-2001"},
    {28603, "ibm-921_P100-1995"},
    {28604, "iso-8859_14-1998"},
    {28605, "ibm-923_P100-1998"},
    {38598, "ibm-5012_P100-1999"},  // logical-order Hebrew: same bytes as 28598
    {50220, "ISO_2022,locale=ja,version=0"},
    // Half-width kana: 50220 has none, 50221 and 50222 carry them. ICU's
    // JIS7 reads both the ESC ( I and the SO/SI form and writes SO/SI; the
    // other variants would drop them.
    {50221, "ISO_2022,locale=ja,version=3"},
    {50222, "ISO_2022,locale=ja,version=3"},
    {50225, "ISO_2022,locale=ko,version=0"},
    {50227, "ISO_2022,locale=zh,version=0"},
    {50229, "ISO_2022,locale=zh,version=1"},
    {51932, "euc-jp-2007"},
    {51936, "ibm-1383_P110-1999"},
    {51949, "ibm-970_P110_P110-2006_U2"},
    {51950, "euc-tw-2014"},
    {52936, "HZ"},
    {54936, "gb18030"},
    {57002, "ISCII,version=0"},  // Devanagari
    {57003, "ISCII,version=1"},  // Bengali
    {57004, "ISCII,version=5"},  // Tamil
    {57005, "ISCII,version=6"},  // Telugu
    {57006, "ISCII,version=1"},  // Assamese, written in the Bengali script
    {57007, "ISCII,version=4"},  // Oriya
    {57008, "ISCII,version=7"},  // Kannada
    {57009, "ISCII,version=8"},  // Malayalam
    {57010, "ISCII,version=3"},  // Gujarati
    {57011, "ISCII,version=2"},  // Gurmukhi (Punjabi)
    {65000, "UTF-7"},
    {65001, "UTF-8"},
};

static_assert(std::is_sorted(std::begin(names), std::end(names),
                             [](const codepage_name& a, const codepage_name& b) { return a.codepage < b.codepage; }));

}  // namespace

std::span<const codepage_name> codepage_names() noexcept { return names; }

const char* icu_converter_name(int codepage) noexcept {
    const auto* found = std::lower_bound(std::begin(names), std::end(names), codepage,
                                         [](const codepage_name& entry, int key) { return entry.codepage < key; });
    return found != std::end(names) && found->codepage == codepage ? found->converter : nullptr;
}

}  // namespace corvid::unicode::detail
