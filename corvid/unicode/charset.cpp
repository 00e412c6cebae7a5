// SPDX-License-Identifier: MIT
#include <corvid/unicode/charset.h>

#include <climits>
#include <string_view>

#include <corvid/text.h>
#include <corvid/unicode/convert.h>

namespace corvid::unicode {

namespace {

using table_type = std::map<std::string, int, std::less<>>;

table_type build_table() {
    struct row {
        int codepage;
        std::initializer_list<const char*> names;
    };
    // Grouped by code page. Some rows look surprising ("isoir100" is 1252,
    // not 28591) but mail in the wild was labelled against exactly these
    // answers, so they stay as they are.
    const row rows[] = {
        {no_codepage, {"ascii", "usascii"}},
        {1252, {"isoir6", "isoir100", "iso646us"}},
        {65001, {"utf8", "unicode11utf8", "unicode20utf8"}},
        {65000, {"utf7", "unicode11utf7", "unicode20utf7"}},
        {780, {"asmo780"}},
        {28596, {"arabic", "csisolatinarabic", "ecma114", "isoir127"}},
        {28594, {"isoir110"}},
        {54936, {"gb18030"}},
        {936, {"csgb2312", "csgb231280", "csiso58gb231280", "cngb", "gbk", "gb2312", "gb231280", "isoir58"}},
        {52936, {"hzgb2312", "xmacchinesesimp"}},
        {950, {"big5", "cnbig5", "csbig5", "xxbig5"}},
        {20000, {"xchinesecns"}},
        {20002, {"xchineseeten"}},
        {51936, {"euccn", "cseuccn", "xeuccn"}},
        {28595, {"csisolatincyrillic", "cyrillic", "isoir144"}},
        {20866, {"koi", "koi8", "koi8r"}},
        {21866, {"koi8u", "koi8ru"}},
        {28592, {"isoir101"}},
        {29001, {"xeuropa"}},
        {20106, {"xia5german"}},
        {20107, {"xia5swedish"}},
        {20108, {"xia5norwegian"}},
        {28597, {"csisolatingreek", "ecma118", "elot928", "greek", "greek8", "isoir126"}},
        {10006, {"xmacgreek"}},
        {28598, {"csisolatinhebrew", "hebrew", "isoir138", "visual"}},
        {38598, {"iso88598i", "logical"}},
        {10079, {"xisciias", "xmacicelandic"}},
        {57006, {"xisciibe"}},
        {57003, {"xisciide"}},
        {57010, {"xisciigu"}},
        {57008, {"xisciika"}},
        {57009, {"xisciima"}},
        {57007, {"xisciior"}},
        {57011, {"xisciipa"}},
        {57004, {"xisciita"}},
        {57005, {"xisciite"}},
        {50221, {"csiso2022jp", "iso2022jp"}},
        {932, {"csshiftjis", "cswindows31j", "mskanji", "shiftjis", "xsjis"}},
        {51932, {"eucjp", "cseucjp", "xeucjp"}},
        {949, {"ksc5601", "ksc56011987", "csksc5601", "csksc56011987", "isoir149", "korean"}},
        {1361, {"johab"}},
        {51949, {"euckr", "cseuckr", "xcseuckr"}},
        {874, {"tis620"}},
        {1254, {"isoir148"}},
        {10000, {"macintosh"}},
        {10004, {"xmacarabic"}},
        {10029, {"xmacce"}},
        {10002, {"xmacchinesetrad"}},
        {10007, {"xmaccyrillic"}},
        {10005, {"xmachebrew"}},
        {10001, {"xmacjapanese"}},
        {10003, {"xmackorean"}},
    };
    table_type table;
    for (const row& r : rows)
        for (const char* name : r.names) table.emplace(name, r.codepage);
    return table;
}

// Filled during static initialisation so that the first lookup on any
// thread finds it complete; a function-local static also keeps it safe for
// other translation units' initialisers that look a name up early.
[[maybe_unused]] const table_type& table_at_startup = charset_table();

std::string normalise(std::string_view name) {
    std::string result;
    result.reserve(name.size());
    for (char c : name) {
        if (c == '-' || c == '_') continue;
        result += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return result;
}

// When name starts with prefix, reads the number after it and returns true.
bool number_after(std::string_view name, std::string_view prefix, int& number) {
    if (!name.starts_with(prefix)) return false;
    number = leading_decimal<int>(name.substr(prefix.size()));
    return true;
}

// The ISO 8859 part of Latin alphabet n; other numbers stay as they are.
int iso_part_of_latin(int n) noexcept {
    static constexpr int parts[] = {0, 1, 2, 3, 4, 9, 10, 13, 14, 15, 16};
    return n >= 1 && n <= 10 ? parts[n] : n;
}

}  // namespace

const std::map<std::string, int, std::less<>>& charset_table() {
    static const table_type table = build_table();
    return table;
}

int codepage_from_charset(const std::string& name) {
    const std::string key = normalise(name);
    const table_type& table = charset_table();
    if (auto found = table.find(key); found != table.end()) return found->second;

    int number = 0;
    for (std::string_view prefix : {"iso8859", "latin", "csisolatin"}) {
        if (number_after(key, prefix, number)) {
            // The Latin alphabets are numbered apart from the ISO 8859 parts
            // that hold them: Latin-5 is 8859-9 (Turkish), Latin-9 is 8859-15.
            if (prefix != "iso8859") number = iso_part_of_latin(number);
            // A huge suffix must not overflow; any saturated result is an
            // invalid code page that the conversions reject.
            return number > INT_MAX - 28590 ? INT_MAX : 28590 + number;
        }
    }
    for (std::string_view prefix : {"windows", "dos", "ibm", "cp"})
        if (number_after(key, prefix, number)) return number;
    return no_codepage;
}

}  // namespace corvid::unicode
