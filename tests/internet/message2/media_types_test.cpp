// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/media_types.h>

#include <corvid/internet/message2/errors.h>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using corvid::internet::message2::media_type_table;

TEST(media_type_table, reads_the_mime_types_format) {
    const media_type_table table(
        "# comment line\n"
        "application/pdf\t\t\t\tpdf\n"
        "image/jpeg jpeg jpg jpe # trailing comment\r\n"
        "text/plain txt\n"
        "text/x-other txt pdf\n"  // a later line does not take an extension
        "application/x-lonely\n"
        "  \n"
        "Image/PNG PNG");
    const struct {
        const char* name;
        const char* type;
    } cases[] = {
        {"report.pdf", "application/pdf"},
        {"photo.JPG", "image/jpeg"},
        {"photo.jpe", "image/jpeg"},
        {"archive.tar.txt", "text/plain"},
        {"logo.png", "image/png"},
        {"no_extension", "application/octet-stream"},
        {".txt", "application/octet-stream"},
        {"name.", "application/octet-stream"},
        {"trailing.comment", "application/octet-stream"},
        {"x.lonely", "application/octet-stream"},
    };
    for (const auto& c : cases) EXPECT_EQ(table.type_of(c.name), c.type) << c.name;
    EXPECT_EQ(media_type_table().type_of("a.pdf"), "application/octet-stream");
}

TEST(media_type_table, loads_files_and_reports_missing_ones) {
    EXPECT_THROW(media_type_table::load("/nonexistent/mime.types"), corvid::internet::message2::generic);
    // The system's table, where the media-types package provides it.
    if (!std::filesystem::exists("/etc/mime.types")) GTEST_SKIP() << "no /etc/mime.types";
    EXPECT_EQ(media_type_table::system().type_of("a.pdf"), "application/pdf");
    EXPECT_EQ(media_type_table::system().type_of("a.PNG"), "image/png");
    EXPECT_EQ(&media_type_table::system(), &media_type_table::system());
}

}  // namespace
