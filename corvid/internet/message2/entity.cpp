// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/entity.h>

#include <corvid/internet/message2/errors.h>
#include <corvid/internet/message2/header_type/parametized_value_type.h>
#include <corvid/internet/message2/header_type/unstructured_value_type.h>
#include <corvid/text.h>
#include <corvid/unicode/convert.h>
#include <corvid/unicode/errors.h>

#include <corvid/platform/file.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace corvid::internet::message2 {

namespace {


const header_field* first_header(const header_list& headers, std::string_view name) {
    const auto found = std::find_if(headers.begin(), headers.end(),
                                    [name](const header_field& h) { return iequals(h.name, name); });
    return found == headers.end() ? nullptr : &*found;
}

// Writes text to an opened file; a full disk or a failing device may only
// show when it is closed.
void write_file(platform::unique_file file, const std::string& text, const std::string& path) {
    std::error_code ec;
    platform::write_all(file, text, ec);
    if (!ec) file.close(ec);
    if (ec) throw generic("unable to write file: " + path);
}

void enumerate(entity& part, entity* parent, unsigned depth, bool skip_enclosed, part_index& index) {
    if (skip_enclosed && part.body.content_type == "message/rfc822") return;
    index.emplace(depth, part_entry{&part, parent});
    for (entity& child : part.children) enumerate(child, &part, depth + 1, skip_enclosed, index);
}

}  // namespace

entity::entity() {
    header_type::parametized_value_type content_type;
    content_type.set_text_from(body.content_type, unicode::utf8_codepage);
    content_type.set_parameter_from("charset", body.charset, unicode::utf8_codepage);
    add_header("Content-Type", content_type);
}

void entity::add_header(std::string name, std::string value) {
    headers.push_back({std::move(name), std::move(value)});
}

void entity::add_header(std::string name, const header_type::generic_value_type& value) {
    add_header(std::move(name), value.render());
}

bool entity::find_header(std::string_view name, std::string& value) const {
    const header_field* found = first_header(headers, name);
    if (found == nullptr) return false;
    value = found->value;
    return true;
}

bool entity::get_header(std::string_view name, header_type::generic_value_type& value) const {
    const header_field* found = first_header(headers, name);
    if (found == nullptr) return false;
    value.parse(found->value);
    return true;
}

void entity::remove_headers(std::string_view name) {
    std::erase_if(headers, [name](const header_field& h) { return iequals(h.name, name); });
}

std::string entity::transfer_encoding() const {
    header_type::unstructured_value_type encoding;
    try {
        if (!get_header("Content-Transfer-Encoding", encoding)) return {};
    } catch (const unicode::generic&) {
        // Encoded words that cannot be converted name no encoding we know:
        // the body is read and written as it stands.
        return {};
    }
    return to_lower(encoding.text_in(unicode::utf8_codepage));
}

attachment_info entity::attachment() const {
    attachment_info info;
    if (header_type::parametized_value_type type; get_header("Content-Type", type)) {
        info.is_attachment = iequals(body.content_type, "message/rfc822");
        type.parameter("name", info.file_name);
    }
    // A value of its own: parsing leaves the charset of the last encoded
    // word, which must not read the bytes of this header.
    if (header_type::parametized_value_type disposition; get_header("Content-Disposition", disposition)) {
        info.is_attachment = iequals(disposition.text(), u"attachment");
        disposition.parameter("filename", info.file_name);
    }
    return info;
}

part_index entity::enumerate_parts(bool skip_enclosed) {
    part_index index;
    enumerate(*this, nullptr, 0, skip_enclosed, index);
    return index;
}

part_index entity::find_parts(std::string prefix, bool skip_enclosed) {
    lower_in_place(prefix);
    part_index index = enumerate_parts(skip_enclosed);
    std::erase_if(index, [&prefix](const auto& entry) {
        return !starts_with(entry.second.part->body.content_type, prefix);
    });
    return index;
}

void entity::save(const std::string& path) const {
    const std::string text = write_text();
    // The system would stop at a NUL byte and write some other file.
    if (path.find('\0') != std::string::npos) throw generic("unable to open file for output: " + path);
    namespace fs = std::filesystem;
    std::error_code error;
    // Through a link, replace the file it names rather than the link.
    fs::path target = fs::canonical(path, error);
    if (error) target = path;
    const fs::file_status old = fs::status(target, error);
    // A device, a pipe or a folder is no file to replace: written as it is
    // (or refused), as before.
    if (!error && fs::exists(old) && !fs::is_regular_file(old)) {
        auto file = platform::open_file(target.string(), platform::open_mode::write_replace, error, 0666);
        if (error) throw generic("unable to open file for output: " + path);
        write_file(std::move(file), text, path);
        return;
    }
    // The message is written beside the target first and renamed over it
    // only when it is complete, so that a failed save never leaves a
    // truncated file in its place.
    std::string temporary;
    auto file = platform::create_unique(target.string() + ".tmp-", temporary, error, 0666);
    if (error) throw generic("unable to open file for output: " + path);
    try {
        write_file(std::move(file), text, path);
        // The new file gets the permissions of the one it replaces.
        if (fs::exists(old)) fs::permissions(temporary, old.permissions(), error);
        platform::rename_file(temporary, target.string(), error);
        if (error) throw generic("unable to write file: " + path + ": " + error.message());
    } catch (...) {
        platform::remove_file(temporary, error);
        throw;
    }
}

}  // namespace corvid::internet::message2
